#include "engine/SonvexMutex.h"

#include <new>

void SonvexMutex::Create() {
    auto* mutex = new (std::nothrow) pthread_mutex_t;
    if (mutex == nullptr) {
        handle = nullptr;
        return;
    }
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    if (pthread_mutex_init(mutex, &attr) != 0) {
        delete mutex;
        mutex = nullptr;
    }
    pthread_mutexattr_destroy(&attr);
    handle = mutex;
}

void SonvexMutex::Close() {
    if (handle != nullptr) {
        pthread_mutex_destroy(handle);
        delete handle;
        handle = nullptr;
    }
}

void SonvexMutex::Lock() {
    if (handle != nullptr) {
        pthread_mutex_lock(handle);
    }
}

void SonvexMutex::Unlock() {
    if (handle != nullptr) {
        pthread_mutex_unlock(handle);
    }
}
