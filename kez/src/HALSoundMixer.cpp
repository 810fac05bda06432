// The mixer channel of a playback stream and the counting semaphore that paces its writer.
#include "kez/src/HALSoundMixer.h"

#include <algorithm>
#include <cstring>

#include "kez/src/KezModule.h"

namespace kez {

namespace {
constexpr uint16_t kZone = 0x0800;
}

bool MultiBlock::Acquire(int32_t n, bool block) {
    std::unique_lock lock(mutex_);
    if (count_ >= n) {
        count_ -= n;
        return true;
    }
    if (!block || closed_) return false;
    paid_.wait(lock, [&] { return count_ >= n || closed_; });
    if (closed_) return false;
    count_ -= n;
    return true;
}

void MultiBlock::Release(int32_t n) {
    std::lock_guard lock(mutex_);
    count_ += n;
    paid_.notify_all();
}

void MultiBlock::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    paid_.notify_all();
}

Channel::Channel(uint32_t outputRate, uint32_t periodBytes) : outputRate_(outputRate), periodBytes_(periodBytes) {}

Channel::~Channel() {
    delete free_;
    delete data_;
}

uint32_t Channel::FrameBytes() const { return static_cast<uint32_t>(channels_) * (sampleType_ & 0x0F); }

uint16_t Channel::Init(const HALSoundFormat& format) {
    KEZ_CALL(HALTrace, kZone, "HALSoundMixer: Channel::Init: ENTER this=0x%08x",
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    std::lock_guard lock(lock_);
    if (format.encoding != 0) return kSndErrFormat;
    int16_t channels = format.layout == 1 ? 2 : format.layout == 0 ? 1 : 0;
    if (channels == 0) return kSndErrBadParam;
    if (format.sampleType != 1 && format.sampleType != 2 && format.sampleType != 17 && format.sampleType != 18)
        return kSndErrFormat;
    if (format.rate == 0 || format.rate > 192000) return kSndErrBadParam;
    sampleType_ = format.sampleType;
    channels_ = channels;
    rate_ = static_cast<int32_t>(format.rate);
    KEZ_CALL(HALTrace, kZone, "HALSoundMixer: Channel::Init: opening %d-channel stream at %d Hz", channels_, rate_);
    uint64_t period = uint64_t{static_cast<uint32_t>(channels_)} * format.rate * (sampleType_ & 0x0F) * periodBytes_ /
                      (uint64_t{outputRate_} * 4);
    uint32_t size = static_cast<uint32_t>((period + 7) / 8 * 8) + 256;
    buffer_.assign(size, 0);
    queued_ = 0;
    phase_ = heldLeft_ = heldRight_ = 0;
    freeBytes_ = static_cast<int32_t>(size);
    delete free_;
    delete data_;
    free_ = new MultiBlock(static_cast<int32_t>(size));
    data_ = new MultiBlock(0);
    KEZ_CALL(HALTrace, kZone, "HALSoundMixer: Channel::Init: EXIT datasize=%d", static_cast<int>(size));
    return 0;
}

uint32_t Channel::Write(const void* data, uint32_t n) {
    MultiBlock* freeSpace;
    {
        std::lock_guard lock(lock_);
        if (sampleType_ < 0 || closed_) {
            KEZ_CALL(HALTrace, kZone, "Channel::Write EXIT ERROR channel !initialized");
            return 0;
        }
        freeSpace = free_;
    }
    auto* p = static_cast<const uint8_t*>(data);
    uint32_t done = 0;
    while (done < n) {
        uint32_t chunk;
        {
            std::lock_guard lock(lock_);
            chunk = static_cast<uint32_t>(std::max(freeBytes_, 128));
        }
        chunk = std::min({chunk, n - done, static_cast<uint32_t>(buffer_.size())});
        if (!freeSpace->Acquire(static_cast<int32_t>(chunk), true)) return done;  // closed
        std::lock_guard lock(lock_);
        if (closed_) return done;
        uint8_t* at = buffer_.data() + queued_;
        std::memcpy(at, p + done, chunk);
        if (sampleType_ == 17) {
            for (uint32_t i = 0; i < chunk; ++i) at[i] ^= 0x80;
        } else if (sampleType_ == 2) {
            for (uint32_t i = 0; i + 1 < chunk; i += 2) std::swap(at[i], at[i + 1]);
        }
        queued_ += chunk;
        freeBytes_ -= static_cast<int32_t>(chunk);
        data_->Release(static_cast<int32_t>(chunk));
        done += chunk;
    }
    return n;
}

bool Channel::Mix(int64_t* accumulator) {
    std::lock_guard lock(lock_);
    if (sampleType_ < 0 || closed_) return false;
    uint32_t framesOut = periodBytes_ / 4;
    uint32_t frameBytes = FrameBytes();
    uint32_t framesIn = static_cast<uint32_t>((uint64_t{framesOut} * static_cast<uint32_t>(rate_) +
                                               static_cast<uint32_t>(phase_)) /
                                              outputRate_);
    uint32_t bytes = framesIn * frameBytes;
    if (bytes > buffer_.size() || !data_->Acquire(static_cast<int32_t>(bytes), false)) return false;
    const uint8_t* in = buffer_.data();
    bool wide = (sampleType_ & 0x0F) == 2;
    uint32_t next = 0;  // the next input frame
    // One input frame times the gains; past the frames taken the last one is held.
    auto take = [&](int32_t* left, int32_t* right) {
        if (next >= framesIn) return;
        const uint8_t* f = in + next * frameBytes;
        int32_t l, r;
        if (wide) {
            int16_t a, b;
            std::memcpy(&a, f, 2);
            std::memcpy(&b, f + (channels_ == 2 ? 2 : 0), 2);
            l = a;
            r = b;
        } else {
            l = static_cast<int8_t>(f[0]) * 256;
            r = static_cast<int8_t>(f[channels_ == 2 ? 1 : 0]) * 256;
        }
        *left = l * leftGain_;
        *right = r * rightGain_;
        ++next;
    };
    uint32_t out = outputRate_, rate = static_cast<uint32_t>(rate_);
    for (uint32_t i = 0; i < framesOut; ++i) {
        if (rate == out) {
            take(&heldLeft_, &heldRight_);
        } else if (rate < out) {
            accumulator[2 * i] += heldLeft_;
            accumulator[2 * i + 1] += heldRight_;
            phase_ += static_cast<int32_t>(rate);
            if (phase_ >= static_cast<int32_t>(out)) {
                take(&heldLeft_, &heldRight_);
                phase_ -= static_cast<int32_t>(out);
            }
            continue;
        } else {
            while (phase_ < static_cast<int32_t>(rate)) {
                phase_ += static_cast<int32_t>(out);
                take(&heldLeft_, &heldRight_);
            }
            phase_ -= static_cast<int32_t>(rate);
        }
        accumulator[2 * i] += heldLeft_;
        accumulator[2 * i + 1] += heldRight_;
    }
    std::memmove(buffer_.data(), buffer_.data() + bytes, queued_ - bytes);
    queued_ -= bytes;
    freeBytes_ += static_cast<int32_t>(bytes);
    free_->Release(static_cast<int32_t>(bytes));
    return true;
}

void Channel::Gains() {
    if (pan_ == 0) {
        leftGain_ = rightGain_ = volume_;
    } else if (pan_ < 0) {
        leftGain_ = volume_;
        rightGain_ = static_cast<uint16_t>(((pan_ + 1024) * volume_) >> 10);
    } else {
        leftGain_ = static_cast<uint16_t>(((1024 - pan_) * volume_) >> 10);
        rightGain_ = volume_;
    }
}

void Channel::SetVolume(uint16_t volume) {
    std::lock_guard lock(lock_);
    volume_ = volume;
    Gains();
}

void Channel::SetPan(int16_t pan) {
    std::lock_guard lock(lock_);
    pan_ = std::clamp<int16_t>(pan, -1024, 1024);
    Gains();
}

void Channel::Close() {
    std::lock_guard lock(lock_);
    closed_ = true;
    if (free_) free_->Close();
}

}  // namespace kez
