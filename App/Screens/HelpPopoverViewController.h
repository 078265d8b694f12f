#pragma once

#include "App/Screens/ViewController.h"

#include <memory>

class QLabel;
namespace Ui {
class HelpPopoverViewController;
}

// Scene "helper": two questions with their answers, the content of the help popover.
class HelpPopoverViewController final : public ViewController {
    Q_OBJECT
public:
    explicit HelpPopoverViewController(AppServices& services);
    ~HelpPopoverViewController() override;

    QLabel* q1() const;
    QLabel* a1() const;
    QLabel* q2() const;
    QLabel* a2() const;

protected:
    void loadView(QWidget& view) override;
    void viewDidLoad() override;

private:
    std::unique_ptr<Ui::HelpPopoverViewController> ui_;
};
