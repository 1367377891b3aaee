#include "platform/desktop/startup_entry.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace tavu::platform {
namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// Reads back one Exec argument the way a desktop-entry reader does: first the string escapes of
// the value, then the quoting of the Exec key.
std::string parseExecArgument(const std::string& value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char c = value[++i];
            unescaped.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c == 's' ? ' ' : c);
        } else {
            unescaped.push_back(value[i]);
        }
    }
    std::string out;
    if (!unescaped.empty() && unescaped.front() == '"') {
        for (std::size_t i = 1; i + 1 < unescaped.size(); ++i) {
            if (unescaped[i] == '\\') {
                ++i;
            }
            out.push_back(unescaped[i]);
        }
    } else {
        out = unescaped;
    }
    std::string fields;
    for (std::size_t i = 0; i < out.size(); ++i) {
        fields.push_back(out[i]);
        if (out[i] == '%') {
            ++i;  // "%%" is a literal percent sign
        }
    }
    return fields;
}

std::string execLine(const std::string& text) {
    const auto start = text.find("\nExec=");
    if (start == std::string::npos) {
        return {};
    }
    const auto end = text.find('\n', start + 1);
    return text.substr(start + 6, end - start - 6);
}

TEST(DesktopExec, QuotesOnlyWhenNeeded) {
    EXPECT_EQ(desktopExecArgument("/opt/tavu/tavu"), "/opt/tavu/tavu");
    EXPECT_EQ(desktopExecArgument("/home/a b/tavu"), "\"/home/a b/tavu\"");
    EXPECT_EQ(desktopExecArgument("/x/$HOME/`id`/\"q\"/tavu"),
              "\"/x/\\\\$HOME/\\\\`id\\\\`/\\\\\"q\\\\\"/tavu\"");
    EXPECT_EQ(desktopExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(desktopExecArgument("/100%/tavu"), "/100%%/tavu");
    EXPECT_EQ(desktopExecArgument("/ä/tavu"), "/ä/tavu");
    EXPECT_EQ(desktopExecArgument(""), "\"\"");
    EXPECT_EQ(desktopExecArgument(std::string("/a\rb")), "");
    EXPECT_EQ(desktopExecArgument(std::string("/a\x7f")), "");
    EXPECT_EQ(desktopExecArgument(std::string("/\xff\xfe")), "");
}

TEST(DesktopExec, EveryAwkwardPathReadsBackUnchanged) {
    for (const std::string path :
         {"/plain/tavu", "/with space/tavu", "/quote\"s/tavu", "/single'quote/tavu",
          "/back\\slash/tavu", "/dollar$/tavu", "/tick`/tavu", "/semi;colon&amp|/tavu",
          "/per%cent %f/tavu", "/tab\there/tavu", "/new\nline/tavu", "/(paren)#~*?<>/tavu"}) {
        const std::string written = desktopExecArgument(path);
        ASSERT_FALSE(written.empty()) << path;
        EXPECT_EQ(written.find('\n'), std::string::npos) << path;
        EXPECT_EQ(parseExecArgument(written), path) << written;
    }
}

class AutostartTest : public testing::Test {
  protected:
    test::TempDir config_;
    ScopedEnv env_{"XDG_CONFIG_HOME", config_.path().c_str()};
    std::string file_ = config_.file("autostart/tavu.desktop");
};

TEST_F(AutostartTest, CreateQueryRemove) {
    XdgAutostartEntry entry("/opt/my apps/tavu");
    EXPECT_EQ(XdgAutostartEntry::entryPath(), file_);
    EXPECT_FALSE(entry.exists());
    EXPECT_TRUE(entry.remove());  // nothing to remove is not a failure

    ASSERT_TRUE(entry.create());
    EXPECT_TRUE(entry.exists());
    const std::string text = test::readFile(file_);
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=TAVU\n"), std::string::npos);
    EXPECT_EQ(parseExecArgument(execLine(text)), "/opt/my apps/tavu/tavu");

    // Creating again replaces the entry.
    ASSERT_TRUE(XdgAutostartEntry("/usr/lib/tavu").create());
    EXPECT_EQ(execLine(test::readFile(file_)), "/usr/lib/tavu/tavu");

    // A copy started with its own settings folder is started with it again.
    ASSERT_TRUE(XdgAutostartEntry("/usr/lib/tavu", {"--config-dir", "/home/ann/my tavu"}).create());
    EXPECT_EQ(execLine(test::readFile(file_)),
              "/usr/lib/tavu/tavu --config-dir \"/home/ann/my tavu\"");

    EXPECT_TRUE(entry.remove());
    EXPECT_FALSE(entry.exists());
    EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(AutostartTest, FailuresAreReported) {
    EXPECT_FALSE(XdgAutostartEntry("relative/dir").create());
    EXPECT_FALSE(XdgAutostartEntry("").create());
    EXPECT_FALSE(XdgAutostartEntry(std::string("/bad\rdir")).create());

    // The autostart folder cannot be made: a file is in its place.
    test::writeFile(config_.file("autostart"), "");
    EXPECT_FALSE(XdgAutostartEntry("/opt/tavu").create());
    EXPECT_FALSE(XdgAutostartEntry("/opt/tavu").exists());
    std::filesystem::remove(config_.file("autostart"));

    // A folder in place of the entry is neither an entry nor removable as one.
    std::filesystem::create_directories(file_);
    EXPECT_FALSE(XdgAutostartEntry("/opt/tavu").exists());
    EXPECT_FALSE(XdgAutostartEntry("/opt/tavu").remove());
}

TEST(Autostart, FollowsHomeWithoutConfigHome) {
    test::TempDir home;
    ScopedEnv homeEnv("HOME", home.path().c_str());
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/ignored");
    EXPECT_EQ(XdgAutostartEntry::entryPath(), home.file(".config/autostart/tavu.desktop"));
    ASSERT_TRUE(XdgAutostartEntry("/opt/tavu").create());
    EXPECT_TRUE(std::filesystem::exists(home.file(".config/autostart/tavu.desktop")));

    ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_EQ(XdgAutostartEntry::entryPath(), "");
    EXPECT_FALSE(XdgAutostartEntry("/opt/tavu").create());
    EXPECT_FALSE(XdgAutostartEntry("/opt/tavu").exists());
}

}  // namespace
}  // namespace tavu::platform
