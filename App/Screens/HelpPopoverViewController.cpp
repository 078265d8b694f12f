#include "App/Screens/HelpPopoverViewController.h"

#include "App/Screens/ScreenStyle.h"
#include "ui_HelpPopoverViewController.h"

HelpPopoverViewController::HelpPopoverViewController(AppServices& services) : ViewController(services) {}
HelpPopoverViewController::~HelpPopoverViewController() = default;

QLabel* HelpPopoverViewController::q1() const { return ui_ ? ui_->q1 : nullptr; }
QLabel* HelpPopoverViewController::a1() const { return ui_ ? ui_->a1 : nullptr; }
QLabel* HelpPopoverViewController::q2() const { return ui_ ? ui_->q2 : nullptr; }
QLabel* HelpPopoverViewController::a2() const { return ui_ ? ui_->a2 : nullptr; }

void HelpPopoverViewController::loadView(QWidget& view)
{
    ui_ = std::make_unique<Ui::HelpPopoverViewController>();
    ui_->setupUi(&view);
}

void HelpPopoverViewController::viewDidLoad()
{
    ViewController::viewDidLoad();
    // Shown on the popover's white panel.
    view()->setPalette(ScreenStyle::panelPalette());
    setStringValue(q1(), "HelpPopoverViewController.q1");
    setStringValue(a1(), "HelpPopoverViewController.a1");
    setStringValue(q2(), "HelpPopoverViewController.q2");
    setStringValue(a2(), "HelpPopoverViewController.a2");
}
