#include "platform/system/Sound.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>
#include <pulse/sample.h>
#include <pulse/stream.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>

namespace platform {

SoundPlayer::~SoundPlayer() = default;

std::chrono::microseconds WaveClip::duration() const {
    const std::size_t frame = bytesPerFrame();
    if (frame == 0 || sampleRate == 0) return std::chrono::microseconds{0};
    const auto frames = static_cast<long long>(samples.size() / frame);
    return std::chrono::microseconds{frames * 1000000LL / sampleRate};
}

namespace {

std::uint16_t le16(std::string_view d, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(d[at]) |
                                      static_cast<unsigned char>(d[at + 1]) << 8);
}

std::uint32_t le32(std::string_view d, std::size_t at) {
    return static_cast<std::uint32_t>(le16(d, at)) | static_cast<std::uint32_t>(le16(d, at + 2))
                                                         << 16;
}

constexpr std::uint16_t formatPcm = 1;
constexpr std::uint16_t formatExtensible = 0xFFFE;
constexpr std::uint32_t highestRate = 384000;

void readFormat(std::string_view chunk, WaveClip& clip) {
    if (chunk.size() < 16) throw SoundError("WAVE format chunk is too short");
    std::uint16_t tag = le16(chunk, 0);
    // The extensible layout names its real format in the first two bytes of a GUID.
    if (tag == formatExtensible && chunk.size() >= 26) tag = le16(chunk, 24);
    if (tag != formatPcm)
        throw SoundError("WAVE data is not integer PCM (format " + std::to_string(tag) + ")");
    clip.channels = le16(chunk, 2);
    clip.sampleRate = le32(chunk, 4);
    const std::uint16_t blockAlign = le16(chunk, 12);
    clip.bitsPerSample = le16(chunk, 14);
    if (clip.channels < 1 || clip.channels > 8)
        throw SoundError("WAVE channel count " + std::to_string(clip.channels) +
                         " is not supported");
    if (clip.sampleRate < 1 || clip.sampleRate > highestRate)
        throw SoundError("WAVE sample rate " + std::to_string(clip.sampleRate) +
                         " is not supported");
    if (clip.bitsPerSample != 8 && clip.bitsPerSample != 16 && clip.bitsPerSample != 24 &&
        clip.bitsPerSample != 32)
        throw SoundError("WAVE sample size of " + std::to_string(clip.bitsPerSample) +
                         " bits is not supported");
    if (blockAlign != clip.bytesPerFrame())
        throw SoundError("WAVE block alignment does not match its channels and sample size");
}

} // namespace

WaveClip parseWave(std::string_view file) {
    if (file.size() < 12 || file.substr(0, 4) != "RIFF" || file.substr(8, 4) != "WAVE")
        throw SoundError("not a RIFF WAVE file");
    const std::uint32_t riffSize = le32(file, 4);
    if (riffSize < 4 || riffSize > file.size() - 8)
        throw SoundError("RIFF size runs past the end of the WAVE data");
    const std::string_view body = file.substr(12, riffSize - 4);

    WaveClip clip;
    bool haveFormat = false;
    std::size_t pos = 0;
    while (body.size() - pos >= 8) {
        const std::string_view id = body.substr(pos, 4);
        const std::uint32_t size = le32(body, pos + 4);
        pos += 8;
        if (size > body.size() - pos)
            throw SoundError("WAVE chunk \"" + std::string(id) +
                             "\" runs past the end of the data");
        const std::string_view chunk = body.substr(pos, size);
        if (id == "fmt ") {
            readFormat(chunk, clip);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) throw SoundError("WAVE sample data comes before its format");
            // A trailing partial frame cannot be played; it is left out.
            clip.samples = chunk.substr(0, chunk.size() - chunk.size() % clip.bytesPerFrame());
            return clip;
        }
        // Chunks are padded to an even length; the last pad byte may be missing.
        pos += size + (size & 1u);
        pos = std::min(pos, body.size());
    }
    throw SoundError(haveFormat ? "WAVE file has no sample data" : "WAVE file has no format");
}

namespace {

using Clock = std::chrono::steady_clock;

struct MainloopFree {
    void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
};
struct ContextClose {
    void operator()(pa_context* c) const {
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};
struct StreamClose {
    void operator()(pa_stream* s) const {
        pa_stream_disconnect(s);
        pa_stream_unref(s);
    }
};

// One private, single-threaded loop per clip: every wait on the server has a deadline,
// so a server that accepts the connection and then never answers cannot hold the
// program.
class Session {
public:
    Session() : loop_(pa_mainloop_new()) {
        if (!loop_) throw SoundError("cannot create the sound event loop");
    }

    template <class Done> bool runUntil(Done done, Clock::time_point deadline) {
        while (!done()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            if (left.count() <= 0) return false;
            const int timeout = static_cast<int>(std::min<long long>(left.count(), INT_MAX));
            if (pa_mainloop_prepare(loop_.get(), timeout) < 0 ||
                pa_mainloop_poll(loop_.get()) < 0 || pa_mainloop_dispatch(loop_.get()) < 0)
                throw SoundError("the sound event loop failed");
        }
        return true;
    }

    void connect(Clock::time_point deadline, std::chrono::milliseconds limit) {
        context_.reset(pa_context_new(pa_mainloop_get_api(loop_.get()), "Falavox"));
        if (!context_) throw SoundError("cannot create a sound server context");
        // Starting a server of our own would hold the program far longer than a beep.
        if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            throw failure("cannot connect to the sound server");
        const bool settled = runUntil(
            [this] {
                const pa_context_state_t st = pa_context_get_state(context_.get());
                return st == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(st);
            },
            deadline);
        if (!settled)
            throw SoundError("the sound server did not answer within " +
                             std::to_string(limit.count()) + " ms");
        if (pa_context_get_state(context_.get()) != PA_CONTEXT_READY)
            throw failure("cannot connect to the sound server");
    }

    void openStream(const WaveClip& clip, Clock::time_point deadline) {
        pa_sample_spec spec{};
        spec.format = clip.bitsPerSample == 8    ? PA_SAMPLE_U8
                      : clip.bitsPerSample == 16 ? PA_SAMPLE_S16LE
                      : clip.bitsPerSample == 24 ? PA_SAMPLE_S24LE
                                                 : PA_SAMPLE_S32LE;
        spec.rate = clip.sampleRate;
        spec.channels = static_cast<std::uint8_t>(clip.channels);
        if (!pa_sample_spec_valid(&spec))
            throw SoundError("the sound server cannot play this sample format");
        stream_.reset(pa_stream_new(context_.get(), "Convite ao chat", &spec, nullptr));
        if (!stream_) throw failure("cannot create a sound stream");
        // A short server-side buffer keeps the server playing in step with our writes,
        // so the clip is heard by the time the last of it has been consumed.
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(bufferedAudio, &spec));
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_playback(stream_.get(), nullptr, &attr, flags, nullptr, nullptr) < 0)
            throw failure("cannot open a sound stream");
        if (!runUntil([this] { return streamSettled(); }, deadline))
            throw SoundError("the sound server did not open the stream in time");
        if (pa_stream_get_state(stream_.get()) != PA_STREAM_READY)
            throw failure("the sound server refused the stream");
    }

    // Writes the samples as the server makes room, then waits for them to be played.
    // Whatever is still unplayed at `deadline` is dropped with the stream.
    void play(std::string_view samples, Clock::time_point deadline) {
        std::size_t done = 0;
        while (done < samples.size()) {
            std::size_t room = 0;
            const bool writable = runUntil(
                [&] {
                    checkStream();
                    room = pa_stream_writable_size(stream_.get());
                    if (room == static_cast<std::size_t>(-1))
                        throw failure("the sound stream failed");
                    return room > 0;
                },
                deadline);
            if (!writable) return;
            const std::size_t n = std::min(room, samples.size() - done);
            if (pa_stream_write(stream_.get(), samples.data() + done, n, nullptr, 0,
                                PA_SEEK_RELATIVE) < 0)
                throw failure("cannot write to the sound stream");
            done += n;
        }
        // A clip shorter than the server's start threshold would otherwise wait for more.
        unrefOperation(pa_stream_trigger(stream_.get(), nullptr, nullptr));
        // The stream's latency says when its last sample will have been heard. A drain
        // would say so too, but some servers acknowledge it seconds late, and the user
        // interface is held all that time.
        const auto heard = std::min(deadline, Clock::now() + playbackLatency());
        bool drained = false;
        pa_operation* drain = pa_stream_drain(
            stream_.get(), [](pa_stream*, int, void* flag) { *static_cast<bool*>(flag) = true; },
            &drained);
        runUntil(
            [&] {
                checkStream();
                return drained;
            },
            heard);
        if (drain) {
            pa_operation_cancel(drain);
            pa_operation_unref(drain);
        }
    }

private:
    static constexpr pa_usec_t bufferedAudio = 50000;

    static void unrefOperation(pa_operation* op) {
        if (op) pa_operation_unref(op);
    }

    // Time until the last written sample reaches the speaker; the buffer's own length
    // when the server has not reported its timing yet.
    std::chrono::microseconds playbackLatency() const {
        pa_usec_t latency = 0;
        int negative = 0;
        if (pa_stream_get_latency(stream_.get(), &latency, &negative) < 0) latency = bufferedAudio;
        if (negative) latency = 0;
        return std::chrono::microseconds{static_cast<long long>(latency)};
    }

    bool streamSettled() const {
        const pa_stream_state_t st = pa_stream_get_state(stream_.get());
        return st == PA_STREAM_READY || !PA_STREAM_IS_GOOD(st);
    }

    void checkStream() const {
        if (pa_stream_get_state(stream_.get()) != PA_STREAM_READY)
            throw failure("the sound stream was closed by the server");
    }

    SoundError failure(const std::string& what) const {
        const int code = context_ ? pa_context_errno(context_.get()) : PA_ERR_UNKNOWN;
        return SoundError(what + ": " + pa_strerror(code));
    }

    // Declared so that the stream goes first, then the context, then the loop.
    std::unique_ptr<pa_mainloop, MainloopFree> loop_;
    std::unique_ptr<pa_context, ContextClose> context_;
    std::unique_ptr<pa_stream, StreamClose> stream_;
};

} // namespace

PulseSoundPlayer::PulseSoundPlayer() : PulseSoundPlayer(Limits{}) {}

PulseSoundPlayer::PulseSoundPlayer(Limits limits) : limits_(limits) {}

void PulseSoundPlayer::playSync(std::string_view waveFile) {
    const WaveClip clip = parseWave(waveFile);
    if (clip.samples.empty()) return;
    Session session;
    const auto connectDeadline = Clock::now() + limits_.connect;
    session.connect(connectDeadline, limits_.connect);
    session.openStream(clip, connectDeadline);
    session.play(clip.samples, Clock::now() + clip.duration() + limits_.tail);
}

} // namespace platform
