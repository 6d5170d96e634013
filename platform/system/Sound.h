#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string_view>

// Synchronous playback of a short WAVE clip held in memory, as the invitation sound
// is played: the caller is held until the clip has been heard, and not much longer.
namespace platform {

// Any reason the clip could not be played: malformed data, no sound server, a server
// that does not answer in time, a stream that failed.
class SoundError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The PCM samples of a RIFF WAVE file and how to play them. `samples` points into the
// bytes that were parsed, which must outlive it.
struct WaveClip {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;
    std::string_view samples;

    std::size_t bytesPerFrame() const { return std::size_t{channels} * (bitsPerSample / 8u); }
    std::chrono::microseconds duration() const;
};

// Reads the RIFF header and chunks of a WAVE file: integer PCM at 8, 16, 24 or 32 bits,
// 1 to 8 channels. Anything else, or a chunk that runs past the data, is a SoundError;
// nothing outside `file` is ever read.
WaveClip parseWave(std::string_view file);

// The program's sound output. Tests put their own in its place to stay silent or to
// make playback fail.
class SoundPlayer {
public:
    virtual ~SoundPlayer();
    // Returns once the clip has been played; throws SoundError when it could not be.
    virtual void playSync(std::string_view waveFile) = 0;
};

// Plays through the user's PulseAudio (or PipeWire) server.
class PulseSoundPlayer final : public SoundPlayer {
public:
    struct Limits {
        // How long a server may take to accept the connection and the stream. A server
        // that does not run refuses at once; one that hangs is given up after this.
        std::chrono::milliseconds connect{300};
        // How long the caller may be held after the clip's own length, whatever the
        // server says about its latency.
        std::chrono::milliseconds tail{150};
    };

    PulseSoundPlayer();
    explicit PulseSoundPlayer(Limits limits);
    void playSync(std::string_view waveFile) override;

private:
    Limits limits_;
};

} // namespace platform
