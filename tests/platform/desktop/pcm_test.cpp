#include "platform/desktop/pcm.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "platform/desktop/wav_builder.h"
#include "support/temp_dir.h"

namespace tavu::platform {
namespace {

using test::makeWav;
using test::put32;
using test::WavSpec;

// Sign changes between consecutive non-zero samples of one channel.
int zeroCrossings(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
    int count = 0;
    int last = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (s[i] == 0) {
            continue;
        }
        const int sign = s[i] > 0 ? 1 : -1;
        if (last != 0 && sign != last) {
            ++count;
        }
        last = sign;
    }
    return count;
}

TEST(BeepSweeps, FrequenciesRiseFallAndRepeat) {
    const std::vector<int> f = beepSweepFrequencies();
    ASSERT_EQ(f.size(), 120u);
    EXPECT_EQ(f[0], 0);
    EXPECT_EQ(f[29], 2900);
    EXPECT_EQ(f[30], 3000);
    EXPECT_EQ(f[59], 100);
    for (std::size_t i = 1; i < 30; ++i) {
        EXPECT_EQ(f[i] - f[i - 1], 100) << i;
    }
    for (std::size_t i = 31; i < 60; ++i) {
        EXPECT_EQ(f[i - 1] - f[i], 100) << i;
    }
    EXPECT_EQ(std::vector<int>(f.begin(), f.begin() + 60),
              std::vector<int>(f.begin() + 60, f.end()));
}

TEST(BeepSweeps, SynthesizedLengthPitchAndLevel) {
    const Pcm pcm = synthesizeTones(beepSweepFrequencies(), 1);
    EXPECT_EQ(pcm.channels, 1);
    EXPECT_EQ(pcm.rate, kToneRate);
    const std::size_t perTone = kToneRate / 1000;
    ASSERT_EQ(pcm.samples.size(), 120 * perTone);
    EXPECT_NEAR(pcm.seconds(), 0.120, 1e-9);

    // The first tone is 0 Hz: silence.
    for (std::size_t i = 0; i < perTone; ++i) {
        EXPECT_EQ(pcm.samples[i], 0);
    }
    int peak = 0;
    for (const std::int16_t s : pcm.samples) {
        peak = std::max(peak, std::abs(static_cast<int>(s)));
    }
    EXPECT_LE(peak, kToneAmplitude);
    EXPECT_GT(peak, kToneAmplitude * 9 / 10);

    // The phase runs on across tones, so each half holds sum(f) * 1 ms cycles: the rising part
    // 43.5 and the falling part 46.5, two crossings per cycle.
    const auto& s = pcm.samples;
    EXPECT_NEAR(zeroCrossings(s, 0, 30 * perTone), 87, 2);
    EXPECT_NEAR(zeroCrossings(s, 30 * perTone, 60 * perTone), 93, 2);
    EXPECT_NEAR(zeroCrossings(s, 0, s.size()), 360, 4);
}

TEST(BeepSweeps, SingleToneHasItsFrequency) {
    const Pcm pcm = synthesizeTones({1000}, 100, 44100);
    ASSERT_EQ(pcm.samples.size(), 4410u);
    EXPECT_NEAR(zeroCrossings(pcm.samples, 0, pcm.samples.size()), 200, 1);
    // A frequency above half the rate cannot be sampled; it is held at the limit.
    const Pcm high = synthesizeTones({30000}, 10, 8000);
    EXPECT_EQ(high.samples.size(), 80u);
    EXPECT_TRUE(synthesizeTones({1000}, 0).samples.empty());
    EXPECT_TRUE(synthesizeTones({}, 1).samples.empty());
}

// ---- WAV ----

std::optional<Pcm> decode(const std::string& bytes) {
    return decodeWav(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

TEST(WavDecode, AcceptsEachPcmLayout) {
    WavSpec mono16;
    mono16.data = std::string("\x00\x80\xff\x7f\x01\x00", 6);  // -32768, 32767, 1
    auto pcm = decode(makeWav(mono16));
    ASSERT_TRUE(pcm);
    EXPECT_EQ(pcm->rate, 8000u);
    EXPECT_EQ(pcm->channels, 1);
    EXPECT_EQ(pcm->samples, (std::vector<std::int16_t>{-32768, 32767, 1}));

    WavSpec stereo8;
    stereo8.channels = 2;
    stereo8.bits = 8;
    stereo8.rate = 22050;
    stereo8.data = std::string("\x00\xff\x80\x81", 4);
    pcm = decode(makeWav(stereo8));
    ASSERT_TRUE(pcm);
    EXPECT_EQ(pcm->channels, 2);
    EXPECT_EQ(pcm->rate, 22050u);
    EXPECT_EQ(pcm->frames(), 2u);
    EXPECT_EQ(pcm->samples, (std::vector<std::int16_t>{-32768, 32512, 0, 256}));

    WavSpec mono8;
    mono8.bits = 8;
    mono8.data = std::string("\x80\x80\x80", 3);  // odd length, padded
    pcm = decode(makeWav(mono8));
    ASSERT_TRUE(pcm);
    EXPECT_EQ(pcm->samples.size(), 3u);

    WavSpec stereo16;
    stereo16.channels = 2;
    stereo16.rate = 44100;
    stereo16.data = std::string(4 * 441, '\x01');
    pcm = decode(makeWav(stereo16));
    ASSERT_TRUE(pcm);
    EXPECT_NEAR(pcm->seconds(), 0.01, 1e-9);
}

TEST(WavDecode, SkipsUnknownChunksAndExtendedFormat) {
    WavSpec w;
    w.data = std::string(8, '\0');
    w.extraChunkBefore = std::string(
        "LIST\x03\x00\x00\x00"
        "abc\x00",
        12);         // odd, padded
    w.fmtSize = 18;  // with a cbSize field
    EXPECT_TRUE(decode(makeWav(w)));
    // Bytes after the RIFF chunk are not part of the file's sound.
    EXPECT_TRUE(decode(makeWav(w) + "trailing"));
}

TEST(WavDecode, RefusesUnsupportedFormats) {
    const auto refused = [](WavSpec w) {
        if (w.data.empty()) {
            w.data = std::string(16, '\0');
        }
        return !decode(makeWav(w));
    };
    WavSpec w;
    w.tag = 3;  // IEEE float
    w.bits = 32;
    EXPECT_TRUE(refused(w));
    w = {};
    w.tag = 2;  // ADPCM
    EXPECT_TRUE(refused(w));
    w = {};
    w.tag = 0xfffe;
    EXPECT_TRUE(refused(w));
    w = {};
    w.bits = 24;
    EXPECT_TRUE(refused(w));
    w = {};
    w.channels = 6;
    EXPECT_TRUE(refused(w));
    w = {};
    w.channels = 0;
    EXPECT_TRUE(refused(w));
    w = {};
    w.rate = 0;
    EXPECT_TRUE(refused(w));
    w = {};
    w.rate = 4000000;
    EXPECT_TRUE(refused(w));
    w = {};
    w.fmtSize = 14;
    EXPECT_TRUE(refused(w));
}

TEST(WavDecode, RefusesMalformedFiles) {
    WavSpec good;
    good.data = std::string(100, '\x10');
    const std::string file = makeWav(good);
    ASSERT_TRUE(decode(file));

    // Truncated anywhere.
    for (std::size_t len = 0; len < file.size(); ++len) {
        EXPECT_FALSE(decode(file.substr(0, len))) << len;
    }
    // Sizes that do not fit the file.
    WavSpec w = good;
    w.dataSizeDelta = 2;
    EXPECT_FALSE(decode(makeWav(w)));
    w = good;
    w.dataSizeDelta = 0x7fffff00;
    EXPECT_FALSE(decode(makeWav(w)));
    w = good;
    w.dataSizeDelta = -1;  // not whole frames
    EXPECT_FALSE(decode(makeWav(w)));
    w = good;
    w.riffSizeDelta = 1;
    EXPECT_FALSE(decode(makeWav(w)));
    w = good;
    w.riffSizeDelta = 0xffffff00;
    EXPECT_FALSE(decode(makeWav(w)));
    // A RIFF that ends before its data chunk.
    w = good;
    w.riffSizeDelta = -static_cast<std::int64_t>(good.data.size()) - 8;
    EXPECT_FALSE(decode(makeWav(w)));
    // An unknown chunk claiming more than there is.
    w = good;
    w.extraChunkBefore = std::string("junk\xff\xff\xff\xff", 8);
    EXPECT_FALSE(decode(makeWav(w)));
    // No samples.
    w = good;
    w.data.clear();
    EXPECT_FALSE(decode(makeWav(w)));

    // Wrong magic, data before format, two format chunks.
    std::string bad = file;
    bad[0] = 'X';
    EXPECT_FALSE(decode(bad));
    bad = file;
    bad[8] = 'X';
    EXPECT_FALSE(decode(bad));
    std::string dataFirst = "RIFF";
    put32(dataFirst, 4 + 8 + 2);
    dataFirst += "WAVEdata";
    put32(dataFirst, 2);
    dataFirst += "ab";
    EXPECT_FALSE(decode(dataFirst));
    w = good;
    w.extraChunkBefore = file.substr(12, 8 + 16);  // a second "fmt " chunk
    EXPECT_FALSE(decode(makeWav(w)));
}

TEST(WavDecode, SurvivesRandomDamage) {
    WavSpec good;
    good.channels = 2;
    good.data = std::string(64, '\x22');
    const std::string file = makeWav(good);
    std::srand(7);
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = file;
        for (int k = 0; k < 3; ++k) {
            damaged[static_cast<std::size_t>(std::rand()) % damaged.size()] =
                static_cast<char>(std::rand());
        }
        const auto pcm = decode(damaged);
        if (pcm) {
            EXPECT_LE(pcm->samples.size() * 2, damaged.size());
        }
    }
}

TEST(WavFile, ReadsRegularFilesOnly) {
    test::TempDir dir;
    WavSpec w;
    w.data = std::string(20, '\0');
    test::writeFile(dir.file("ok.wav"), makeWav(w));
    EXPECT_TRUE(readWavFile(dir.file("ok.wav")));
    EXPECT_FALSE(readWavFile(dir.file("missing.wav")));
    EXPECT_FALSE(readWavFile(dir.path()));
    test::writeFile(dir.file("empty.wav"), "");
    EXPECT_FALSE(readWavFile(dir.file("empty.wav")));
    // A FIFO would block a plain open and read.
    ASSERT_EQ(::mkfifo(dir.file("fifo.wav").c_str(), 0600), 0);
    EXPECT_FALSE(readWavFile(dir.file("fifo.wav")));
    EXPECT_FALSE(readWavFile("/dev/zero"));
    // Too large to be read at all (a sparse file, so nothing is written).
    test::writeFile(dir.file("huge.wav"), makeWav(w));
    std::filesystem::resize_file(dir.file("huge.wav"), kMaxWavFileBytes + 1);
    EXPECT_FALSE(readWavFile(dir.file("huge.wav")));
}

}  // namespace
}  // namespace tavu::platform
