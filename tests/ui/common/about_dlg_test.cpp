#include "ui/common/about_dlg.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>
#include <QTest>

namespace tavu {
namespace {

// The credits area of the picture, to see that it changes as the text scrolls.
QImage creditsPicture(CAboutDlg& dialog) {
    return dialog.grab(QRect(20, 150, dialog.width() - 40, dialog.height() - 170)).toImage();
}

TEST(AboutDlg, CreditsScrollUpwardsAndStartAgain) {
    CAboutDlg dialog;
    dialog.show();
    const QImage first = creditsPicture(dialog);
    for (int i = 0; i < 60; ++i) {
        dialog.step();
    }
    EXPECT_EQ(dialog.scrollOffset(), 60);
    EXPECT_NE(creditsPicture(dialog), first);  // text has come into view

    // Once every line has passed the area, the scroll starts from the bottom again.
    int steps = 0;
    while (dialog.scrollOffset() != 0 && steps < 100000) {
        dialog.step();
        ++steps;
    }
    EXPECT_EQ(dialog.scrollOffset(), 0);
    EXPECT_GT(steps, 60);
}

TEST(AboutDlg, EscapeOrAClickCloses) {
    {
        CAboutDlg dialog;
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        CAboutDlg dialog;
        dialog.show();
        QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(200, 200));
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    {
        CAboutDlg dialog;
        dialog.show();
        ASSERT_NE(dialog.closeButton(), nullptr);
        EXPECT_EQ(dialog.closeButton()->text(), "Close");
        EXPECT_TRUE(dialog.closeButton()->isVisible());
        QTest::keyClick(&dialog, Qt::Key_Return);  // the default button
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
}

}  // namespace
}  // namespace tavu
