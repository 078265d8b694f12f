#include "App/Screens/GrantPermissionViewController.h"

#include "App/Screens/HelpPopoverPresenter.h"
#include "App/Screens/ScreenStyle.h"
#include "App/Shell/AppServices.h"
#include "App/Shell/RestartRequest.h"
#include "ui_GrantPermissionViewController.h"

GrantPermissionViewController::GrantPermissionViewController(AppServices& services) : ViewController(services) {}
GrantPermissionViewController::~GrantPermissionViewController() = default;

QWidget* GrantPermissionViewController::bgView() const { return ui_ ? ui_->bgView : nullptr; }
QLabel* GrantPermissionViewController::titleLabel() const { return ui_ ? ui_->titleLabel : nullptr; }
QLabel* GrantPermissionViewController::stepLabel() const { return ui_ ? ui_->stepLabel : nullptr; }
QLabel* GrantPermissionViewController::instructionsLabel() const { return ui_ ? ui_->instructionsLabel : nullptr; }
QAbstractButton* GrantPermissionViewController::helperbutton() const { return ui_ ? ui_->helperbutton : nullptr; }
QAbstractButton* GrantPermissionViewController::goButton() const { return ui_ ? ui_->goButton : nullptr; }

void GrantPermissionViewController::loadView(QWidget& view)
{
    ui_ = std::make_unique<Ui::GrantPermissionViewController>();
    ui_->setupUi(&view);
    connect(ui_->goButton, &QAbstractButton::clicked, this, [this] { rebootAction(ui_->goButton); });
    connect(ui_->helperbutton, &QAbstractButton::clicked, this, [this] { helperAction(ui_->helperbutton); });
}

void GrantPermissionViewController::viewDidLoad()
{
    ViewController::viewDidLoad();
    ScreenStyle::styleBackgroundView(bgView());
    ScreenStyle::stylePrimaryButton(goButton(), services().colors);
    setStringValue(titleLabel(), "GrantPermissionViewController.title");
    setStringValue(stepLabel(), "GrantPermissionViewController.stepLabel");
    setStringValue(instructionsLabel(), "GrantPermissionViewController.instructionsLabel");
    setTitle(goButton(), "GrantPermissionViewController.quit");
    setAccessibleText(helperbutton(), "Accessibility.helpButton");
}

void GrantPermissionViewController::rebootAction(QObject*)
{
    RestartRequest::perform(services());
}

void GrantPermissionViewController::helperAction(QObject*)
{
    HelpPopoverPresenter::showHelp(helperbutton(), services());
}
