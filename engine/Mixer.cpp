#include "engine/Mixer.h"

#include <atomic>
#include <cstring>

#include "engine/ChannelList.h"
#include "engine/ISonvexChannel.h"
#include "engine/MasterVolume.h"

namespace {

// One pending request for a copy of the next mixed block. destination, frames and serial are
// written and read under ChannelListLock; `pending` holds the serial of the request waiting
// (0: none), so the mixer clears it only if no newer request replaced it during the copy.
struct OutputCopyRequestState {
    float* destination = nullptr;
    int32_t frames = 0;
    uint32_t serial = 0;
    std::atomic<uint32_t> pending{0};
};

OutputCopyRequestState OutputCopyRequest;

}  // namespace

void Sonvex_RequestOutputCopy(float* dest, int32_t frames) {
    SonvexLockGuard lock(ChannelListLock);
    OutputCopyRequest.destination = dest;
    OutputCopyRequest.frames = frames;
    OutputCopyRequest.serial = OutputCopyRequest.serial + 1 != 0 ? OutputCopyRequest.serial + 1 : 1;
    OutputCopyRequest.pending.store(OutputCopyRequest.serial, std::memory_order_release);
}

int32_t Sonvex_OutputCopyPending() {
    return OutputCopyRequest.pending.load(std::memory_order_acquire) != 0 ? 1 : 0;
}

void MixOutput(float* out, uint32_t frames) {
    const size_t values = 2 * static_cast<size_t>(frames);
    std::memset(out, 0, values * sizeof(float));

    // Mix calls take int frames; a block never comes near that.
    const int32_t blockFrames = frames > 0x7fffffffu ? 0x7fffffff : static_cast<int32_t>(frames);
    LockChannelList();
    ReapChannels();
    for (ChannelListEntry* entry = ChannelList.first; entry != nullptr; entry = entry->next) {
        entry->channel->Mix(out, blockFrames);
    }
    // Take the request while the lock still orders it against the requester; copy after.
    const uint32_t taken = OutputCopyRequest.pending.load(std::memory_order_relaxed);
    float* const copyTo = OutputCopyRequest.destination;
    const uint32_t copyFrames = static_cast<uint32_t>(OutputCopyRequest.frames);
    UnlockChannelList();

    // The comparisons are made on the product before it is narrowed. A value that is not a
    // number (a float source can deliver anything) becomes silence rather than reach the device.
    const double master = MasterVolume.load(std::memory_order_relaxed);
    for (size_t i = 0; i < values; ++i) {
        const double y = master * static_cast<double>(out[i]);
        float v = static_cast<float>(y);
        if (y > 1.0) {
            v = 1.0f;
        } else if (y < -1.0) {
            v = -1.0f;
        } else if (y != y) {
            v = 0.0f;
        }
        out[i] = v;
    }

    if (taken != 0) {
        const uint32_t n = copyFrames < frames ? copyFrames : frames;
        if (copyTo != nullptr) {
            std::memcpy(copyTo, out, 2 * static_cast<size_t>(n) * sizeof(float));
        }
        uint32_t expected = taken;
        OutputCopyRequest.pending.compare_exchange_strong(expected, 0, std::memory_order_release,
                                                          std::memory_order_relaxed);
    }
}
