#pragma once
// Reference-counted objects and the counted handle that holds them.
//
// An Object lives as long as some Ref holds it. When the last Ref lets go, the object's Delete
// step runs first (a type gives back what it holds there), then the object is destroyed. The
// count is atomic: handles may be dropped on the audio thread as well as the main thread.
// An empty Ref is the "none" object: every type check of it fails and every lookup that finds
// nothing answers it.
//
// A raw pointer becomes a Ref only explicitly (New, or Ref<T>(p)): counts start at 0, so an
// implicit conversion at a by-value Ref parameter would free a new object at the end of the call.

#include <atomic>
#include <cstdint>
#include <utility>

namespace fw {

class Object {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    void Retain() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Drop();
    // While the Delete step runs the count stands far above any real count, so a handle that
    // Delete takes on its own object (a driver leaving a list) comes and goes without starting a
    // second destruction.
    int32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }

protected:
    virtual ~Object() = default;
    // Runs once, when the last reference goes, before the object is destroyed.
    virtual void Delete() {}

private:
    static constexpr int32_t kDying = 1 << 30;
    std::atomic<int32_t> refs_{0};
};

template <typename T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    explicit Ref(T* object) : object_(object) { RetainIt(); }
    Ref(const Ref& other) : object_(other.object_) { RetainIt(); }
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    template <typename U>
    Ref(const Ref<U>& other) : object_(other.Get()) { RetainIt(); }
    ~Ref() { DropIt(); }

    Ref& operator=(Ref other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }

    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    bool IsNone() const { return object_ == nullptr; }

    friend bool operator==(const Ref& a, const Ref& b) { return a.object_ == b.object_; }
    friend bool operator!=(const Ref& a, const Ref& b) { return a.object_ != b.object_; }

private:
    void RetainIt() {
        if (object_ != nullptr) {
            object_->Retain();
        }
    }
    void DropIt() {
        if (object_ != nullptr) {
            object_->Drop();
        }
    }

    T* object_ = nullptr;
};

// Makes a new counted object.
template <typename T, typename... Args>
Ref<T> New(Args&&... args) {
    return Ref<T>(new T(std::forward<Args>(args)...));
}

// The type check: the object as a T, or none when it is none or of another type.
template <typename T, typename U>
Ref<T> Cast(const Ref<U>& object) {
    return Ref<T>(dynamic_cast<T*>(object.Get()));
}

}  // namespace fw
