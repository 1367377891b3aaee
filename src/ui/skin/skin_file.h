#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavu::skin {

// The skin's items, in the order that decides which of two overlapping buttons is hit.
enum Item : int {
    About,
    Minimize,
    Quit,
    Connect,
    Hangup,
    Checkmail,
    Timer,
    Summary,
    Settings,
    Security,
    Help,
    Other,
    ConTime,
    BytesIn,
    BytesOut,
    EmailCount,
    UserName,
    Test,
    Test1,
};
inline constexpr int kItemCount = 19;

struct ItemSpec {
    std::string_view key;  // the key in [Coordinates]
    bool clickable;
};
inline constexpr std::array<ItemSpec, kItemCount> kItems = {{
    {"About", true},     {"Minimize", true},  {"Quit", true},      {"Connect", true},
    {"Hangup", true},    {"Checkmail", true}, {"Timer", true},     {"Summary", true},
    {"Settings", true},  {"Security", true},  {"Help", true},      {"Other", true},
    {"ConTime", false},  {"BytesIn", false},  {"BytesOut", false}, {"EmailCount", false},
    {"UserName", false}, {"Test", true},      {"Test1", true},
}};

// The display texts in the order they are drawn.
inline constexpr std::array<Item, 5> kDisplayItems = {ConTime, BytesIn, BytesOut, UserName,
                                                      EmailCount};

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb&) const = default;
};

// x, y, width, height in window pixels. A rectangle without width or height holds no point.
struct Rect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool operator==(const Rect&) const = default;
    bool empty() const { return w <= 0 || h <= 0; }
    bool contains(int px, int py) const {
        return !empty() && px >= x && py >= y && px - x < w && py - y < h;
    }
};

// Coordinates and sizes read from a skin are kept within this bound, so that no sum of them
// overflows whatever a skin file says.
inline constexpr int kCoordinateLimit = 1000000;

// What a skin's description file says, every key missing or empty taking its default.
struct SkinDescription {
    std::array<Rect, kItemCount> items{};
    std::string displayFont = "Verdana";
    Rgb displayColor{255, 255, 255};

    bool showMenu = false;
    int menuX = 0;
    int menuY = 0;
    Rgb menuText;
    Rgb menuBackground;
    Rgb menuEdgeLU;
    Rgb menuEdgeRD;

    bool showList = false;
    Rect listLocation;
    Rgb listBackground;
    Rgb listText;

    const Rect& item(Item i) const { return items[static_cast<std::size_t>(i)]; }
};

// The description from the text of a Skin.ini file.
SkinDescription parseSkinDescription(std::string_view iniText);

// The description from a file; a file that is missing or cannot be read gives the defaults.
// Only the first kMaxSkinFileSize bytes of a file are read.
SkinDescription readSkinDescription(const std::string& path);
inline constexpr std::size_t kMaxSkinFileSize = 1 << 20;

// The first `count` comma-separated decimal numbers of a value; a missing or malformed number
// counts as 0, and each is held within +-kCoordinateLimit.
std::vector<int> parseNumbers(std::string_view text, std::size_t count);

// A colour "R,G,B", each component taken modulo 256.
Rgb parseColor(std::string_view text);

// The folder of a description file, up to and including its last "/"; empty (the current
// folder) for a bare file name.
std::string skinFolder(const std::string& descriptionPath);

// The program's Skins folder: beside the executable (a portable program, the build tree), else
// the installed `../share/tavu/Skins`, else, for the running program, the source tree's (a test
// program in the build tree).
std::string skinsFolder(const std::string& exeDir);
// The user's own skins, $XDG_DATA_HOME/tavu/Skins: the skin chooser offers it beside the
// program's folder and creates it.
std::string userSkinsFolder();
// The default skin's description file in that folder.
std::string defaultSkinPath(const std::string& exeDir);

}  // namespace tavu::skin
