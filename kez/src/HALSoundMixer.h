// A playback stream of the sound device: a channel that queues PCM data in its own format and
// mixes one 40 ms output period at a time into the device's accumulator, at 44100 Hz stereo.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kez {

constexpr uint16_t kSndErrBadParam = 0x0801;
constexpr uint16_t kSndErrBadChannel = 0x0802;
constexpr uint16_t kSndErrMemory = 0x0803;
constexpr uint16_t kSndErrOpen = 0x0804;
constexpr uint16_t kSndErrQueueFull = 0x0805;
constexpr uint16_t kSndErrFormat = 0x0807;
constexpr uint16_t kSndErrNotEnabled = 0x080A;
constexpr uint16_t kSndErrInvalidStream = 0x080B;

// The argument of SETFORMAT.
struct HALSoundFormat {
    uint32_t rate;
    uint32_t encoding;  // 0: PCM
    uint16_t sampleType;  // 1 S8, 2 S16_BE, 17 U8, 18 S16_LE (low four bits: bytes per sample)
    uint8_t layout;       // 0 mono, 1 stereo
};

// A counting semaphore whose count may be owed: an acquire that blocks takes its bytes at once
// and waits until releases have paid them back. Closing wakes every waiter.
class MultiBlock {
public:
    explicit MultiBlock(int32_t count) : count_(count) {}
    bool Acquire(int32_t n, bool block);
    void Release(int32_t n);
    void Close();

private:
    std::mutex mutex_;
    std::condition_variable paid_;
    int32_t count_;
    bool closed_ = false;
};

class Channel {
public:
    Channel(uint32_t outputRate, uint32_t periodBytes);
    ~Channel();
    uint16_t Init(const HALSoundFormat& format);
    // Queues n bytes, waiting for room; answers n, or 0 before Init or once closed.
    uint32_t Write(const void* data, uint32_t n);
    // Adds one output period into `accumulator` (2 x periodBytes / 4 words, 64 bits so that no sum
    // of streams overflows); false when a whole
    // period of input is not queued yet.
    bool Mix(int64_t* accumulator);
    void SetVolume(uint16_t volume);
    void SetPan(int16_t pan);
    uint16_t Volume() const { return volume_; }
    int16_t Pan() const { return pan_; }
    // Wakes a writer that waits for room, for good: the stream is being closed.
    void Close();

private:
    void Gains();
    uint32_t FrameBytes() const;

    int32_t sampleType_ = -1;
    int32_t rate_ = -1;
    int16_t channels_ = -1;
    uint16_t volume_ = 1024;
    int16_t pan_ = 0;
    int32_t freeBytes_ = 0;
    MultiBlock* free_ = nullptr;
    MultiBlock* data_ = nullptr;
    std::mutex lock_;
    std::vector<uint8_t> buffer_;
    uint32_t queued_ = 0;
    uint16_t leftGain_ = 1024, rightGain_ = 1024;
    uint32_t outputRate_;
    uint32_t periodBytes_;
    int32_t phase_ = 0;
    int32_t heldLeft_ = 0, heldRight_ = 0;
    bool closed_ = false;
};

}  // namespace kez
