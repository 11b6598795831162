#pragma once
// An ordered list of counted objects, enumerated in the order they were added.

#include <list>

#include "platform/runtime/Object.h"

namespace fw {

template <typename T>
class TList : public Object {
public:
    void AddLast(const Ref<T>& value) { items_.push_back(value); }
    void AddFirst(const Ref<T>& value) { items_.push_front(value); }
    // Removes every entry that holds this object; true when one was there.
    bool Remove(const Ref<T>& value) {
        const size_t before = items_.size();
        items_.remove(value);
        return items_.size() != before;
    }
    size_t Count() const { return items_.size(); }
    void Clear() { items_.clear(); }

    typename std::list<Ref<T>>::const_iterator begin() const { return items_.begin(); }
    typename std::list<Ref<T>>::const_iterator end() const { return items_.end(); }

private:
    std::list<Ref<T>> items_;
};

}  // namespace fw
