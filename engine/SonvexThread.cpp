#include "engine/SonvexThread.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/DebugLog.h"
#include "engine/ISonvexChannel.h"

namespace {

// Shared by Start and the new thread: the thread publishes its id, then waits at the gate until
// Start has stored everything, so the body never sees the object half written. The new thread
// frees it once it passes the gate.
struct StartBlock {
    ISonvexChannel* channel = nullptr;
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
    bool haveId = false;
    bool open = false;
    uint32_t id = 0;
};

void* Trampoline(void* arg) {
    auto* block = static_cast<StartBlock*>(arg);
    pthread_mutex_lock(&block->lock);
    block->id = static_cast<uint32_t>(syscall(SYS_gettid));
    block->haveId = true;
    pthread_cond_broadcast(&block->changed);
    while (!block->open) {
        pthread_cond_wait(&block->changed, &block->lock);
    }
    pthread_mutex_unlock(&block->lock);
    ISonvexChannel* const channel = block->channel;
    pthread_cond_destroy(&block->changed);
    pthread_mutex_destroy(&block->lock);
    delete block;
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
    auto* block = new (std::nothrow) StartBlock;
    pthread_t thread;
    if (block != nullptr) {
        block->channel = channel;
    }
    if (block == nullptr || pthread_create(&thread, nullptr, &Trampoline, block) != 0) {
        delete block;
        hasHandle = false;
        id = 0;
        running = 1;
        return;
    }
    pthread_mutex_lock(&block->lock);
    while (!block->haveId) {
        pthread_cond_wait(&block->changed, &block->lock);
    }
    handle = thread;
    hasHandle = true;
    id = block->id;
    running = 1;
    block->open = true;
    pthread_cond_broadcast(&block->changed);
    // The new thread owns the block from here on.
    pthread_mutex_unlock(&block->lock);
}

uint32_t SonvexThread::Join() {
    uint32_t code = 0;
    if (hasHandle && running != 0) {
        void* result = nullptr;
        if (pthread_join(handle, &result) == 0) {
            code = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(result));
        }
        // A joined thread is gone; its handle must not be joined again, and its id may already
        // name some other thread.
        hasHandle = false;
        id = 0;
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
    if (tid == 0) {
        // No thread behind this object; to the system calls 0 would mean the caller.
        DebugLogPair("thread priority refused:", std::strerror(ESRCH));
        DebugLogInt("thread priority=", ThreadPriorityErrorReturn);
        return;
    }
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
