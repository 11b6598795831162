#pragma once
// A map from keys to counted objects: inserting an existing key replaces its value, and a key
// that is not there answers none.

#include <map>

#include "platform/runtime/Object.h"

namespace fw {

template <typename Key, typename T>
class TMap : public Object {
public:
    void Insert(const Key& key, const Ref<T>& value) { items_[key] = value; }

    Ref<T> ValueForKey(const Key& key) const {
        auto found = items_.find(key);
        return found == items_.end() ? Ref<T>() : found->second;
    }

    bool Contains(const Key& key) const { return items_.count(key) != 0; }
    size_t Count() const { return items_.size(); }

    typename std::map<Key, Ref<T>>::const_iterator begin() const { return items_.begin(); }
    typename std::map<Key, Ref<T>>::const_iterator end() const { return items_.end(); }

private:
    std::map<Key, Ref<T>> items_;
};

}  // namespace fw
