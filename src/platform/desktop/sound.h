#pragma once

#include <string>

namespace tavu::platform {

// The connect and disconnect signals. Both calls are synchronous: they return when the sound has
// ended. While one sound plays (from any thread), a new one is not played and the call returns at
// once. Failures are never reported to the user; the result only says whether the sound played.
class Sound {
  public:
    virtual ~Sound() = default;
    // The beep sweeps: 120 tones of 1 ms each (see beepSweepFrequencies).
    virtual bool beepSweeps() = 0;
    // A WAV file (PCM, 8 or 16 bits, mono or stereo).
    virtual bool playFile(const std::string& path) = 0;
};

}  // namespace tavu::platform
