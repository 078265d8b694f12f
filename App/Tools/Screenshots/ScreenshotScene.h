#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class Window;
struct AppServices;

// Puts one scene into the window (and, for "popover", opens the help popover on the Full Disk
// Access screen; for "installing", presses Install and opens the details once the script's output
// has come in), waits until everything shown has been painted and reached the X server, then
// prints "ready X Y W H" with the screen area to capture. A scene name ending in "-dark" is shown
// under a dark desktop palette, with a margin of the dark desktop around the window.
class ScreenshotScene final : public QObject {
    Q_OBJECT
public:
    // The backdrop stands for a desktop behind the window; the scenes are made with services.
    ScreenshotScene(QWidget& backdrop, Window& window, QString scene, AppServices& services);

    // False for an unknown scene name.
    bool start();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void waitForPaint(const QList<QWidget*>& widgets);
    void painted();
    void openPopover();
    void startInstalling();
    void applyDarkPalette();
    void reportReady();

    QWidget& backdrop_;
    Window& window_;
    QString scene_;
    AppServices& services_;
    bool dark_ = false;
    bool installing_ = false;
    QTimer quiet_;
    QList<QWidget*> awaited_;
    QPointer<QWidget> popover_;
};
