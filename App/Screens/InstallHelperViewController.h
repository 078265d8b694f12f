#pragma once

#include "App/Screens/ViewController.h"
#include "App/Shell/InstallFlow.h"

#include <memory>

class QAbstractButton;
class QLabel;
class QPlainTextEdit;
enum class AlertStyle;
namespace Ui {
class InstallHelperViewController;
}

// The installation screen, the window's content at launch. Install, Uninstall (and reload) run its
// InstallFlow. While a flow runs, the screen disables its buttons, names the current step and
// streams the script's output into its details; the flow's outcome is told through alerts, and a
// successful install hands the window to the guidance screen that fits the system's version. Each
// flow ends with flowFinished.
class InstallHelperViewController final : public ViewController, public InstallFlowListener {
    Q_OBJECT
public:
    using Step = InstallFlowListener::Step;

    explicit InstallHelperViewController(AppServices& services);
    ~InstallHelperViewController() override;

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

signals:
    // An install, uninstall or reload has ended: its alerts are dismissed, its screen is shown.
    void flowFinished();

protected:
    void loadView(QWidget& view) override;
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void flowStepChanged(Step step) override;
    void flowOutputLine(const QString& line) override;
    void flowEnded(const Outcome& outcome) override;

    void showInstallationSuccessResult();
    void showBlessActionFailedResult(const std::optional<DomainError>& error);
    void runAlert(const QString& messageText, const QString& informativeText, AlertStyle style);

    void beginStep(Step step);
    void showStep(Step step);
    void becomeIdle();
    void showDetails(bool shown);
    void makeRoom();

    std::unique_ptr<Ui::InstallHelperViewController> ui_;
    Step step_ = Step::None;
    // Last, so that its work is joined before the widgets it reports to go.
    InstallFlow flow_;
};
