#include "MessageBoxAlertPresenter.h"
#include "ResourceColorCatalog.h"
#include "TempDir.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <fstream>

#include <gtest/gtest.h>

namespace ntfs::test {
namespace {

TEST(ResourceColorCatalogTest, GivesNoColourForWhatItCannotRead)
{
    TempDir dir;
    std::ofstream(dir / "colors.json") << R"({"good": "#102030", "bad": "not a colour", "number": 5})";
    ResourceColorCatalog catalog(QString::fromStdString((dir / "colors.json").string()));
    EXPECT_EQ(catalog.colorNamed(QStringLiteral("good")), QColor(0x10, 0x20, 0x30));
    EXPECT_FALSE(catalog.colorNamed(QStringLiteral("bad")));
    EXPECT_FALSE(catalog.colorNamed(QStringLiteral("number")));
    EXPECT_FALSE(catalog.colorNamed(QStringLiteral("absent")));

    ResourceColorCatalog missing(QString::fromStdString((dir / "none.json").string()));
    EXPECT_FALSE(missing.colorNamed(QStringLiteral("good")));
}

TEST(MessageBoxAlertPresenterTest, ShowsOneButtonTheTextsAndTheStyleModally)
{
    struct Seen {
        QString text, informative, button;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        bool modal = false;
    } seen;
    QTimer::singleShot(0, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        seen.text = box->text();
        seen.informative = box->informativeText();
        seen.icon = box->icon();
        seen.buttons = int(box->buttons().size());
        seen.button = box->buttons().value(0)->text();
        seen.modal = box->windowModality() == Qt::ApplicationModal;
        box->buttons().value(0)->click();
    });

    MessageBoxAlertPresenter presenter;
    presenter.runModal({QStringLiteral("Fine"), QStringLiteral("It failed."), QStringLiteral("script output"), AlertStyle::Critical});

    EXPECT_EQ(seen.text, QStringLiteral("It failed."));
    EXPECT_EQ(seen.informative, QStringLiteral("script output"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_EQ(seen.button, QStringLiteral("Fine"));
    EXPECT_TRUE(seen.modal);
}

}  // namespace
}  // namespace ntfs::test
