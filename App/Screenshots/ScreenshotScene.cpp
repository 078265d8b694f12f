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

ScreenshotScene::ScreenshotScene(QWidget& backdrop, Window& window, QString scene)
    : backdrop_(backdrop), window_(window), scene_(std::move(scene))
{
}

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
    std::printf("ready %d %d %d %d\n", area.x(), area.y(), area.width(), area.height());
    std::fflush(stdout);
}
