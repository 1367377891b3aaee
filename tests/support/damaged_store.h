#pragma once

// Damage done to a closed usage store behind its back, as a failing disk would do it.

#include <sqlite3.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace tavu::test {

inline std::uint32_t bigEndianAt(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t v = 0;
    for (int i = 0; i < size; ++i) {
        v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

// Overwrites the cells of a leaf page of the table `usage` with junk, its page header and cell
// pointers left as they are: the leaf reached by the middle cell of each interior page from the
// table's root. The page's number; 0 when the file is not as expected. The store must be closed
// (its write-ahead log copied into the file).
inline std::uint32_t damageUsageLeaf(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;
    std::uint32_t page = 0;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name = 'usage'", -1, &st,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        page = static_cast<std::uint32_t>(sqlite3_column_int64(st, 0));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    std::string file = readFile(path);
    if (page < 2 || file.size() < 100) {
        return 0;
    }
    const std::uint32_t raw = bigEndianAt(file, 16, 2);
    const std::size_t size = raw == 1 ? 65536 : raw;
    for (;;) {
        const std::size_t at = (page - 1) * size;
        if (size < 512 || at + size > file.size()) {
            return 0;
        }
        const auto type = static_cast<unsigned char>(file[at]);
        if (type == 0x0a || type == 0x0d) {  // a leaf of an index or of a table
            const std::uint32_t content = bigEndianAt(file, at + 5, 2);
            std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
            out.seekp(static_cast<std::streamoff>(at + content));
            const std::string junk(size - content, '\xA5');
            out.write(junk.data(), static_cast<std::streamsize>(junk.size()));
            return out ? page : 0;
        }
        if (type != 0x02 && type != 0x05) {  // not an interior page
            return 0;
        }
        const std::uint32_t cells = bigEndianAt(file, at + 3, 2);
        const std::uint32_t cell = bigEndianAt(file, at + 12 + 2 * (cells / 2), 2);
        page = cells == 0 ? bigEndianAt(file, at + 8, 4) : bigEndianAt(file, at + cell, 4);
    }
}

// Sets the page count in the header of a closed store.
inline void setHeaderPageCount(const std::string& path, std::uint32_t pages) {
    const char bytes[4] = {static_cast<char>(pages >> 24), static_cast<char>(pages >> 16),
                           static_cast<char>(pages >> 8), static_cast<char>(pages)};
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(28);
    out.write(bytes, 4);
}

}  // namespace tavu::test
