#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QAbstractButton;
class QLabel;
struct AppServices;

// A screen: owns its view, which it builds from its scene the first time the view is asked for,
// and then styles and fills in once (viewDidLoad). It reaches the platform through the services
// the storyboard handed it.
class ViewController : public QObject {
    Q_OBJECT
public:
    ~ViewController() override;
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }
    // Asked before the window showing this screen closes; false keeps the window open.
    virtual bool windowShouldClose() { return true; }

protected:
    explicit ViewController(AppServices& services) : services_(services) {}

    AppServices& services() const { return services_; }

    // Builds the scene's widgets into the view (uic's setupUi) and binds the actions.
    virtual void loadView(QWidget& view) = 0;
    virtual void viewDidLoad() {}

    // Both ignore an outlet that the scene leaves unconnected.
    static void setStringValue(QLabel* label, const char* key);
    static void setTitle(QAbstractButton* button, const char* key);
    // What screen readers say beyond a button's title: a name and a description, each when its
    // key is given.
    static void setAccessibleText(QWidget* widget, const char* nameKey, const char* descriptionKey = nullptr);

private:
    AppServices& services_;
    QPointer<QWidget> view_;
};
