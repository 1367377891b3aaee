#include "ui/common/qt_prompter.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <vector>

#include "core/version.h"

namespace tavu {
namespace {

std::vector<QMessageBox*> visibleBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

QMessageBox* activeBox() {
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

void click(QMessageBox* box, QMessageBox::StandardButton which) {
    ASSERT_NE(box->button(which), nullptr);
    QTest::mouseClick(box->button(which), Qt::LeftButton);
}

// While it lives, closes and counts every box but the one to keep, so that a show() that
// wrongly opens a box fails the test instead of waiting for ever.
class StrayBoxCatcher {
  public:
    explicit StrayBoxCatcher(QMessageBox* keep) {
        QObject::connect(&timer_, &QTimer::timeout, [this, keep] {
            for (QMessageBox* box : visibleBoxes()) {
                if (box != keep) {
                    ++caught_;
                    box->done(QMessageBox::No);
                }
            }
        });
        timer_.start(0);
    }
    int caught() const { return caught_; }

  private:
    QTimer timer_;
    int caught_ = 0;
};

TEST(QtPrompter, RequestForTheOpenBoxReturnsAtOnceFromATimer) {
    struct Case {
        Message message;
        QMessageBox::StandardButton click;
        Answer outer, inner;
        QString caption;
    };
    const Case cases[] = {
        {{"Error <b>connecting</b>!", "", Buttons::Ok, Icon::Error},
         QMessageBox::Ok,
         Answer::Ok,
         Answer::Ok,
         "TAVU"},
        {{"Done.", kAppTitle, Buttons::Ok, Icon::None},
         QMessageBox::Ok,
         Answer::Ok,
         Answer::Ok,
         "TAVU"},
        {{"Exit ?", "Are you sure ?", Buttons::YesNo, Icon::Question},
         QMessageBox::Yes,
         Answer::Yes,
         Answer::No,
         "Are you sure ?"},
    };
    QtPrompter prompter;
    for (const Case& c : cases) {
        Answer inner = Answer::Cancel;
        int stray = -1;
        QString caption, text;
        Qt::TextFormat format = Qt::RichText;
        QTimer::singleShot(0, [&] {
            QMessageBox* box = activeBox();
            StrayBoxCatcher catcher(box);
            if (box == nullptr) {
                return ADD_FAILURE() << "no box";
            }
            caption = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            inner = prompter.show(c.message);  // as a timer firing under the box would
            stray = catcher.caught();
            click(box, c.click);
        });
        EXPECT_EQ(prompter.show(c.message), c.outer);
        EXPECT_EQ(inner, c.inner);
        EXPECT_EQ(stray, 0);
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(text, QString::fromStdString(c.message.text));
        EXPECT_EQ(format, Qt::PlainText);
    }
}

TEST(QtPrompter, DifferentBoxesStack) {
    QtPrompter prompter;
    std::size_t boxesWhileBothOpen = 0;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            boxesWhileBothOpen = visibleBoxes().size();
            for (QMessageBox* box : visibleBoxes()) {
                box->done(QMessageBox::Ok);
            }
        });
        prompter.show({"Error connecting email server!", "Mail", Buttons::Ok, Icon::None});
    });
    prompter.show({"Error connecting email server!", "", Buttons::Ok, Icon::Warning});
    EXPECT_EQ(boxesWhileBothOpen, 2u);
    EXPECT_EQ(prompter.openCount(), 0);
}

}  // namespace
}  // namespace tavu

namespace tavu {
namespace {

TEST(QtPrompter, NoticesReturnAtOnceOneBoxPerCause) {
    QtPrompter prompter;
    const Message a{"The log can not be written.", "Error", Buttons::Ok, Icon::None};
    prompter.notify(a);
    prompter.notify(a);
    ASSERT_EQ(visibleBoxes().size(), 1u);
    QMessageBox* box = visibleBoxes().front();
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    // Waiting for the same box is not started while it is open; another cause opens its own.
    EXPECT_EQ(prompter.show(a), Answer::Ok);
    prompter.notify(Message{"<b>Other</b>", "", Buttons::Ok, Icon::Warning});
    EXPECT_EQ(visibleBoxes().size(), 2u);
    EXPECT_EQ(prompter.openCount(), 2);

    click(box, QMessageBox::Ok);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(prompter.openCount(), 1);
    prompter.notify(a);
    EXPECT_EQ(visibleBoxes().size(), 2u) << "the cause may raise a box again once it was closed";
}

}  // namespace
}  // namespace tavu
