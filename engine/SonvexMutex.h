#pragma once
// A re-entrant lock over an operating-system mutex: the thread that holds it may take it again
// and releases it once per take. Creation failure leaves a null handle, on which every
// operation quietly does nothing.

#include <pthread.h>

struct SonvexMutex {
    pthread_mutex_t* handle = nullptr;

    void Create();
    void Close();
    void Lock();
    void Unlock();
};

// Holds a SonvexMutex for one scope.
class SonvexLockGuard {
public:
    explicit SonvexLockGuard(SonvexMutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~SonvexLockGuard() { mutex_.Unlock(); }
    SonvexLockGuard(const SonvexLockGuard&) = delete;
    SonvexLockGuard& operator=(const SonvexLockGuard&) = delete;

private:
    SonvexMutex& mutex_;
};
