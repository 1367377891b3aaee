#include "platform/desktop/pcm.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <numbers>

namespace tavu::platform {

std::vector<int> beepSweepFrequencies() {
    std::vector<int> out;
    out.reserve(120);
    for (int sweep = 0; sweep < 2; ++sweep) {
        for (int f = 0; f <= 2900; f += 100) {
            out.push_back(f);
        }
        for (int f = 3000; f >= 100; f -= 100) {
            out.push_back(f);
        }
    }
    return out;
}

Pcm synthesizeTones(const std::vector<int>& frequencies, int toneMs, std::uint32_t rate,
                    std::int16_t amplitude) {
    Pcm pcm;
    pcm.rate = rate;
    pcm.channels = 1;
    if (toneMs <= 0 || rate == 0 || frequencies.empty()) {
        return pcm;
    }
    const auto boundary = [&](std::size_t i) {
        return static_cast<std::size_t>(static_cast<std::uint64_t>(i) * rate *
                                        static_cast<std::uint64_t>(toneMs) / 1000);
    };
    pcm.samples.resize(boundary(frequencies.size()));
    const double nyquist = rate / 2.0;
    double phase = 0.0;
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        const double f = std::clamp(static_cast<double>(frequencies[i]), 0.0, nyquist);
        const double step = 2.0 * std::numbers::pi * f / rate;
        for (std::size_t s = boundary(i); s < boundary(i + 1); ++s) {
            pcm.samples[s] =
                f > 0.0 ? static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase))) : 0;
            phase = std::fmod(phase + step, 2.0 * std::numbers::pi);
        }
    }
    return pcm;
}

namespace {

std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool tagIs(const std::uint8_t* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

struct WavFormat {
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bits = 0;
};

std::optional<WavFormat> parseFormat(const std::uint8_t* p, std::uint32_t size) {
    if (size < 16) {
        return std::nullopt;
    }
    constexpr std::uint16_t kPcmTag = 1;
    WavFormat f;
    const std::uint16_t tag = le16(p);
    f.channels = le16(p + 2);
    f.rate = le32(p + 4);
    const std::uint32_t byteRate = le32(p + 8);
    f.blockAlign = le16(p + 12);
    f.bits = le16(p + 14);
    if (tag != kPcmTag || (f.channels != 1 && f.channels != 2) || (f.bits != 8 && f.bits != 16) ||
        f.rate < kMinWavRate || f.rate > kMaxWavRate) {
        return std::nullopt;
    }
    if (f.blockAlign != f.channels * (f.bits / 8) ||
        byteRate != static_cast<std::uint64_t>(f.rate) * f.blockAlign) {
        return std::nullopt;
    }
    return f;
}

}  // namespace

std::optional<Pcm> decodeWav(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kHeader = 12;
    constexpr std::size_t kChunkHeader = 8;
    if (bytes.size() < kHeader || bytes.size() > kMaxWavFileBytes || !tagIs(bytes.data(), "RIFF") ||
        !tagIs(bytes.data() + 8, "WAVE")) {
        return std::nullopt;
    }
    const std::uint32_t riffSize = le32(bytes.data() + 4);
    if (riffSize < 4 || riffSize > bytes.size() - 8) {
        return std::nullopt;
    }
    const std::size_t end = 8 + static_cast<std::size_t>(riffSize);
    std::optional<WavFormat> format;
    std::size_t pos = kHeader;
    while (end - pos >= kChunkHeader) {
        const std::uint8_t* chunk = bytes.data() + pos;
        const std::uint32_t size = le32(chunk + 4);
        if (size > end - pos - kChunkHeader) {
            return std::nullopt;
        }
        const std::uint8_t* body = chunk + kChunkHeader;
        if (tagIs(chunk, "fmt ")) {
            if (format) {
                return std::nullopt;
            }
            format = parseFormat(body, size);
            if (!format) {
                return std::nullopt;
            }
        } else if (tagIs(chunk, "data")) {
            if (!format || size == 0 || size % format->blockAlign != 0) {
                return std::nullopt;
            }
            Pcm pcm;
            pcm.rate = format->rate;
            pcm.channels = format->channels;
            if (format->bits == 8) {
                pcm.samples.resize(size);
                for (std::uint32_t i = 0; i < size; ++i) {
                    pcm.samples[i] = static_cast<std::int16_t>((body[i] - 128) * 256);
                }
            } else {
                pcm.samples.resize(size / 2);
                for (std::uint32_t i = 0; i < size / 2; ++i) {
                    pcm.samples[i] = static_cast<std::int16_t>(le16(body + 2 * i));
                }
            }
            return pcm;
        }
        // Chunks are padded to an even length; a missing pad byte at the very end is tolerated.
        pos += kChunkHeader + size;
        if (size % 2 != 0 && pos < end) {
            ++pos;
        }
    }
    return std::nullopt;
}

std::optional<Pcm> readWavFile(const std::string& path) {
    // Non-blocking, so that a FIFO put where the file should be cannot hang the caller.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> data;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        static_cast<std::uint64_t>(st.st_size) <= kMaxWavFileBytes) {
        data.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (got < data.size()) {
            const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        data.resize(got);
    }
    ::close(fd);
    if (data.empty()) {
        return std::nullopt;
    }
    return decodeWav(data);
}

}  // namespace tavu::platform
