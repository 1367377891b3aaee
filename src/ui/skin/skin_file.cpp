#include "ui/skin/skin_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <fstream>

#include "core/paths.h"
#include "core/settings_store.h"
#include "core/text.h"

namespace tavu::skin {

namespace {

// Values are read as text of at most this many characters, the rest is ignored.
constexpr std::size_t kMaxValue = 255;

int parseNumber(std::string_view field) {
    return static_cast<int>(
        std::clamp<std::int64_t>(leadingInt(field), -kCoordinateLimit, kCoordinateLimit));
}

// A colour component: the number modulo 256. The number is read in full (not held to the
// coordinate bound) so that the remainder is the true one.
int parseComponent(std::string_view field) {
    bool negative = false;
    std::size_t i = skipBlanksAndSign(field, negative);
    int rest = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        rest = (rest * 10 + (field[i] - '0')) % 256;
    }
    return negative ? (256 - rest) % 256 : rest;
}

std::vector<std::string_view> fields(std::string_view text, std::size_t count) {
    std::vector<std::string_view> out;
    while (out.size() < count) {
        const auto comma = text.find(',');
        out.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    out.resize(count);
    return out;
}

class Reader {
  public:
    explicit Reader(std::string_view text) : doc_(IniDocument::parse(text)) {}

    std::string_view value(std::string_view section, std::string_view key,
                           std::string_view def) const {
        const auto v = doc_.find(section, key);
        if (!v || v->empty()) {
            return def;
        }
        return v->substr(0, kMaxValue);
    }

    Rect rect(std::string_view section, std::string_view key) const {
        const auto n = parseNumbers(value(section, key, "0,0,0,0"), 4);
        return Rect{n[0], n[1], n[2], n[3]};
    }

    Rgb color(std::string_view section, std::string_view key, std::string_view def) const {
        return parseColor(value(section, key, def));
    }

    bool flag(std::string_view section, std::string_view key) const {
        return value(section, key, "0") == "1";
    }

  private:
    IniDocument doc_;
};

bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<int> parseNumbers(std::string_view text, std::size_t count) {
    std::vector<int> out;
    for (const std::string_view f : fields(text, count)) {
        out.push_back(parseNumber(f));
    }
    return out;
}

Rgb parseColor(std::string_view text) {
    const auto f = fields(text, 3);
    return Rgb{parseComponent(f[0]), parseComponent(f[1]), parseComponent(f[2])};
}

SkinDescription parseSkinDescription(std::string_view iniText) {
    const Reader ini(iniText);
    SkinDescription d;
    for (std::size_t i = 0; i < kItems.size(); ++i) {
        d.items[i] = ini.rect("Coordinates", kItems[i].key);
    }
    d.displayFont = std::string(ini.value("Coordinates", "DisplayFont", "Verdana"));
    d.displayColor = ini.color("Coordinates", "DisplayColor", "255,255,255");

    d.showMenu = ini.flag("Menu", "ShowBuiltinMenu");
    const auto at = parseNumbers(ini.value("Menu", "MenuLocation", "0,0,0,0,0,0,0,0,0,0,0,0"), 2);
    d.menuX = at[0];
    d.menuY = at[1];
    d.menuText = ini.color("Menu", "MenuTextColor", "0,0,0");
    d.menuBackground = ini.color("Menu", "MenuBackgroundColor", "0,0,0");
    d.menuEdgeLU = ini.color("Menu", "MenuEdgeLUColor", "0,0,0");
    d.menuEdgeRD = ini.color("Menu", "MenuEdgeRDColor", "0,0,0");

    d.showList = ini.flag("List", "ShowBuiltinList");
    d.listLocation = ini.rect("List", "ListLocation");
    d.listBackground = ini.color("List", "ListBackgroundColor", "0,0,0");
    d.listText = ini.color("List", "ListTextColor", "0,0,0");
    return d;
}

SkinDescription readSkinDescription(const std::string& path) {
    std::string text;
    if (isFile(path)) {
        std::ifstream in(path, std::ios::binary);
        text.resize(kMaxSkinFileSize);
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    }
    return parseSkinDescription(text);
}

std::string skinFolder(const std::string& descriptionPath) {
    const auto slash = descriptionPath.rfind('/');
    return slash == std::string::npos ? std::string() : descriptionPath.substr(0, slash + 1);
}

std::string skinsFolder(const std::string& exeDir) {
    const std::string beside = joinPath(exeDir, "Skins");
    struct stat st {};
    if (::stat(beside.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return beside;
    }
    if (const std::string shared = installedDataDir(exeDir); !shared.empty()) {
        return joinPath(shared, "Skins");
    }
#ifdef TAVU_SOURCE_SKINS_DIR
    if (exeDir == executableDir()) {
        return TAVU_SOURCE_SKINS_DIR;
    }
#endif
    return beside;
}

std::string userSkinsFolder() {
    return joinPath(userDataDir(), "Skins");
}

std::string defaultSkinPath(const std::string& exeDir) {
    return joinPath(skinsFolder(exeDir), "Velvora/Skin.ini");
}

}  // namespace tavu::skin
