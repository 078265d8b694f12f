#include "App/Screens/VenturaQRCodeViewController.h"

#include "App/Screens/ScreenStyle.h"
#include "App/Shell/Localization.h"
#include "ui_VenturaQRCodeViewController.h"

VenturaQRCodeViewController::VenturaQRCodeViewController(AppServices& services) : ViewController(services) {}
VenturaQRCodeViewController::~VenturaQRCodeViewController() = default;

QWidget* VenturaQRCodeViewController::bgView() const { return ui_ ? ui_->bgView : nullptr; }
QLabel* VenturaQRCodeViewController::pageTitle() const { return ui_ ? ui_->pageTitle : nullptr; }
QLabel* VenturaQRCodeViewController::stepLabel() const { return ui_ ? ui_->stepLabel : nullptr; }
QLabel* VenturaQRCodeViewController::instructionsLabel() const { return ui_ ? ui_->instructionsLabel : nullptr; }
QLabel* VenturaQRCodeViewController::qrCodeImage() const { return ui_ ? ui_->qrCodeImage : nullptr; }

void VenturaQRCodeViewController::loadView(QWidget& view)
{
    ui_ = std::make_unique<Ui::VenturaQRCodeViewController>();
    ui_->setupUi(&view);
}

void VenturaQRCodeViewController::viewDidLoad()
{
    ViewController::viewDidLoad();
    ScreenStyle::styleBackgroundView(bgView());
    setStringValue(pageTitle(), "VenturaQRCodeViewController.title");
    setStringValue(stepLabel(), "VenturaQRCodeViewController.stepLabel");
    setStringValue(instructionsLabel(), "VenturaQRCodeViewController.instructionsLabel");
    if (QLabel* image = qrCodeImage()) {
        setAccessibleText(image, "Accessibility.qrCode");
        QString description = Localization::localizedString("Accessibility.qrCodeDescription");
        // Without a translation the key stands alone; the address must still be told.
        image->setAccessibleDescription(description.contains(QLatin1String("%1"))
                                            ? description.arg(QLatin1String(helpAddress))
                                            : description + QLatin1Char(' ') + QLatin1String(helpAddress));
    }
}
