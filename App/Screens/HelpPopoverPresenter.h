#pragma once

class QWidget;
struct AppServices;

// The help action shared by the screens with a help button: a new popover with a new help screen,
// anchored on the button's top edge, on every press.
class HelpPopoverPresenter {
public:
    static void showHelp(QWidget* helpButton, AppServices& services);
};
