// The sound device (export slots 181 to 187) on ALSA, and the tone generator and MIDI entry
// (101, 102, 189). One playback device at 44100 Hz, 16-bit stereo, is fed by a mixing thread that
// sums every open playback stream into 40 ms periods; recording opens a capture device in the
// format the OS asks for. Streams are named by cookies from a registry of 17 entries.
//
// The registry holds its channels by shared ownership, and the mixing thread makes each pass
// under the channel-list lock, so a stream closed meanwhile is never mixed from freed memory.
#include <alsa/asoundlib.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "common/module/SystemCalls.h"
#include "kez/src/HALSoundMixer.h"
#include "kez/src/KezGlobals.h"
#include "kez/src/KezModule.h"
#include "kez/src/KezServices.h"

using namespace vantor;

namespace kez {
namespace {

constexpr uint16_t kZone = 0x0800;
constexpr const char* kSource = "Kez/Linux/HAL/Src/HALSound";
constexpr uint32_t kRate = 44100, kPeriodFrames = 1764, kPeriodBytes = kPeriodFrames * 4;
constexpr uint32_t kEntries = 17, kMaxMixerStreams = 16;
constexpr uint32_t kKindFree = 0, kKindMixer = 1, kKindCapture = 3;

struct Entry {
    uint32_t cookie = 0;
    uint32_t kind = kKindFree;
    std::shared_ptr<Channel> channel;
    uint8_t* buffers = nullptr;  // ALLOCSTREAMBUFFERS: A, and B size + 4 bytes further
    uint32_t bufferSize = 0;
};

struct SoundState {
    std::mutex channels;  // the channel-list lock: open, close and the mixing pass
    Entry entries[kEntries];
    uint32_t generator = 0;
    uint32_t mixerStreams = 0;
    snd_pcm_t* playback = nullptr;
    snd_pcm_t* capture = nullptr;
    uint32_t captureFrameBytes = 0;
    pthread_t mixer{};
    bool hasMixer = false;
    std::atomic<bool> stopMixer{false};
    bool initialized = false;
};
SoundState gSound;

bool Disabled() { return (gHardwareInfo.flags & 0x1000) != 0; }

void Fatal(uint16_t line, const char* message) { sys::ErrDisplayFileLineMsg(kSource, line, message); }

Entry* Lookup(uint32_t cookie) {
    uint32_t index = cookie & 0x1F;
    if (index >= kEntries) return nullptr;
    Entry& e = gSound.entries[index];
    return e.kind != kKindFree && e.cookie == cookie ? &e : nullptr;
}

Entry* Register(uint32_t kind) {
    for (uint32_t i = 0; i < kEntries; ++i) {
        Entry& e = gSound.entries[i];
        if (e.kind != kKindFree) continue;
        gSound.generator = gSound.generator * 1664525u + 1013904223u;
        e = Entry{};
        e.kind = kind;
        e.cookie = (gSound.generator & 0x7FFFFFE0u) + i;
        return &e;
    }
    return nullptr;
}

void Unregister(Entry* e) {
    if (e->channel) e->channel->Close();
    std::free(e->buffers);
    *e = Entry{};
}

// Opens an ALSA device for playback (no format) or recording (the OS's format).
snd_pcm_t* PrvOpenDevice(bool recording, const HALSoundFormat* format, uint32_t* frameBytes) {
    const char* name = gKez.config.soundDevice[0] ? gKez.config.soundDevice : "default";
    char device[sizeof gKez.config.soundDevice + 1];
    std::snprintf(device, sizeof device, "%s", name);
    KEZ_CALL(HALTrace, kZone, "PrvOpenDevice(): Device=\"%s\", direction=%s", device,
             recording ? "Recording" : "Playback");
    snd_pcm_t* pcm = nullptr;
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_sw_params_t* sw = nullptr;
    const char* step = "params";
    int err = -EINVAL;
    snd_pcm_format_t sampleFormat = SND_PCM_FORMAT_S16_LE;
    unsigned channels = 2, rate = kRate;
    snd_pcm_uframes_t threshold = kPeriodFrames;
    if (recording) {
        if (!format) goto fail;
        uint32_t bytes;
        switch (format->sampleType) {
        case 1: sampleFormat = SND_PCM_FORMAT_S8, bytes = 1; break;
        case 2: sampleFormat = SND_PCM_FORMAT_S16_BE, bytes = 2; break;
        case 17: sampleFormat = SND_PCM_FORMAT_U8, bytes = 1; break;
        case 18: sampleFormat = SND_PCM_FORMAT_S16_LE, bytes = 2; break;
        default: step = "format param"; goto fail;
        }
        if (format->layout > 1) {
            step = "width param";
            goto fail;
        }
        channels = format->layout + 1u;
        if (frameBytes) *frameBytes = bytes * channels;
        rate = format->rate;
        threshold = 1;
    }
    step = "open";
    if ((err = snd_pcm_open(&pcm, device, recording ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0)) < 0)
        goto fail;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_sw_params_alloca(&sw);
    step = "hw_params_any";
    if ((err = snd_pcm_hw_params_any(pcm, hw)) < 0) goto fail;
    step = "hw_params_set_access";
    if ((err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0) goto fail;
    step = "hw_params_set_format";
    if ((err = snd_pcm_hw_params_set_format(pcm, hw, sampleFormat)) < 0) goto fail;
    step = "hw_params_set_channels";
    if ((err = snd_pcm_hw_params_set_channels(pcm, hw, channels)) < 0) goto fail;
    step = "hw_params_set_rate";
    if ((err = snd_pcm_hw_params_set_rate(pcm, hw, rate, 0)) < 0) goto fail;
    {
        // A buffer of four periods: latency stays low, and the buffers the plugins allocate small.
        snd_pcm_uframes_t buffer = recording ? 4096 : 4 * kPeriodFrames;
        snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer);
    }
    step = "hw_params";
    if ((err = snd_pcm_hw_params(pcm, hw)) < 0) goto fail;
    step = "sw_params_current";
    if ((err = snd_pcm_sw_params_current(pcm, sw)) < 0) goto fail;
    step = "sw_params_set_avail_min";
    if ((err = snd_pcm_sw_params_set_avail_min(pcm, sw, threshold)) < 0) goto fail;
    step = "sw_params_set_start_threshold";
    if ((err = snd_pcm_sw_params_set_start_threshold(pcm, sw, threshold)) < 0) goto fail;
    step = "sw_params";
    if ((err = snd_pcm_sw_params(pcm, sw)) < 0) goto fail;
    return pcm;
fail:
    if (pcm) snd_pcm_close(pcm);
    KEZ_CALL(HALTrace, kZone, "PrvOpenDevice(): %s: EXIT ERROR %s", step, snd_strerror(err));
    return nullptr;
}

void Start(snd_pcm_t* pcm) {
    if (pcm) snd_pcm_prepare(pcm);
}

void Stop(snd_pcm_t* pcm) {
    if (!pcm) return;
    snd_pcm_state_t state = snd_pcm_state(pcm);
    if (state == SND_PCM_STATE_PREPARED || state == SND_PCM_STATE_RUNNING) snd_pcm_drop(pcm);
}

// Recovers from an underrun or a suspension; false when the device cannot go on.
bool PrvHandleDeviceXRun(snd_pcm_t* pcm, int err) {
    if (err == -EPIPE) return snd_pcm_prepare(pcm) >= 0;
    if (err == -ESTRPIPE) {
        while ((err = snd_pcm_resume(pcm)) == -EAGAIN) usleep(100 * 1000);
        return err >= 0 || snd_pcm_prepare(pcm) >= 0;
    }
    return false;
}

void PrvWriteToDevice(const int16_t* period) {
    snd_pcm_t* pcm = gSound.playback;
    if (!pcm) return;
    snd_pcm_sframes_t pending = 0;
    if (snd_pcm_delay(pcm, &pending) == 0 && pending > 3527) {
        int64_t ms = (int64_t{pending} * 1000 - 1764000) / kRate;
        if (ms > 0) usleep(static_cast<useconds_t>(ms * 1000));
    }
    uint32_t done = 0;
    while (done < kPeriodFrames && !gSound.stopMixer) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, period + 2 * done, kPeriodFrames - done);
        if (n >= 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (!PrvHandleDeviceXRun(pcm, static_cast<int>(n))) {
            Fatal(437, "write error");
            return;
        }
        KEZ_CALL(HALTrace, kZone, "HALSound: PrvWriteToDevice: WARNING handled underrun from write");
    }
}

// Sums the open streams into 40 ms periods and writes them, until disposal stops it.
void* MixingThread(void*) {
    pthread_setname_np(pthread_self(), "sndmix");
    static int64_t accumulator[kPeriodFrames * 2];
    static int16_t period[kPeriodFrames * 2];
    uint32_t waited = 0;
    bool stoppedIdle = false;
    while (!gSound.stopMixer) {
        std::memset(accumulator, 0, sizeof accumulator);
        bool any = false;
        {
            std::lock_guard lock(gSound.channels);
            for (Entry& e : gSound.entries)
                if (e.kind == kKindMixer && e.channel && e.channel->Mix(accumulator)) any = true;
            if (!any && waited > 999 && !stoppedIdle && gSound.mixerStreams == 0) {
                Stop(gSound.playback);
                stoppedIdle = true;
            }
        }
        if (!any) {
            usleep(5000);
            waited += 5;
            continue;
        }
        waited = 0;
        stoppedIdle = false;
        for (uint32_t i = 0; i < kPeriodFrames * 2; ++i) {
            int64_t v = accumulator[i] >> 10;
            period[i] = static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        }
        PrvWriteToDevice(period);
    }
    return nullptr;
}

uint32_t PrvReadFromDevice(uint8_t* buffer, uint32_t bytes, int* error) {
    snd_pcm_t* pcm = gSound.capture;
    uint32_t frames = bytes / gSound.captureFrameBytes, done = 0;
    *error = 0;
    while (done < frames) {
        snd_pcm_sframes_t n = snd_pcm_readi(pcm, buffer + done * gSound.captureFrameBytes, frames - done);
        if (n >= 0) {
            if (n == 0) break;
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (!PrvHandleDeviceXRun(pcm, static_cast<int>(n))) {
            KEZ_CALL(HALTrace, kZone, "PrvReadFromDevice(): Unhandled ERROR: %s", snd_strerror(static_cast<int>(n)));
            *error = static_cast<int>(n);
            break;
        }
        KEZ_CALL(HALTrace, kZone, "PrvReadFromDevice(): WARNING handled underrun from read");
    }
    return done;
}

// --- Tone generator ---

constexpr uint32_t kMaxTones = 30;
constexpr uint32_t kBlockSamples = 2205;

struct Tone {
    int32_t remaining;  // ms; -1 until the queue moves on
    int32_t elapsed;
    uint32_t frequency;
    uint32_t amplitude;
};

struct ToneState {
    std::mutex lock;
    Tone queue[kMaxTones + 1];
    uint32_t count = 0;
    bool running = false;
    pthread_t thread{};
    bool hasThread = false;
    uint32_t phase = 0;
    int16_t tables[3][101];
};
ToneState gTone;

void MakeTables() {
    const int harmonics[3] = {13, 7, 1};
    for (int t = 0; t < 3; ++t) {
        double values[101], peak = 0;
        for (int i = 0; i <= 100; ++i) {
            double v = 0;
            for (int k = 1; k <= harmonics[t]; k += 2) v += std::sin(2 * M_PI * k * (i % 100) / 100.0) / k;
            values[i] = v;
            peak = std::max(peak, std::fabs(v));
        }
        for (int i = 0; i <= 100; ++i) gTone.tables[t][i] = static_cast<int16_t>(std::lround(values[i] / peak * 32767));
    }
}

void Synthesize(int16_t* out, uint32_t n, uint32_t frequency, uint32_t amplitude) {
    if (frequency == 0) {
        frequency = 1;
        amplitude = 0;
    }
    uint32_t perPeriod = kRate / frequency;
    const int16_t* table = perPeriod >= 26 ? gTone.tables[0] : perPeriod < 14 ? gTone.tables[2] : gTone.tables[1];
    uint32_t step = static_cast<uint32_t>((uint64_t{frequency} << 32) / 28901376u);
    constexpr uint32_t kWrap = 100u << 16;
    for (uint32_t s = 0; s < n; ++s) {
        uint32_t i = gTone.phase >> 16, frac = gTone.phase & 0xFFFF;
        int32_t value = frac == 0 ? table[i]
                                  : static_cast<int32_t>((int64_t{table[i]} * (65536 - frac) +
                                                          int64_t{table[i + 1]} * frac) >> 16);
        // value * amplitude / 64 can exceed 16 bits: the sample saturates.
        int64_t sample = int64_t{value} * amplitude / 64;
        out[s] = static_cast<int16_t>(sample < -32768 ? -32768 : sample > 32767 ? 32767 : sample);
        gTone.phase += step;
        while (gTone.phase >= kWrap) gTone.phase -= kWrap;
    }
}

using OpenProc = uint32_t(const char*, uint32_t, uint16_t*);
using CloseProc = uint16_t(uint32_t);
using WriteProc = uint32_t(uint32_t, const void*, uint32_t, uint16_t*);
using IoctlProc = uint16_t(uint32_t, uint32_t, void*);

void* ToneThread(void* argument) {
    pthread_setname_np(pthread_self(), "asyncbeeper");
    auto cookie = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument));
    KEZ_CALL(HALTrace, kZone, "HALSoundCommon: asyncbeeper: ENTER");
    static int16_t block[kBlockSamples];
    for (;;) {
        int32_t left = 50, done = 0;
        uint32_t made = 0, index = 0;
        while (left > 0) {
            Tone tone;
            {
                std::lock_guard lock(gTone.lock);
                if (gTone.count == 0) {
                    gTone.running = false;
                    KEZ_CALL(HALTrace, kZone, "HALSoundCommon: asyncbeeper: EXIT");
                    KEZ_CALL_AS(CloseProc, HALSoundClose, cookie);
                    return nullptr;
                }
                if (index > gTone.count) index = gTone.count;
                Tone& t = gTone.queue[index];
                int32_t share = t.remaining > 0 && t.remaining < left ? t.remaining : left;
                if (t.remaining > 0) t.remaining -= share;
                t.elapsed += share;
                tone = t;
                uint32_t samples = static_cast<uint32_t>((done + share) * 44100 / 1000) - made;
                if (made + samples > kBlockSamples) {
                    Fatal(0, "HALSoundCommon: asyncbeeper: Buffer overflow");
                    samples = kBlockSamples - made;
                }
                if (tone.amplitude) Synthesize(block + made, samples, tone.frequency, tone.amplitude);
                else std::memset(block + made, 0, samples * 2);
                made += samples;
                done += share;
                left -= share;
                if (t.remaining == 0) ++index;
            }
        }
        uint16_t status = 0;
        KEZ_CALL_AS(WriteProc, HALSoundWrite, cookie, block, uint32_t{kBlockSamples * 2}, &status);
        std::lock_guard lock(gTone.lock);
        uint32_t first = 0;
        while (first < gTone.count && gTone.queue[first].remaining == 0) ++first;
        if (first > 0) {
            std::memmove(gTone.queue, gTone.queue + first, (gTone.count + 1 - first) * sizeof(Tone));
            gTone.count -= first;
        }
    }
}

// --- Entries ---

uint16_t HALSoundInitialize() {
    KEZ_CALL(HALTrace, kZone, "HALSound: Initialize: ENTER");
    for (Entry& e : gSound.entries) e = Entry{};
    gSound.mixerStreams = 0;
    {
        std::lock_guard lock(gTone.lock);
        gTone.count = 0;
    }
    MakeTables();
    // Sound switched off answers 0x080A here as in every other entry.
    if (Disabled()) {
        KEZ_CALL(HALTrace, kZone, "HALSound: Initialize: EXIT ERROR not enabled");
        return kSndErrNotEnabled;
    }
    gSound.playback = PrvOpenDevice(false, nullptr, nullptr);
    if (!gSound.playback) {
        KEZ_CALL(HALTrace, kZone, "HALSound: Initialize: EXIT ERROR can't open output PCM device");
        return kSndErrOpen;
    }
    gSound.capture = nullptr;
    gSound.stopMixer = false;
    if (pthread_create(&gSound.mixer, nullptr, MixingThread, nullptr) != 0) {
        Fatal(0, "can't create thread");
        snd_pcm_close(gSound.playback);
        gSound.playback = nullptr;
        return kSndErrMemory;
    }
    gSound.hasMixer = true;
    gSound.initialized = true;
    return 0;
}
KEZ_SLOT_NAMED(HALSoundInitialize, HALSoundInitialize)

uint32_t HALSoundOpen(const char* name, uint32_t, uint16_t* status) {
    uint16_t err = 0;
    uint32_t cookie = 0xFFFFFFFF;
    if (Disabled() || !gSound.initialized) {
        err = kSndErrNotEnabled;
    } else if (name && std::strcmp(name, "mixer") == 0) {
        std::lock_guard lock(gSound.channels);
        Entry* e = gSound.mixerStreams < kMaxMixerStreams ? Register(kKindMixer) : nullptr;
        if (!e) {
            err = kSndErrOpen;
        } else {
            e->channel = std::make_shared<Channel>(kRate, kPeriodBytes);
            cookie = e->cookie;
            if (++gSound.mixerStreams == 1) Start(gSound.playback);
        }
    } else if (name && std::strcmp(name, "adc") == 0) {
        std::lock_guard lock(gSound.channels);
        bool open = false;
        for (Entry& e : gSound.entries) open |= e.kind == kKindCapture;
        // One capture stream at a time: a second open is refused and leaves the first as it is.
        if (gSound.capture || open) {
            KEZ_CALL(HALTrace, kZone, "HALSoundOpen(): Input handle already open");
            cookie = 0;
            err = kSndErrOpen;
        } else if (Entry* e = Register(kKindCapture)) {
            cookie = e->cookie;
        } else {
            err = kSndErrOpen;
        }
    } else {
        err = kSndErrBadParam;
    }
    if (status) *status = err;
    KEZ_CALL(HALTrace, kZone, "HALSound: Open: EXIT cookie=0x%x, err=0x%x", cookie, err);
    return cookie;
}
KEZ_SLOT_NAMED(HALSoundOpen, HALSoundOpen)

uint16_t HALSoundClose(uint32_t cookie) {
    if (Disabled()) return kSndErrNotEnabled;
    std::lock_guard lock(gSound.channels);
    Entry* e = Lookup(cookie);
    if (!e) return kSndErrInvalidStream;
    if (e->kind == kKindMixer) {
        Unregister(e);
        --gSound.mixerStreams;
    } else {
        Unregister(e);
        KEZ_CALL(HALTrace, kZone, "HALSoundClose(): Closing Input Device");
        if (gSound.capture) {
            Stop(gSound.capture);
            snd_pcm_close(gSound.capture);
            gSound.capture = nullptr;
        }
    }
    return 0;
}
KEZ_SLOT_NAMED(HALSoundClose, HALSoundClose)

// The channel of a mixer stream, kept alive for the caller.
std::shared_ptr<Channel> MixerChannel(uint32_t cookie) {
    std::lock_guard lock(gSound.channels);
    Entry* e = Lookup(cookie);
    return e && e->kind == kKindMixer ? e->channel : nullptr;
}

uint32_t HALSoundWrite(uint32_t cookie, const void* data, uint32_t bytes, uint16_t* status) {
    if (Disabled()) {
        if (status) *status = kSndErrNotEnabled;
        return 0;
    }
    std::shared_ptr<Channel> channel = MixerChannel(cookie);
    if (!channel) {
        KEZ_CALL(HALTrace, kZone, "HALSound: Write: EXIT ERROR invalid stream");
        if (status) *status = kSndErrInvalidStream;
        return 0;
    }
    if (status) *status = 0;
    return data ? channel->Write(data, bytes) : 0;
}
KEZ_SLOT_NAMED(HALSoundWrite, HALSoundWrite)

uint32_t HALSoundRead(uint32_t cookie, void* buffer, uint32_t bytes, uint16_t* status) {
    uint16_t err = 0;
    uint32_t n = 0;
    if (Disabled()) {
        err = kSndErrNotEnabled;
    } else if (!gSound.capture) {
        err = kSndErrOpen;
    } else {
        Entry* e;
        {
            std::lock_guard lock(gSound.channels);
            e = Lookup(cookie);
        }
        if (!e || e->kind != kKindCapture || !buffer) {
            err = kSndErrInvalidStream;
        } else {
            int error;
            uint32_t frames = PrvReadFromDevice(static_cast<uint8_t*>(buffer), bytes, &error);
            n = frames * gSound.captureFrameBytes;
            err = frames > 0 ? 0 : kSndErrNotEnabled;
        }
    }
    if (status) *status = err;
    KEZ_CALL(HALTrace, kZone, "HALSound: Read: n=%d err=0x%x", static_cast<int>(n), err);
    return n;
}
KEZ_SLOT_NAMED(HALSoundRead, HALSoundRead)

struct StreamBuffers {
    uint32_t size;
    uint8_t* a;
    uint8_t* b;
};

uint16_t HALSoundIoctl(uint32_t cookie, uint32_t command, void* argument) {
    if (Disabled()) return kSndErrNotEnabled;
    std::unique_lock lock(gSound.channels);
    Entry* e = Lookup(cookie);
    if (!e) {
        KEZ_CALL(HALTrace, kZone, "HALSound: Ioctl: ERROR null handle");
        return kSndErrInvalidStream;
    }
    if (command == 5) {  // ALLOCSTREAMBUFFERS
        auto* record = static_cast<StreamBuffers*>(argument);
        if (!record) return kSndErrBadParam;
        if (e->buffers) {
            KEZ_CALL(HALTrace, kZone, "HALSound: Ioctl: ALLOCSTREAMBUFFERS: WARNING already allocated with size %d",
                     static_cast<int>(e->bufferSize));
        } else {
            uint32_t size = record->size == 0 ? 2048 : record->size;
            if (size < 512 || size > 8192) {
                size = size < 512 ? 512 : 8192;
                KEZ_CALL(HALTrace, kZone, "HALSound: Ioctl: ALLOCSTREAMBUFFERS: WARNING adjusting size to %d",
                         static_cast<int>(size));
            }
            e->buffers = static_cast<uint8_t*>(std::calloc(2 * (size + 4), 1));
            if (!e->buffers) return kSndErrMemory;
            e->bufferSize = size;
        }
        record->size = e->bufferSize;
        record->a = e->buffers;
        record->b = e->buffers + e->bufferSize + 4;
        return 0;
    }
    if (e->kind == kKindCapture) {
        if (command != 0) return 0;
        if (gSound.capture) {
            KEZ_CALL(HALTrace, kZone, "HALSoundIoctl(): Can't change format while recording");
            return kSndErrOpen;
        }
        auto* format = static_cast<HALSoundFormat*>(argument);
        uint32_t frameBytes = 0;
        snd_pcm_t* pcm = PrvOpenDevice(true, format, &frameBytes);
        if (!pcm) return kSndErrOpen;
        gSound.capture = pcm;
        gSound.captureFrameBytes = frameBytes;
        Start(pcm);
        return 0;
    }
    std::shared_ptr<Channel> channel = e->channel;
    lock.unlock();
    switch (command) {
    case 0: return argument ? channel->Init(*static_cast<HALSoundFormat*>(argument)) : kSndErrBadParam;
    case 1:
        if (argument) channel->SetVolume(*static_cast<uint16_t*>(argument));
        return 0;
    case 3:
        if (argument) channel->SetPan(*static_cast<int16_t*>(argument));
        return 0;
    case 2:
    case 4:
        if (argument) {
            uint32_t value = command == 2 ? channel->Volume() : static_cast<uint32_t>(channel->Pan());
            std::memcpy(argument, &value, 4);
        }
        return 0;
    default: return 0;
    }
}
KEZ_SLOT_NAMED(HALSoundIoctl, HALSoundIoctl)

uint16_t HALSoundToneStop() {
    std::lock_guard lock(gTone.lock);
    gTone.count = 0;
    return 0;
}
KEZ_SLOT_NAMED(HALSoundToneStop, HALSoundToneStop)

uint16_t HALSoundDispose() {
    KEZ_CALL_AS(uint16_t(), HALSoundToneStop);
    if (gTone.hasThread) {
        pthread_join(gTone.thread, nullptr);
        gTone.hasThread = false;
    }
    {
        std::lock_guard lock(gSound.channels);
        for (Entry& e : gSound.entries)
            if (e.kind != kKindFree) Unregister(&e);
        gSound.mixerStreams = 0;
    }
    // The mixing thread ends before the device it writes to is closed.
    if (gSound.hasMixer) {
        gSound.stopMixer = true;
        pthread_join(gSound.mixer, nullptr);
        gSound.hasMixer = false;
    }
    if (gSound.playback) {
        Stop(gSound.playback);
        snd_pcm_close(gSound.playback);
        gSound.playback = nullptr;
    }
    if (gSound.capture) {
        Stop(gSound.capture);
        snd_pcm_close(gSound.capture);
        gSound.capture = nullptr;
    }
    gSound.initialized = false;
    return 0;
}
KEZ_SLOT_NAMED(HALSoundDispose, HALSoundDispose)

uint16_t HALSoundPlayTone(uint32_t frequency, uint16_t amplitude, int32_t duration) {
    KEZ_CALL(HALTrace, kZone, "HALSoundCommon: Play: ENTER freq=%d ampl=%d dura=%d", static_cast<int>(frequency),
             amplitude, static_cast<int>(duration));
    if (Disabled() || !gSound.initialized) {
        KEZ_CALL(HALTrace, kZone, "HALSoundCommon: Play: EXIT - Sound not enabled");
        return kSndErrNotEnabled;
    }
    if (frequency == 0) {
        KEZ_CALL(HALTrace, kZone, "HALSoundCommon: Play: EXIT - ERROR bad param");
        return kSndErrBadParam;
    }
    std::lock_guard lock(gTone.lock);
    if (gTone.count > 28) {
        KEZ_CALL(HALTrace, kZone, "HALSoundCommon: Play: EXIT - TOO MANY EVENTS");
        return kSndErrQueueFull;
    }
    gTone.queue[gTone.count++] = {duration, 0, frequency, amplitude};
    gTone.queue[gTone.count] = {-1, 0, 1000, 0};
    if (gTone.running) {
        KEZ_CALL(HALTrace, kZone, "HALSoundCommon: Play: EXIT asyncbeeper already running");
        return 0;
    }
    if (gTone.hasThread) {  // the thread of the last tones has ended: collect it
        pthread_join(gTone.thread, nullptr);
        gTone.hasThread = false;
    }
    uint16_t err = 0;
    uint32_t cookie = KEZ_CALL_AS(OpenProc, HALSoundOpen, "mixer", 0u, &err);
    if (err) {
        KEZ_CALL(HALTrace, kZone, "can't create stream (0x%x)", err);
        gTone.count = 0;
        return err;
    }
    HALSoundFormat format{kRate, 0, 18, 0};
    if ((err = KEZ_CALL_AS(IoctlProc, HALSoundIoctl, cookie, 0u, &format)) != 0) {
        KEZ_CALL(HALTrace, kZone, "can't set stream format (0x%x)", err);
        KEZ_CALL_AS(CloseProc, HALSoundClose, cookie);
        gTone.count = 0;
        return err;
    }
    gTone.running = true;
    if (pthread_create(&gTone.thread, nullptr, ToneThread, reinterpret_cast<void*>(uintptr_t{cookie})) != 0) {
        gTone.running = false;
        KEZ_CALL(HALTrace, kZone, "HALSoundCommon: Play: EXIT ERROR can't run thread");
        KEZ_CALL_AS(CloseProc, HALSoundClose, cookie);
        gTone.count = 0;
        return 0x0503;
    }
    gTone.hasThread = true;
    return 0;
}
KEZ_SLOT_NAMED(HALSoundPlayTone, HALSoundPlayTone)

uint16_t HALPlaySmf(uint32_t channel, uint8_t command, const uint8_t* data, uint32_t a, uint32_t b, uint32_t c,
                    uint8_t flag) {
    KEZ_CALL(HALTrace, kZone, "HALPlaySmf(): ENTER");
    if (!data) {
        KEZ_CALL(HALTrace, kZone, "HALPlaySmf(): no Sound.");
        return kSndErrBadParam;
    }
    if (channel != 0) {
        KEZ_CALL(HALTrace, kZone, "HALPlaySmf(): Only chanP == 0 is supported.");
        return kSndErrBadChannel;
    }
    if (command != 1) {
        KEZ_CALL(HALTrace, kZone, "HALPlaySmf(): Only cmd == SndSmfCmdPlay is supported.");
        return kSndErrBadParam;
    }
    if (std::memcmp(data, "PMrc", 4) == 0) data += data[4];
    return KEZ_CALL_AS(uint16_t(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t), PALPlayMidi,
                       static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)), a, b, c, uint32_t{flag});
}
KEZ_SLOT_NAMED(HALPlaySmf, HALPlaySmf)

}  // namespace

void PrvHALSoundDispose() { KEZ_CALL_AS(uint16_t(), HALSoundDispose); }

}  // namespace kez
