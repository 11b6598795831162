#include "engine/players/DumbResampleGuard.h"

#include <dlfcn.h>

namespace {

// DUMB's resampler takes its step as delta x 65536 rounded to an int: it divides by that step,
// and adds it to a sub-sample position below 65536 held in an int. A step of 0 divides by zero;
// one that passes 2^31 - 65536 overflows, and the resampler then never returns. Notes reach both
// ends at run time where no rule on the module's bytes can tell: an Amiga-slide portamento that
// stops a hair short of the pitch at which DUMB lets the note die, a slide down held for minutes.
// Within these bounds every step is DUMB's own, so the sound of every module it can play stays
// as it is.
constexpr float kLeastDelta = 1.0f / 65536.0f;
constexpr float kMostDelta = 32766.0f;

float Bounded(float delta) {
    if (!(delta >= kLeastDelta)) {  // NaN too
        return kLeastDelta;
    }
    return delta > kMostDelta ? kMostDelta : delta;
}

using MonoResample = long (*)(int, DUMB_RESAMPLER*, sample_t*, long, float, float);
using StereoResample = long (*)(int, DUMB_RESAMPLER*, sample_t*, long, float, float, float);

template <typename Function>
Function Library(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// DUMB's own resamplers, behind the definitions below: its module renderer calls these four
// through the dynamic linker, so the program's definitions stand in front of them.
const struct {
    MonoResample n11 = Library<MonoResample>("dumb_resample_n_1_1");
    StereoResample n12 = Library<StereoResample>("dumb_resample_n_1_2");
    StereoResample n21 = Library<StereoResample>("dumb_resample_n_2_1");
    StereoResample n22 = Library<StereoResample>("dumb_resample_n_2_2");
} dumb;

}  // namespace

bool DumbResamplerGuarded() {
    return dumb.n11 != nullptr && dumb.n12 != nullptr && dumb.n21 != nullptr && dumb.n22 != nullptr;
}

extern "C" {

long dumb_resample_n_1_1(int n, DUMB_RESAMPLER* resampler, sample_t* dst, long dst_size, float volume, float delta) {
    return dumb.n11(n, resampler, dst, dst_size, volume, Bounded(delta));
}

long dumb_resample_n_1_2(int n, DUMB_RESAMPLER* resampler, sample_t* dst, long dst_size, float volume_left,
                         float volume_right, float delta) {
    return dumb.n12(n, resampler, dst, dst_size, volume_left, volume_right, Bounded(delta));
}

long dumb_resample_n_2_1(int n, DUMB_RESAMPLER* resampler, sample_t* dst, long dst_size, float volume_left,
                         float volume_right, float delta) {
    return dumb.n21(n, resampler, dst, dst_size, volume_left, volume_right, Bounded(delta));
}

long dumb_resample_n_2_2(int n, DUMB_RESAMPLER* resampler, sample_t* dst, long dst_size, float volume_left,
                         float volume_right, float delta) {
    return dumb.n22(n, resampler, dst, dst_size, volume_left, volume_right, Bounded(delta));
}

}  // extern "C"
