#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "ui/skin/skin_file.h"

namespace tavu::skin {
namespace {

TEST(SkinFile, EveryKeyMissingTakesItsDefault) {
    for (const char* text : {"", "[Coordinates]\n[Menu]\n[List]\n",
                             "[Coordinates]\nDisplayFont=\nDisplayColor=\nAbout=\n[Menu]\n"
                             "MenuLocation=\nShowBuiltinMenu=\n"}) {
        SCOPED_TRACE(text);
        const SkinDescription d = parseSkinDescription(text);
        for (const Rect& r : d.items) {
            EXPECT_EQ(r, Rect{});
        }
        EXPECT_EQ(d.displayFont, "Verdana");
        EXPECT_EQ(d.displayColor, (Rgb{255, 255, 255}));
        EXPECT_FALSE(d.showMenu);
        EXPECT_EQ(d.menuX, 0);
        EXPECT_EQ(d.menuY, 0);
        EXPECT_EQ(d.menuText, Rgb{});
        EXPECT_EQ(d.menuBackground, Rgb{});
        EXPECT_EQ(d.menuEdgeLU, Rgb{});
        EXPECT_EQ(d.menuEdgeRD, Rgb{});
        EXPECT_FALSE(d.showList);
        EXPECT_EQ(d.listLocation, Rect{});
        EXPECT_EQ(d.listBackground, Rgb{});
        EXPECT_EQ(d.listText, Rgb{});
    }
}

TEST(SkinFile, ReadsAllNineteenItemsAndTheLook) {
    std::string text = "[Coordinates]\n";
    for (std::size_t i = 0; i < kItems.size(); ++i) {
        const int n = static_cast<int>(i);
        text += std::string(kItems[i].key) + " = " + std::to_string(n) + "," +
                std::to_string(n + 100) + ",  " + std::to_string(n + 200) + "," +
                std::to_string(n + 300) + "\n";
    }
    text +=
        "displayfont=DejaVu Sans\nDisplayColor=300,0,-1\n"
        "[MENU]\nShowBuiltinMenu=1\nMenuLocation=12,34,56,78\nMenuTextColor=1,2,3\n"
        "MenuBackgroundColor=4,5,6\nMenuEdgeLUColor=7,8,9\nMenuEdgeRDColor=10,11,12\n"
        "[List]\nShowBuiltinList=1\nListLocation=5,6,7,8\nListBackgroundColor=13,14,15\n"
        "ListTextColor=16,17,18\n";
    const SkinDescription d = parseSkinDescription(text);
    for (int i = 0; i < kItemCount; ++i) {
        EXPECT_EQ(d.items[static_cast<std::size_t>(i)], (Rect{i, i + 100, i + 200, i + 300}));
    }
    EXPECT_EQ(d.item(UserName), (Rect{16, 116, 216, 316}));
    EXPECT_EQ(d.displayFont, "DejaVu Sans");
    EXPECT_EQ(d.displayColor, (Rgb{44, 0, 255}));  // each component modulo 256
    EXPECT_TRUE(d.showMenu);
    EXPECT_EQ(d.menuX, 12);
    EXPECT_EQ(d.menuY, 34);
    EXPECT_EQ(d.menuText, (Rgb{1, 2, 3}));
    EXPECT_EQ(d.menuBackground, (Rgb{4, 5, 6}));
    EXPECT_EQ(d.menuEdgeLU, (Rgb{7, 8, 9}));
    EXPECT_EQ(d.menuEdgeRD, (Rgb{10, 11, 12}));
    EXPECT_TRUE(d.showList);
    EXPECT_EQ(d.listLocation, (Rect{5, 6, 7, 8}));
    EXPECT_EQ(d.listBackground, (Rgb{13, 14, 15}));
    EXPECT_EQ(d.listText, (Rgb{16, 17, 18}));
}

TEST(SkinFile, OnlyExactlyOneSwitchesMenuAndListOn) {
    for (const char* value : {"yes", "true", "01", "2", "1x", "-1", "on"}) {
        const std::string text = std::string("[Menu]\nShowBuiltinMenu=") + value +
                                 "\n[List]\nShowBuiltinList=" + value + "\n";
        const SkinDescription d = parseSkinDescription(text);
        EXPECT_FALSE(d.showMenu) << value;
        EXPECT_FALSE(d.showList) << value;
    }
    const SkinDescription d =
        parseSkinDescription("[Menu]\nShowBuiltinMenu= 1 \n[List]\nShowBuiltinList=1\n");
    EXPECT_TRUE(d.showMenu);
    EXPECT_TRUE(d.showList);
}

TEST(SkinFile, OnlyTheFirstTwoNumbersPlaceTheMenu) {
    EXPECT_EQ(parseSkinDescription("[Menu]\nMenuLocation=10\n").menuX, 10);
    EXPECT_EQ(parseSkinDescription("[Menu]\nMenuLocation=10\n").menuY, 0);
    const SkinDescription d = parseSkinDescription("[Menu]\nMenuLocation=7,8,9,10,11\n");
    EXPECT_EQ(d.menuX, 7);
    EXPECT_EQ(d.menuY, 8);
}

TEST(SkinFile, MalformedNumbersCountAsZeroAndHugeOnesAreBounded) {
    EXPECT_EQ(parseNumbers("abc", 4), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(parseNumbers("12abc,x,,4", 4), (std::vector<int>{12, 0, 0, 4}));
    EXPECT_EQ(parseNumbers(" 3, -4 ,+5", 4), (std::vector<int>{3, -4, 5, 0}));
    EXPECT_EQ(parseNumbers("1,2,3,4,5,6", 2), (std::vector<int>{1, 2}));
    EXPECT_EQ(parseNumbers("99999999999999999999999,-99999999999999999999", 2),
              (std::vector<int>{kCoordinateLimit, -kCoordinateLimit}));
    EXPECT_EQ(parseNumbers("--5,1e9,0x10", 3), (std::vector<int>{0, 1, 0}));

    // Colours keep the true remainder, however long the number: 10^20 - 1 is 255 modulo 256.
    EXPECT_EQ(parseColor("99999999999999999999,256,-256"), (Rgb{255, 0, 0}));
    EXPECT_EQ(parseColor("red,green"), (Rgb{0, 0, 0}));
    EXPECT_EQ(parseColor("-1,-255,511"), (Rgb{255, 1, 255}));

    const SkinDescription d =
        parseSkinDescription("[Coordinates]\nConnect=-5,-5,-10,99999999999999\n");
    EXPECT_EQ(d.item(Connect), (Rect{-5, -5, -10, kCoordinateLimit}));
    EXPECT_FALSE(d.item(Connect).contains(-5, -5));  // a negative width holds no point
}

TEST(SkinFile, ValuesAreReadAsAtMost255Characters) {
    const std::string face(400, 'f');
    const SkinDescription d = parseSkinDescription("[Coordinates]\nDisplayFont=" + face + "\n");
    EXPECT_EQ(d.displayFont, std::string(255, 'f'));
    // A number whose digits start past the limit is lost with the rest of the text.
    const std::string padded = "[Coordinates]\nAbout=1," + std::string(300, ' ') + "7\n";
    EXPECT_EQ(parseSkinDescription(padded).item(About), (Rect{1, 0, 0, 0}));
}

TEST(SkinFile, FilesMissingUnreadableOrOversizedGiveDefaultsOrTheirStart) {
    test::TempDir dir;
    EXPECT_EQ(readSkinDescription(dir.file("none.ini")).displayFont, "Verdana");
    EXPECT_EQ(readSkinDescription(dir.path()).displayFont, "Verdana");  // a folder

    test::writeFile(dir.file("Skin.ini"), "[Coordinates]\r\nAbout=1,2,3,4\r\n");
    EXPECT_EQ(readSkinDescription(dir.file("Skin.ini")).item(About), (Rect{1, 2, 3, 4}));

    // Only the start of an enormous file is read.
    std::string big = "[Coordinates]\nAbout=1,2,3,4\n;" + std::string(kMaxSkinFileSize, 'x');
    big += "\n[Menu]\nShowBuiltinMenu=1\n";
    test::writeFile(dir.file("big.ini"), big);
    const SkinDescription d = readSkinDescription(dir.file("big.ini"));
    EXPECT_EQ(d.item(About), (Rect{1, 2, 3, 4}));
    EXPECT_FALSE(d.showMenu);
}

TEST(SkinFile, PicturesLieInTheDescriptionFilesFolder) {
    EXPECT_EQ(skinFolder("/opt/tavu/Skins/Velvora/Skin.ini"), "/opt/tavu/Skins/Velvora/");
    EXPECT_EQ(skinFolder("Skin.ini"), "");
    EXPECT_EQ(skinFolder("/Skin.ini"), "/");

    test::TempDir dir;
    const std::string exe = dir.path();
    EXPECT_TRUE(std::filesystem::create_directories(dir.file("Skins/Velvora")));
    EXPECT_EQ(defaultSkinPath(exe), exe + "/Skins/Velvora/Skin.ini");
    EXPECT_EQ(skinsFolder(exe), exe + "/Skins");
}

}  // namespace
}  // namespace tavu::skin
