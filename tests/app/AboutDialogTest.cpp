#include <gtest/gtest.h>

#include <QLabel>
#include <QToolButton>

#include "WidgetTestSupport.h"
#include "app/resources/AppIcon.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/BoldFont.h"
#include "app/ui/SoftKeyBar.h"
#include "support/TempDevice.h"

namespace velmo {
namespace {

struct CloseRow {
    const char* name;
    int result;
    std::function<void(AboutDialog&)> close;
};

class AboutDialogClosing : public testing::TestWithParam<CloseRow> {
protected:
    test::TempDevice device_;
};

TEST_P(AboutDialogClosing, ShowsNameVersionAndIconUntilClosed) {
    AboutDialog dialog(nullptr);
    dialog.Create();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.Caption(), QStringLiteral("VelmoLight"));
    auto* product = qobject_cast<QLabel*>(dialog.DlgItem(AboutDialog::IDC_PRODUCT));
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->text(), QStringLiteral("Velmo Dirid 1.2"));
    EXPECT_EQ(product->font(), BoldFont());
    EXPECT_TRUE(product->alignment() & Qt::AlignHCenter);
    auto* icon = qobject_cast<QLabel*>(dialog.DlgItem(AboutDialog::IDC_ICON));
    ASSERT_NE(icon, nullptr);
    QImage picture =
        dialog.grab(icon->geometry().translated(icon->parentWidget()->mapTo(&dialog, QPoint(0, 0)))).toImage();
    EXPECT_EQ(picture.size(), QSize(AppIcon().width, AppIcon().height));
    // The envelope's outline shows; the mask corners show the dialog's white.
    EXPECT_GT(test::CountPixels(picture, picture.rect(), [](QColor c) { return c.lightness() < 80; }), 20);
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(dialog.MenuBar()->Key(0)->text(), QStringLiteral("Done"));
    test::SaveScreenshot(dialog, "about");
    GetParam().close(dialog);
    EXPECT_TRUE(dialog.Ended());
    EXPECT_EQ(dialog.result(), GetParam().result);
    EXPECT_EQ(dialog.MenuBar(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AboutDialogClosing,
    testing::Values(
        CloseRow{"DoneButton", IDOK, [](AboutDialog& d) { QTest::mouseClick(d.DoneButton(), Qt::LeftButton); }},
        CloseRow{"DoneKey", IDM_DONE, [](AboutDialog& d) { QTest::mouseClick(d.MenuBar()->Key(0), Qt::LeftButton); }},
        CloseRow{"Window", kClosedByWindow, [](AboutDialog& d) { d.close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmo
