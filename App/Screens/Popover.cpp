#include "App/Screens/Popover.h"

#include "App/Screens/ScreenStyle.h"
#include "App/Screens/ViewController.h"

#include <QScreen>
#include <algorithm>
#include <QVBoxLayout>

namespace {

Popover::Edge opposite(Popover::Edge edge)
{
    switch (edge) {
    case Popover::Edge::MinX:
        return Popover::Edge::MaxX;
    case Popover::Edge::MaxX:
        return Popover::Edge::MinX;
    case Popover::Edge::MinY:
        return Popover::Edge::MaxY;
    case Popover::Edge::MaxY:
        break;
    }
    return Popover::Edge::MinY;
}

}  // namespace

Popover::Popover(QWidget* parent) : QFrame(parent, Qt::Popup)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("popover"));
    setPalette(ScreenStyle::panelPalette());
    setStyleSheet(QStringLiteral("#popover { background-color: white; border: 1px solid #b8bcc2; border-radius: 8px; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
}

Popover::~Popover()
{
    content_.reset();
}

void Popover::setContentViewController(std::unique_ptr<ViewController> controller)
{
    content_ = std::move(controller);
    if (content_)
        layout()->addWidget(content_->view());
}

void Popover::showRelativeToRect(const QRect& rect, QWidget* view, Edge preferredEdge)
{
    adjustSize();
    QRect anchor(view->mapToGlobal(rect.topLeft()), rect.size());
    QRect frame = placement(anchor, preferredEdge);
    if (QScreen* screen = view->screen())
        frame = keepOnScreen(frame, anchor, preferredEdge, screen->availableGeometry());
    setGeometry(frame);
    show();
}

QRect Popover::keepOnScreen(QRect frame, const QRect& anchor, Edge edge, const QRect& screen) const
{
    bool vertical = edge == Edge::MinY || edge == Edge::MaxY;
    bool fits = vertical ? frame.top() >= screen.top() && frame.bottom() <= screen.bottom()
                         : frame.left() >= screen.left() && frame.right() <= screen.right();
    if (!fits)
        frame = placement(anchor, opposite(edge));
    // Slide along the anchored edge so that the whole popover stays visible.
    int dx = std::max(0, screen.left() - frame.left()) - std::max(0, frame.right() - screen.right());
    int dy = std::max(0, screen.top() - frame.top()) - std::max(0, frame.bottom() - screen.bottom());
    return vertical ? frame.translated(dx, 0) : frame.translated(0, dy);
}

QRect Popover::placement(const QRect& anchor, Edge edge) const
{
    QSize size = this->size();
    QPoint centre = anchor.center();
    switch (edge) {
    case Edge::MaxY:
        return {QPoint(centre.x() - size.width() / 2, anchor.top() - size.height()), size};
    case Edge::MinY:
        return {QPoint(centre.x() - size.width() / 2, anchor.bottom() + 1), size};
    case Edge::MinX:
        return {QPoint(anchor.left() - size.width(), centre.y() - size.height() / 2), size};
    case Edge::MaxX:
        break;
    }
    return {QPoint(anchor.right() + 1, centre.y() - size.height() / 2), size};
}
