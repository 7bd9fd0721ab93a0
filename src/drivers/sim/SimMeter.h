#pragma once
// A simulated bench voltmeter: a SCPI DMM on a loopback TCP port that measures the simulated
// board's outputs, so calibration and sweeps run without a bench. Newline-terminated SCPI:
// *IDN?, *RST, *CLS, MEASure:VOLTage[:DC]?, CONFigure:VOLTage[:DC], READ?,
// [SENSe:]VOLTage[:DC]:NPLCycles n|?, ROUTe:CLOSe (@1)..(@4) (DAC A..D), SYSTem:ERRor?.
// Like one instrument with a scanner, its route (channel 1 at first) and NPLC are shared by
// every client: a script that routes it moves it for the program too. Every client has its
// own error queue and noise generator, seeded alike. Plain C++ on POSIX sockets; the server
// runs on its own thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tq::sim {

// The environment variables that switch the meter on and set its noise.
inline constexpr const char* kMeterAddressVariable = "TQ5802_SIM_METER";
inline constexpr const char* kMeterNoiseVariable = "TQ5802_SIM_METER_NOISE";
inline constexpr double kDefaultMeterNoiseVolts = 20e-6;

struct MeterEndpoint {
    std::string address; // numeric: 127.x.y.z or ::1
    uint16_t port = 0;   // 0 = any free port
};

// "ADDR:PORT" with ADDR in 127.0.0.0/8, "localhost" or "[::1]"; nullopt for anything else
// (other hosts included: the meter never listens beyond this machine).
std::optional<MeterEndpoint> parseLoopbackEndpoint(std::string_view text);

class SimMeter {
public:
    // Volts at output 0..3 (DAC A..D); called on the meter's thread, so it must do its own
    // locking.
    using Source = std::function<double(int channel)>;

    // Listens and serves at once; on failure listening() is false and error() says why.
    SimMeter(const MeterEndpoint& endpoint, double noiseVolts, Source source);
    // Stops the thread and closes every connection.
    ~SimMeter();
    SimMeter(const SimMeter&) = delete;
    SimMeter& operator=(const SimMeter&) = delete;

    bool listening() const;
    uint16_t port() const; // the bound port, also when 0 was asked for
    const std::string& error() const;

    // nullptr when TQ5802_SIM_METER is unset or empty. A bad address or noise, or a port
    // that cannot be bound, gives nullptr and a message for the user.
    static std::unique_ptr<SimMeter> fromEnvironment(Source source, std::string& message);
    // On a free port of 127.0.0.1, with the noise of TQ5802_SIM_METER_NOISE (or the
    // default); nullptr and a message when the noise is bad or nothing can be bound.
    static std::unique_ptr<SimMeter> onFreePort(Source source, std::string& message);

private:
    struct Server;
    std::unique_ptr<Server> server_;
};

} // namespace tq::sim
