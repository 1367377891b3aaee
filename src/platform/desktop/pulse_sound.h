#pragma once

#include <chrono>
#include <string>

#include "platform/desktop/pcm.h"
#include "platform/desktop/sound.h"

namespace tavu::platform {

// Plays through the desktop's sound server (PulseAudio, or PipeWire's PulseAudio service).
// A server that stops answering does not hang the caller: the call gives up a few seconds after
// the sound should have ended and leaves the stuck playback to finish on its own thread; until it
// does, further sounds are not played.
class PulseSound : public Sound {
  public:
    // server: a server address such as "unix:/run/user/1000/pulse/native"; empty for the
    // session's default.
    // grace: how long past the sound's own length a call may wait for the server.
    explicit PulseSound(std::string server = {}, std::chrono::milliseconds grace = kGrace);

    bool beepSweeps() override;
    bool playFile(const std::string& path) override;
    // Any sound of one or two channels.
    bool play(Pcm pcm);

    static constexpr std::chrono::milliseconds kGrace{5000};

  private:
    std::string server_;
    std::chrono::milliseconds grace_;
};

}  // namespace tavu::platform
