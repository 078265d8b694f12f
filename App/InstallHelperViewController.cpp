#include "InstallHelperViewController.h"

#include "ScreenStyle.h"
#include "ui_InstallHelperViewController.h"

InstallHelperViewController::InstallHelperViewController() = default;
InstallHelperViewController::~InstallHelperViewController() = default;

QWidget* InstallHelperViewController::bgView() const { return ui_ ? ui_->bgView : nullptr; }
QAbstractButton* InstallHelperViewController::uninstallButton() const { return ui_ ? ui_->uninstallButton : nullptr; }
QAbstractButton* InstallHelperViewController::installButton() const { return ui_ ? ui_->installButton : nullptr; }
QAbstractButton* InstallHelperViewController::helpButton() const { return ui_ ? ui_->helpButton : nullptr; }
QLabel* InstallHelperViewController::pageTitle() const { return ui_ ? ui_->pageTitle : nullptr; }
QLabel* InstallHelperViewController::stepLabel() const { return ui_ ? ui_->stepLabel : nullptr; }
QLabel* InstallHelperViewController::instructionsLabel() const { return ui_ ? ui_->instructionsLabel : nullptr; }

void InstallHelperViewController::loadView(QWidget& view)
{
    ui_ = std::make_unique<Ui::InstallHelperViewController>();
    ui_->setupUi(&view);
}

void InstallHelperViewController::viewDidLoad()
{
    ViewController::viewDidLoad();
    ScreenStyle::styleBackgroundView(bgView());
    ScreenStyle::stylePrimaryButton(installButton());
    ScreenStyle::styleSecondaryButton(uninstallButton());
    // The help image is drawn in its own colours as it stands; Qt has no template flag to clear.
    setStringValue(pageTitle(), "InstallHelperViewController.pageTitle");
    setStringValue(stepLabel(), "InstallHelperViewController.stepLabel");
    setStringValue(instructionsLabel(), "InstallHelperViewController.instructionsLabel");
    setTitle(installButton(), "InstallHelperViewController.installButton");
    setTitle(uninstallButton(), "InstallHelperViewController.uninstallButton");
}
