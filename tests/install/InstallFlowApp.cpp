// The setup app for the end-to-end test of the install flow: the app's own window, screens and
// actions, wired as the app wires them (real privileged task runner, real bless tool, real
// scripts), except that the running version comes from the command line, log lines and alerts go
// to standard output (alerts are answered at once) and the bundle is the folder named first.
// Usage: install_flow_app BUNDLE-FOLDER MAJOR.MINOR.PATCH
// Prints, one line each:
//   ready X Y W H BX BY   the window is painted: its global rectangle and the Install button's centre
//   log TEXT              a log line (line breaks shown as " | ")
//   alert MESSAGE | INFO  an alert
//   shown CLASS X Y W H   a new screen has been painted in the window
//   timeout               nothing ended the flow within two minutes; the program exits with 3
#include "AlertPresenter.h"
#include "AppDelegate.h"
#include "AppWiring.h"
#include "ApplicationShell.h"
#include "InstallHelperViewController.h"
#include "Localization.h"
#include "Logger.h"
#include "OSVersionSource.h"
#include "SystemRestart.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <string>

namespace {

void emitLine(const std::string& line)
{
    std::string flat = line;
    for (std::size_t at = flat.find('\n'); at != std::string::npos; at = flat.find('\n', at))
        flat.replace(at, 1, " | ");
    std::printf("%s\n", flat.c_str());
    std::fflush(stdout);
}

class StdoutLogger final : public ntfs::Logger {
public:
    void log(std::string_view line) override { emitLine("log " + std::string(line)); }
};

class AnsweringAlertPresenter final : public AlertPresenter {
public:
    void runModal(const Alert& alert) override
    {
        emitLine("alert " + alert.messageText.toStdString() + " | " + alert.informativeText.toStdString());
    }
};

class RefusingRestart final : public SystemRestart {
public:
    bool restart(QString& errorInfo) override
    {
        errorInfo = QStringLiteral("the install flow test restarts nothing");
        return false;
    }
};

class GivenVersion final : public OSVersionSource {
public:
    explicit GivenVersion(OperatingSystemVersion version) : version_(version) {}
    OperatingSystemVersion operatingSystemVersion() const override { return version_; }

private:
    OperatingSystemVersion version_;
};

std::string rectangle(const QRect& r)
{
    return std::to_string(r.x()) + " " + std::to_string(r.y()) + " " + std::to_string(r.width()) + " " +
           std::to_string(r.height());
}

// Reports the window once it has been painted, and every screen that replaces its content once
// that screen has been painted.
class ScreenReporter final : public QObject {
public:
    explicit ScreenReporter(Window& window) : window_(window)
    {
        window_.installEventFilter(this);
        awaitPaint(&window_);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A new content brings the window layout and show events; whichever comes first tells.
        ViewController* content = window_.contentViewController();
        if (watched == &window_ && reported_ && content != shownContent_ && content && content->isViewLoaded()) {
            shownContent_ = content;
            awaitPaint(content->view());
        }
        if (watched == awaited_ && event->type() == QEvent::Paint) {
            if (awaited_ != &window_)
                awaited_->removeEventFilter(this);
            awaited_ = nullptr;
            // After this paint pass has reached the window.
            QTimer::singleShot(0, this, [this] { report(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void awaitPaint(QWidget* widget)
    {
        awaited_ = widget;
        if (widget != &window_)
            widget->installEventFilter(this);
    }

    void report()
    {
        QRect frame(window_.mapToGlobal(QPoint(0, 0)), window_.size());
        if (!reported_) {
            reported_ = true;
            shownContent_ = window_.contentViewController();
            auto* screen = qobject_cast<InstallHelperViewController*>(window_.contentViewController());
            QAbstractButton* install = screen ? screen->installButton() : nullptr;
            QPoint centre = install ? install->mapToGlobal(install->rect().center()) : QPoint(-1, -1);
            emitLine("ready " + rectangle(frame) + " " + std::to_string(centre.x()) + " " + std::to_string(centre.y()));
            return;
        }
        emitLine(std::string("shown ") + window_.contentViewController()->metaObject()->className() + " " +
                 rectangle(frame));
    }

    Window& window_;
    QWidget* awaited_ = nullptr;
    bool reported_ = false;
    ViewController* shownContent_ = nullptr;
};

bool parseVersion(const char* text, OperatingSystemVersion& version)
{
    return std::sscanf(text, "%d.%d.%d", &version.majorVersion, &version.minorVersion, &version.patchVersion) == 3;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    OperatingSystemVersion version{};
    if (argc != 3 || !parseVersion(argv[2], version)) {
        std::fputs("usage: install_flow_app BUNDLE-FOLDER MAJOR.MINOR.PATCH\n", stderr);
        return 2;
    }
    StdoutLogger logger;
    RefusingRestart restart;
    AnsweringAlertPresenter alerts;
    GivenVersion osVersion(version);
    AppServiceOverrides overrides;
    overrides.logger = &logger;
    overrides.restart = &restart;
    overrides.alerts = &alerts;
    overrides.osVersion = &osVersion;
    overrides.bundlePath = QString::fromLocal8Bit(argv[1]);
    AppWiring wiring(overrides);

    auto translator = Localization::installForUserLocale();

    AppDelegate delegate;
    ApplicationShell shell(application, delegate);
    shell.window().move(40, 40);
    ScreenReporter reporter(shell.window());
    QTimer::singleShot(120000, &application, [] {
        emitLine("timeout");
        QCoreApplication::exit(3);
    });
    return shell.run();
}
