// The sound device, its streams and mixer channel, and the tone generator, on real ALSA: the
// tests point ALSA at PCMs of their own (a "file" plugin over the "null" device, from an asoundrc
// in a HOME of their own) and check the samples written with an independent reader (Python).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kez/src/HALSoundMixer.h"
#include "kez/tests/KezTestSupport.h"

namespace kez {
void PrvHALInfoInitialize();
}

namespace kez::testing {
namespace {

template <typename Sig>
Sig* Slot(uint16_t slot) {
    return reinterpret_cast<Sig*>(ExportTable()[slot]);
}

using OpenProc = uint32_t(const char*, uint32_t, uint16_t*);
using CloseProc = uint16_t(uint32_t);
using WriteProc = uint32_t(uint32_t, const void*, uint32_t, uint16_t*);
using ReadProc = uint32_t(uint32_t, void*, uint32_t, uint16_t*);
using IoctlProc = uint16_t(uint32_t, uint32_t, void*);

std::string gHome;

// A HOME with an asoundrc that defines "kezfile": raw samples into <HOME>/out.raw.
void SetUpAlsa() {
    if (!gHome.empty()) return;
    gHome = "/tmp/kez-sound-test-" + std::to_string(getpid());
    mkdir(gHome.c_str(), 0700);
    std::ofstream(gHome + "/.asoundrc") << "pcm.kezfile {\n  type file\n  slave.pcm \"null\"\n  file \"" << gHome
                                       << "/out.raw\"\n  format \"raw\"\n}\n";
    setenv("HOME", gHome.c_str(), 1);
}

class Sound : public KezKernelTest {
protected:
    void SetUp() override {
        SetUpAlsa();
        config_.soundEnabled = 1;
        config_.deviceType = FourCC("Tst1");
        std::strcpy(config_.soundDevice, "kezfile");
        KezKernelTest::SetUp();
        PrvHALInfoInitialize();
        unlink((gHome + "/out.raw").c_str());
    }
    void TearDown() override {
        Slot<uint16_t()>(kezslot::HALSoundDispose)();
        KezKernelTest::TearDown();
    }
    uint32_t Open(const char* name, uint16_t* err) { return Slot<OpenProc>(kezslot::HALSoundOpen)(name, 0, err); }
    uint32_t Mixer(uint32_t rate = 44100, uint16_t type = 18, uint8_t layout = 1) {
        uint16_t err = 1;
        uint32_t cookie = Open("mixer", &err);
        EXPECT_EQ(err, 0);
        HALSoundFormat format{rate, 0, type, layout};
        EXPECT_EQ(Slot<IoctlProc>(kezslot::HALSoundIoctl)(cookie, 0, &format), 0);
        return cookie;
    }
    // The samples the device received, read by Python: "frames min max crossings-left".
    std::string Analyse() {
        std::string command = "python3 -c \"import struct,sys\n"
                              "d=open('" + gHome + "/out.raw','rb').read()\n"
                              "s=struct.unpack('<%dh'%(len(d)//2),d[:len(d)//2*2])\n"
                              "l=s[0::2]\n"
                              "nz=[i for i,v in enumerate(l) if v]\n"
                              "c=sum(1 for a,b in zip(l,l[1:]) if a<0<=b)\n"
                              "print(len(nz) and nz[-1]-nz[0]+1, min(s), max(s), c)\"";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        char buffer[256];
        while (pipe && fgets(buffer, sizeof buffer, pipe)) output += buffer;
        if (pipe) pclose(pipe);
        return output;
    }
};

TEST_F(Sound, DisabledSoundAnswers080AEverywhere) {
    config_.soundEnabled = 0;
    KezGlobalsInit(&config_, &status_);
    PrvHALInfoInitialize();
    EXPECT_EQ(Slot<uint16_t()>(kezslot::HALSoundInitialize)(), kSndErrNotEnabled);
    uint16_t err = 0;
    EXPECT_EQ(Open("mixer", &err), 0xFFFFFFFFu);
    EXPECT_EQ(err, kSndErrNotEnabled);
    EXPECT_EQ(Slot<CloseProc>(kezslot::HALSoundClose)(1), kSndErrNotEnabled);
    EXPECT_EQ(Slot<IoctlProc>(kezslot::HALSoundIoctl)(1, 0, nullptr), kSndErrNotEnabled);
    uint8_t data[4] = {};
    EXPECT_EQ(Slot<WriteProc>(kezslot::HALSoundWrite)(1, data, 4, &err), 0u);
    EXPECT_EQ(err, kSndErrNotEnabled);
    EXPECT_EQ(Slot<uint16_t(uint32_t, uint16_t, int32_t)>(kezslot::HALSoundPlayTone)(1000, 64, 100),
              kSndErrNotEnabled);
}

TEST_F(Sound, StreamsCookiesAndBuffers) {
    ASSERT_EQ(Slot<uint16_t()>(kezslot::HALSoundInitialize)(), 0);
    std::vector<uint32_t> cookies;
    uint16_t err = 0;
    for (int i = 0; i < 16; ++i) {
        cookies.push_back(Open("mixer", &err));
        EXPECT_EQ(err, 0);
    }
    EXPECT_EQ(Open("mixer", &err), 0xFFFFFFFFu);
    EXPECT_EQ(err, kSndErrOpen);
    EXPECT_EQ(Open("speaker", &err), 0xFFFFFFFFu);
    EXPECT_EQ(err, kSndErrBadParam);

    // One capture stream: a second open is refused and the first keeps working.
    uint32_t adc = Open("adc", &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(Open("adc", &err), 0u);
    EXPECT_EQ(err, kSndErrOpen);
    HALSoundFormat bad{8000, 0, 4, 0};
    EXPECT_EQ(Slot<IoctlProc>(kezslot::HALSoundIoctl)(adc, 0, &bad), kSndErrOpen);
    uint8_t samples[64];
    EXPECT_EQ(Slot<ReadProc>(kezslot::HALSoundRead)(adc, samples, sizeof samples, &err), 0u);
    EXPECT_EQ(err, kSndErrOpen);  // no device was left open

    struct Buffers {
        uint32_t size;
        uint8_t* a;
        uint8_t* b;
    };
    for (auto [asked, given] : {std::pair<uint32_t, uint32_t>{100, 512}, {0, 2048}, {9000, 8192}}) {
        uint32_t cookie = cookies.back();
        cookies.pop_back();
        Buffers buffers{asked, nullptr, nullptr};
        EXPECT_EQ(Slot<IoctlProc>(kezslot::HALSoundIoctl)(cookie, 5, &buffers), 0);
        EXPECT_EQ(buffers.size, given);
        EXPECT_EQ(buffers.b, buffers.a + given + 4);
        Buffers again{64, nullptr, nullptr};
        EXPECT_EQ(Slot<IoctlProc>(kezslot::HALSoundIoctl)(cookie, 5, &again), 0);
        EXPECT_EQ(again.a, buffers.a);
        EXPECT_EQ(Slot<CloseProc>(kezslot::HALSoundClose)(cookie), 0);
        // The cookie is gone, and so is one whose low bits name the entry but whose rest differs.
        EXPECT_EQ(Slot<CloseProc>(kezslot::HALSoundClose)(cookie), kSndErrInvalidStream);
    }
    EXPECT_EQ(Slot<CloseProc>(kezslot::HALSoundClose)(cookies[0] ^ 0x100), kSndErrInvalidStream);
    uint8_t data[4] = {};
    EXPECT_EQ(Slot<WriteProc>(kezslot::HALSoundWrite)(cookies[0], data, 4, &err), 0u);  // no format yet
    EXPECT_EQ(err, 0);
    EXPECT_EQ(Slot<WriteProc>(kezslot::HALSoundWrite)(adc, data, 4, &err), 0u);
    EXPECT_EQ(err, kSndErrInvalidStream);
}

class SoundChannel : public os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        PrvPatchSystemDispatchTable(os::SystemTable());
        __SetMyDispatchTable();
    }
};

TEST_F(SoundChannel, ResamplingGainsAndFormats) {
    struct Case {
        const char* what;
        HALSoundFormat format;
        std::vector<uint8_t> input;  // repeated to fill the input of one period
        int16_t pan;
        int64_t left, right;  // the third output frame, times 1024
    } cases[] = {
        {"S16_LE mono at 22050 Hz", {22050, 0, 18, 0}, {0x10, 0x00}, 0, 16 * 1024, 16 * 1024},
        {"U8 0x80 is silence", {44100, 0, 17, 1}, {0x80, 0x80}, 0, 0, 0},
        {"S16_BE stereo", {44100, 0, 2, 1}, {0x01, 0x00, 0x00, 0x02}, 0, 256 * 1024, 2 * 1024},
        {"pan -1024 silences the right", {44100, 0, 18, 1}, {0x00, 0x04, 0x00, 0x04}, -1024, 1024 * 1024, 0},
        {"pan 512", {44100, 0, 18, 1}, {0x00, 0x04, 0x00, 0x04}, 512, 1024 * 512, 1024 * 1024},
        {"S8 at 48000 Hz", {48000, 0, 1, 0}, {0x02}, 0, 2 * 256 * 1024, 2 * 256 * 1024},
    };
    for (const Case& c : cases) {
        Channel channel(44100, 7056);
        ASSERT_EQ(channel.Init(c.format), 0) << c.what;
        channel.SetPan(c.pan);
        uint32_t frameBytes = (c.format.layout + 1u) * (c.format.sampleType & 0x0F);
        uint32_t bytes = 1764 * c.format.rate / 44100 * frameBytes + 2 * frameBytes;
        std::vector<uint8_t> input;
        while (input.size() < bytes) input.insert(input.end(), c.input.begin(), c.input.end());
        ASSERT_EQ(channel.Write(input.data(), static_cast<uint32_t>(input.size())), input.size()) << c.what;
        std::vector<int64_t> accumulator(1764 * 2, 0);
        ASSERT_TRUE(channel.Mix(accumulator.data())) << c.what;
        // Rates below the output's hold each input sample: a 22050 Hz stream repeats each twice.
        EXPECT_EQ(accumulator[4], c.left) << c.what;
        EXPECT_EQ(accumulator[5], c.right) << c.what;
        EXPECT_EQ(accumulator[2 * 1763], c.left) << c.what;
    }
    Channel unset(44100, 7056);
    uint8_t data[4] = {};
    EXPECT_EQ(unset.Write(data, 4), 0u);
    HALSoundFormat bad{44100, 0, 4, 0};
    EXPECT_EQ(unset.Init(bad), kSndErrFormat);
    bad = {44100, 0x4D504733, 18, 0};
    EXPECT_EQ(unset.Init(bad), kSndErrFormat);
    bad = {44100, 0, 18, 2};
    EXPECT_EQ(unset.Init(bad), kSndErrBadParam);
}

TEST_F(Sound, ATonePlaysItsFrequencyAndDuration) {
    ASSERT_EQ(Slot<uint16_t()>(kezslot::HALSoundInitialize)(), 0);
    using ToneProc = uint16_t(uint32_t, uint16_t, int32_t);
    EXPECT_EQ(Slot<ToneProc>(kezslot::HALSoundPlayTone)(0, 64, 100), kSndErrBadParam);
    ASSERT_EQ(Slot<ToneProc>(kezslot::HALSoundPlayTone)(1000, 64, 120), 0);
    // The tone thread ends once the queue is empty; disposal then closes the device.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    Slot<uint16_t()>(kezslot::HALSoundDispose)();
    int frames = 0, low = 0, high = 0, crossings = 0;
    std::string result = Analyse();
    ASSERT_EQ(std::sscanf(result.c_str(), "%d %d %d %d", &frames, &low, &high, &crossings), 4) << result;
    EXPECT_NEAR(frames, 5292, 100) << result;     // 120 ms at 44100 Hz
    EXPECT_NEAR(crossings, 120, 3) << result;     // 1000 periods a second
    EXPECT_GT(high, 20000) << result;
}

TEST_F(Sound, TwoStreamsAddAndClip) {
    ASSERT_EQ(Slot<uint16_t()>(kezslot::HALSoundInitialize)(), 0);
    uint32_t a = Mixer(), b = Mixer();
    // A second of sound in each stream: the two writers overlap even when one of them starts late
    // on a loaded machine (the mixer takes a period every 40 ms whether or not both have data).
    constexpr uint32_t kFrames = 44100;
    std::vector<int16_t> loud(kFrames * 2, 20000), quiet(1764 * 2 * 3, -30000);
    uint16_t err, errA;
    auto writeA = std::thread([&] { Slot<WriteProc>(kezslot::HALSoundWrite)(a, loud.data(), kFrames * 4, &errA); });
    Slot<WriteProc>(kezslot::HALSoundWrite)(b, loud.data(), kFrames * 4, &err);
    writeA.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    uint32_t c = Mixer();
    Slot<CloseProc>(kezslot::HALSoundClose)(a);
    Slot<CloseProc>(kezslot::HALSoundClose)(b);
    Slot<WriteProc>(kezslot::HALSoundWrite)(c, quiet.data(), 1764 * 12, &err);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Slot<uint16_t()>(kezslot::HALSoundDispose)();
    int frames = 0, low = 0, high = 0, crossings = 0;
    std::string result = Analyse();
    ASSERT_EQ(std::sscanf(result.c_str(), "%d %d %d %d", &frames, &low, &high, &crossings), 4) << result;
    EXPECT_EQ(high, 32767) << result;  // 20000 + 20000 clipped
    EXPECT_EQ(low, -30000) << result;  // one stream alone passes unchanged
}

// Streams closed while the mixer runs and writers wait: nothing is mixed from a closed stream
// (AddressSanitizer watches the memory).
TEST_F(Sound, ClosingStreamsWhileTheMixerRuns) {
    ASSERT_EQ(Slot<uint16_t()>(kezslot::HALSoundInitialize)(), 0);
    std::vector<int16_t> samples(1764 * 2 * 4, 1000);
    for (int round = 0; round < 30; ++round) {
        uint32_t cookie = Mixer(round % 2 ? 22050 : 44100);
        std::thread writer([&] {
            uint16_t err;
            Slot<WriteProc>(kezslot::HALSoundWrite)(cookie, samples.data(),
                                                     static_cast<uint32_t>(samples.size() * 2), &err);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
        EXPECT_EQ(Slot<CloseProc>(kezslot::HALSoundClose)(cookie), 0);
        writer.join();  // a writer waiting for room is released by the close
    }
}

TEST_F(Sound, MidiChecksItsArguments) {
    using SmfProc = uint16_t(uint32_t, uint8_t, const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t);
    const uint8_t midi[] = {'M', 'T', 'h', 'd'};
    EXPECT_EQ(Slot<SmfProc>(kezslot::HALPlaySmf)(1, 1, midi, 0, 0, 0, 0), kSndErrBadChannel);
    EXPECT_EQ(Slot<SmfProc>(kezslot::HALPlaySmf)(0, 2, midi, 0, 0, 0, 0), kSndErrBadParam);
    EXPECT_EQ(Slot<SmfProc>(kezslot::HALPlaySmf)(0, 1, nullptr, 0, 0, 0, 0), kSndErrBadParam);
    EXPECT_EQ(Slot<SmfProc>(kezslot::HALPlaySmf)(0, 1, midi, 0, 0, 0, 0), 0x080A);  // the platform layer's answer
}

}  // namespace
}  // namespace kez::testing
