#include "App/Screens/NoFDARebootViewController.h"

#include "App/Screens/ScreenStyle.h"
#include "App/Shell/AppServices.h"
#include "App/Shell/RestartRequest.h"
#include "ui_NoFDARebootViewController.h"

NoFDARebootViewController::NoFDARebootViewController(AppServices& services) : ViewController(services) {}
NoFDARebootViewController::~NoFDARebootViewController() = default;

QWidget* NoFDARebootViewController::bgView() const { return ui_ ? ui_->bgView : nullptr; }
QLabel* NoFDARebootViewController::titleLabel() const { return ui_ ? ui_->titleLabel : nullptr; }
QLabel* NoFDARebootViewController::stepLabel() const { return ui_ ? ui_->stepLabel : nullptr; }
QLabel* NoFDARebootViewController::instructionsLabel() const { return ui_ ? ui_->instructionsLabel : nullptr; }
QAbstractButton* NoFDARebootViewController::goButton() const { return ui_ ? ui_->goButton : nullptr; }

void NoFDARebootViewController::loadView(QWidget& view)
{
    ui_ = std::make_unique<Ui::NoFDARebootViewController>();
    ui_->setupUi(&view);
    connect(ui_->goButton, &QAbstractButton::clicked, this, [this] { rebootAction(ui_->goButton); });
}

void NoFDARebootViewController::viewDidLoad()
{
    ViewController::viewDidLoad();
    ScreenStyle::styleBackgroundView(bgView());
    ScreenStyle::stylePrimaryButton(goButton(), services().colors);
    setStringValue(titleLabel(), "NoFDARebootViewController.title");
    setStringValue(stepLabel(), "NoFDARebootViewController.stepLabel");
    setStringValue(instructionsLabel(), "NoFDARebootViewController.instructionsLabel");
    setTitle(goButton(), "NoFDARebootViewController.quit");
}

void NoFDARebootViewController::rebootAction(QObject*)
{
    RestartRequest::perform(services());
}
