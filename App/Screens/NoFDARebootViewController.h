#pragma once

#include "App/Screens/ViewController.h"

#include <memory>

class QAbstractButton;
class QLabel;
namespace Ui {
class NoFDARebootViewController;
}

// Scene "justReboot": the installation is done, only a restart is left.
class NoFDARebootViewController final : public ViewController {
    Q_OBJECT
public:
    explicit NoFDARebootViewController(AppServices& services);
    ~NoFDARebootViewController() override;

    QWidget* bgView() const;
    QLabel* titleLabel() const;
    QLabel* stepLabel() const;
    QLabel* instructionsLabel() const;
    QAbstractButton* goButton() const;

    void rebootAction(QObject* sender);

protected:
    void loadView(QWidget& view) override;
    void viewDidLoad() override;

private:
    std::unique_ptr<Ui::NoFDARebootViewController> ui_;
};
