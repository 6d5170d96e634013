#include "platform/system/Sound.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

using platform::parseWave;
using platform::PulseSoundPlayer;
using platform::SoundError;

namespace {

void put16(std::string& s, std::uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& s, std::uint32_t v) {
    put16(s, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(s, static_cast<std::uint16_t>(v >> 16));
}

std::string chunk(const std::string& id, const std::string& body) {
    std::string c = id;
    put32(c, static_cast<std::uint32_t>(body.size()));
    c += body;
    if (body.size() % 2) c.push_back('\0');
    return c;
}

std::string format(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                   std::uint16_t bits) {
    std::string f;
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    put16(f, tag);
    put16(f, channels);
    put32(f, rate);
    put32(f, rate * align);
    put16(f, align);
    put16(f, bits);
    return f;
}

std::string riff(const std::string& chunks) {
    std::string w = "RIFF";
    put32(w, static_cast<std::uint32_t>(4 + chunks.size()));
    return w + "WAVE" + chunks;
}

// The shape of the invitation chime: 9952 bytes of 8-bit mono at 22050 per second.
std::string chime() {
    std::string samples;
    for (int i = 0; i < 9952; ++i)
        samples.push_back(static_cast<char>((i / 25) % 2 ? 200 : 56));
    return riff(chunk("fmt ", format(1, 1, 22050, 8)) + chunk("data", samples));
}

TEST(ParseWave, readsTheChime) {
    const std::string file = chime();
    ASSERT_EQ(file.size(), 9996u);
    const platform::WaveClip clip = parseWave(file);
    EXPECT_EQ(clip.channels, 1);
    EXPECT_EQ(clip.sampleRate, 22050u);
    EXPECT_EQ(clip.bitsPerSample, 8);
    EXPECT_EQ(clip.samples.size(), 9952u);
    EXPECT_EQ(clip.samples.data(), file.data() + 44);
    EXPECT_EQ(clip.duration().count(), 451337);
}

TEST(ParseWave, skipsOtherChunksWithTheirPadding) {
    const std::string file = riff(chunk("LIST", "odd") + chunk("fmt ", format(1, 2, 44100, 16)) +
                                  chunk("fact", "1234") + chunk("data", std::string(8, 'x')));
    const platform::WaveClip clip = parseWave(file);
    EXPECT_EQ(clip.channels, 2);
    EXPECT_EQ(clip.bitsPerSample, 16);
    EXPECT_EQ(clip.samples, std::string(8, 'x'));
}

TEST(ParseWave, dropsATrailingPartialFrame) {
    const std::string file = riff(chunk("fmt ", format(1, 2, 8000, 16)) + chunk("data", "0123456"));
    const platform::WaveClip clip = parseWave(file);
    EXPECT_EQ(clip.samples, "0123");
}

TEST(ParseWave, rejectsMalformedFiles) {
    const std::string fmt = chunk("fmt ", format(1, 1, 22050, 8));
    const std::string data = chunk("data", "abcd");
    std::string riffTooLong = riff(fmt + data);
    riffTooLong[4] = static_cast<char>(riffTooLong[4] + 2);
    std::string dataTooLong = riff(fmt + data);
    dataTooLong[dataTooLong.size() - 8] = 5 + 8; // the data chunk's size byte
    std::string badAlign = format(1, 2, 22050, 16);
    badAlign[12] = 3;
    const struct {
        const char* what;
        std::string file;
    } cases[] = {
        {"empty", ""},
        {"not RIFF", "RIFX" + riff(fmt + data).substr(4)},
        {"not WAVE", riff(fmt + data).replace(8, 4, "AVI ")},
        {"RIFF size past the end", riffTooLong},
        {"data chunk past the end", dataTooLong},
        {"no format", riff(data)},
        {"no data", riff(fmt)},
        {"data before format", riff(data + fmt)},
        {"short format", riff(chunk("fmt ", format(1, 1, 22050, 8).substr(0, 14)) + data)},
        {"float samples", riff(chunk("fmt ", format(3, 1, 22050, 32)) + data)},
        {"compressed", riff(chunk("fmt ", format(2, 1, 22050, 4)) + data)},
        {"no channels", riff(chunk("fmt ", format(1, 0, 22050, 8)) + data)},
        {"zero rate", riff(chunk("fmt ", format(1, 1, 0, 8)) + data)},
        {"12-bit samples", riff(chunk("fmt ", format(1, 1, 22050, 12)) + data)},
        {"block alignment", riff(chunk("fmt ", badAlign) + data)},
    };
    for (const auto& c : cases)
        EXPECT_THROW(parseWave(c.file), SoundError) << c.what;
}

// Every cut of a valid file either parses or is refused, and no clip reaches past the
// bytes it came from (the sanitizer build also turns any read past them into a failure).
// Cut chunks are tried both with the RIFF size left as it was and with it made to match.
TEST(ParseWave, everyTruncationIsHandled) {
    const std::string body =
        chunk("LIST", "abc") + chunk("fmt ", format(1, 1, 22050, 8)) + chunk("data", "xyz!");
    const std::string whole = riff(body);
    int parsed = 0;
    auto attempt = [&](const std::string& file) {
        try {
            const platform::WaveClip clip = parseWave(file);
            EXPECT_LE(clip.samples.data() + clip.samples.size(), file.data() + file.size());
            ++parsed;
        } catch (const SoundError&) {
        }
    };
    for (std::size_t n = 0; n < whole.size(); ++n)
        attempt(whole.substr(0, n));
    for (std::size_t n = 0; n <= body.size(); ++n)
        attempt(riff(body.substr(0, n)));
    // Only the whole body parses: a data chunk cut short claims more than is there.
    EXPECT_EQ(parsed, 1);
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

std::filesystem::path scratch(const std::string& leaf) {
    const char* base = std::getenv("FALAVOX_TEST_TMP");
    std::filesystem::path dir =
        std::filesystem::path(base ? base : std::filesystem::temp_directory_path().string()) / leaf;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(PulseSoundPlayer, noServerIsAnErrorAtOnce) {
    const auto dir = scratch("no-server");
    ScopedEnv server("PULSE_SERVER", "unix:" + (dir / "native").string());
    try {
        PulseSoundPlayer().playSync(chime());
        FAIL() << "playing without a server must fail";
    } catch (const SoundError& e) {
        EXPECT_NE(std::string(e.what()).find("cannot connect to the sound server"),
                  std::string::npos)
            << e.what();
    }
}

TEST(PulseSoundPlayer, malformedDataIsAnErrorBeforeAnyConnection) {
    const auto dir = scratch("malformed");
    ScopedEnv server("PULSE_SERVER", "unix:" + (dir / "native").string());
    EXPECT_THROW(PulseSoundPlayer().playSync("RIFF"), SoundError);
}

// A server that accepts the connection and never speaks must not hold the program: the
// player gives up after its connection limit.
TEST(PulseSoundPlayer, silentServerIsGivenUp) {
    const auto dir = scratch("silent-server");
    const std::string path = (dir / "native").string();
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    path.copy(addr.sun_path, path.size());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ScopedEnv server("PULSE_SERVER", "unix:" + path);

    PulseSoundPlayer::Limits limits;
    limits.connect = std::chrono::milliseconds(200);
    const auto start = std::chrono::steady_clock::now();
    try {
        PulseSoundPlayer(limits).playSync(chime());
        ADD_FAILURE() << "a silent server must be an error";
    } catch (const SoundError& e) {
        EXPECT_NE(std::string(e.what()).find("did not answer within 200 ms"), std::string::npos)
            << e.what();
    }
    // Without the limit the call never returns at all; this only tells the two apart.
    EXPECT_LT(secondsSince(start), 5.0);
    close(listener);
}

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// The real thing: a private PulseAudio with a null sink in the test's own runtime folder.
TEST(PulseSoundPlayer, playsOnARealServer) {
    if (!run("command -v pulseaudio >/dev/null 2>&1 && command -v pactl >/dev/null 2>&1"))
        GTEST_SKIP() << "pulseaudio and pactl are not installed";
    const auto dir = scratch("real-server");
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir.string());
    ScopedEnv home("HOME", dir.string());
    ScopedEnv server("PULSE_SERVER", "unix:" + (dir / "pulse" / "native").string());
    ASSERT_TRUE(run("pulseaudio -D --exit-idle-time=-1 -n "
                    "--load='module-null-sink sink_name=nullsink' "
                    "--load=module-native-protocol-unix >/dev/null 2>&1"));
    bool ready = false;
    for (int i = 0; i < 100 && !ready; ++i) {
        ready = run("pactl info >/dev/null 2>&1");
        if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (ready) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NO_THROW(PulseSoundPlayer().playSync(chime()));
        // Waiting for the server to confirm the end takes about 2.5 s on a null sink;
        // the player stops at the clip's length plus a short tail instead.
        EXPECT_LT(secondsSince(start), 1.5);
    }
    run("pulseaudio --kill >/dev/null 2>&1");
    ASSERT_TRUE(ready) << "the private sound server did not start";
}

} // namespace
