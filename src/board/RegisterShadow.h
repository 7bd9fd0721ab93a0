#pragma once
// The board as this program last set it, learnt from the transfers it sent: each channel's
// input and DAC registers, range, fine gain and offset, the function register, the
// control-line word and the board's drive of D0 and D1. A board that lost its power (a
// pulled cable) is brought back to this state by Restore once its firmware runs again.
//
// Writes count whether or not their transfer succeeded: the window shows what the program
// last wrote, and that is what a restored board must hold. Values the program never wrote
// (nor, for the function register, read back) stay unknown and are not restored: a board
// that comes back powers up with them at their defaults.

#include "board/BoardLink.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace tq::board {

class RegisterShadow {
public:
    struct Channel {
        std::optional<uint16_t> input; // the data (input) register
        std::optional<uint16_t> dac;   // what the output shows: input as of the last load
        std::optional<uint16_t> coarse, fine, offset; // as written (the converter masks them)
        bool operator==(const Channel&) const = default;
    };
    struct ControlLines {
        int32_t value = 0; // request 0xDE's value and index
        int32_t index = 0;
        bool operator==(const ControlLines&) const = default;
    };
    struct State {
        std::array<Channel, 4> channels{};
        std::optional<uint16_t> function; // the control word as written or read back
        std::optional<ControlLines> lines;
        std::array<std::optional<int32_t>, 2> drive{}; // D0, D1: drive request's value
        bool operator==(const State&) const = default;
    };

    RegisterShadow();

    // Follows every transfer of `declare` from now on. The shadow may be destroyed before
    // `declare`: it then simply stops following.
    void follow(BoardLink& declare);
    // Takes one transfer into account (what follow() does for each).
    void observe(const Transfer& t);

    const State& state() const { return *state_; }
    // Takes `s` as what the board holds (an empty State: nothing known, as for a board that
    // has just powered up afresh).
    void assume(State s) { *state_ = std::move(s); }

private:
    static void apply(State& s, const Transfer& t);

    std::shared_ptr<State> state_;
};

// Writes `state` to a board that has just powered up and started its firmware, in an order
// that leaves its input and DAC registers as they were (what `state` does not know stays as
// the board powered up): lines up with LDAC, CLR and RSTIN high, the function
// register, each channel's range and trims, the DAC values loaded, the input values, the
// pin drives, then the control lines as they were. Stops at the first failed transfer and
// returns false; every transfer goes through `declare` (observers see them all).
bool Restore(BoardLink& declare, const RegisterShadow::State& state);

} // namespace tq::board
