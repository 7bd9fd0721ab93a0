#pragma once
// Outcome of reading a text or narrowing a number: a value, or the kind of error that
// stopped it. Callers act on the error (empty the entry, refocus, show a message);
// nothing in the device model aborts.

#include <utility>
#include <variant>

namespace tq::device {

enum class ConversionError {
    Conversion, // the text is not a number of the kind asked for
    Overflow,   // the number is beyond the range of the integer or float it goes into
};

template <class T> class Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(ConversionError error) : state_(error) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    // Precondition: ok().
    const T& value() const { return *std::get_if<0>(&state_); }
    const T& operator*() const { return value(); }
    const T* operator->() const { return &value(); }
    // Precondition: !ok().
    ConversionError error() const { return *std::get_if<1>(&state_); }

private:
    std::variant<T, ConversionError> state_;
};

} // namespace tq::device
