#pragma once

#include "ViewController.h"

#include <memory>

class QAbstractButton;
class QLabel;
namespace Ui {
class InstallHelperViewController;
}

// The installation screen, the window's content at launch.
// PLACEHOLDER: only its outlets, styling and texts are here so that the window opens on it; the
// install flow adds the actions (install, uninstall, help), the bless step and the result alerts.
class InstallHelperViewController final : public ViewController {
    Q_OBJECT
public:
    InstallHelperViewController();
    ~InstallHelperViewController() override;

    QWidget* bgView() const;
    QAbstractButton* uninstallButton() const;
    QAbstractButton* installButton() const;
    QAbstractButton* helpButton() const;
    QLabel* pageTitle() const;
    QLabel* stepLabel() const;
    QLabel* instructionsLabel() const;

protected:
    void loadView(QWidget& view) override;
    void viewDidLoad() override;

private:
    std::unique_ptr<Ui::InstallHelperViewController> ui_;
};
