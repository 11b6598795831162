#pragma once
// A string as a counted object, for the places that take "a string, a bank, a music or none" in
// one argument and tell them apart by type (Cast).

#include <string>

#include "platform/runtime/Object.h"

namespace fw {

class TString : public Object {
public:
    explicit TString(std::string text) : text_(std::move(text)) {}
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

inline Ref<Object> Str(std::string text) {
    return New<TString>(std::move(text));
}

// The text of a TString, or the empty string for none and for any other object.
inline std::string TextOf(const Ref<Object>& object) {
    Ref<TString> text = Cast<TString>(object);
    return text ? text->Text() : std::string();
}

}  // namespace fw
