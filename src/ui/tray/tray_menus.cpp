#include "ui/tray/tray_menus.h"

#include <QAction>
#include <QMenu>
#include <cstddef>

#include "monitor/commands.h"

namespace tavu {

namespace {

QAction* addCommand(QMenu* menu, int id, const QString& text, const CommandCallback& onCommand) {
    QAction* action = menu->addAction(text);
    action->setData(id);
    QObject::connect(action, &QAction::triggered, menu, [onCommand, id] {
        if (onCommand) {
            onCommand(id);
        }
    });
    return action;
}

// The default item is drawn bold; setting the font as well keeps it bold under styles that
// ignore the default action.
void makeDefault(QMenu* menu, QAction* action) {
    menu->setDefaultAction(action);
    QFont font = action->font();
    font.setBold(true);
    action->setFont(font);
}

QString trayText(int id) {
    const auto entry = findCommand(id);
    return entry ? QString::fromUtf8(entry->trayMenuText.data(),
                                     static_cast<qsizetype>(entry->trayMenuText.size()))
                 : QString();
}

}  // namespace

QMenu* createTrayMenu(const CommandCallback& onCommand, QWidget* parent) {
    auto* top = new QMenu(parent);
    QMenu* current = top;
    std::size_t popup = 0;
    for (const int item : kTrayMenuLayout) {
        if (item == kMenuSeparator) {
            current->addSeparator();
        } else if (item == kMenuPopupStart) {
            const std::string_view title =
                popup < kTrayPopupTitles.size() ? kTrayPopupTitles[popup] : std::string_view();
            ++popup;
            current =
                top->addMenu(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
        } else if (item == kMenuPopupEnd) {
            current = top;
        } else {
            QAction* action = addCommand(current, item, trayText(item), onCommand);
            if (item == CmdShow) {
                makeDefault(current, action);
            }
        }
    }
    return top;
}

QMenu* createMailMenu(const CommandCallback& onCommand, QWidget* parent) {
    auto* menu = new QMenu(QString::fromUtf8(kMailMenuTitle), parent);
    makeDefault(menu, addCommand(menu, CmdMailHide, QString::fromUtf8(kMailMenuHide), onCommand));
    menu->addSeparator();
    addCommand(menu, CmdMailPreferences, QString::fromUtf8(kMailMenuPreferences), onCommand);
    return menu;
}

}  // namespace tavu
