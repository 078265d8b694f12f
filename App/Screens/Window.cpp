#include "App/Screens/Window.h"

#include "App/Screens/ViewController.h"
#include "App/Shell/Localization.h"

#include <QCloseEvent>
#include <QVBoxLayout>

Window::Window(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this))
{
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    setWindowTitle(Localization::localizedString("Window.title"));
}

Window::~Window()
{
    content_.reset();
}

void Window::setContentViewController(std::unique_ptr<ViewController> controller)
{
    QWidget* newView = controller ? controller->view() : nullptr;
    std::unique_ptr<ViewController> previous = std::exchange(content_, std::move(controller));
    if (previous && previous->isViewLoaded()) {
        QWidget* oldView = previous->view();
        layout_->removeWidget(oldView);
        oldView->hide();
    }
    if (newView) {
        layout_->addWidget(newView);
        newView->show();
    }
    if (previous)
        previous.release()->deleteLater();
}

void Window::closeEvent(QCloseEvent* event)
{
    if (content_ && !content_->windowShouldClose())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

Window* Window::windowOf(QWidget* view)
{
    return view ? qobject_cast<Window*>(view->window()) : nullptr;
}
