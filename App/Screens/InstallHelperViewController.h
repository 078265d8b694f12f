#pragma once

#include "App/Screens/ViewController.h"
#include "App/Shell/BackgroundWork.h"
#include "App/Shell/DomainError.h"

#include <QByteArray>

#include <memory>
#include <optional>

class QAbstractButton;
class QLabel;
class QPlainTextEdit;
class QVPrivilegedTask;
enum class AlertStyle;
namespace Ui {
class InstallHelperViewController;
}
namespace ntfs {
class Authorization;
}

// The installation screen, the window's content at launch. Install runs the driver's install
// script as root, then blesses the privileged helper and hands the window to the guidance screen
// that fits the system's version; Uninstall runs the uninstall script. Outcomes are told through
// alerts.
//
// The privileged steps (consent prompt, scripts, bless) run on a worker thread so that the window
// keeps painting; the screen meanwhile disables its buttons, names the current step and streams the
// script's output into its details. Install and Uninstall each end with flowFinished.
class InstallHelperViewController final : public ViewController {
    Q_OBJECT
public:
    static constexpr const char* helperLabel = "com.zel.ntfs.HelperTool";

    // What the busy indicator names while work runs.
    enum class Step { None, Password, Installing, Registering, Uninstalling, Reloading };

    InstallHelperViewController();
    ~InstallHelperViewController() override;

    // The authorization of the latest install that got past its script step (null before one
    // did). It stays until the next such install replaces it or the screen goes, and the script
    // step of a later press runs under it.
    const ntfs::Authorization* _authRef() const { return authRef_.get(); }
    void set_authRef(std::unique_ptr<ntfs::Authorization> authorization);

    QWidget* bgView() const;
    QAbstractButton* uninstallButton() const;
    QAbstractButton* installButton() const;
    QAbstractButton* helpButton() const;
    QLabel* pageTitle() const;
    QLabel* stepLabel() const;
    QLabel* instructionsLabel() const;
    QLabel* progressLabel() const;
    QAbstractButton* detailsButton() const;
    QPlainTextEdit* detailsView() const;

    Step currentStep() const { return step_; }
    bool windowShouldClose() override;

    void installAction(QObject* sender);
    void uninstallJobAction(QObject* sender);
    void helperAction(QObject* sender);
    void reloadJobAction();

    // Both block; the actions run them on the worker.
    // Fills error (when given) on failure, where the failure has one.
    bool blessHelperWithLabel(const QString& label, std::optional<DomainError>* error);
    // Runs the install script; always fills scriptResult with the status line and the output.
    bool copyInstallExecutales(QString& scriptResult);

    void showInstallationSuccessResult();
    void showBlessActionFailedResult(const std::optional<DomainError>& error);
    void showScriptInstallationFailedResult(const QString& scriptResult);
    void showUninstallFailedResult();
    void showUninstallSuccessResult();
    void showUninstallCancelledResult();

signals:
    // An install, uninstall or reload has ended: its alerts are dismissed, its screen is shown.
    void flowFinished();

protected:
    void loadView(QWidget& view) override;
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ScriptRun {
        std::int32_t launchStatus = 0;
        int exitStatus = 0;
        QByteArray output;
    };

    static void runAlert(const QString& messageText, const QString& informativeText, AlertStyle style);
    void setAccessibleTexts();
    // On the worker: launches (the consent prompt), then streams the output until it ends and
    // waits for the tool. A task that did not start is not waited for unless asked to.
    ScriptRun runScript(QVPrivilegedTask& task, const ntfs::Authorization* authorization, Step running,
                        bool waitWhenNotStarted = false);
    QByteArray streamOutput(QVPrivilegedTask& task);
    void blessAfterScript();
    void beginStep(Step step);
    void showStep(Step step);
    void becomeIdle();
    void showDetails(bool shown);
    void makeRoom();
    void appendDetail(const QString& line);

    std::unique_ptr<ntfs::Authorization> authRef_;
    std::unique_ptr<Ui::InstallHelperViewController> ui_;
    Step step_ = Step::None;
    // Last, so that it is joined before the fields its work uses go.
    BackgroundWork work_;
};
