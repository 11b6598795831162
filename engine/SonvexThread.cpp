#include "engine/SonvexThread.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/DebugLog.h"
#include "engine/ISonvexChannel.h"

namespace {

struct StartBlock {
    ISonvexChannel* channel;
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t ready = PTHREAD_COND_INITIALIZER;
    bool haveId = false;
    uint32_t id = 0;
};

void* Trampoline(void* arg) {
    auto* block = static_cast<StartBlock*>(arg);
    ISonvexChannel* channel = block->channel;
    pthread_mutex_lock(&block->lock);
    block->id = static_cast<uint32_t>(syscall(SYS_gettid));
    block->haveId = true;
    pthread_cond_signal(&block->ready);
    pthread_mutex_unlock(&block->lock);
    // `block` lives on the starter's stack and is gone from here on.
    const uint32_t code = ThreadProc(channel);
    return reinterpret_cast<void*>(static_cast<uintptr_t>(code));
}

// Per-thread nice values for the Windows levels below time-critical.
struct NiceStep {
    int32_t priority;
    int nice;
};
constexpr NiceStep kNiceSteps[] = {
    {ThreadPriorityIdle, 19},        {ThreadPriorityLowest, 10}, {ThreadPriorityBelowNormal, 5},
    {ThreadPriorityNormal, 0},       {ThreadPriorityAboveNormal, -5},
    {ThreadPriorityHighest, -10},
};

int NearestNice(int32_t priority) {
    const NiceStep* best = &kNiceSteps[0];
    for (const NiceStep& step : kNiceSteps) {
        if (std::abs(step.priority - priority) < std::abs(best->priority - priority)) {
            best = &step;
        }
    }
    return best->nice;
}

int32_t PriorityForNice(int nice) {
    const NiceStep* best = &kNiceSteps[0];
    for (const NiceStep& step : kNiceSteps) {
        if (std::abs(step.nice - nice) < std::abs(best->nice - nice)) {
            best = &step;
        }
    }
    return best->priority;
}

}  // namespace

void SonvexThread::Start(ISonvexChannel* channel) {
    StartBlock block;
    block.channel = channel;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, &Trampoline, &block) != 0) {
        hasHandle = false;
        running = 1;
        return;
    }
    pthread_mutex_lock(&block.lock);
    while (!block.haveId) {
        pthread_cond_wait(&block.ready, &block.lock);
    }
    pthread_mutex_unlock(&block.lock);
    handle = thread;
    hasHandle = true;
    id = block.id;
    running = 1;
}

uint32_t SonvexThread::Join() {
    uint32_t code = 0;
    if (hasHandle && running != 0) {
        void* result = nullptr;
        if (pthread_join(handle, &result) == 0) {
            code = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(result));
        }
        // A joined thread is gone; its handle must not be joined again.
        hasHandle = false;
    }
    running = 0;
    return code;
}

void SonvexThread::Close() {
    if (running != 0) {
        Join();
    }
    // pthreads has no handle to give back once a thread is joined.
    hasHandle = false;
}

void SonvexThread::SetPriority(int32_t priority) {
    const pid_t tid = static_cast<pid_t>(id);
    if (priority >= ThreadPriorityTimeCritical) {
        // Time-critical is real-time scheduling here.
        sched_param param{};
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
        if (sched_setscheduler(tid, SCHED_FIFO, &param) != 0) {
            DebugLogPair("thread priority refused:", std::strerror(errno));
        }
    } else {
        sched_param param{};
        if (sched_getscheduler(tid) != SCHED_OTHER) {
            sched_setscheduler(tid, SCHED_OTHER, &param);
        }
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NearestNice(priority)) != 0) {
            DebugLogPair("thread priority refused:", std::strerror(errno));
        }
    }

    int32_t applied = ThreadPriorityNormal;
    const int policy = sched_getscheduler(tid);
    if (policy == SCHED_FIFO || policy == SCHED_RR) {
        applied = ThreadPriorityTimeCritical;
    } else {
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        if (errno == 0) {
            applied = PriorityForNice(nice);
        }
    }
    DebugLogInt("thread priority=", applied);
}

uint32_t ThreadProc(void* parameter) {
    DebugLog("Entered ThreadProc");
    if (parameter == nullptr) {
        return 0;
    }
    return static_cast<uint32_t>(static_cast<ISonvexChannel*>(parameter)->Run());
}
