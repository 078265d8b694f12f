#include "App/Screens/InstallHelperViewController.h"

#include "App/Screens/HelpPopoverPresenter.h"
#include "App/Screens/ScreenStyle.h"
#include "App/Screens/Storyboard.h"
#include "App/Screens/Window.h"
#include "App/Shell/Alert.h"
#include "App/Shell/AlertPresenter.h"
#include "App/Shell/AppServices.h"
#include "App/Shell/InstallVersionRule.h"
#include "App/Shell/Localization.h"
#include "App/Shell/ProcessExit.h"
#include "PrivilegedTask/QVPrivilegedTask.h"
#include "ui_InstallHelperViewController.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QToolButton>

namespace {

// The busy indicator's text for each step, in the order of Step.
constexpr const char* stepKeys[] = {"", "Progress.password", "Progress.installing", "Progress.registering",
                                    "Progress.uninstalling", "Progress.reloading"};

QString text(const char* key)
{
    return Localization::localizedString(key);
}

}  // namespace

InstallHelperViewController::InstallHelperViewController(AppServices& services)
    : ViewController(services),
      flow_(services.mainBundle, services.osVersion, services.serviceManagement, services.logger,
            &QVPrivilegedTask::create, *this)
{
}

// The flow's worker is joined (flow_ goes first) before the widgets it reports to.
InstallHelperViewController::~InstallHelperViewController() = default;

QWidget* InstallHelperViewController::bgView() const { return ui_ ? ui_->bgView : nullptr; }
QAbstractButton* InstallHelperViewController::uninstallButton() const { return ui_ ? ui_->uninstallButton : nullptr; }
QAbstractButton* InstallHelperViewController::installButton() const { return ui_ ? ui_->installButton : nullptr; }
QAbstractButton* InstallHelperViewController::helpButton() const { return ui_ ? ui_->helpButton : nullptr; }
QLabel* InstallHelperViewController::pageTitle() const { return ui_ ? ui_->pageTitle : nullptr; }
QLabel* InstallHelperViewController::stepLabel() const { return ui_ ? ui_->stepLabel : nullptr; }
QLabel* InstallHelperViewController::instructionsLabel() const { return ui_ ? ui_->instructionsLabel : nullptr; }
QLabel* InstallHelperViewController::progressLabel() const { return ui_ ? ui_->progressLabel : nullptr; }
QAbstractButton* InstallHelperViewController::detailsButton() const { return ui_ ? ui_->detailsButton : nullptr; }
QPlainTextEdit* InstallHelperViewController::detailsView() const { return ui_ ? ui_->detailsView : nullptr; }

void InstallHelperViewController::loadView(QWidget& view)
{
    ui_ = std::make_unique<Ui::InstallHelperViewController>();
    ui_->setupUi(&view);
    connect(ui_->installButton, &QAbstractButton::clicked, this, [this] { installAction(ui_->installButton); });
    connect(ui_->uninstallButton, &QAbstractButton::clicked, this, [this] { uninstallJobAction(ui_->uninstallButton); });
    connect(ui_->helpButton, &QAbstractButton::clicked, this, [this] { helperAction(ui_->helpButton); });
    connect(ui_->detailsButton, &QAbstractButton::toggled, this, [this](bool shown) { showDetails(shown); });
    // Enter that no focused button takes presses Install, as in a dialog.
    ui_->installButton->setDefault(true);
    ui_->installButton->setAutoDefault(true);
    ui_->uninstallButton->setAutoDefault(true);
    view.installEventFilter(this);
}

bool InstallHelperViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view() && event->type() == QEvent::KeyPress) {
        int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && installButton()->isEnabled()) {
            installButton()->click();
            return true;
        }
    }
    return ViewController::eventFilter(watched, event);
}

void InstallHelperViewController::viewDidLoad()
{
    ViewController::viewDidLoad();
    ScreenStyle::styleBackgroundView(bgView());
    ScreenStyle::stylePrimaryButton(installButton(), services().colors);
    ScreenStyle::styleSecondaryButton(uninstallButton(), services().colors);
    // The help image is drawn in its own colours as it stands; Qt has no template flag to clear.
    setStringValue(pageTitle(), "InstallHelperViewController.pageTitle");
    setStringValue(stepLabel(), "InstallHelperViewController.stepLabel");
    setStringValue(instructionsLabel(), "InstallHelperViewController.instructionsLabel");
    setTitle(installButton(), "InstallHelperViewController.installButton");
    setTitle(uninstallButton(), "InstallHelperViewController.uninstallButton");
    setTitle(detailsButton(), "Progress.details");
    ScreenStyle::styleDetailsView(detailsView());
    setAccessibleText(installButton(), nullptr, "Accessibility.installButton");
    setAccessibleText(uninstallButton(), nullptr, "Accessibility.uninstallButton");
    setAccessibleText(helpButton(), "Accessibility.helpButton");
    setAccessibleText(ui_->busyIndicator, "Accessibility.busyIndicator");
    setAccessibleText(detailsButton(), nullptr, "Accessibility.detailsButton");
    setAccessibleText(detailsView(), "Accessibility.detailsView");
    installButton()->setFocus();
}

bool InstallHelperViewController::windowShouldClose()
{
    if (!flow_.isBusy())
        return true;
    Alert alert;
    alert.buttonTitle = text("Progress.closeAnyway");
    alert.messageText = text("Progress.closeQuestion");
    alert.informativeText = text("Progress.closeExplanation");
    alert.style = AlertStyle::Warning;
    return services().alerts.runConfirmation(alert, text("Progress.keepOpen"));
}

void InstallHelperViewController::installAction(QObject*) { flow_.install(); }
void InstallHelperViewController::uninstallJobAction(QObject*) { flow_.uninstall(); }
void InstallHelperViewController::reloadJobAction() { flow_.reload(); }
void InstallHelperViewController::helperAction(QObject*) { HelpPopoverPresenter::showHelp(helpButton(), services()); }

void InstallHelperViewController::flowStepChanged(Step step)
{
    if (step_ == Step::None)
        beginStep(step);
    else
        showStep(step);
}

void InstallHelperViewController::flowOutputLine(const QString& line)
{
    if (!ui_)
        return;
    detailsView()->appendPlainText(line);
    detailsView()->verticalScrollBar()->setValue(detailsView()->verticalScrollBar()->maximum());
}

void InstallHelperViewController::flowEnded(const Outcome& outcome)
{
    using Result = Outcome::Result;
    const bool install = outcome.flow == Outcome::Flow::Install;
    becomeIdle();
    if (install && outcome.result == Result::Succeeded) {
        showInstallationSuccessResult();
    } else if (install && outcome.result == Result::ScriptFailed) {
        runAlert(text("Installation.failed"), outcome.scriptResult, AlertStyle::Critical);
    } else if (outcome.result == Result::BlessFailed) {
        showBlessActionFailedResult(outcome.blessError);
    } else if (outcome.result == Result::Succeeded) {
        runAlert(text("Uninstall.success"), {}, AlertStyle::Informational);
    } else if (outcome.result == Result::ScriptFailed) {
        runAlert(text("Uninstall.failed"), {}, AlertStyle::Warning);
    } else if (outcome.result == Result::Cancelled && outcome.flow == Outcome::Flow::Uninstall) {
        // A dismissed reload passes quietly; a dismissed uninstall ends the app.
        runAlert(text("Uninstall.cancelled"), {}, AlertStyle::Informational);
        services().exit.exitNow(0);
    }
    emit flowFinished();
}

void InstallHelperViewController::beginStep(Step step)
{
    if (ui_) {
        installButton()->setEnabled(false);
        uninstallButton()->setEnabled(false);
        detailsView()->clear();
        ui_->progressPanel->show();
    }
    showStep(step);
    makeRoom();
}

void InstallHelperViewController::showStep(Step step)
{
    step_ = step;
    if (!ui_)
        return;
    QString stepText = text(stepKeys[static_cast<int>(step)]);
    progressLabel()->setText(stepText);
    ui_->busyIndicator->setAccessibleDescription(stepText);
}

void InstallHelperViewController::becomeIdle()
{
    step_ = Step::None;
    if (!ui_)
        return;
    ui_->progressPanel->hide();
    installButton()->setEnabled(true);
    uninstallButton()->setEnabled(true);
}

void InstallHelperViewController::showDetails(bool shown)
{
    if (!ui_)
        return;
    detailsView()->setVisible(shown);
    static_cast<QToolButton*>(detailsButton())->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    makeRoom();
}

// The window grows to fit what was just shown, rather than squeezing it.
void InstallHelperViewController::makeRoom()
{
    QWidget* window = view()->window();
    if (window == view() || !window->layout())
        return;
    window->layout()->activate();
    int needed = window->hasHeightForWidth() ? window->heightForWidth(window->width()) : window->sizeHint().height();
    if (needed > window->height())
        window->resize(window->width(), needed);
}

void InstallHelperViewController::showInstallationSuccessResult()
{
    QString identifier = InstallVersionRule::successScreenIdentifier(services().osVersion);
    auto storyboard = Storyboard::storyboardWithName(QString::fromLatin1(Storyboard::mainName), services());
    if (Window* window = Window::windowOf(view()))
        window->setContentViewController(storyboard->instantiateControllerWithIdentifier(identifier));
}

void InstallHelperViewController::runAlert(const QString& messageText, const QString& informativeText, AlertStyle style)
{
    Alert alert;
    alert.buttonTitle = text("Alert.OK");
    alert.messageText = messageText;
    alert.informativeText = informativeText;
    alert.style = style;
    services().alerts.runModal(alert);
}

void InstallHelperViewController::showBlessActionFailedResult(const std::optional<DomainError>& error)
{
    QString format = text(error ? "Installation.failedWithReason" : "Installation.failed");
    // Without a translation the key stands alone and has no placeholder to fill.
    runAlert(error && format.contains(QLatin1String("%1")) ? format.arg(error->localizedDescription()) : format, {},
             AlertStyle::Warning);
}
