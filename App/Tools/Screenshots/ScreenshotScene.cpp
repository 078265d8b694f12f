#include "App/Tools/Screenshots/ScreenshotScene.h"

#include "App/Screens/GrantPermissionViewController.h"
#include "App/Screens/InstallHelperViewController.h"
#include "App/Screens/Popover.h"
#include "App/Screens/Storyboard.h"
#include "App/Screens/Window.h"
#include "App/Tools/Screenshots/HoldingElevator.h"
#include "PrivilegedTask/QVPrivilegedTask.h"

#include <QAbstractButton>
#include <QEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QPlainTextEdit>
#include <QStyleFactory>

#include <cstdio>

ScreenshotScene::ScreenshotScene(QWidget& backdrop, Window& window, QString scene, AppServices& services)
    : backdrop_(backdrop), window_(window), scene_(std::move(scene)), services_(services)
{
}

namespace {
constexpr int darkMargin = 24;
// The script's output counts as complete once none has come for this long.
constexpr int quietMs = 700;
}  // namespace

bool ScreenshotScene::start()
{
    dark_ = scene_.endsWith(QLatin1String("-dark"));
    if (dark_) {
        scene_.chop(5);
        applyDarkPalette();
    }
    if (scene_ == QLatin1String("installing") && qEnvironmentVariableIsEmpty("NTFS_INSTALL_ROOT")) {
        std::fputs("the installing scene runs the real install script: set NTFS_INSTALL_ROOT\n", stderr);
        return false;
    }
    QString identifier = scene_ == QLatin1String("popover")      ? QStringLiteral("grantFDA")
                         : scene_ == QLatin1String("installing") ? QStringLiteral("install")
                                                                 : scene_;
    if (identifier != QLatin1String("install")) {
        auto storyboard = Storyboard::storyboardWithName(QString::fromLatin1(Storyboard::mainName), services_);
        auto controller = storyboard->instantiateControllerWithIdentifier(identifier);
        if (!controller)
            return false;
        window_.setContentViewController(std::move(controller));
    }
    // The help scene is made for a popover: show it at its own size.
    if (identifier == QLatin1String("helper"))
        window_.adjustSize();
    waitForPaint({&backdrop_, &window_});
    backdrop_.show();
    window_.show();
    window_.raise();
    return true;
}

void ScreenshotScene::waitForPaint(const QList<QWidget*>& widgets)
{
    awaited_ = widgets;
    for (QWidget* widget : widgets)
        widget->installEventFilter(this);
}

bool ScreenshotScene::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::Paint && awaited_.removeOne(widget)) {
        widget->removeEventFilter(this);
        // Runs after this paint pass has been flushed to the windows.
        if (awaited_.isEmpty())
            QTimer::singleShot(0, this, &ScreenshotScene::painted);
    }
    return QObject::eventFilter(watched, event);
}

void ScreenshotScene::painted()
{
    if (scene_ == QLatin1String("popover") && popover_.isNull())
        openPopover();
    else if (scene_ == QLatin1String("installing") && !installing_)
        startInstalling();
    else
        reportReady();
}

void ScreenshotScene::applyDarkPalette()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette dark(QColor(0x3a, 0x3b, 0x3e), QColor(0x24, 0x25, 0x28));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8b, 0xf2));
    QApplication::setPalette(dark);
    backdrop_.setStyleSheet(QStringLiteral("background-color: #1b1c1f;"));
}

void ScreenshotScene::startInstalling()
{
    installing_ = true;
    auto* screen = qobject_cast<InstallHelperViewController*>(window_.contentViewController());
    QVPrivilegedTask::setElevator(std::make_shared<HoldingElevator>());
    quiet_.setSingleShot(true);
    quiet_.setInterval(quietMs);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        waitForPaint({&window_});
        window_.update();
    });
    connect(screen->detailsView(), &QPlainTextEdit::textChanged, &quiet_, qOverload<>(&QTimer::start));
    screen->installButton()->click();
    screen->detailsButton()->click();
    quiet_.start();
}

void ScreenshotScene::openPopover()
{
    auto* screen = qobject_cast<GrantPermissionViewController*>(window_.contentViewController());
    screen->helperbutton()->click();
    const QList<Popover*> popovers = window_.findChildren<Popover*>();
    if (popovers.isEmpty()) {
        std::fputs("no popover opened\n", stderr);
        QCoreApplication::exit(1);
        return;
    }
    popover_ = popovers.last();
    waitForPaint({popover_.data()});
    popover_->update();
}

void ScreenshotScene::reportReady()
{
    // One round trip to the X server: everything drawn so far is on the screen.
    QGuiApplication::sync();
    QRect area = window_.frameGeometry();
    if (popover_)
        area = area.united(popover_->frameGeometry());
    if (dark_)
        area.adjust(-darkMargin, -darkMargin, darkMargin, darkMargin);
    std::printf("ready %d %d %d %d\n", area.x(), area.y(), area.width(), area.height());
    std::fflush(stdout);
}
