#pragma once
// What a bench operation gives back: its value, or an Error saying what went wrong. Nothing
// in the bench library throws to its callers, and no failure is silent.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace tq::bench {

struct Error {
    enum class Kind {
        Usage,      // a value or name was refused before anything was sent
        NoBoard,    // no board found, or its firmware could not be started
        DriverLoad, // the driver library or one of its entries could not be loaded
        Transfer,   // a transfer with the board failed on the way
        Meter,      // the meter could not be reached, did not answer or answered nonsense
        Cancelled,  // the user stopped the operation
        Missing,    // the board has no such feature (see Model.h)
    };
    Kind kind = Kind::Usage;
    std::string message;
    int request = -1; // vendor request of a failed transfer, else -1
    int status = 0;   // the driver's status of that transfer, or of the failed start
};

template <class T = std::monostate> class Outcome {
public:
    Outcome() requires std::is_same_v<T, std::monostate> : state_(T{}) {}
    Outcome(T value) : state_(std::move(value)) {}
    Outcome(Error error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    // Precondition: ok().
    const T& value() const { return *std::get_if<0>(&state_); }
    T& value() { return *std::get_if<0>(&state_); }
    const T& operator*() const { return value(); }
    const T* operator->() const { return &value(); }
    // Precondition: !ok().
    const Error& error() const { return *std::get_if<1>(&state_); }

private:
    std::variant<T, Error> state_;
};

using Status = Outcome<>;

inline Error UsageError(std::string message) {
    return Error{Error::Kind::Usage, std::move(message)};
}

} // namespace tq::bench
