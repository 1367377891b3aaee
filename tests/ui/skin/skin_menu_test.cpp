#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "monitor/commands.h"
#include "ui/skin/skin_menu.h"
#include "ui/skin/skin_menu_layout.h"

namespace tavu {
namespace {

TEST(SkinMenuLayout, ItemsStackByTheWidestAndTallestTextPlusHalf) {
    const skin::MenuLevelGeometry g = skin::layoutMenuLevel({{40, 13}, {61, 12}, {7, 15}});
    EXPECT_EQ(g.itemWidth, 61 + 30);
    EXPECT_EQ(g.itemHeight, 15 + 7);
    EXPECT_EQ(g.count, 3);
    EXPECT_EQ(g.item(0), (skin::Rect{1, 1, 91, 22}));
    EXPECT_EQ(g.item(2), (skin::Rect{1, 45, 91, 22}));
    EXPECT_EQ(g.windowWidth(), 93);
    EXPECT_EQ(g.windowHeight(), 3 * 22 + 2);
    EXPECT_EQ(g.childOrigin(10, 20, 2), std::make_pair(10 + 91 + 1, 20 + 44));

    EXPECT_EQ(g.itemAt(0, 5), -1);  // the frame around the items
    EXPECT_EQ(g.itemAt(1, 1), 0);
    EXPECT_EQ(g.itemAt(91, 22), 0);
    EXPECT_EQ(g.itemAt(92, 22), -1);
    EXPECT_EQ(g.itemAt(50, 23), 1);
    EXPECT_EQ(g.itemAt(50, 67), -1);

    const skin::MenuLevelGeometry none = skin::layoutMenuLevel({});
    EXPECT_EQ(none.windowWidth(), 2);
    EXPECT_EQ(none.itemAt(1, 1), -1);
    const skin::MenuLevelGeometry odd = skin::layoutMenuLevel({{-5, 2000000000}});
    EXPECT_EQ(odd.itemWidth, 0);
    EXPECT_EQ(odd.itemHeight, skin::kCoordinateLimit + skin::kCoordinateLimit / 2);
}

class SkinMenuTest : public testing::Test {
  protected:
    SkinMenuTest() {
        owner.resize(600, 400);
        owner.show();
        menu = CSkinMenu::mainMenu(
            &owner, QPoint(10, 20), SkinMenuColors{Qt::white, Qt::black, Qt::gray, Qt::darkGray},
            QApplication::font(), [this](int id) { delivered.push_back(id); });
        menu->draw();
    }
    QPoint centre(const CSkinMenu& level, int i) const {
        const skin::Rect r = level.geometry().item(i);
        return QPoint(r.x + r.w / 2, r.y + r.h / 2);
    }

    QWidget owner;
    std::unique_ptr<CSkinMenu> menu;
    std::vector<int> delivered;
};

TEST_F(SkinMenuTest, BuiltFromMenu161) {
    std::string shape;
    for (int i = 0; i < menu->count(); ++i) {
        shape += (i ? "|" : "") + menu->text(i).toStdString();
        if (const CSkinMenu* c = menu->child(i)) {
            shape += ":";
            for (int j = 0; j < c->count(); ++j) {
                shape += (j ? "," : "") + c->text(j).toStdString();
            }
            EXPECT_EQ(c->position(), QPoint(10 + menu->geometry().itemWidth + 1,
                                            20 + i * menu->geometry().itemHeight));
            EXPECT_EQ(c->window(), nullptr);  // lower levels have no window until opened
        }
    }
    EXPECT_EQ(shape,
              "Connection:Connect,Hangup,Check email,Check update,Inet Tools,Performance,"
              "Check balance,Messages|"
              "Preferences:Preferences,Connections,Security,Timer,Skin|Report:Report,Summary|"
              "Help:&Contents,&About|View:Hide,Minimize|Exit");
    EXPECT_EQ(menu->command(5), CmdExit);
    EXPECT_EQ(menu->child(4)->command(0), CmdHide);
    ASSERT_NE(menu->window(), nullptr);
    EXPECT_EQ(menu->window()->geometry(),
              QRect(10, 20, menu->geometry().windowWidth(), menu->geometry().windowHeight()));
}

TEST_F(SkinMenuTest, MovingMakesHotAndSwitchesTheOpenPopup) {
    menu->mouseMove(centre(*menu, 2));
    EXPECT_EQ(menu->hotItem(), 2);
    EXPECT_EQ(menu->openItem(), -1);

    menu->mousePress(centre(*menu, 0));  // opens "Connection"
    EXPECT_EQ(menu->openItem(), 0);
    EXPECT_EQ(menu->hotItem(), -1);
    ASSERT_NE(menu->child(0)->window(), nullptr);
    EXPECT_TRUE(menu->child(0)->window()->isVisible());

    menu->mouseMove(centre(*menu, 1));  // while open, moving over another item opens it
    EXPECT_EQ(menu->openItem(), 1);
    EXPECT_EQ(menu->child(0)->window(), nullptr);
    EXPECT_NE(menu->child(1)->window(), nullptr);

    menu->mouseMove(QPoint(0, 0));  // the frame: nothing changes
    EXPECT_EQ(menu->openItem(), 1);

    menu->mousePress(centre(*menu, 1));  // pressing the open item closes it
    EXPECT_EQ(menu->openItem(), -1);
    EXPECT_EQ(menu->child(1)->window(), nullptr);
    EXPECT_NE(menu->window(), nullptr);  // the top level stays
    QApplication::processEvents();
    EXPECT_TRUE(delivered.empty());
}

TEST_F(SkinMenuTest, ACommandInAPopupClosesTheChainAndArrivesAfterwards) {
    menu->mousePress(centre(*menu, 4));  // "View"
    CSkinMenu* view = menu->child(4);
    ASSERT_NE(view->window(), nullptr);
    view->mouseMove(centre(*view, 1));
    EXPECT_EQ(view->hotItem(), 1);
    view->mousePress(centre(*view, 1));  // "Minimize"
    EXPECT_EQ(view->window(), nullptr);
    EXPECT_EQ(view->openItem(), -1);
    EXPECT_EQ(menu->openItem(), -1);
    EXPECT_EQ(menu->hotItem(), -1);
    EXPECT_NE(menu->window(), nullptr);
    EXPECT_TRUE(delivered.empty());
    QApplication::processEvents();
    EXPECT_EQ(delivered, std::vector<int>{CmdMinimize});

    // A press on the top level's frame goes on to the open popup at the same spot.
    menu->mousePress(centre(*menu, 3));  // "Help"
    CSkinMenu* help = menu->child(3);
    const QPoint inHelp = centre(*help, 1) + help->position() - menu->position();
    menu->mousePress(inHelp);  // outside the top level's items
    QApplication::processEvents();
    EXPECT_EQ(delivered, (std::vector<int>{CmdMinimize, CmdAbout}));
}

TEST_F(SkinMenuTest, ReplacingTheMenuFromItsOwnCommandIsSafe) {
    menu->draw();
    auto* keep = &menu;
    delivered.clear();
    // The command arrives after the click: the menu may be destroyed by it.
    menu->mousePress(centre(*menu, 5));
    QApplication::processEvents();
    keep->reset();
    QApplication::processEvents();
    EXPECT_EQ(delivered, std::vector<int>{CmdExit});
}

}  // namespace
}  // namespace tavu
