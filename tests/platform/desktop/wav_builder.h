#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace tavu::test {

// Writes WAV files for the tests, correct by default and damaged on request.
inline void put16(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>((v >> 8) & 0xff));
}
inline void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

struct WavSpec {
    std::uint16_t tag = 1;
    std::uint16_t channels = 1;
    std::uint32_t rate = 8000;
    std::uint16_t bits = 16;
    std::string data;
    std::string extraChunkBefore;  // a whole chunk put between "fmt " and "data"
    std::int64_t dataSizeDelta = 0;
    std::int64_t riffSizeDelta = 0;
    std::uint32_t fmtSize = 16;
};

inline std::string makeWav(const WavSpec& w) {
    const std::uint16_t align = static_cast<std::uint16_t>(w.channels * (w.bits / 8));
    std::string fmt;
    put16(fmt, w.tag);
    put16(fmt, w.channels);
    put32(fmt, w.rate);
    put32(fmt, w.rate * align);
    put16(fmt, align);
    put16(fmt, w.bits);
    fmt.resize(std::max<std::size_t>(fmt.size(), w.fmtSize), '\0');
    std::string body = "WAVE";
    body += "fmt ";
    put32(body, w.fmtSize);
    body += fmt.substr(0, w.fmtSize);
    body += w.extraChunkBefore;
    body += "data";
    put32(body,
          static_cast<std::uint32_t>(static_cast<std::int64_t>(w.data.size()) + w.dataSizeDelta));
    body += w.data;
    if (w.data.size() % 2 != 0) {
        body.push_back('\0');
    }
    std::string out = "RIFF";
    put32(out,
          static_cast<std::uint32_t>(static_cast<std::int64_t>(body.size()) + w.riffSizeDelta));
    return out + body;
}

}  // namespace tavu::test
