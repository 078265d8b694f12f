#include "App/Screens/InstallHelperViewController.h"

#include "App/Screens/HelpPopoverPresenter.h"
#include "App/Screens/ScreenStyle.h"
#include "App/Screens/Storyboard.h"
#include "App/Shell/Alert.h"
#include "App/Shell/AlertPresenter.h"
#include "App/Shell/AppServices.h"
#include "App/Shell/Bundle.h"
#include "App/Shell/InstallVersionRule.h"
#include "App/Shell/Localization.h"
#include "App/Shell/ProcessExit.h"
#include "App/Shell/ServiceManagement.h"
#include "App/Shell/Window.h"
#include "Common/LogFormat.h"
#include "Common/Logger.h"
#include "PrivilegedTask/Authorization.h"
#include "PrivilegedTask/QVPrivilegedTask.h"
#include "ui_InstallHelperViewController.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

namespace {

// errAuthorizationInvalidRef: a bless asked for without an authorization.
constexpr std::int32_t invalidReferenceStatus = -60002;

const QString shell = QStringLiteral("/bin/sh");

void log(const std::string& line)
{
    AppServices::current().logger.log(line);
}

struct Resource {
    const char* name;
    const char* type;
};

QString decoded(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

constexpr qint64 outputChunk = 4096;

const char* stepKey(InstallHelperViewController::Step step)
{
    using Step = InstallHelperViewController::Step;
    switch (step) {
    case Step::Password:
        return "Progress.password";
    case Step::Installing:
        return "Progress.installing";
    case Step::Registering:
        return "Progress.registering";
    case Step::Uninstalling:
        return "Progress.uninstalling";
    case Step::Reloading:
        return "Progress.reloading";
    case Step::None:
        break;
    }
    return "";
}


}  // namespace

InstallHelperViewController::InstallHelperViewController() = default;
// The worker is joined (work_ goes first) before the fields it uses.
InstallHelperViewController::~InstallHelperViewController() = default;

void InstallHelperViewController::set_authRef(std::unique_ptr<ntfs::Authorization> authorization)
{
    authRef_ = std::move(authorization);
}

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
    ScreenStyle::stylePrimaryButton(installButton());
    ScreenStyle::styleSecondaryButton(uninstallButton());
    // The help image is drawn in its own colours as it stands; Qt has no template flag to clear.
    setStringValue(pageTitle(), "InstallHelperViewController.pageTitle");
    setStringValue(stepLabel(), "InstallHelperViewController.stepLabel");
    setStringValue(instructionsLabel(), "InstallHelperViewController.instructionsLabel");
    setTitle(installButton(), "InstallHelperViewController.installButton");
    setTitle(uninstallButton(), "InstallHelperViewController.uninstallButton");
    setTitle(detailsButton(), "Progress.details");
    ScreenStyle::styleDetailsView(detailsView());
    setAccessibleTexts();
    installButton()->setFocus();
}

void InstallHelperViewController::setAccessibleTexts()
{
    setAccessibleText(installButton(), nullptr, "Accessibility.installButton");
    setAccessibleText(uninstallButton(), nullptr, "Accessibility.uninstallButton");
    setAccessibleText(helpButton(), "Accessibility.helpButton");
    setAccessibleText(ui_->busyIndicator, "Accessibility.busyIndicator");
    setAccessibleText(detailsButton(), nullptr, "Accessibility.detailsButton");
    setAccessibleText(detailsView(), "Accessibility.detailsView");
}

bool InstallHelperViewController::windowShouldClose()
{
    if (!work_.isBusy())
        return true;
    Alert alert;
    alert.buttonTitle = Localization::localizedString("Progress.closeAnyway");
    alert.messageText = Localization::localizedString("Progress.closeQuestion");
    alert.informativeText = Localization::localizedString("Progress.closeExplanation");
    alert.style = AlertStyle::Warning;
    return AppServices::current().alerts.runConfirmation(alert, Localization::localizedString("Progress.keepOpen"));
}

void InstallHelperViewController::beginStep(Step step)
{
    if (!ui_)
        return;
    installButton()->setEnabled(false);
    uninstallButton()->setEnabled(false);
    detailsView()->clear();
    ui_->progressPanel->show();
    showStep(step);
    makeRoom();
}

void InstallHelperViewController::showStep(Step step)
{
    step_ = step;
    if (!ui_)
        return;
    QString text = Localization::localizedString(stepKey(step));
    progressLabel()->setText(text);
    ui_->busyIndicator->setAccessibleDescription(text);
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

void InstallHelperViewController::appendDetail(const QString& line)
{
    if (!ui_)
        return;
    detailsView()->appendPlainText(line);
    detailsView()->verticalScrollBar()->setValue(detailsView()->verticalScrollBar()->maximum());
}

void InstallHelperViewController::installAction(QObject*)
{
    if (work_.isBusy())
        return;
    log("Install Action: Executing Script");
    beginStep(Step::Password);
    using Outcome = std::pair<bool, QString>;
    work_.run<Outcome>(
        [this] {
            QString scriptResult;
            bool installed = copyInstallExecutales(scriptResult);
            return Outcome{installed, scriptResult};
        },
        [this](Outcome outcome) {
            if (!outcome.first) {
                becomeIdle();
                showScriptInstallationFailedResult(outcome.second);
                emit flowFinished();
                return;
            }
            blessAfterScript();
        });
}

void InstallHelperViewController::blessAfterScript()
{
    log("Install Action: Bless Jobs");
    set_authRef(ntfs::Authorization::create());

    showStep(Step::Registering);
    using Outcome = std::pair<bool, std::optional<DomainError>>;
    work_.run<Outcome>(
        [this] {
            std::optional<DomainError> error;
            bool blessed = blessHelperWithLabel(QString::fromLatin1(helperLabel), &error);
            return Outcome{blessed, std::move(error)};
        },
        [this](Outcome outcome) {
            const auto& [blessed, error] = outcome;
            becomeIdle();
            if (blessed) {
                log("Job is available!");
                showInstallationSuccessResult();
            } else {
                log(ntfs::formatLog("Something went wrong! %@ / %d",
                                    error ? error->domain().toStdString() : std::optional<std::string>{},
                                    error ? static_cast<int>(error->code()) : 0));
                showBlessActionFailedResult(error);
            }
            emit flowFinished();
        });
}

bool InstallHelperViewController::blessHelperWithLabel(const QString& label, std::optional<DomainError>* error)
{
    std::int32_t status = authRef_ ? ntfs::AuthorizationStatus::success : invalidReferenceStatus;
    if (status != ntfs::AuthorizationStatus::success) {
        if (error)
            *error = DomainError::osStatus(status);
        return false;
    }
    std::optional<DomainError> platformError;
    bool blessed = AppServices::current().serviceManagement.jobBless(
        QString::fromLatin1(ServiceManagement::domainSystemLaunchd), label, platformError);
    if (!blessed && error)
        *error = std::move(platformError);
    return blessed;
}

void InstallHelperViewController::helperAction(QObject*)
{
    HelpPopoverPresenter::showHelp(helpButton());
}

void InstallHelperViewController::showInstallationSuccessResult()
{
    QString identifier = InstallVersionRule::successScreenIdentifier(AppServices::current().osVersion);
    auto storyboard = Storyboard::storyboardWithName(QString::fromLatin1(Storyboard::mainName));
    Window* window = Window::windowOf(view());
    if (window)
        window->setContentViewController(storyboard->instantiateControllerWithIdentifier(identifier));
}

void InstallHelperViewController::runAlert(const QString& messageText, const QString& informativeText, AlertStyle style)
{
    Alert alert;
    alert.buttonTitle = Localization::localizedString("Alert.OK");
    alert.messageText = messageText;
    alert.informativeText = informativeText;
    alert.style = style;
    AppServices::current().alerts.runModal(alert);
}

void InstallHelperViewController::showBlessActionFailedResult(const std::optional<DomainError>& error)
{
    if (!error) {
        runAlert(Localization::localizedString("Installation.failed"), {}, AlertStyle::Warning);
        return;
    }
    QString format = Localization::localizedString("Installation.failedWithReason");
    // Without a translation the key stands alone and has no placeholder to fill.
    runAlert(format.contains(QLatin1String("%1")) ? format.arg(error->localizedDescription()) : format, {},
             AlertStyle::Warning);
}

void InstallHelperViewController::showScriptInstallationFailedResult(const QString& scriptResult)
{
    runAlert(Localization::localizedString("Installation.failed"), scriptResult, AlertStyle::Critical);
}

void InstallHelperViewController::showUninstallFailedResult()
{
    runAlert(Localization::localizedString("Uninstall.failed"), {}, AlertStyle::Warning);
}

void InstallHelperViewController::showUninstallSuccessResult()
{
    runAlert(Localization::localizedString("Uninstall.success"), {}, AlertStyle::Informational);
}

void InstallHelperViewController::showUninstallCancelledResult()
{
    runAlert(Localization::localizedString("Uninstall.cancelled"), {}, AlertStyle::Informational);
    AppServices::current().exit.exitNow(0);
}

bool InstallHelperViewController::copyInstallExecutales(QString& scriptResult)
{
    const Bundle& bundle = AppServices::current().mainBundle;
    const bool kernelExtension = InstallVersionRule::installsKernelExtension(AppServices::current().osVersion);
    const Resource script = kernelExtension ? Resource{"Install-Kext", "sh"} : Resource{"Install-Executables", "sh"};
    std::vector<Resource> installed{{"libintl.8", "dylib"}, {"tarn_ntfs_fix", ""}, {"tarn_ntfs-formatter", ""}};
    if (kernelExtension)
        installed.insert(installed.end(), {{"tarn_ntfs.kext", ""}, {"tarn_ntfs.fs", ""}});

    QString scriptPath = bundle.pathForResource(QString::fromLatin1(script.name), QString::fromLatin1(script.type));
    QStringList installList;
    QStringList missing;
    if (scriptPath.isNull())
        missing << QString::fromLatin1(script.name);
    for (const Resource& resource : installed) {
        QString path = bundle.pathForResource(QString::fromLatin1(resource.name), QString::fromLatin1(resource.type));
        if (path.isNull())
            missing << QString::fromLatin1(resource.name);
        installList << path;
    }
    // An app that lacks one of its files cannot install the driver; the script is not run.
    if (!missing.isEmpty()) {
        scriptResult = QStringLiteral("Missing resources: %1\n").arg(missing.join(QStringLiteral(", ")));
        log(ntfs::formatLog("Script Execution Result:%@", scriptResult.toStdString()));
        return false;
    }

    // Run through the shell, in the script's folder, under the screen's authorization when it
    // holds one; the shell's own exit status decides.
    QString scriptFolder = QFileInfo(scriptPath).path();
    auto task = QVPrivilegedTask::initWithLaunchPath(scriptPath, installList, scriptFolder);
    task->setLaunchPath(shell);
    task->setArguments(QStringList{scriptPath} + installList);
    ScriptRun run = runScript(*task, authRef_.get(), Step::Installing);

    scriptResult = QString::asprintf("Script ret code: %d, OSStatus code: %d\n", run.exitStatus, int(run.launchStatus)) +
                   decoded(run.output);
    log(ntfs::formatLog("Script Execution Result:%@", scriptResult.toStdString()));
    return run.launchStatus == ntfs::AuthorizationStatus::success && run.exitStatus == 0;
}

InstallHelperViewController::ScriptRun InstallHelperViewController::runScript(QVPrivilegedTask& task,
                                                                              const ntfs::Authorization* authorization,
                                                                              Step running, bool waitWhenNotStarted)
{
    ScriptRun run;
    run.launchStatus = authorization ? task.launchWithAuthorization(authorization) : task.launch();
    if (run.launchStatus == ntfs::AuthorizationStatus::success) {
        work_.post([this, running] { showStep(running); });
        run.output = streamOutput(task);
        task.waitUntilExit();
    } else if (waitWhenNotStarted) {
        task.waitUntilExit();
    }
    run.exitStatus = task.terminationStatus();
    return run;
}

// Reads the output as it comes, handing each complete line to the details; returns all of it once
// the script has closed its side.
QByteArray InstallHelperViewController::streamOutput(QVPrivilegedTask& task)
{
    auto handle = task.outputFileHandle();
    QByteArray all;
    if (!handle)
        return all;
    qsizetype lineStart = 0;
    auto hand = [this](QByteArray line) {
        work_.post([this, text = decoded(line)] { appendDetail(text); });
    };
    for (QByteArray chunk = handle->read(outputChunk); !chunk.isEmpty(); chunk = handle->read(outputChunk)) {
        all += chunk;
        for (qsizetype end = all.indexOf('\n', lineStart); end >= 0; end = all.indexOf('\n', lineStart)) {
            hand(all.mid(lineStart, end - lineStart));
            lineStart = end + 1;
        }
    }
    if (lineStart < all.size())
        hand(all.mid(lineStart));
    return all;
}

void InstallHelperViewController::uninstallJobAction(QObject*)
{
    if (work_.isBusy())
        return;
    QString scriptPath = AppServices::current().mainBundle.pathForResource(QStringLiteral("Uninstall"), QStringLiteral("sh"));
    beginStep(Step::Password);
    work_.run<ScriptRun>(
        [this, scriptPath] {
            auto task = QVPrivilegedTask::create();
            task->setLaunchPath(shell);
            task->setArguments({scriptPath});
            if (scriptPath.isNull())
                return ScriptRun{ntfs::AuthorizationStatus::toolExecuteFailure, 0, {}};
            return runScript(*task, nullptr, Step::Uninstalling);
        },
        [this](ScriptRun run) {
            if (run.launchStatus == ntfs::AuthorizationStatus::canceled) {
                log("User cancelled");
                becomeIdle();
                showUninstallCancelledResult();
                emit flowFinished();
                return;
            }
            becomeIdle();
            if (run.launchStatus != ntfs::AuthorizationStatus::success) {
                log("Something went wrong");
            } else {
                log("Task successfully launched");
                // Success is told only once the script has done its work.
                if (run.exitStatus == 0)
                    showUninstallSuccessResult();
                else
                    showUninstallFailedResult();
            }
            emit flowFinished();
        });
}

void InstallHelperViewController::reloadJobAction()
{
    if (work_.isBusy())
        return;
    QString scriptPath = AppServices::current().mainBundle.pathForResource(QStringLiteral("Reload"), QStringLiteral("sh"));
    beginStep(Step::Password);
    work_.run<ScriptRun>(
        [this, scriptPath] {
            auto task = QVPrivilegedTask::create();
            task->setLaunchPath(shell);
            task->setArguments({scriptPath});
            if (scriptPath.isNull()) {
                task->waitUntilExit();
                return ScriptRun{ntfs::AuthorizationStatus::toolExecuteFailure, task->terminationStatus(), {}};
            }
            return runScript(*task, nullptr, Step::Reloading, true);
        },
        [this](ScriptRun run) {
            becomeIdle();
            if (run.launchStatus == ntfs::AuthorizationStatus::canceled) {
                log("User cancelled");
            } else if (run.launchStatus != ntfs::AuthorizationStatus::success) {
                log("Something went wrong");
            } else {
                log(ntfs::formatLog("Task successfully launched: %@\n", decoded(run.output).toStdString()));
                if (run.exitStatus != 0)
                    showUninstallFailedResult();
                else
                    showUninstallSuccessResult();
            }
            emit flowFinished();
        });
}
