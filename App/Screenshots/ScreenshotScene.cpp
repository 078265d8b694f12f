#include "ScreenshotScene.h"

#include "GrantPermissionViewController.h"
#include "Popover.h"
#include "Storyboard.h"
#include "Window.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

ScreenshotScene::ScreenshotScene(Window& window, QString scene) : window_(window), scene_(std::move(scene)) {}

bool ScreenshotScene::start()
{
    QString identifier = scene_ == QLatin1String("popover") ? QStringLiteral("grantFDA") : scene_;
    if (identifier != QLatin1String("install")) {
        auto storyboard = Storyboard::storyboardWithName(QString::fromLatin1(Storyboard::mainName));
        auto controller = storyboard->instantiateControllerWithIdentifier(identifier);
        if (!controller)
            return false;
        window_.setContentViewController(std::move(controller));
    }
    window_.adjustSize();
    window_.resize(window_.size().expandedTo(QSize(640, 0)));
    waitForPaint(&window_);
    window_.show();
    return true;
}

void ScreenshotScene::waitForPaint(QWidget* widget)
{
    awaited_ = widget;
    widget->installEventFilter(this);
}

bool ScreenshotScene::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == awaited_.data() && event->type() == QEvent::Paint) {
        awaited_->removeEventFilter(this);
        awaited_.clear();
        // Runs after this paint pass has been flushed to the window.
        QTimer::singleShot(0, this, &ScreenshotScene::painted);
    }
    return QObject::eventFilter(watched, event);
}

void ScreenshotScene::painted()
{
    if (scene_ == QLatin1String("popover") && popover_.isNull())
        openPopover();
    else
        reportReady();
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
    waitForPaint(popover_);
    popover_->update();
}

void ScreenshotScene::reportReady()
{
    // One round trip to the X server: everything drawn so far is on the screen.
    QGuiApplication::sync();
    QRect area = window_.frameGeometry();
    if (popover_)
        area = area.united(popover_->frameGeometry());
    std::printf("ready %d %d %d %d\n", area.x(), area.y(), area.width(), area.height());
    std::fflush(stdout);
}
