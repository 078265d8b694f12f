#pragma once

#include "App/Screens/ViewController.h"

#include <memory>

class QAbstractButton;
class QLabel;
namespace Ui {
class GrantPermissionViewController;
}

// Scene "grantFDA": asks the user to grant Full Disk Access, offers help, and restarts.
class GrantPermissionViewController final : public ViewController {
    Q_OBJECT
public:
    explicit GrantPermissionViewController(AppServices& services);
    ~GrantPermissionViewController() override;

    QWidget* bgView() const;
    QLabel* titleLabel() const;
    QLabel* stepLabel() const;
    QLabel* instructionsLabel() const;
    QAbstractButton* helperbutton() const;
    QAbstractButton* goButton() const;

    void rebootAction(QObject* sender);
    void helperAction(QObject* sender);

protected:
    void loadView(QWidget& view) override;
    void viewDidLoad() override;

private:
    std::unique_ptr<Ui::GrantPermissionViewController> ui_;
};
