#pragma once

namespace tavu {

inline constexpr const char* kVersionText = "1.1 BETA";
inline constexpr const char* kAppTitle = "TAVU Online Timer 1.1 BETA";

}  // namespace tavu
