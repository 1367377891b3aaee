#include "ui/phonebook/entry_editor_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "platform/ras/pppd/linux_peers.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

struct EditorBook {
    test::TempDir dir;
    platform::DialupPaths paths;
    ScriptedPrompter prompter;
    EditorBook() {
        for (const char* d : {"peers", "chat", "dev"}) {
            std::filesystem::create_directory(dir.file(d));
        }
        test::writeFile(dir.file("dev/ttyUSB0"), "");
        test::writeFile(dir.file("dev/ttyS0"), "");
        paths = {dir.file("peers"), dir.file("chat"), "/usr/sbin/pppd", "/usr/sbin/chat"};
    }
};

TEST(EntryEditor, NewEntryIsWrittenOnlyWhenItsNameIsUsable) {
    EditorBook book;
    EntryEditorDlg dlg(book.paths, "", book.prompter, nullptr, book.dir.file("dev"));
    // The devices present are offered, the usual defaults are filled in.
    ASSERT_EQ(dlg.deviceBox()->count(), 2);
    EXPECT_EQ(dlg.deviceBox()->currentText().toStdString(), book.dir.file("dev/ttyS0"));
    EXPECT_EQ(dlg.speedBox()->currentText(), "115200");
    EXPECT_EQ(dlg.initEdit()->text(), "ATZ");

    dlg.show();
    dlg.nameEdit()->setText("my isp");
    dlg.numberEdit()->setText("5551234");
    dlg.deviceBox()->setCurrentText("/dev/ttyUSB3");  // free text is allowed
    dlg.userEdit()->setText("alice");
    dlg.okButton()->click();
    ASSERT_EQ(book.prompter.shown.size(), 1u);
    EXPECT_NE(book.prompter.shown[0].text.find("letters, digits"), std::string::npos);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(std::filesystem::is_empty(book.paths.peersDir));

    dlg.nameEdit()->setText("my-isp");
    dlg.deviceBox()->setCurrentText("/dev/shm/modem");
    dlg.okButton()->click();
    ASSERT_EQ(book.prompter.shown.size(), 2u);
    EXPECT_NE(book.prompter.shown[1].text.find("/dev/shm/modem"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(book.paths.peersDir));

    dlg.deviceBox()->setCurrentText("/dev/ttyUSB3");
    dlg.okButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    platform::EntryForm form;
    std::string error;
    ASSERT_TRUE(platform::readEntryForm(book.paths, "my-isp", form, error)) << error;
    EXPECT_EQ(form.number, "5551234");
    EXPECT_EQ(form.device, "/dev/ttyUSB3");
    EXPECT_EQ(form.user, "alice");
}

TEST(EntryEditor, EditingShowsTheEntryAndRenamesIt) {
    EditorBook book;
    platform::EntryForm form;
    form.name = "old";
    form.number = "123";
    form.device = "/dev/ttyACM0";
    form.speed = 57600;
    form.init = "AT&F";
    form.user = "bob";
    ASSERT_EQ(platform::writeEntryFiles(book.paths, form), "");

    EntryEditorDlg dlg(book.paths, "old", book.prompter, nullptr, book.dir.file("dev"));
    ASSERT_TRUE(dlg.loaded());
    EXPECT_EQ(dlg.numberEdit()->text(), "123");
    EXPECT_EQ(dlg.deviceBox()->currentText(), "/dev/ttyACM0");
    EXPECT_EQ(dlg.speedBox()->currentText(), "57600");
    EXPECT_EQ(dlg.initEdit()->text(), "AT&F");
    EXPECT_EQ(dlg.userEdit()->text(), "bob");
    dlg.nameEdit()->setText("new");
    dlg.okButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(std::filesystem::exists(book.paths.peersDir + "/old"));
    EXPECT_TRUE(std::filesystem::exists(book.paths.peersDir + "/new"));

    // An entry that cannot be read is said so.
    EntryEditorDlg missing(book.paths, "gone", book.prompter, nullptr, book.dir.file("dev"));
    EXPECT_FALSE(missing.loaded());
    EXPECT_FALSE(book.prompter.shown.empty());
}

}  // namespace
}  // namespace tavu
