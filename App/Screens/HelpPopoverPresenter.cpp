#include "App/Screens/HelpPopoverPresenter.h"

#include "App/Screens/Popover.h"
#include "App/Screens/Storyboard.h"
#include "App/Screens/ViewController.h"
#include "App/Shell/AppServices.h"
#include "Common/Logger.h"

#include <QWidget>

void HelpPopoverPresenter::showHelp(QWidget* helpButton, AppServices& services)
{
    services.logger.log("show helper action");
    if (!helpButton)
        return;
    auto* popover = new Popover(helpButton->window());
    auto storyboard = Storyboard::storyboardWithName(QString::fromLatin1(Storyboard::mainName), services);
    popover->setContentViewController(storyboard->instantiateControllerWithIdentifier(QStringLiteral("helper")));
    popover->showRelativeToRect(helpButton->rect(), helpButton, Popover::Edge::MaxY);
}
