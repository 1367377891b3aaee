#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tavu {

// The lines of an INI text. Section and key names match without regard to case, blanks around
// names and values do not count (except in the values of passwords, kept exactly as typed), the
// first occurrence of a key wins, and every line the program does not understand is written back
// exactly as it was read.
class IniDocument {
  public:
    static IniDocument parse(std::string_view content);

    std::optional<std::string_view> find(std::string_view section, std::string_view key) const;

    // Sets the first occurrence of the key, or adds it to the section (created when missing).
    // Returns false when the stored text already equals the value.
    bool set(std::string_view section, std::string_view key, std::string_view value);
    // Whether set() with these arguments would change nothing.
    bool holds(std::string_view section, std::string_view key, std::string_view value) const;

    // The names of the sections as written, in file order, one for each section line (a name
    // written twice comes twice): the text between the line's "[" and its last "]", without the
    // blanks around it.
    std::vector<std::string> sectionNames() const;

    // A section's span is its line and every line after it up to the next section line. Each
    // of these acts on every section of that name (names match without regard to case); the
    // lines of other sections and those before the first section stay as they are.
    //
    // Removes the sections and their lines. False when there is none.
    bool removeSection(std::string_view section);
    // Gives the sections the name `to`, their keys and other lines kept. False when there is
    // none, or when `to` names another section already.
    bool renameSection(std::string_view from, std::string_view to);
    // Moves the sections, together and in their order, to just before the first section named
    // `before`, or to the end when `before` is empty. False when either is missing. A blank line
    // is kept between the moved lines and the section that follows them.
    bool moveSection(std::string_view section, std::string_view before = {});

    std::string serialize() const;

  private:
    struct Line {
        std::string text;        // the line as read, without its line end
        std::string section;     // lower-case name of the section the line lies in
        std::size_t keyEnd = 0;  // for a key line: where the key name ends ('=' position)
        bool isKey = false;
        bool isSection = false;
    };
    static std::string lookupKey(std::string_view section, std::string_view key);
    std::string_view valueOf(const Line& line) const;
    void reindex();
    // The line indexes of the sections of that name, each from its section line to the next.
    std::vector<std::pair<std::size_t, std::size_t>> spansOf(std::string_view section) const;

    std::vector<Line> lines_;
    std::unordered_map<std::string, std::size_t> index_;  // "section\nkey" -> first key line
    bool crlf_ = false;
};

// The settings file. Every read sees what the file holds at that moment: a parsed copy is kept
// but re-validated against the file's identity, size and times before each read. Every write
// goes to the file at once, atomically (a temporary file renamed over the old one), mode 0600.
class SettingsStore {
  public:
    explicit SettingsStore(std::string path);

    const std::string& path() const { return path_; }

    int readInt(std::string_view section, std::string_view key, int def) const;
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def = {}) const;
    // Both return false when the file could not be written; callers may ignore it.
    bool writeInt(std::string_view section, std::string_view key, int value);
    bool writeString(std::string_view section, std::string_view key, std::string_view value);

    // Several values in one atomic write. A write whose values the file already holds does
    // not touch the file at all.
    struct Entry {
        std::string_view section;
        std::string_view key;
        std::string value;
    };
    bool writeMany(const std::vector<Entry>& entries);

    // Changes the file as a whole in one atomic write: `change` gets the file as it is now, read
    // afresh under the writers' lock, and returns whether it changed anything (nothing is
    // written when not). False when the file could not be read or written.
    bool edit(const std::function<bool(IniDocument&)>& change);

    // The sections of the file as it is now (IniDocument::sectionNames).
    std::vector<std::string> sectionNames() const;

    // A change counter that moves whenever the file seen by this store changes; cheap to
    // compare, and checked against the file on each call.
    std::uint64_t generation() const;

    static constexpr std::size_t kMaxStringRead = 4095;

  private:
    struct FileId {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = -1;
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        bool operator==(const FileId&) const = default;
    };
    struct Snapshot {
        FileId id;
        IniDocument doc;
        bool usable = true;  // false when the file exists but cannot be read
    };
    std::shared_ptr<const Snapshot> current() const;
    std::shared_ptr<const Snapshot> load() const;

    std::string path_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<const Snapshot> cache_;
    mutable std::uint64_t generation_ = 0;
};

}  // namespace tavu
