#include "engine/players/DumbPlayer.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include "engine/DebugLog.h"
#include "engine/Units.h"
#include "engine/cfile.h"
#include "engine/cmem.h"
#include "engine/players/DumbResampleGuard.h"
#include "engine/players/DumbScreen.h"

namespace {

constexpr int32_t kBytesPerFrame = 4;
// DUMB time (1/65,536 s) per output frame at 44,100 Hz, and bytes per unit of DUMB time; both
// single-precision, as DUMB takes its delta.
constexpr float kDelta = 65536.0f / 44100.0f;
constexpr float kBytesPerDumbTime = 4.0f * 44100.0f / 65536.0f;
// DUMB reports a module's end within a frame or two of its measured length; the fallback for
// modules whose end it misses waits this much longer so that it never cuts a reported end.
constexpr int64_t kEndSlackFrames = 64;

int32_t DumbTimeToBytes(long time) {
    const double bytes = static_cast<double>(time) * static_cast<double>(kBytesPerDumbTime);
    if (bytes <= 0.0) {
        return 0;
    }
    return bytes >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes);
}

DUMBFILE* OpenDumbFile(ISonvexStream* stream) {
    if (stream->kind == ISonvexStream::KindFile) {
        return dumbfile_open_stdfile(static_cast<cfile*>(stream)->file);
    }
    const cmem* memory = static_cast<cmem*>(stream);
    return dumbfile_open_memory(reinterpret_cast<const char*>(memory->data), memory->size);
}

// The readers the module's bytes may be handed to (see DumbScreen.h). A file is read only where
// its headers point; DUMB then reads it again from the start.
uint32_t ScreenStream(ISonvexStream* stream) {
    if (stream->kind == ISonvexStream::KindMemory) {
        const cmem* memory = static_cast<cmem*>(stream);
        return DumbScreenReaders(memory->data, static_cast<size_t>(memory->size));
    }
    const uint32_t readers = DumbScreenReaders(stream);
    stream->Seek(0);
    return readers;
}

// DUMB's readers measure a module by playing it through before they return, keeping a copy of
// its playing state for every 30 seconds; a module built to play for days takes seconds and
// hundreds of megabytes to load, and some never finish. So the player reads with DUMB's quick
// readers and measures first by itself, ending where DUMB's own measurement would (a loop or an
// XM speed of 0), but no further than a length in bytes can say (with room for the fallback end's
// slack, so that positions stay in range) and no longer than kMeasureBudget.
// Only a module measured to its end then gets DUMB's measurement, and with it the copies that
// make seeks quick: that costs what this one did again. A module cut short keeps the length
// measured so far, where the player ends it as one that DUMB never loops; a seek then renders
// from the start, which costs no more than this measurement did.
constexpr long kMeasureLimit =
    static_cast<long>((INT32_MAX - (kEndSlackFrames + 1) * kBytesPerFrame) / static_cast<double>(kBytesPerDumbTime));
constexpr long kMeasureStep = 65536 / 16;
constexpr std::chrono::milliseconds kMeasureBudget{500};

void MeasureModule(DUH* duh) {
    DUH_SIGRENDERER* renderer = duh_start_sigrenderer(duh, 0, 2, 0);
    DUMB_IT_SIGRENDERER* it = duh_get_it_sigrenderer(renderer);
    if (it == nullptr) {
        duh_end_sigrenderer(renderer);
        return;
    }
    dumb_it_set_loop_callback(it, &dumb_it_callback_terminate, nullptr);
    dumb_it_set_xm_speed_zero_callback(it, &dumb_it_callback_terminate, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + kMeasureBudget;
    long length = 0;
    bool ended = false;
    while (!ended && length < kMeasureLimit && std::chrono::steady_clock::now() < deadline) {
        const long step = std::min(kMeasureStep, kMeasureLimit - length);
        // Silent, at one frame per unit of DUMB time, as DUMB measures.
        const long got = duh_sigrenderer_generate_samples(renderer, 0.0f, 1.0f, step, nullptr);
        length += std::clamp(got, 0L, step);
        ended = got < step;
    }
    duh_end_sigrenderer(renderer);
    if (ended) {
        dumb_it_do_initial_runthrough(duh);
    } else {
        duh_set_length(duh, length);
    }
}

}  // namespace

DumbPlayer::DumbPlayer() {
    Deleter = &DumbPlayer::Destroy;
    Retired.reserve(4);
    dumb_register_stdfiles();
}

DumbPlayer::~DumbPlayer() {
    DebugLog("~DumbPlayer");
    Position = 0;
    if (Stream != nullptr) {
        Sonvex_DeleteStream(Stream);
        Stream = nullptr;
    }
    duh_end_sigrenderer(Renderer);
    for (DUH_SIGRENDERER* retired : Retired) {
        duh_end_sigrenderer(retired);
    }
    unload_duh(Duh);
    if (DumbFile != nullptr) {
        dumbfile_close(DumbFile);
    }
}

void DumbPlayer::Destroy(ISonvexMusic* player) {
    delete static_cast<DumbPlayer*>(player);
}

void DumbPlayer::Close() {
    Position = 0;
}

DumbPlayer* DumbLoader(ISonvexStream* stream) {
    DebugLog("Dumb Loader...");
    if (stream == nullptr) {
        DebugLog("Dumb rejected");
        return nullptr;
    }
    stream->Seek(0);
    auto* player = new DumbPlayer();

    bool tryReaders = true;
    if (stream->kind == ISonvexStream::KindFile) {
        DebugLog("Dumb File Loader...");
        tryReaders = static_cast<cfile*>(stream)->file != nullptr;
    } else if (stream->kind == ISonvexStream::KindMemory) {
        DebugLog("Dumb Memory Loader...");
    } else {
        tryReaders = false;
    }

    // Without its resamplers guarded DUMB can hang the audio thread on a module the screen passed.
    const uint32_t allowed = tryReaders && DumbResamplerGuarded() ? ScreenStream(stream) : 0;
    if (allowed != 0) {
        // In DUMB's order; each is handed only bytes that passed its own rules.
        const struct {
            uint32_t bit;
            DUH* (*read)(DUMBFILE*);
        } readers[] = {{kDumbReadIt, dumb_read_it_quick},
                       {kDumbReadXm, dumb_read_xm_quick},
                       {kDumbReadMod, dumb_read_mod_quick},
                       {kDumbReadS3m, dumb_read_s3m_quick}};
        for (const auto& reader : readers) {
            if ((allowed & reader.bit) == 0) {
                continue;
            }
            player->DumbFile = OpenDumbFile(stream);
            if (player->DumbFile == nullptr) {
                break;
            }
            player->Duh = reader.read(player->DumbFile);
            if (player->Duh != nullptr) {
                break;
            }
            dumbfile_close(player->DumbFile);
            player->DumbFile = nullptr;
            stream->Seek(0);
        }
        if (player->Duh != nullptr) {
            MeasureModule(player->Duh);
        }
        player->Renderer = duh_start_sigrenderer(player->Duh, 0, 2, 0);
    }

    if (player->Renderer == nullptr) {
        DebugLog("Dumb rejected");
        if (player->DumbFile != nullptr) {
            dumbfile_close(player->DumbFile);
            player->DumbFile = nullptr;
        }
        unload_duh(player->Duh);
        player->Duh = nullptr;
        DumbPlayer::Destroy(player);
        return nullptr;
    }

    player->Stream = stream;
    player->Channels = 2;
    player->SampleRate = 44100;
    player->Bits = 16;
    player->Seekable = 1;
    player->Status = 0;
    player->Length = DumbTimeToBytes(duh_get_length(player->Duh));
    player->Delta = kDelta;
    player->ItSigData = duh_get_it_sigdata(player->Duh);
    DUH_SIGRENDERER* first = player->Renderer;
    player->Renderer = nullptr;
    player->InstallRenderer(first, 0);
    return player;
}

void DumbPlayer::InstallRenderer(DUH_SIGRENDERER* fresh, int64_t startFrame) {
    DUH_SIGRENDERER* old = Renderer;
    DUMB_IT_SIGRENDERER* it = fresh != nullptr ? duh_get_it_sigrenderer(fresh) : nullptr;
    if (it != nullptr) {
        dumb_it_set_loop_callback(it, &DumbPlayer::LoopCallback, this);
        dumb_it_set_xm_speed_zero_callback(it, &DumbPlayer::SpeedZeroCallback, this);
    }
    Renderer = fresh;
    // Sequentially consistent with the query count read below: a query that the count misses
    // already sees the fresh renderer.
    ItRenderer.store(it, std::memory_order_seq_cst);
    RendererFrame = startFrame;
    LoopSeen = false;
    if (old != nullptr) {
        Retired.push_back(old);
    }
    EndRetiredRenderers();
}

void DumbPlayer::EndRetiredRenderers() {
    // While a render runs, the renderer it started with may be among the retired (the loop
    // callback replaces it from inside); a query in flight may hold any of them.
    if (Retired.empty() || Rendering || Queries.load(std::memory_order_seq_cst) != 0) {
        return;
    }
    for (DUH_SIGRENDERER* retired : Retired) {
        duh_end_sigrenderer(retired);
    }
    Retired.clear();
}

int32_t DumbPlayer::FillBuffer(uint8_t* dest, int32_t bytes) {
    if (bytes <= 0 || Status == 0) {
        return 0;
    }
    EndRetiredRenderers();
    const int64_t frames = bytes / kBytesPerFrame;
    int64_t done = 0;
    while (done < frames && Renderer != nullptr) {
        int64_t ask = frames - done;
        if (!LoopSeen && Length > 0) {
            const int64_t left = Length / kBytesPerFrame + kEndSlackFrames - RendererFrame;
            if (left <= 0) {
                if (!EndAtMeasuredLength()) {
                    break;
                }
                continue;
            }
            ask = std::min(ask, left);
        }
        DUH_SIGRENDERER* renderer = Renderer;
        const int64_t passFrames = RendererFrame;
        Rendering = true;
        long got = duh_render(renderer, 16, 0, 1.0f, Delta, static_cast<long>(ask), dest + done * kBytesPerFrame);
        Rendering = false;
        got = std::clamp<long>(got, 0, static_cast<long>(ask));
        if (renderer == Renderer) {
            RendererFrame += got;
        }
        done += got;
        Position += static_cast<int32_t>(got * kBytesPerFrame);
        if (got < ask) {
            // A speed of 0 ends the pass and, when looping, puts a fresh renderer in its place to
            // go on with; a pass that rendered nothing would only start again and again.
            if (renderer != Renderer && Status != 0 && passFrames + got > 0) {
                continue;
            }
            break;  // the module ended without looping, or DUMB could render no more
        }
    }
    EndRetiredRenderers();
    return static_cast<int32_t>(done * kBytesPerFrame);
}

bool DumbPlayer::EndAtMeasuredLength() {
    Position = 0;
    Seek(0, SonvexUnitFrames);
    if (LoopMode != 0) {
        return true;
    }
    Status = 0;
    return false;
}

int DumbPlayer::LoopCallback(void* data) {
    auto* player = static_cast<DumbPlayer*>(data);
    player->Position = 0;
    if (player->LoopMode != 0) {
        player->LoopSeen = true;
        return 0;
    }
    player->Seek(0, SonvexUnitFrames);
    player->Status = 0;
    return 1;
}

int DumbPlayer::SpeedZeroCallback(void* data) {
    // DUMB would stay on the row for ever, so the pass ends here whether the module loops or not;
    // a looping one starts again from the beginning, as the measured-length end does.
    auto* player = static_cast<DumbPlayer*>(data);
    player->Seek(0, SonvexUnitFrames);
    if (player->LoopMode == 0) {
        player->Status = 0;
    }
    return 1;
}

int32_t DumbPlayer::Seek(int32_t position, int32_t unit) {
    if (unit == SonvexUnitOrder) {
        // DUMB reads past its order list for an order just beyond it and fails further out;
        // neither is a place to play from.
        DUH_SIGRENDERER* fresh = nullptr;
        if (position >= 0 && position < dumb_it_sd_get_n_orders(ItSigData)) {
            fresh = dumb_it_start_at_order(Duh, 2, position);
        }
        InstallRenderer(fresh, 0);
        Position = fresh != nullptr ? DumbTimeToBytes(duh_sigrenderer_get_position(fresh)) : 0;
        return Position;
    }

    int64_t frame = 0;
    switch (unit) {
    case SonvexUnitBytes:
        frame = position / (Bits / 8) / Channels;
        break;
    case SonvexUnitFrames:
        frame = position;
        break;
    case SonvexUnitMillisecs:
        frame = static_cast<int64_t>(0.001 * SampleRate * position);
        break;
    default:
        return Position;
    }
    // DUMB reaches a start time by rendering up to it, looping the module as often as it takes:
    // a target past the end would keep the caller busy for seconds and mean nothing.
    const int64_t lastFrame = Length > 0 ? Length / kBytesPerFrame : INT32_MAX / kBytesPerFrame;
    frame = std::clamp<int64_t>(frame, 0, lastFrame);
    const long start = static_cast<long>(static_cast<double>(frame) * static_cast<double>(kDelta));
    InstallRenderer(duh_start_sigrenderer(Duh, 0, 2, start), frame);
    Position = static_cast<int32_t>(frame * (Bits / 8) * Channels);
    return Position;
}

int32_t DumbPlayer::AskRenderer(int32_t unit) {
    Queries.fetch_add(1, std::memory_order_seq_cst);
    DUMB_IT_SIGRENDERER* it = ItRenderer.load(std::memory_order_seq_cst);
    int32_t answer = -1;
    if (it != nullptr) {
        answer = unit == SonvexUnitRow ? dumb_it_sr_get_current_row(it) : dumb_it_sr_get_current_order(it);
    }
    Queries.fetch_sub(1, std::memory_order_release);
    return answer;
}

// A unit the queries do not know comes back as asked.
int32_t DumbPlayer::GetPosition(int32_t unit) {
    switch (unit) {
    case SonvexUnitBytes:
    case SonvexUnitFrames:
    case SonvexUnitMillisecs:
        return ISonvexMusic::GetPosition(unit);
    case SonvexUnitRow:
    case SonvexUnitOrder:
        return AskRenderer(unit);
    default:
        return unit;
    }
}

int32_t DumbPlayer::GetLength(int32_t unit) {
    switch (unit) {
    case SonvexUnitBytes:
    case SonvexUnitFrames:
    case SonvexUnitMillisecs:
        return ISonvexMusic::GetLength(unit);
    case SonvexUnitOrder:
        return dumb_it_sd_get_n_orders(ItSigData);
    default:
        return unit;
    }
}
