#pragma once
// A value shared between the main thread and the audio thread without a lock.
//
// Every store and load is a single relaxed atomic access: the audio thread sees a change at its
// next block, and ThreadSanitizer knows the sharing is intended. Read-modify-write forms are
// plain load + store, which is right for fields with one writer at a time (the channel's lock or
// the owning thread orders the writers); counters that two threads change use std::atomic.

#include <atomic>

template <typename T>
class Relaxed {
public:
    Relaxed(T value = T()) : value_(value) {}
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;

    operator T() const { return value_.load(std::memory_order_relaxed); }
    T load() const { return value_.load(std::memory_order_relaxed); }

    Relaxed& operator=(T value) {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }
    Relaxed& operator+=(T delta) { return *this = load() + delta; }
    Relaxed& operator-=(T delta) { return *this = load() - delta; }

private:
    std::atomic<T> value_;
};
