#include "InstallHelperViewController.h"

#include "Alert.h"
#include "AlertPresenter.h"
#include "AppServices.h"
#include "Authorization.h"
#include "Bundle.h"
#include "HelpPopoverPresenter.h"
#include "LogFormat.h"
#include "Localization.h"
#include "Logger.h"
#include "ProcessExit.h"
#include "QVPrivilegedTask.h"
#include "ScreenStyle.h"
#include "ServiceManagement.h"
#include "Storyboard.h"
#include "InstallVersionRule.h"
#include "Window.h"
#include "ui_InstallHelperViewController.h"

#include <QAbstractButton>
#include <QFileInfo>

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

QByteArray outputOf(const QVPrivilegedTask& task)
{
    auto output = task.outputFileHandle();
    return output ? output->readDataToEndOfFile() : QByteArray();
}

}  // namespace

InstallHelperViewController::InstallHelperViewController() = default;
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

void InstallHelperViewController::loadView(QWidget& view)
{
    ui_ = std::make_unique<Ui::InstallHelperViewController>();
    ui_->setupUi(&view);
    connect(ui_->installButton, &QAbstractButton::clicked, this, [this] { installAction(ui_->installButton); });
    connect(ui_->uninstallButton, &QAbstractButton::clicked, this, [this] { uninstallJobAction(ui_->uninstallButton); });
    connect(ui_->helpButton, &QAbstractButton::clicked, this, [this] { helperAction(ui_->helpButton); });
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

void InstallHelperViewController::installAction(QObject*)
{
    log("Install Action: Executing Script");
    QString scriptResult;
    if (!copyInstallExecutales(scriptResult)) {
        showScriptInstallationFailedResult(scriptResult);
        return;
    }
    log("Install Action: Bless Jobs");
    set_authRef(ntfs::Authorization::create());

    std::optional<DomainError> error;
    if (blessHelperWithLabel(QString::fromLatin1(helperLabel), &error)) {
        log("Job is available!");
        showInstallationSuccessResult();
        return;
    }
    log(ntfs::formatLog("Something went wrong! %@ / %d", error ? error->domain().toStdString() : std::optional<std::string>{},
                        error ? static_cast<int>(error->code()) : 0));
    showBlessActionFailedResult(error);
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
    std::int32_t status = authRef_ ? task->launchWithAuthorization(authRef_.get()) : task->launch();
    if (status == ntfs::AuthorizationStatus::success)
        task->waitUntilExit();
    int exitStatus = task->terminationStatus();
    QString output = decoded(outputOf(*task));

    scriptResult = QString::asprintf("Script ret code: %d, OSStatus code: %d\n", exitStatus, int(status)) + output;
    log(ntfs::formatLog("Script Execution Result:%@", scriptResult.toStdString()));
    return status == ntfs::AuthorizationStatus::success && exitStatus == 0;
}

void InstallHelperViewController::uninstallJobAction(QObject*)
{
    QString scriptPath = AppServices::current().mainBundle.pathForResource(QStringLiteral("Uninstall"), QStringLiteral("sh"));
    auto task = QVPrivilegedTask::create();
    task->setLaunchPath(shell);
    task->setArguments({scriptPath});
    std::int32_t status = scriptPath.isNull() ? ntfs::AuthorizationStatus::toolExecuteFailure : task->launch();
    if (status == ntfs::AuthorizationStatus::canceled) {
        log("User cancelled");
        showUninstallCancelledResult();
        return;
    }
    if (status != ntfs::AuthorizationStatus::success) {
        log("Something went wrong");
        return;
    }
    log("Task successfully launched");
    // Success is told only once the script has done its work.
    task->waitUntilExit();
    if (task->terminationStatus() == 0)
        showUninstallSuccessResult();
    else
        showUninstallFailedResult();
}

void InstallHelperViewController::reloadJobAction()
{
    QString scriptPath = AppServices::current().mainBundle.pathForResource(QStringLiteral("Reload"), QStringLiteral("sh"));
    auto task = QVPrivilegedTask::create();
    task->setLaunchPath(shell);
    task->setArguments({scriptPath});
    std::int32_t status = scriptPath.isNull() ? ntfs::AuthorizationStatus::toolExecuteFailure : task->launch();
    task->waitUntilExit();
    QString output = decoded(outputOf(*task));
    if (status == ntfs::AuthorizationStatus::canceled) {
        log("User cancelled");
        return;
    }
    if (status != ntfs::AuthorizationStatus::success) {
        log("Something went wrong");
        return;
    }
    log(ntfs::formatLog("Task successfully launched: %@\n", output.toStdString()));
    if (task->terminationStatus() != 0)
        showUninstallFailedResult();
    else
        showUninstallSuccessResult();
}
