#pragma once

#include <QFrame>

#include <memory>

class ViewController;

// A transient popover: a Qt::Popup frame that closes when the user clicks outside it and deletes
// itself (and its content screen) once closed, so nobody needs to hold it while it is open.
class Popover final : public QFrame {
    Q_OBJECT
public:
    // The rectangle edge to show the popover on, in the platform's upward-y terms: MaxY is the top.
    enum class Edge { MinX = 0, MinY = 1, MaxX = 2, MaxY = 3 };

    explicit Popover(QWidget* parent);
    ~Popover() override;

    ViewController* contentViewController() const { return content_.get(); }
    void setContentViewController(std::unique_ptr<ViewController> controller);

    // Shows the popover beside rect (in view's coordinates) on the preferred edge, or on the
    // opposite one when the screen has no room there.
    void showRelativeToRect(const QRect& rect, QWidget* view, Edge preferredEdge);

private:
    QRect placement(const QRect& anchor, Edge edge) const;
    QRect keepOnScreen(QRect frame, const QRect& anchor, Edge edge, const QRect& screen) const;

    std::unique_ptr<ViewController> content_;
};
