#include <gtest/gtest.h>

#include <QApplication>
#include <QBitmap>
#include <QLabel>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>
#include <filesystem>

#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "ui/skin/skin_chooser_dlg.h"
#include "ui/skin/skin_face.h"
#include "ui/skin/skin_menu.h"
#include "ui/skin/skin_test_support.h"

namespace tavu {
namespace {

const QRgb kUp = qRgb(20, 40, 60);
const QRgb kDown = qRgb(200, 10, 10);

// A window that paints itself through its skin, as the main window does.
class Face : public QWidget {
  public:
    Face() : list(new QTreeWidget(this)), skin(*this, list) {}
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        skin.paint(p, e->rect(), texts);
    }
    QImage picture() { return grab().toImage().convertToFormat(QImage::Format_RGB32); }

    QTreeWidget* list;
    SkinFace skin;
    DisplayTexts texts;
};

class SkinFaceTest : public testing::Test {
  protected:
    std::string skin(const std::string& name, const std::string& ini, QSize size = {60, 40}) {
        return test::writeSkin(dir.file(name), ini,
                               test::framedPicture(size.width(), size.height(), kUp),
                               test::framedPicture(size.width(), size.height(), kDown));
    }

    test::TempDir dir;
    ScriptedPrompter prompter;
    Face face;
};

TEST_F(SkinFaceTest, LoadShapesSizesAndPlacesTheStatusList) {
    const std::string path =
        skin("a", "[List]\nShowBuiltinList=1\nListLocation=5,6,30,20\nListBackgroundColor=1,2,3\n");
    ASSERT_TRUE(face.skin.load(path, prompter));
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_TRUE(face.skin.installed());
    EXPECT_TRUE(face.isVisible());
    EXPECT_EQ(face.size(), QSize(60, 40));
    // The magenta border is cut away.
    const QRegion mask = face.mask();
    EXPECT_TRUE(mask.contains(QPoint(1, 1)));
    EXPECT_TRUE(mask.contains(QPoint(58, 38)));
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(59, 20)));
    EXPECT_EQ(face.list->geometry(), QRect(5, 6, 30, 20));
    EXPECT_TRUE(face.list->isVisible());
    EXPECT_EQ(face.skin.menu(), nullptr);

    // A skin that does not ask for the list hides it; one without any opaque pixel keeps the
    // window's full rectangle.
    const QImage flat(30, 20, QImage::Format_RGB32);
    QImage black = flat;
    black.fill(Qt::black);
    const std::string plain = test::writeSkin(dir.file("b"), "", black, black);
    ASSERT_TRUE(face.skin.load(plain, prompter));
    EXPECT_FALSE(face.list->isVisible());
    EXPECT_TRUE(face.mask().isEmpty());
    EXPECT_EQ(face.size(), QSize(30, 20));
}

TEST_F(SkinFaceTest, AFailedLoadSaysSoAndKeepsTheSkinShownBefore) {
    const std::string good = skin("good",
                                  "[Coordinates]\nAbout=2,2,10,10\n[List]\nShowBuiltinList=1\n"
                                  "ListLocation=5,6,30,20\n");
    ASSERT_TRUE(face.skin.load(good, prompter));
    const QRegion mask = face.mask();

    std::vector<std::string> bad;
    const QImage up = test::framedPicture(20, 20, kUp);
    bad.push_back(test::writeSkin(dir.file("nodown"), "[List]\nShowBuiltinList=0\n", up, {}));
    bad.push_back(test::writeSkin(dir.file("noup"), "", {}, up));
    bad.push_back(test::writeSkin(dir.file("sizes"), "", up, test::framedPicture(21, 20, kUp)));
    bad.push_back(test::writeSkin(dir.file("cut"), "", up, up));
    {
        const std::string bmp = test::readFile(dir.file("cut/MainUp.bmp"));
        test::writeFile(dir.file("cut/MainUp.bmp"), bmp.substr(0, bmp.size() / 2));
    }
    bad.push_back(test::writeSkin(dir.file("text"), "", up, up));
    test::writeFile(dir.file("text/MainDown.bmp"), "BM this is not a picture");
    bad.push_back(dir.file("missing/Skin.ini"));

    for (const std::string& path : bad) {
        SCOPED_TRACE(path);
        prompter.shown.clear();
        EXPECT_FALSE(face.skin.load(path, prompter));
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, "Can't change to this skin : " + path);
        EXPECT_EQ(prompter.shown[0].caption, kAppTitle);
        EXPECT_EQ(face.skin.path().toStdString(), good);
        EXPECT_EQ(face.skin.description().item(skin::About), (skin::Rect{2, 2, 10, 10}));
        EXPECT_EQ(face.size(), QSize(60, 40));
        EXPECT_EQ(face.mask(), mask);
        EXPECT_TRUE(face.list->isVisible());
        EXPECT_TRUE(face.isVisible());
    }
}

TEST_F(SkinFaceTest, PressAndReleaseFollowTheItemTable) {
    // About and Minimize overlap; ConTime is not clickable; Test1 is clickable but does nothing.
    const std::string path = skin("m",
                                  "[Coordinates]\nAbout=2,2,20,20\nMinimize=10,10,20,20\n"
                                  "ConTime=35,2,20,10\nTest1=35,20,10,10\n");
    ASSERT_TRUE(face.skin.load(path, prompter));

    EXPECT_EQ(face.skin.itemAt(QPoint(15, 15)), skin::About);  // the earlier item wins
    EXPECT_EQ(face.skin.itemAt(QPoint(25, 25)), skin::Minimize);
    EXPECT_EQ(face.skin.itemAt(QPoint(40, 5)), -1);
    EXPECT_EQ(face.skin.itemAt(QPoint(40, 25)), skin::Test1);

    // A press on an item draws it down until the release; a release inside runs it.
    EXPECT_EQ(face.skin.press(QPoint(25, 25)), skin::Minimize);
    QImage shown = face.picture();
    EXPECT_EQ(shown.pixel(25, 25), kDown);
    EXPECT_EQ(shown.pixel(5, 5), kUp);
    EXPECT_EQ(face.skin.release(QPoint(29, 29)), skin::Minimize);
    EXPECT_EQ(face.picture().pixel(25, 25), kUp);

    // A release outside the pressed item runs nothing, even over another item.
    EXPECT_EQ(face.skin.press(QPoint(25, 25)), skin::Minimize);
    EXPECT_EQ(face.skin.release(QPoint(5, 5)), -1);
    EXPECT_EQ(face.skin.pressedItem(), -1);

    // A press outside every clickable item asks for a drag and draws nothing down.
    EXPECT_EQ(face.skin.press(QPoint(40, 5)), -1);
    EXPECT_EQ(face.skin.release(QPoint(40, 5)), -1);
}

TEST_F(SkinFaceTest, DisplayTextsDrawOnlyInAnInstalledFace) {
    const std::string ini =
        "[Coordinates]\nConTime=4,4,52,16\nEmailCount=4,22,52,14\nDisplayColor=255,255,0\n"
        "DisplayFont=";
    auto countYellow = [](const QImage& image, const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                n += qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) > 200 &&
                             qBlue(image.pixel(x, y)) < 100
                         ? 1
                         : 0;
            }
        }
        return n;
    };
    face.texts.elapsed = "88:88:88";
    face.texts.mailCount = "";
    ASSERT_TRUE(face.skin.load(skin("t1", ini + "DejaVu Sans\n"), prompter));
    ASSERT_TRUE(face.skin.fontReady());
    QImage shown = face.picture();
    EXPECT_GT(countYellow(shown, QRect(4, 4, 52, 16)), 20);
    EXPECT_EQ(countYellow(shown, QRect(4, 22, 52, 14)), 0);  // empty text
    EXPECT_EQ(countYellow(shown, QRect(0, 0, 60, 3)), 0);    // nothing outside the item
    face.texts.mailCount = "7";
    face.update();
    EXPECT_GT(countYellow(face.picture(), QRect(4, 22, 52, 14)), 5);

    ASSERT_TRUE(face.skin.load(skin("t2", ini + "No Such Face Here\n"), prompter));
    EXPECT_FALSE(face.skin.fontReady());
    EXPECT_EQ(countYellow(face.picture(), QRect(0, 0, 60, 40)), 0);
}

TEST_F(SkinFaceTest, AbsurdRectanglesNeitherCrashNorDraw) {
    const std::string path = skin("x",
                                  "[Coordinates]\nConTime=-999999,-999999,9999999,9999999\n"
                                  "BytesIn=59,39,-5,-5\nAbout=99999999,0,99999999,40\n"
                                  "DisplayFont=DejaVu Sans\n[Menu]\nShowBuiltinMenu=1\n"
                                  "MenuLocation=-9999999,99999999\n[List]\nShowBuiltinList=1\n"
                                  "ListLocation=0,0,-20,99999999\n");
    ASSERT_TRUE(face.skin.load(path, prompter));
    face.texts.elapsed = "12:34:56";
    EXPECT_EQ(face.picture().size(), QSize(60, 40));
    EXPECT_EQ(face.skin.press(QPoint(30, 20)), -1);
    EXPECT_EQ(face.list->width(), 0);
}

TEST_F(SkinFaceTest, TheMenuDeliversItsCommandAfterTheClick) {
    const std::string path =
        skin("menu", "[Menu]\nShowBuiltinMenu=1\nMenuLocation=3,4\nMenuBackgroundColor=0,0,200\n",
             {300, 300});
    std::vector<int> delivered;
    face.skin.menuMessage = [&](int n) { delivered.push_back(n); };
    ASSERT_TRUE(face.skin.load(path, prompter));
    CSkinMenu* top = face.skin.menu();
    ASSERT_NE(top, nullptr);
    ASSERT_NE(top->window(), nullptr);
    EXPECT_TRUE(top->window()->isVisible());
    EXPECT_EQ(top->window()->pos(), QPoint(3, 4));
    EXPECT_EQ(top->count(), 6);

    const skin::Rect exit = top->geometry().item(5);
    top->mousePress(QPoint(exit.x + 2, exit.y + 2));
    EXPECT_TRUE(delivered.empty());  // not inside the click
    QApplication::processEvents();
    EXPECT_EQ(delivered, std::vector<int>{1052});
    EXPECT_EQ(top->openItem(), -1);
    EXPECT_EQ(top->hotItem(), -1);
}

TEST_F(SkinFaceTest, TheChooserStoresThePathWhetherTheLoadSucceededOrNot) {
    SettingsStore settings(dir.file("tavu.ini"));
    const std::string good = skin("good", "");
    const std::string bad = dir.file("nothing/Skin.ini");
    std::vector<QString> folders;
    std::optional<QString> answer;
    face.skin.chooseFile = [&](QWidget*, const QString& folder) {
        folders.push_back(folder);
        return answer;
    };

    face.skin.choose("/skins", settings, prompter);  // cancelled
    EXPECT_EQ(settings.readString(keys::kSkin, keys::kSkinPath, "none"), "none");

    answer = QString::fromStdString(good);
    face.skin.choose("/skins", settings, prompter);
    EXPECT_EQ(settings.readString(keys::kSkin, keys::kSkinPath), good);
    EXPECT_EQ(face.skin.path().toStdString(), good);

    answer = QString::fromStdString(bad);
    face.skin.choose("/skins", settings, prompter);
    EXPECT_EQ(settings.readString(keys::kSkin, keys::kSkinPath), bad);
    EXPECT_EQ(face.skin.path().toStdString(), good);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Can't change to this skin : " + bad);
    EXPECT_EQ(folders, (std::vector<QString>(3, "/skins")));
}

TEST_F(SkinFaceTest, TheChooserOffersTheSkinsByNameWithTheirPreviews) {
    const std::string blue = skin("Blue", "");
    skin("Amber", "");
    std::filesystem::create_directories(dir.file("Empty"));  // no Skin.ini: no skin
    const QString folder = QString::fromStdString(dir.path());
    CSkinChooserDlg chooser({folder}, QString::fromStdString(blue));
    ASSERT_EQ(chooser.list()->count(), 2);
    EXPECT_EQ(chooser.list()->item(0)->text(), "Amber");
    EXPECT_EQ(chooser.list()->item(1)->text(), "Blue");
    EXPECT_EQ(chooser.list()->currentRow(), 1);  // the skin shown now
    EXPECT_EQ(chooser.selectedPath().toStdString(), blue);
    const QPixmap preview = chooser.preview()->pixmap();
    ASSERT_FALSE(preview.isNull());
    EXPECT_EQ(preview.size(), QSize(60, 40));
    chooser.list()->setCurrentRow(0);
    EXPECT_EQ(chooser.selectedPath().toStdString(), dir.file("Amber/Skin.ini"));

    // A folder without skins says so and offers nothing to take.
    CSkinChooserDlg none({QString::fromStdString(dir.file("Empty"))}, QString());
    EXPECT_TRUE(none.selectedPath().isEmpty());
    EXPECT_FALSE(none.okButton()->isEnabled());
}

}  // namespace
}  // namespace tavu
