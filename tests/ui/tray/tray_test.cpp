#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <memory>
#include <string>
#include <vector>

#include "monitor/commands.h"
#include "ui/common/icons.h"
#include "ui/tray/system_tray.h"
#include "ui/tray/tray_menus.h"

namespace tavu {
namespace {

constexpr TrayPicture kPictures[] = {TrayPicture::Idle, TrayPicture::Connected,
                                     TrayPicture::NewMail, TrayPicture::MailError};

TEST(TrayIcons, DistinctPicturesOnTransparencyAtEverySize) {
    EXPECT_FALSE(splashPixmap().isNull());
    for (const TrayPicture picture : kPictures) {
        const QIcon icon = trayIcon(picture);
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{16, 16}, {22, 22}, {32, 32}, {48, 48}}));
        for (const int size : kIconSizes) {
            SCOPED_TRACE(std::to_string(static_cast<int>(picture)) + " at " + std::to_string(size));
            const QImage image = icon.pixmap(QSize(size, size)).toImage();
            ASSERT_EQ(image.size(), QSize(size, size));
            ASSERT_TRUE(image.hasAlphaChannel());
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
            EXPECT_EQ(qAlpha(image.pixel(size - 1, 0)), 0);
            int drawn = 0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    drawn += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
                }
            }
            EXPECT_GT(drawn, size * size / 8);
            for (const TrayPicture other : kPictures) {
                if (other != picture) {
                    EXPECT_NE(image, trayPixmap(other, size).toImage());
                }
            }
        }
    }
}

// The menu in one line: "text id" items, "-" separators, "[title: ...]" popups, "|" between;
// "*" marks the default item. Each item is triggered on the way and must deliver its id.
std::string describe(const QMenu* menu, std::vector<int>& delivered) {
    std::string out;
    for (QAction* action : menu->actions()) {
        out += out.empty() ? "" : "|";
        if (action->isSeparator()) {
            out += "-";
        } else if (action->menu()) {
            out += "[" + action->text().toStdString() + ": " + describe(action->menu(), delivered) +
                   "]";
        } else {
            delivered.clear();
            action->trigger();
            EXPECT_EQ(delivered, std::vector<int>{action->data().toInt()});
            out += (action == menu->defaultAction() && action->font().bold() ? "*" : "") +
                   action->text().toStdString() + " " + std::to_string(action->data().toInt());
        }
    }
    return out;
}

TEST(TrayMenus, OrderTextsIdentifiersAndDefaults) {
    std::vector<int> delivered;
    const CommandCallback record = [&delivered](int id) { delivered.push_back(id); };
    std::unique_ptr<QMenu> tray(createTrayMenu(record));
    EXPECT_EQ(describe(tray.get(), delivered),
              "*&Show TAVU 32815|-|[Connection: &Connect 32848|&Hangup 32812|Inet Tools 32852|"
              "Performance 32856]|-|Check for new mail 32835|Check for TAVU update 32836|"
              "Check balance 32860|Messages 32861|-|"
              "Configuration - General 32838|Configuration - Connection 32839|"
              "Configuration - Email Watch 32840|Configuration - Warnings 32841|"
              "Configuration - Price 32842|Configuration - Sounds 32843|"
              "Configuration - Upgrade 32845|-|Configuration - Connections 32834|"
              "Configuration - Security 32846|Configuration - Timer 32847|"
              "Configuration - Skins 32854|-|[&Report: &Report 32781|&Summary 32823]|"
              "[&Help: &Contents 32780|&About 32774]|-|&Exit 1052");
    std::unique_ptr<QMenu> mail(createMailMenu(record));
    EXPECT_EQ(mail->title(), QString("Hide this"));
    EXPECT_EQ(describe(mail.get(), delivered), "*Hide 32820|-|Preferences 32813");
}

std::unique_ptr<CSystemTray> trayWithArea(bool available = true) {
    return std::make_unique<CSystemTray>(nullptr, [available] { return available; });
}

TEST(SystemTray, TooltipIsCutTo63Characters) {
    auto tray = trayWithArea();
    const QString x80(80, QChar('x')), y63(63, QChar('y'));
    ASSERT_TRUE(tray->create(x80, trayIcon(TrayPicture::Idle), 173, nullptr, CmdShow));
    EXPECT_EQ(tray->tooltip(), x80.left(63));
    EXPECT_EQ(tray->trayIcon()->toolTip(), x80.left(63));
    EXPECT_TRUE(tray->setTooltip(y63 + "z"));
    EXPECT_EQ(tray->tooltip(), y63);
    EXPECT_EQ(tray->trayIcon()->toolTip(), y63);

    auto none = trayWithArea(false);
    EXPECT_FALSE(none->create("Waiting", trayIcon(TrayPicture::Idle), 173, nullptr, CmdShow));
    EXPECT_FALSE(none->setTooltip("Connected - 00:00:01"));
}

TEST(SystemTray, ValuesSetWhileHiddenAppearOnShow) {
    auto tray = trayWithArea();
    QMenu menu;
    ASSERT_TRUE(tray->create("Email", trayIcon(TrayPicture::NewMail), 193, &menu, CmdMailHide));
    EXPECT_EQ(tray->trayIcon()->contextMenu(), &menu);
    EXPECT_TRUE(tray->hide());
    EXPECT_FALSE(tray->hide());
    EXPECT_FALSE(tray->trayIcon()->isVisible());

    const QIcon error = trayIcon(TrayPicture::MailError);
    EXPECT_TRUE(tray->setIcon(error));
    EXPECT_TRUE(tray->setTooltip("Error connecting email server!"));
    EXPECT_FALSE(tray->trayIcon()->isVisible());

    EXPECT_TRUE(tray->show());
    EXPECT_FALSE(tray->show());
    EXPECT_TRUE(tray->trayIcon()->isVisible());
    EXPECT_EQ(tray->trayIcon()->toolTip(), QString("Error connecting email server!"));
    EXPECT_EQ(tray->trayIcon()->icon().cacheKey(), error.cacheKey());

    tray->remove();
    EXPECT_EQ(tray->trayIcon(), nullptr);
    EXPECT_FALSE(tray->show());
}

TEST(SystemTray, SingleAndDoubleClickSendTheDefaultCommandOtherButtonsNothing) {
    auto tray = trayWithArea();
    ASSERT_TRUE(tray->create("Email", trayIcon(TrayPicture::NewMail), 193, nullptr, CmdMailHide));
    QSignalSpy spy(tray.get(), &CSystemTray::command);
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context,
                              QSystemTrayIcon::MiddleClick, QSystemTrayIcon::DoubleClick}) {
        emit tray->trayIcon()->activated(reason);
    }
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), static_cast<int>(CmdMailHide));
    EXPECT_EQ(spy.at(1).at(0).toInt(), static_cast<int>(CmdMailHide));
}

TEST(SystemTray, FollowsANotificationAreaThatComesLateAndGoesAgain) {
    bool available = false;
    CSystemTray tray(nullptr, [&available] { return available; });
    QMenu menu;
    EXPECT_FALSE(tray.create("Email", trayIcon(TrayPicture::NewMail), 193, &menu, CmdMailHide));
    EXPECT_FALSE(tray.attach()) << "no notification area yet";
    // Meanwhile the program keeps telling the icon what it would show.
    const QIcon error = trayIcon(TrayPicture::MailError);
    EXPECT_FALSE(tray.setIcon(error));
    EXPECT_FALSE(tray.setTooltip("Error connecting email server!"));
    EXPECT_FALSE(tray.hide());

    available = true;
    ASSERT_TRUE(tray.attach());
    EXPECT_FALSE(tray.attach());
    ASSERT_NE(tray.trayIcon(), nullptr);
    EXPECT_TRUE(tray.isEnabled());
    EXPECT_FALSE(tray.trayIcon()->isVisible()) << "it was hidden before the area came";
    EXPECT_EQ(tray.trayIcon()->icon().cacheKey(), error.cacheKey());
    EXPECT_EQ(tray.trayIcon()->toolTip(), QString("Error connecting email server!"));
    EXPECT_EQ(tray.trayIcon()->contextMenu(), &menu);
    EXPECT_TRUE(tray.show());
    EXPECT_TRUE(tray.trayIcon()->isVisible());

    available = false;  // the panel restarts
    EXPECT_TRUE(tray.detach());
    EXPECT_EQ(tray.trayIcon(), nullptr);
    EXPECT_FALSE(tray.setTooltip("Email"));
    available = true;
    ASSERT_TRUE(tray.attach());
    EXPECT_TRUE(tray.trayIcon()->isVisible());
    EXPECT_EQ(tray.trayIcon()->toolTip(), QString("Email"));

    // Removed for good: a later notification area does not bring it back.
    tray.remove();
    EXPECT_FALSE(tray.attach());
    EXPECT_EQ(tray.trayIcon(), nullptr);
}

}  // namespace
}  // namespace tavu
