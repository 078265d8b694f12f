#pragma once

#include <QWidget>

#include <memory>

class QVBoxLayout;
class ViewController;

// The app's one window. It owns its content screen; a new content takes the place of the old one
// in the same window object.
class Window final : public QWidget {
    Q_OBJECT
public:
    explicit Window(QWidget* parent = nullptr);
    ~Window() override;

    ViewController* contentViewController() const { return content_.get(); }

    // Loads the new screen's view (its set-up runs now) and shows it in place of the old one. The
    // old screen is released once control is back in the event loop, since the call may come from
    // one of its own buttons.
    void setContentViewController(std::unique_ptr<ViewController> controller);

    // The window that shows a screen's view, if any.
    static Window* windowOf(QWidget* view);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QVBoxLayout* layout_;
    std::unique_ptr<ViewController> content_;
};
