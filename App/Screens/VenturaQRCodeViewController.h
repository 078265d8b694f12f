#pragma once

#include "App/Screens/ViewController.h"

#include <memory>

class QLabel;
namespace Ui {
class VenturaQRCodeViewController;
}

// Scene "scanQRCode": instructions and a QR code leading to them; nothing to press.
class VenturaQRCodeViewController final : public ViewController {
    Q_OBJECT
public:
    // Where the QR code leads (App/Resources/Images/generate.sh encodes it).
    static constexpr const char* helpAddress = "https://help.example.org/ntfs-setup";

    explicit VenturaQRCodeViewController(AppServices& services);
    ~VenturaQRCodeViewController() override;

    QWidget* bgView() const;
    QLabel* pageTitle() const;
    QLabel* stepLabel() const;
    QLabel* instructionsLabel() const;
    QLabel* qrCodeImage() const;

protected:
    void loadView(QWidget& view) override;
    void viewDidLoad() override;

private:
    std::unique_ptr<Ui::VenturaQRCodeViewController> ui_;
};
