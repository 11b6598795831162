#pragma once
// A thread that runs a channel's Run operation, with Windows-style priority values mapped onto
// this system's scheduling settings.

#include <pthread.h>

#include <cstdint>

class ISonvexChannel;

// Windows thread priority values, which callers pass to SetPriority.
enum SonvexThreadPriority : int32_t {
    ThreadPriorityIdle = -15,
    ThreadPriorityLowest = -2,
    ThreadPriorityBelowNormal = -1,
    ThreadPriorityNormal = 0,
    ThreadPriorityAboveNormal = 1,
    ThreadPriorityHighest = 2,
    ThreadPriorityTimeCritical = 15,
    // What reading the priority of a thread that does not exist answers.
    ThreadPriorityErrorReturn = 0x7fffffff,
};

struct SonvexThread {
    pthread_t handle{};
    bool hasHandle = false;
    uint32_t id = 0;        // kernel thread id, set before the thread's body runs; 0 without one
    uint8_t running = 0;    // 1 from Start until Join

    // Runs ThreadProc(channel) on a new thread; the body starts only once this object is set.
    void Start(ISonvexChannel* channel);
    // Waits for the end; answers the exit code (0 when there is none).
    uint32_t Join();
    // Joins first if still running, then gives the handle back.
    void Close();
    // Applies a Windows priority value as the nearest scheduling setting, reads back what the
    // system really applied and logs it as "thread priority=" in the same Windows terms. A
    // refusal (raising priority usually needs privileges) is logged, never fatal. Without a
    // thread (never started, or joined) nothing changes and the error value is logged.
    void SetPriority(int32_t priority);
};

// The thread routine: logs "Entered ThreadProc" and answers the channel's Run, or 0 without one.
uint32_t ThreadProc(void* parameter);
