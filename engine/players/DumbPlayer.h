#pragma once
// The music source for tracker modules (IT, XM, MOD, S3M), rendered by DUMB straight into the
// channel's buffer as 44,100 Hz 16-bit stereo. Besides bytes, frames and milliseconds it answers
// positions in rows (unit 4) and orders (unit 5), and seeks to an order.
//
// Renderers are replaced by every Seek and by the module's end, sometimes from inside a render
// of the one being replaced, and the main thread may be asking the current one for its row or
// order without the channel's lock. A replaced renderer is therefore retired first and ended
// only once no render and no such query can still be using it.

#include <dumb.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/ISonvexMusic.h"
#include "engine/ISonvexStream.h"

class DumbPlayer final : public ISonvexMusic {
public:
    DUH* Duh = nullptr;
    DUMBFILE* DumbFile = nullptr;
    DUH_SIGRENDERER* Renderer = nullptr;
    // Read by the row and order queries, which take no lock.
    std::atomic<DUMB_IT_SIGRENDERER*> ItRenderer{nullptr};
    DUMB_IT_SIGDATA* ItSigData = nullptr;
    float Delta = 0.0f;
    ISonvexStream* Stream = nullptr;

    DumbPlayer();

    int32_t FillBuffer(uint8_t* dest, int32_t bytes) override;
    int32_t Seek(int32_t position, int32_t unit) override;
    int32_t GetLength(int32_t unit) override;
    int32_t GetPosition(int32_t unit) override;

    // DUMB calls this from inside a render when the module ends and would start again:
    // 0 plays on from the module's restart point, 1 ends the render there.
    static int LoopCallback(void* player);
    // DUMB calls this from inside a render when an XM or MOD sets speed 0, where its own
    // measurement ends the module: the pass ends there, as at the loop (1 ends the render).
    static int SpeedZeroCallback(void* player);
    static void Destroy(ISonvexMusic* player);
    void Close();

    // Replaced renderers still waiting to be ended (for tests: a thousand seeks leave none).
    size_t RetiredRenderers() const { return Retired.size(); }

private:
    ~DumbPlayer();

    friend DumbPlayer* DumbLoader(ISonvexStream* stream);

    // Makes fresh (which may be none) the renderer, with the loop callback installed, and
    // retires the one it replaces. startFrame is where the fresh one starts in the module.
    void InstallRenderer(DUH_SIGRENDERER* fresh, int64_t startFrame);
    // Ends the retired renderers unless a render or a row or order query may still use one.
    void EndRetiredRenderers();
    // The module has played its measured length without DUMB reporting its end: what the loop
    // callback would have done. True when playing goes on.
    bool EndAtMeasuredLength();
    int32_t AskRenderer(int32_t unit);

    std::vector<DUH_SIGRENDERER*> Retired;
    std::atomic<int32_t> Queries{0};
    bool Rendering = false;
    // Frames since the module's start (or since the order the renderer started at), and
    // whether DUMB has reported this renderer's loop: until it does, the module is ended at
    // its measured length, since some modules reach no end that DUMB reports (one measured
    // only in part, or a renderer started past a speed of 0) and would play for ever.
    int64_t RendererFrame = 0;
    bool LoopSeen = false;
};

// Loads a module from a file or memory stream; none (and the stream left with the caller)
// when DUMB does not take it.
DumbPlayer* DumbLoader(ISonvexStream* stream);
