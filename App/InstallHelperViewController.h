#pragma once

#include "DomainError.h"
#include "ViewController.h"

#include <memory>
#include <optional>

class QAbstractButton;
class QLabel;
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
class InstallHelperViewController final : public ViewController {
    Q_OBJECT
public:
    static constexpr const char* helperLabel = "com.zel.ntfs.HelperTool";

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

    void installAction(QObject* sender);
    void uninstallJobAction(QObject* sender);
    void helperAction(QObject* sender);
    void reloadJobAction();

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

protected:
    void loadView(QWidget& view) override;
    void viewDidLoad() override;

private:
    static void runAlert(const QString& messageText, const QString& informativeText, AlertStyle style);

    std::unique_ptr<ntfs::Authorization> authRef_;
    std::unique_ptr<Ui::InstallHelperViewController> ui_;
};
