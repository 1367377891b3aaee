#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavu::platform {

// Sound as signed 16-bit samples; with two channels the samples are interleaved left, right.
struct Pcm {
    std::uint32_t rate = 0;
    std::uint16_t channels = 0;
    std::vector<std::int16_t> samples;

    std::size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
    double seconds() const { return rate == 0 ? 0.0 : static_cast<double>(frames()) / rate; }
};

// ---- Tones ----

inline constexpr std::uint32_t kToneRate = 48000;
inline constexpr std::int16_t kToneAmplitude = 12000;

// The frequencies of the beep sweeps, in playing order: 0, 100, ..., 2900 Hz rising, then 3000,
// 2900, ..., 100 Hz falling, and that whole sweep twice (120 tones).
std::vector<int> beepSweepFrequencies();

// One sine tone per frequency, each lasting toneMs, mono at the given rate. The phase runs on
// from one tone to the next, so the changes of pitch do not click; 0 Hz is silence.
Pcm synthesizeTones(const std::vector<int>& frequencies, int toneMs, std::uint32_t rate = kToneRate,
                    std::int16_t amplitude = kToneAmplitude);

// ---- WAV files ----

// Files larger than this are not read at all.
inline constexpr std::size_t kMaxWavFileBytes = 64u << 20;
inline constexpr std::uint32_t kMinWavRate = 1000;
inline constexpr std::uint32_t kMaxWavRate = 192000;

// Decodes a RIFF/WAVE file holding uncompressed PCM: 8-bit unsigned or 16-bit signed little
// endian, one or two channels, kMinWavRate..kMaxWavRate. Anything else, and any file whose
// sizes do not add up, gives nothing.
std::optional<Pcm> decodeWav(std::span<const std::uint8_t> bytes);

// Reads a regular file of at most kMaxWavFileBytes and decodes it.
std::optional<Pcm> readWavFile(const std::string& path);

}  // namespace tavu::platform
