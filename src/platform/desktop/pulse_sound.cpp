#include "platform/desktop/pulse_sound.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace tavu::platform {

namespace {

// One sound at a time in the whole process, as with the system's own sound call.
std::atomic<bool> g_playing{false};

constexpr pa_usec_t kBufferUsec = 100 * 1000;

struct Playback {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool ok = false;
};

bool playBlocking(const std::string& server, const Pcm& pcm) {
    pa_sample_spec format{};
    format.format = PA_SAMPLE_S16LE;
    format.rate = pcm.rate;
    format.channels = static_cast<std::uint8_t>(pcm.channels);
    // A short buffer: the server's default of about two seconds would hold a short signal back
    // (and the caller with it) long after the sound itself has ended.
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kBufferUsec, &format));
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    pa_simple* stream =
        pa_simple_new(server.empty() ? nullptr : server.c_str(), "TAVU", PA_STREAM_PLAYBACK,
                      nullptr, "signal", &format, nullptr, &buffer, &error);
    if (stream == nullptr) {
        return false;
    }
    const bool ok = pa_simple_write(stream, pcm.samples.data(),
                                    pcm.samples.size() * sizeof(std::int16_t), &error) == 0 &&
                    pa_simple_drain(stream, &error) == 0;
    pa_simple_free(stream);
    return ok;
}

}  // namespace

PulseSound::PulseSound(std::string server, std::chrono::milliseconds grace)
    : server_(std::move(server)), grace_(grace) {}

bool PulseSound::beepSweeps() {
    return play(synthesizeTones(beepSweepFrequencies(), 1));
}

bool PulseSound::playFile(const std::string& path) {
    if (g_playing.load()) {
        return false;
    }
    const std::optional<Pcm> pcm = readWavFile(path);
    return pcm && play(std::move(*pcm));
}

bool PulseSound::play(Pcm pcm) {
    if (pcm.samples.empty() || pcm.rate == 0 || pcm.channels == 0 || pcm.channels > 2) {
        return false;
    }
    bool expected = false;
    if (!g_playing.compare_exchange_strong(expected, true)) {
        return false;
    }
    auto state = std::make_shared<Playback>();
    // Computed before the samples move to the playing thread.
    const auto deadline = std::chrono::steady_clock::now() + grace_ +
                          std::chrono::milliseconds(static_cast<long>(pcm.seconds() * 1000));
    std::thread worker;
    try {
        worker = std::thread([state, server = server_, pcm = std::move(pcm)] {
            const bool ok = playBlocking(server, pcm);
            g_playing.store(false);
            {
                std::lock_guard lock(state->mutex);
                state->finished = true;
                state->ok = ok;
            }
            state->done.notify_all();
        });
    } catch (const std::exception&) {
        g_playing.store(false);
        return false;
    }
    std::unique_lock lock(state->mutex);
    if (!state->done.wait_until(lock, deadline, [&] { return state->finished; })) {
        lock.unlock();
        worker.detach();
        return false;
    }
    const bool ok = state->ok;
    lock.unlock();
    worker.join();
    return ok;
}

}  // namespace tavu::platform
