#pragma once
// One open board and every operation a bench needs on it, in the converter's own units:
// data codes, volts in each channel's own range, ranges, fine gain and offset trims, raw
// registers, the control lines, the function register and the die temperature. Values are
// checked before anything is sent; a refused value or a failed transfer comes back as an
// Error naming what went wrong. Front ends (the window, tq5802ctl, the SCPI server) call
// this; none of them converts a value itself.
//
// The library keeps a shadow of what it cannot read back (the control lines) and of what it
// needs for every volts conversion (each channel's range); both are set when the board is
// opened and follow every write made through it.

#include "bench/Channel.h"
#include "bench/Model.h"
#include "bench/Outcome.h"
#include "board/BoardLink.h"
#include "board/DriverApi.h"
#include "board/SharedState.h"
#include "device/Temperature.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tq::bench {

struct OpenOptions {
    Model model = Model::TQ5802R;
    QString driverPath;   // absolute path of the driver library to load
    QString firmwarePath; // the image handed to the driver's download
    int board = 0;        // position in the list of boards found (newer back end)
};

// The board's control lines and the program's pulse-after-write choice.
struct ControlLines {
    bool ldac = true;     // LDAC high (held low, DAC registers follow the input registers)
    bool clr = true;      // CLR high (low clears the outputs)
    bool binary = true;   // binary coding; false = two's complement
    bool rstin = true;    // RSTIN high
    bool driveD0 = false; // level the board drives on D0 while it drives the pin
    bool driveD1 = false;
    bool pulseAfterWrite = true; // data, gain and offset writes pulse LDAC (request 0xD9)
    bool operator==(const ControlLines&) const = default;
};

// The function register's control word, bit by bit.
struct FunctionFlags {
    bool localGndOffset = false; // local ground offset adjust enabled
    bool d1Output = false;       // the converter drives D1
    bool d1High = false;
    bool d0Output = false;
    bool d0High = false;
    bool sdoEnabled = true; // serial data output on (registers can be read back)
    bool operator==(const FunctionFlags&) const = default;

    int32_t word() const;                        // bits 5..0
    static FunctionFlags fromWord(int32_t word); // bits above 5 ignored
};

// One channel's registers as codes.
struct ChannelRegisters {
    int32_t data = 0;   // 0..65535
    int32_t coarse = 0; // range code 0..2
    int32_t fine = 0;   // 6-bit two's complement, 0..63
    int32_t offset = 0; // 8-bit two's complement, 0..255
    bool operator==(const ChannelRegisters&) const = default;
};

struct Temperature {
    int16_t reading = 0; // the board's signed 2-byte reading
    device::DieTemperature value;
};

// The full scales a range can be given as, in volts: 10, 10.2564, 10.5263.
// Returns the coarse gain code of a full scale within 0.0001 V of one of them.
Outcome<int32_t> RangeCodeFromVolts(double fullScale);

class Bench {
public:
    // Loads the driver library by path and starts the board: search, connect and firmware
    // download (or the legacy start), then the board's set-up (see reset()).
    static Outcome<std::unique_ptr<Bench>> open(const OpenOptions& options);
    // Lists the boards the library finds (newer back end; the legacy one finds one board
    // at most and cannot be asked): the list bytes Search_For_Boards returns.
    static Outcome<std::vector<int>> listBoards(const QString& driverPath);

    // Runs on a driver the caller owns (a test double, or a library the caller loaded).
    // start() opens the board.
    Bench(board::DriverApi& driver, Model model);
    // Works through a board layer that is already running (the window's): its transfers
    // reach that layer's observers and its shared state follows every change. The control
    // lines and function flags are taken from the shared state; refreshRanges() reads the
    // channels' ranges.
    Bench(board::BoardLink& declare, board::DriverApi& driver, Model model);
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    Status start(const QString& firmwarePath, int board = 0);
    // The set-up the window's start-up leaves: control lines at their defaults with pulse
    // after write, the function register read and written back with serial data output on
    // (a register that does not answer is taken as 0: both pins inputs), and every
    // channel's range read into the shadow.
    Status reset();

    Model model() const { return model_; }
    // Reads every channel's range into the shadow (serial data output must be on).
    Status refreshRanges();

    // ---- Channels (A..D, or All: one write to every channel) ---------------------------
    Status setCode(Channel channel, int64_t code);
    // Volts within the channel's own range, as the present coding's code. With All and
    // channels of different ranges, each channel gets the code of its own range.
    Status setVolts(Channel channel, double volts);
    Status setRange(Channel channel, int32_t coarseCode);
    Status setFineGain(Channel channel, double lsb); // -32..31, rounded to whole codes
    Status setOffset(Channel channel, double lsb);   // -16..15.875, rounded to eighths
    // Data codes for several channels (A..D, each once) whose outputs change together: every
    // code goes into its input register without the LDAC pulse, and the last write pulses
    // it. With LDAC held high (lines().ldac) no output moves before that pulse. Codes
    // 0..65535; nothing is sent when one is refused.
    struct ChannelCode {
        Channel channel = Channel::A;
        int32_t code = 0;
    };
    Status setCodesTogether(std::span<const ChannelCode> codes);
    // Either trim or both, each checked before either is written.
    Status setTrims(Channel channel, std::optional<double> fineLsb,
                    std::optional<double> offsetLsb);
    // The channel's full scale from the shadow (never another channel's).
    float rangeVolts(Channel channel) const;
    int32_t rangeCode(Channel channel) const;
    // Volts of a data code in a channel's range under the present coding.
    float codeToVolts(Channel channel, int32_t code) const;
    // The data code setVolts writes for `volts` on a channel (A..D; All gives A's), after
    // limiting volts to the channel's range.
    int32_t voltsToCode(Channel channel, double volts) const;

    // Reads one register of a single channel (not All); the read needs serial data output.
    Outcome<int32_t> readRegister(int16_t registerCode, Channel channel);
    Outcome<ChannelRegisters> readChannel(Channel channel);
    // One channel's register as read back, limited to its field (data 0..65535, coarse 0..2,
    // fine 0..63, offset 0..255), and the same registers in their own units: volts in the
    // channel's range under the present coding, and trims in LSB.
    Outcome<int32_t> readField(int16_t registerCode, Channel channel);
    Outcome<float> readVolts(Channel channel);
    Outcome<float> readFineGain(Channel channel);
    Outcome<float> readOffset(Channel channel);

    // False once the driver says the board has gone (unplugged, or no longer running its
    // firmware): after a failed transfer it tells a gone board from one that refused a
    // request. True when the driver library cannot tell.
    bool boardPresent();

    // ---- Raw access ------------------------------------------------------------------
    // Register code 0, 2..5; address 0..7 for the function register, 0..4 otherwise;
    // data 0..65535 and within the register's field.
    Status writeRaw(int16_t registerCode, int16_t address, int64_t data);
    Outcome<int32_t> readRaw(int16_t registerCode, int16_t address);

    // ---- Control lines and function register ---------------------------------------
    const ControlLines& lines() const { return lines_; }
    Status setLines(const ControlLines& lines);
    // The flags last written (the shadow).
    const FunctionFlags& function() const { return function_; }
    // Writes the control word; a pin whose direction changes is first let go of by the
    // board (or taken over) with its drive request, as the window does.
    Status setFunction(const FunctionFlags& flags);
    // Reads the control word from the board (needs serial data output on).
    Outcome<FunctionFlags> readFunction();
    Status clear();
    Status load();

    // Refused with MissingError on a board without a temperature readout. Otherwise three
    // conversions of the TEMP pin with serial data output off, the last one counted;
    // the function register is written back as it was afterwards, so reads keep working.
    Outcome<Temperature> temperature();

    // Every transfer, for traffic views and logs.
    board::BoardLink& declare() { return *declare_; }
    const SharedState& state() const { return *state_; }

private:
    // Every operation starts with begin() and ends with finish(): the first transfer that
    // failed in between becomes the operation's error.
    void begin();
    Status finish();
    void writeLines();
    void writeFunctionWord(int32_t word);

    std::unique_ptr<board::DriverApi> ownedDriver_; // when open() loaded the library
    std::unique_ptr<SharedState> ownedState_;       // unless working through another's
    std::unique_ptr<board::BoardLink> ownedDeclare_;
    board::DriverApi* driver_;
    Model model_;
    SharedState* state_;
    board::BoardLink* declare_;
    int observer_ = 0;
    ControlLines lines_;
    FunctionFlags function_;
    std::array<int32_t, 4> ranges_{};       // coarse gain codes of A..D
    std::optional<board::Transfer> failed_; // first failed transfer of the operation
    QString loadError_;
};

} // namespace tq::bench
