// Any Skin.ini text gives a description within the bounds the program relies on.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ui/skin/skin_file.h"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void checkColor(const tavu::skin::Rgb& c) {
    check(c.r >= 0 && c.r < 256 && c.g >= 0 && c.g < 256 && c.b >= 0 && c.b < 256);
}

bool bounded(int v) {
    return v >= -tavu::skin::kCoordinateLimit && v <= tavu::skin::kCoordinateLimit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tavu::skin::SkinDescription d = tavu::skin::parseSkinDescription(text);
    for (const auto& r : d.items) {
        check(bounded(r.x) && bounded(r.y) && bounded(r.w) && bounded(r.h));
        (void)r.contains(r.x, r.y);
    }
    check(bounded(d.menuX) && bounded(d.menuY));
    check(bounded(d.listLocation.x) && bounded(d.listLocation.w));
    check(d.displayFont.size() <= 255);
    for (const auto* c : {&d.displayColor, &d.menuText, &d.menuBackground, &d.menuEdgeLU,
                          &d.menuEdgeRD, &d.listBackground, &d.listText}) {
        checkColor(*c);
    }
    // The value readers on their own, on the raw text.
    for (const int n : tavu::skin::parseNumbers(text, 4)) {
        check(bounded(n));
    }
    checkColor(tavu::skin::parseColor(text));
    return 0;
}
