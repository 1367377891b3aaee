#include "ui/common/password_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "core/settings_keys.h"
#include "core/version.h"
#include "platform/desktop/single_instance.h"
#include "support/modal_driver.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

class PasswordDialogs : public ::testing::Test {
  protected:
    // The four keys as "Enabled WhenStarted WhenConfigured Password", "-" for a missing key.
    std::string stored() const {
        std::string out;
        for (const char* key :
             {keys::kEnabled, keys::kWhenStarted, keys::kWhenConfigured, keys::kPassword}) {
            out += (out.empty() ? "" : " ") + settings.readString(keys::kSecurity, key, "-");
        }
        return out;
    }
    void protect(int enabled, int whenStarted, int whenConfigured, const char* password) {
        settings.writeInt(keys::kSecurity, keys::kEnabled, enabled);
        settings.writeInt(keys::kSecurity, keys::kWhenStarted, whenStarted);
        settings.writeInt(keys::kSecurity, keys::kWhenConfigured, whenConfigured);
        settings.writeString(keys::kSecurity, keys::kPassword, password);
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ScriptedPrompter prompter;
};

void type(QLineEdit* edit, const char* text) {
    edit->clear();
    QTest::keyClicks(edit, text);
}

void click(QPushButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

using test::ModalDriver;

// Answers the password prompt with a wrong password, then with the given one (or cancels).
std::function<void(QDialog*)> answerPrompt(const char* password) {
    return [password](QDialog* modal) {
        auto* prompt = qobject_cast<CPasswordDlg*>(modal);
        if (prompt == nullptr || password == nullptr) {
            return modal->reject();
        }
        type(prompt->passwordEdit(), "wrong");
        click(prompt->okButton());
        if (!prompt->isVisible()) {
            return ADD_FAILURE() << "a wrong password was accepted";
        }
        type(prompt->passwordEdit(), password);
        click(prompt->okButton());
        if (prompt->isVisible()) {
            ADD_FAILURE() << "the right password was refused";
            prompt->reject();
        }
    };
}

TEST_F(PasswordDialogs, PromptWantsTheExactPasswordAndLetsTheUserRetry) {
    protect(1, 1, 0, "Secret");
    for (const char* wrong : {"secret", "SECRET", "Secret ", ""}) {
        CPasswordDlg dlg(settings, prompter);
        dlg.show();
        type(dlg.passwordEdit(), wrong);
        click(dlg.okButton());
        EXPECT_TRUE(dlg.isVisible()) << wrong;
    }
    ASSERT_EQ(prompter.shown.size(), 4u);
    EXPECT_EQ(prompter.shown[3].text, "Password incorrect. Please try again!");
    EXPECT_EQ(prompter.shown[3].caption, kAppTitle);

    {
        ModalDriver driver(answerPrompt("Secret"));
        EXPECT_TRUE(askPassword(settings, prompter));
        EXPECT_EQ(driver.count(), 1);
        EXPECT_EQ(prompter.shown.size(), 5u);
    }
    ModalDriver cancel(answerPrompt(nullptr));
    EXPECT_FALSE(askPassword(settings, prompter));
}

TEST_F(PasswordDialogs, PasswordWithBlanksSetInSecurityStillOpensTheProgram) {
    // With "Ask password when starting" a password changed on its way to the file locks the
    // user out. Mailbox and dial-up passwords keep their blanks the same way; files written
    // before read as they did.
    CSecurityDlg security(settings, prompter);
    security.show();
    security.enableBox()->setChecked(true);
    security.whenStartingRadio()->setChecked(true);
    type(security.passwordEdit(), " pw ");
    type(security.confirmEdit(), " pw ");
    click(security.okButton());
    ASSERT_FALSE(security.isVisible());
    {
        ModalDriver driver(answerPrompt(" pw "));
        EXPECT_TRUE(startupGate(settings, prompter, nullptr));
    }
    settings.writeString(keys::kSettings, "MPassword", "\tmail pw  ");
    settings.writeString(keys::kConnections, "ProviderPassword", " dial");
    EXPECT_EQ(settings.readString(keys::kSettings, "MPassword"), "\tmail pw  ");
    EXPECT_EQ(settings.readString(keys::kConnections, "ProviderPassword"), " dial");
    test::writeFile(dir.file("tavu.ini"), "[Security]\nPassword=old\n[Settings]\nMUser = joe \n");
    EXPECT_EQ(settings.readString(keys::kSecurity, keys::kPassword), "old");
    EXPECT_EQ(settings.readString(keys::kSettings, "MUser"), "joe");
}

TEST_F(PasswordDialogs, OneCopyWhateverTheStartPassword) {
    protect(1, 1, 0, "pw");
    const QString place = QString::fromStdString(dir.file("instance"));
    platform::SingleInstance first(place);
    {
        ModalDriver driver([&](QDialog* modal) {
            // Started again while the first copy waits for its password: no second prompt,
            // and the second copy hands over and ends.
            platform::SingleInstance second(place);
            EXPECT_EQ(startSingleCopy(second, settings, prompter), StartOutcome::HandedOver);
            answerPrompt("pw")(modal);
        });
        EXPECT_EQ(startSingleCopy(first, settings, prompter), StartOutcome::Run);
        EXPECT_EQ(driver.count(), 1);
    }

    // Later starts: the running copy shows its hidden window only past the password.
    {
        ModalDriver refuse(answerPrompt(nullptr));
        EXPECT_FALSE(mayComeForward(settings, prompter, false));
        EXPECT_EQ(refuse.count(), 1);
    }
    ModalDriver answer(answerPrompt("pw"));
    EXPECT_TRUE(mayComeForward(settings, prompter, false));
    EXPECT_TRUE(mayComeForward(settings, prompter, true));
    EXPECT_EQ(answer.count(), 1);
}

TEST_F(PasswordDialogs, GatesAskOnlyWhenProtectionDemandsIt) {
    struct Case {
        int enabled, whenStarted, whenConfigured;
        bool startupAsks, configurationAsks;
    };
    const Case cases[] = {{0, 1, 1, false, false},
                          {1, 0, 0, false, false},
                          {1, 1, 0, true, false},
                          {1, 0, 1, false, true},
                          {2, 1, 1, false, false}};
    for (const Case& c : cases) {
        protect(c.enabled, c.whenStarted, c.whenConfigured, "pw");
        for (const bool startup : {true, false}) {
            SCOPED_TRACE(stored() + (startup ? " at start" : " configuring"));
            const auto gate = startup ? startupGate : configurationGate;
            const bool asks = startup ? c.startupAsks : c.configurationAsks;
            {
                ModalDriver refuse(answerPrompt(nullptr));
                EXPECT_EQ(gate(settings, prompter, nullptr), !asks);
                EXPECT_EQ(refuse.count(), asks ? 1 : 0);
            }
            if (asks) {
                ModalDriver answer(answerPrompt("pw"));
                EXPECT_TRUE(gate(settings, prompter, nullptr));
            }
        }
    }
}

TEST_F(PasswordDialogs, SecurityCommandOpensOnlyPastTheGate) {
    protect(1, 0, 1, "pw");
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        bool securityShown = false;
        ModalDriver driver([&](QDialog* modal) {
            if (auto* security = qobject_cast<CSecurityDlg*>(modal)) {
                securityShown = true;
                EXPECT_TRUE(security->whenConfiguringRadio()->isChecked());
                return click(security->okButton());
            }
            answerPrompt(password)(modal);
        });
        EXPECT_EQ(CSecurityDlg::runSecurityCommand(settings, prompter, nullptr), !!password);
        EXPECT_EQ(securityShown, !!password);
    }
    EXPECT_EQ(stored(), "1 0 1 pw");
}

TEST_F(PasswordDialogs, SecurityOkStoresOnlyWhenItCloses) {
    const std::string enter = "Please enter passwords";
    const std::string mismatch =
        "The passwords you typed don't match. Please enter the same password in both boxes.";
    enum Radio { Neither, Starting, Configuring };
    struct Case {
        bool checked;
        Radio radio;
        const char *first, *second;
        std::string message;  // empty: none, and the dialog closes
        const char* after;    // stored() after OK; before it is "0 0 0 old"
    };
    const Case cases[] = {
        {true, Starting, "", "", enter, "0 0 0 old"},
        {true, Configuring, "abc", "", mismatch, "0 0 0 old"},
        {true, Starting, "", "abc", mismatch, "0 0 0 old"},
        {true, Starting, "Secret", "secret", mismatch, "0 0 0 old"},
        {true, Starting, "Secret", "Secret", "", "1 1 0 Secret"},
        {true, Configuring, "x y", "x y", "", "1 0 1 x y"},
        {true, Neither, "p", "p", kSecurityChooseWhen, "0 0 0 old"},  // protects nothing
        {false, Configuring, "a", "b", "", "0 0 1 old"},
        {false, Neither, "", "", "", "0 0 0 old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + "/" + c.second + " " + std::to_string(c.radio));
        protect(0, 0, 0, "old");
        prompter.shown.clear();
        CSecurityDlg dlg(settings, prompter);
        dlg.show();
        dlg.enableBox()->setChecked(c.checked);
        if (c.radio != Neither) {
            QTest::mouseClick(
                c.radio == Starting ? dlg.whenStartingRadio() : dlg.whenConfiguringRadio(),
                Qt::LeftButton);
        }
        type(dlg.passwordEdit(), c.first);
        type(dlg.confirmEdit(), c.second);
        click(dlg.okButton());
        EXPECT_EQ(dlg.isVisible(), !c.message.empty());
        EXPECT_EQ(stored(), c.after);
        if (c.message.empty()) {
            EXPECT_TRUE(prompter.shown.empty());
            continue;
        }
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, c.message);
        EXPECT_EQ(prompter.shown[0].caption, kAppTitle);
        click(dlg.cancelButton());  // a refused OK, then Cancel: still nothing stored
        EXPECT_EQ(stored(), c.after);
    }
}

TEST_F(PasswordDialogs, SecurityCancelWritesNothing) {
    protect(1, 1, 0, "pw");
    const std::string before = test::readFile(settings.path());
    CSecurityDlg dlg(settings, prompter);
    dlg.show();
    dlg.enableBox()->setChecked(false);
    QTest::mouseClick(dlg.whenConfiguringRadio(), Qt::LeftButton);
    type(dlg.passwordEdit(), "new");
    type(dlg.confirmEdit(), "new");
    click(dlg.cancelButton());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(test::readFile(settings.path()), before);
}

TEST_F(PasswordDialogs, DarkGreyButtonsAndBackgroundDrag) {
    CPasswordDlg dlg(settings, prompter);
    dlg.show();
    const QImage face = dlg.okButton()->grab().toImage();
    EXPECT_EQ(face.pixelColor(4, face.height() / 2), QColor(50, 50, 50));

    dlg.move(100, 100);
    const QPoint start = dlg.pos();
    const QPointF grab = dlg.mapToGlobal(QPointF(3, 3));
    const auto send = [&](QEvent::Type type, QPointF offset, Qt::MouseButtons buttons) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, dlg.mapFromGlobal(grab + offset), grab + offset, button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(&dlg, &event);
    };
    send(QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton);
    send(QEvent::MouseMove, {30, 20}, Qt::LeftButton);
    send(QEvent::MouseMove, {45, -10}, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {45, -10}, Qt::NoButton);
    send(QEvent::MouseMove, {90, 90}, Qt::NoButton);  // released: the dialog stays
    EXPECT_EQ(dlg.pos(), start + QPoint(45, -10));
}

}  // namespace
}  // namespace tavu
