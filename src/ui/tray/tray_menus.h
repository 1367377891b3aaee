#pragma once

#include <functional>

class QMenu;
class QWidget;

namespace tavu {

// Receives the command identifier of a chosen menu item.
using CommandCallback = std::function<void(int id)>;

// Texts of the mail icon's menu.
inline constexpr const char* kMailMenuTitle = "Hide this";
inline constexpr const char* kMailMenuHide = "Hide";
inline constexpr const char* kMailMenuPreferences = "Preferences";

// The main icon's menu (173): "&Show TAVU" as its default item, the popups "Connection",
// "&Report" and "&Help". Every item carries its command identifier as data and calls the
// callback with it when triggered. The caller owns the menu (parent may be null).
QMenu* createTrayMenu(const CommandCallback& onCommand, QWidget* parent = nullptr);

// The mail icon's menu (193), titled "Hide this": "Hide" (default), a separator, "Preferences".
QMenu* createMailMenu(const CommandCallback& onCommand, QWidget* parent = nullptr);

}  // namespace tavu
