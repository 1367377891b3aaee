#include "core/settings_store.h"
#include "core/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/text.h"

namespace tavu {

namespace {

std::string lowerName(std::string_view name) {
    std::string out(trim(name));
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

enum class TextKind { Value, Key, Section };

// A name or value from the program may hold characters that would change the meaning of the
// line it is written to (a line end, "=" in a key built from a phone-book entry name, "]" in a
// section name). They become blanks, the same way on reading and writing so the name is found
// again. A section line ends at its first "]", so "=" and "[" are safe in a section name.
std::string safeText(std::string_view text, TextKind kind) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        char& c = out[i];
        if (c == '\r' || c == '\n' || (kind == TextKind::Section && c == ']') ||
            (kind == TextKind::Key && (c == '=' || c == ']' || c == '['))) {
            c = ' ';
        }
    }
    return out;
}

// Passwords are stored and read exactly as typed, blanks included: the value of a key whose
// name ends in "Password" is everything after its "=". Other values lose the blanks around
// them. The program itself never writes a blank next to "=", so files written before read the
// same either way.
bool keepsBlanks(std::string_view keyName) {
    const std::string name = lowerName(keyName);
    constexpr std::string_view suffix = "password";
    return name.size() >= suffix.size() && name.ends_with(suffix);
}

std::string_view storedValue(std::string_view keyName, std::string_view value) {
    return keepsBlanks(keyName) ? value : trim(value);
}

std::int64_t nanos(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

constexpr off_t kMaxFileSize = 64 * 1024 * 1024;

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::string IniDocument::lookupKey(std::string_view section, std::string_view key) {
    std::string k = lowerName(safeText(section, TextKind::Section));
    k.push_back('\n');
    k += lowerName(safeText(key, TextKind::Key));
    return k;
}

IniDocument IniDocument::parse(std::string_view content) {
    IniDocument doc;
    std::string section;
    bool sawSection = false;
    std::size_t pos = 0;
    bool first = true;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        const bool hasEnd = end != std::string_view::npos;
        if (!hasEnd) {
            end = content.size();
        }
        std::string_view raw = content.substr(pos, end - pos);
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
            if (first) {
                doc.crlf_ = true;
            }
        }
        first = false;
        Line line;
        line.text = std::string(raw);
        const std::string_view t = trim(raw);
        if (!t.empty() && t.front() == '[') {
            const auto close = t.find(']');
            section = lowerName(t.substr(1, close == std::string_view::npos ? t.npos : close - 1));
            sawSection = true;
            line.isSection = true;
            line.section = section;
        } else if (sawSection) {
            const auto eq = raw.find('=');
            if (eq != std::string_view::npos && !trim(raw.substr(0, eq)).empty()) {
                line.isKey = true;
                line.keyEnd = eq;
                line.section = section;
            }
        }
        doc.lines_.push_back(std::move(line));
        pos = hasEnd ? end + 1 : end;
    }
    doc.reindex();
    return doc;
}

void IniDocument::reindex() {
    index_.clear();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (l.isKey) {
            std::string k = l.section;
            k.push_back('\n');
            k += lowerName(std::string_view(l.text).substr(0, l.keyEnd));
            index_.emplace(std::move(k), i);  // keeps the first occurrence
        }
    }
}

std::string_view IniDocument::valueOf(const Line& line) const {
    const std::string_view text(line.text);
    return storedValue(text.substr(0, line.keyEnd), text.substr(line.keyEnd + 1));
}

std::optional<std::string_view> IniDocument::find(std::string_view section,
                                                  std::string_view key) const {
    const auto it = index_.find(lookupKey(section, key));
    if (it == index_.end()) {
        return std::nullopt;
    }
    return valueOf(lines_[it->second]);
}

bool IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string cleanKey(trim(safeText(key, TextKind::Key)));
    const std::string cleanValue(storedValue(key, safeText(value, TextKind::Value)));
    const std::string k = lookupKey(section, key);
    const std::string sec = lowerName(safeText(section, TextKind::Section));
    Line line;
    line.text = cleanKey + "=" + cleanValue;
    line.isKey = true;
    line.keyEnd = cleanKey.size();
    line.section = sec;

    if (const auto it = index_.find(k); it != index_.end()) {
        if (valueOf(lines_[it->second]) == cleanValue) {
            return false;
        }
        lines_[it->second] = std::move(line);
        return true;
    }
    // Insert after the last key line of the first section of that name.
    std::size_t header = lines_.size();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].isSection && lines_[i].section == sec) {
            header = i;
            break;
        }
    }
    if (header == lines_.size()) {
        if (!lines_.empty() && !trim(lines_.back().text).empty()) {
            lines_.push_back(Line{});
        }
        Line h;
        h.text = "[" + std::string(trim(safeText(section, TextKind::Section))) + "]";
        h.isSection = true;
        h.section = sec;
        lines_.push_back(std::move(h));
        lines_.push_back(std::move(line));
    } else {
        std::size_t at = header + 1;
        for (std::size_t i = header + 1; i < lines_.size() && !lines_[i].isSection; ++i) {
            if (lines_[i].isKey) {
                at = i + 1;
            }
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    }
    reindex();
    return true;
}

bool IniDocument::holds(std::string_view section, std::string_view key,
                        std::string_view value) const {
    const auto it = index_.find(lookupKey(section, key));
    return it != index_.end() &&
           valueOf(lines_[it->second]) == storedValue(key, safeText(value, TextKind::Value));
}

std::vector<std::string> IniDocument::sectionNames() const {
    std::vector<std::string> names;
    for (const Line& l : lines_) {
        if (l.isSection) {
            std::string_view t = trim(l.text);
            t.remove_prefix(1);  // "["
            const auto close = t.rfind(']');
            names.emplace_back(trim(close == std::string_view::npos ? t : t.substr(0, close)));
        }
    }
    return names;
}

std::vector<std::pair<std::size_t, std::size_t>> IniDocument::spansOf(
    std::string_view section) const {
    const std::string name = lowerName(safeText(section, TextKind::Section));
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!lines_[i].isSection || lines_[i].section != name) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines_.size() && !lines_[end].isSection) {
            ++end;
        }
        spans.emplace_back(i, end);
    }
    return spans;
}

bool IniDocument::removeSection(std::string_view section) {
    const auto spans = spansOf(section);
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(it->first),
                     lines_.begin() + static_cast<std::ptrdiff_t>(it->second));
    }
    reindex();
    return !spans.empty();
}

bool IniDocument::renameSection(std::string_view from, std::string_view to) {
    const auto spans = spansOf(from);
    const std::string name = lowerName(safeText(to, TextKind::Section));
    if (spans.empty() || name.empty() ||
        (name != lowerName(safeText(from, TextKind::Section)) && !spansOf(to).empty())) {
        return false;
    }
    const std::string header = "[" + std::string(trim(safeText(to, TextKind::Section))) + "]";
    for (const auto& [first, end] : spans) {
        // The blanks before the "[" stay, and so does what follows the "]".
        Line& line = lines_[first];
        const std::size_t open = line.text.find('[');
        const std::size_t close = line.text.find(']', open);
        const std::string tail = close == std::string::npos ? "" : line.text.substr(close + 1);
        line.text = line.text.substr(0, open) + header + tail;
        for (std::size_t i = first; i < end; ++i) {
            lines_[i].section = name;
        }
    }
    reindex();
    return true;
}

bool IniDocument::moveSection(std::string_view section, std::string_view before) {
    const auto spans = spansOf(section);
    if (spans.empty() || (!before.empty() && spansOf(before).empty())) {
        return false;
    }
    const auto blank = [](const Line& l) { return trim(l.text).empty(); };
    std::vector<Line> moved;
    for (const auto& [first, end] : spans) {
        for (std::size_t i = first; i < end; ++i) {
            moved.push_back(std::move(lines_[i]));
        }
    }
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(it->first),
                     lines_.begin() + static_cast<std::ptrdiff_t>(it->second));
    }
    std::size_t at = lines_.size();
    if (!before.empty()) {
        at = spansOf(before).front().first;
        if (!blank(moved.back())) {
            moved.emplace_back();
        }
    } else if (!lines_.empty() && !blank(lines_.back())) {
        moved.insert(moved.begin(), Line{});
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  std::make_move_iterator(moved.begin()), std::make_move_iterator(moved.end()));
    reindex();
    return true;
}

std::string IniDocument::serialize() const {
    std::string out;
    const char* eol = crlf_ ? "\r\n" : "\n";
    for (const Line& l : lines_) {
        out += l.text;
        out += eol;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {}

std::shared_ptr<const SettingsStore::Snapshot> SettingsStore::load() const {
    auto snap = std::make_shared<Snapshot>();
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        snap->id.size = -1;
        snap->usable = errno == ENOENT;
        return snap;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        ::close(fd);
        snap->usable = false;
        return snap;
    }
    snap->id = FileId{st.st_dev, st.st_ino, st.st_size, nanos(st.st_mtim), nanos(st.st_ctim)};
    std::string content;
    content.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < content.size()) {
        const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    content.resize(got);
    snap->doc = IniDocument::parse(content);
    return snap;
}

std::shared_ptr<const SettingsStore::Snapshot> SettingsStore::current() const {
    struct stat st {};
    FileId id;
    if (::stat(path_.c_str(), &st) == 0) {
        id = FileId{st.st_dev, st.st_ino, st.st_size, nanos(st.st_mtim), nanos(st.st_ctim)};
    }
    std::lock_guard lock(mutex_);
    if (!cache_ || !(cache_->id == id)) {
        cache_ = load();
        ++generation_;
    }
    return cache_;
}

std::uint64_t SettingsStore::generation() const {
    current();
    std::lock_guard lock(mutex_);
    return generation_;
}

int SettingsStore::readInt(std::string_view section, std::string_view key, int def) const {
    const auto snap = current();
    const auto v = snap->doc.find(section, key);
    return v ? leadingInt32(*v) : def;
}

std::string SettingsStore::readString(std::string_view section, std::string_view key,
                                      std::string_view def) const {
    const auto snap = current();
    const auto v = snap->doc.find(section, key);
    const std::string_view text = v ? *v : def;
    return std::string(text.substr(0, kMaxStringRead));
}

std::vector<std::string> SettingsStore::sectionNames() const {
    return current()->doc.sectionNames();
}

bool SettingsStore::writeInt(std::string_view section, std::string_view key, int value) {
    return writeString(section, key, std::to_string(value));
}

bool SettingsStore::writeString(std::string_view section, std::string_view key,
                                std::string_view value) {
    return writeMany({Entry{section, key, std::string(value)}});
}

bool SettingsStore::writeMany(const std::vector<Entry>& entries) {
    // Nothing to change: no lock, no temporary file, no rename.
    {
        const auto snap = current();
        const bool unchanged =
            snap->usable && std::all_of(entries.begin(), entries.end(), [&](const Entry& e) {
                return snap->doc.holds(e.section, e.key, e.value);
            });
        if (unchanged) {
            return true;
        }
    }
    return edit([&](IniDocument& doc) {
        bool changed = false;
        for (const Entry& e : entries) {
            changed = doc.set(e.section, e.key, e.value) || changed;
        }
        return changed;
    });
}

bool SettingsStore::edit(const std::function<bool(IniDocument&)>& change) {
    // A settings file reached through a symbolic link is replaced where it really lies.
    std::string target = path_;
    struct stat lst {};
    if (::lstat(path_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path_.c_str(), resolved) == nullptr) {
            return false;
        }
        target = resolved;
    }
    const std::string dir = directoryOf(target);
    // Writers of this program take turns on the folder, so two processes writing different
    // keys at once do not lose each other's change.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return false;
    }
    ::flock(dirFd, LOCK_EX);
    bool ok = false;
    {
        std::lock_guard lock(mutex_);
        cache_.reset();  // read afresh under the lock
    }
    const auto snap = current();
    if (snap->usable) {
        IniDocument doc = snap->doc;
        if (!change(doc)) {
            ok = true;
        } else if (replaceFile(target, doc.serialize(), 0600) == 0) {
            ::fsync(dirFd);
            ok = true;
        }
    }
    ::flock(dirFd, LOCK_UN);
    ::close(dirFd);
    return ok;
}

}  // namespace tavu
