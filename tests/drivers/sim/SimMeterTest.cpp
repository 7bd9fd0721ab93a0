// The simulated meter through real sockets: its SCPI, one route for all, errors per client,
// its noise, and the driver library serving it when the environment asks.

#include "drivers/sim/SimMeter.h"
#include "drivers/sim/Converter.h"
#include "drivers/sim/SimBoard.h"
#include "drivers/sim/sim_abi.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

namespace tq::sim {
namespace {

// A blocking client with bounded waits: a missing answer fails the test instead of hanging.
class Client {
public:
    explicit Client(uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return connected_; }
    void send(const std::string& line) {
        const std::string data = line + "\n";
        ASSERT_EQ(::send(fd_, data.data(), data.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(data.size()));
    }
    // The next answer line, or nullopt after 5 s without one.
    std::optional<std::string> line() {
        for (;;) {
            if (const auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string answer = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return answer;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1) return std::nullopt;
            char chunk[512];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    std::string ask(const std::string& query) {
        send(query);
        return line().value_or("<no answer>");
    }

private:
    int fd_;
    bool connected_ = false;
    std::string buffer_;
};

constexpr std::array<double, 4> kOutputs{+1.25, -2.5, 3.0517578125e-4, 9.75};

SimMeter::Source fixedOutputs() {
    return [](int channel) { return kOutputs.at(static_cast<std::size_t>(channel)); };
}

std::string reading(double volts) {
    char text[40];
    std::snprintf(text, sizeof text, "%+.16E", volts);
    return text;
}

TEST(SimMeter, AcceptsOnlyLoopbackAddresses) {
    const struct {
        const char* text;
        const char* address; // nullptr: refused
        uint16_t port;
    } cases[] = {
        {"127.0.0.1:5555", "127.0.0.1", 5555},
        {"127.1.2.3:0", "127.1.2.3", 0},
        {"localhost:5025", "127.0.0.1", 5025},
        {"[::1]:5025", "::1", 5025},
        {"10.0.0.1:5025", nullptr, 0},
        {"0.0.0.0:5025", nullptr, 0},
        {"192.168.1.20:5025", nullptr, 0},
        {"meter.lab:5025", nullptr, 0},
        {"[::]:5025", nullptr, 0},
        {"127.0.0.1", nullptr, 0},
        {"127.0.0.1:65536", nullptr, 0},
        {"127.0.0.1:50x", nullptr, 0},
        {":5025", nullptr, 0},
        {"127.0.0.1:", nullptr, 0},
    };
    for (const auto& c : cases) {
        const auto endpoint = parseLoopbackEndpoint(c.text);
        ASSERT_EQ(endpoint.has_value(), c.address != nullptr) << c.text;
        if (endpoint) {
            EXPECT_EQ(endpoint->address, c.address) << c.text;
            EXPECT_EQ(endpoint->port, c.port) << c.text;
        }
    }
}

// Two clients at once, as of one instrument: the route one client closes is the other's too;
// each has its own errors.
TEST(SimMeter, SharesItsRouteAndKeepsEachClientsErrors) {
    SimMeter meter({"127.0.0.1", 0}, 0.0, fixedOutputs());
    ASSERT_TRUE(meter.listening()) << meter.error();
    Client a(meter.port());
    Client b(meter.port());
    ASSERT_TRUE(a.connected() && b.connected());

    const struct {
        Client& client;
        std::string send;
        std::optional<std::string> answer; // nullopt: a command, no answer
    } steps[] = {
        {a, "*IDN?", "TQ Simulated,TQ5802-DMM,0,1.0"},
        {a, "MEAS:VOLT:DC?", reading(kOutputs[0])},
        {a, "ROUT:CLOS (@3)", std::nullopt},
        {b, "ROUT:CLOS (@4)", std::nullopt},
        {a, "CONF:VOLT:DC", std::nullopt},
        {a, "READ?", reading(kOutputs[3])},
        {b, ":measure:voltage?", reading(kOutputs[3])},
        {b, "SENS:VOLT:DC:NPLC 1;VOLT:NPLC?", "+1.0000000000000000E+00"},
        {b, "ROUT:CLOS (@5)", std::nullopt}, // out of range: the route stays
        {b, "MEAS:VOLT:DC? AUTO,DEF", reading(kOutputs[3])},
        {b, "FETCH:VOLTAGE?", std::nullopt},
        {b, "VOLT:DC:NPLC 1000", std::nullopt},
        {b, "*IDN? extra", std::nullopt},
        {b, std::string(5000, 'X'), std::nullopt},
        {a, "SYST:ERR?", "+0,\"No error\""},
        {b, "SYST:ERR?", "-222,\"Data out of range\""},
        {b, "SYST:ERR?", "-113,\"Undefined header\""},
        {b, "SYST:ERR?", "-222,\"Data out of range\""},
        {b, "SYST:ERR?;SYST:ERR?", "-108,\"Parameter not allowed\";-223,\"Too much data\""},
        {b, "SYST:ERR?", "+0,\"No error\""},
        {a, "VOLT:NPLC?;READ?;ROUT:CLOS (@2)", "+1.0000000000000000E+00;" + reading(kOutputs[3])},
        {b, "READ?", reading(kOutputs[1])},
    };
    for (const auto& step : steps) {
        step.client.send(step.send);
        if (step.answer) {
            EXPECT_EQ(step.client.line(), step.answer) << step.send;
        }
    }
}

// Gaussian noise of the asked size from a fixed seed: each client sees the same sequence.
TEST(SimMeter, AddsSeededNoise) {
    constexpr double kNoise = 20e-6;
    SimMeter meter({"127.0.0.1", 0}, kNoise, fixedOutputs());
    ASSERT_TRUE(meter.listening()) << meter.error();
    Client a(meter.port());
    Client b(meter.port());
    double sum = 0;
    double squares = 0;
    constexpr int kReadings = 400;
    for (int i = 0; i < kReadings; ++i) {
        const std::string first = a.ask("MEAS:VOLT:DC?");
        ASSERT_EQ(b.ask("MEAS:VOLT:DC?"), first);
        const double e = std::stod(first) - kOutputs[0];
        sum += e;
        squares += e * e;
    }
    const double mean = sum / kReadings;
    EXPECT_LT(std::abs(mean), 4 * kNoise / std::sqrt(kReadings));
    EXPECT_NEAR(std::sqrt(squares / kReadings - mean * mean), kNoise, 0.15 * kNoise);
}

// TQ5802_SIM_METER makes the loaded library measure its board; unloading stops the meter.
TEST(SimMeter, LibraryServesItsBoardWhileLoaded) {
    ::setenv(kMeterAddressVariable, "127.0.0.1:0", 1);
    ::setenv(kMeterNoiseVariable, "0", 1);
    void* library = ::dlopen(TQ_SIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto entry = [&]<typename Fn>(Fn, const char* name) {
        return reinterpret_cast<Fn>(::dlsym(library, name));
    };
    const auto port = entry(TQSim_MeterPort_fn{}, "TQSim_MeterPort");
    const auto outputVolts = entry(TQSim_OutputVolts_fn{}, "TQSim_OutputVolts");
    const auto nonlinearity = entry(TQSim_Nonlinearity_fn{}, "TQSim_Nonlinearity");
    const auto loadFirmware = entry(LoadFirmWare_fn{}, "LoadFirmWare");
    const auto vendorIo = entry(VendorIORequest_fn{}, "VendorIORequest");
    ASSERT_TRUE(port && outputVolts && nonlinearity && loadFirmware && vendorIo);

    const auto meterPort = static_cast<uint16_t>(port());
    ASSERT_GT(meterPort, 0);
    std::string hex = TQ_SHIPPED_HEX;
    ASSERT_EQ(loadFirmware(reinterpret_cast<uint8_t*>(hex.data())), 1);
    const struct {
        int channel;
        uint16_t code;
    } writes[] = {{1, 0x4000}, {3, 0xFFFF}, {1, 0x3FFF}};
    {
        Client meter(meterPort);
        ASSERT_TRUE(meter.connected());
        for (const auto& w : writes) {
            ASSERT_EQ(vendorIo(kReqWriteAndPulse, kRegData << 3 | w.channel, w.code, 0, 0, nullptr),
                      0);
            meter.send("ROUT:CLOS (@" + std::to_string(w.channel + 1) + ")");
            EXPECT_EQ(meter.ask("MEAS:VOLT:DC?"), reading(outputVolts(w.channel))) << w.code;
        }
    }
    double inl = 0;
    double dnl = 0;
    EXPECT_EQ(nonlinearity(1, 0x4000, &inl, &dnl), 0);
    EXPECT_NEAR(dnl, kChannelNonlinearity[1].carry4000Lsb, 1e-3);
    EXPECT_EQ(inl, Converter::endPointInlLsb(1, 0x4000));
    EXPECT_EQ(nonlinearity(4, 0, &inl, &dnl), -1);
    EXPECT_EQ(nonlinearity(0, 0x10000, &inl, &dnl), -1);

    ASSERT_EQ(::dlclose(library), 0);
    EXPECT_FALSE(Client(meterPort).connected());
}

} // namespace
} // namespace tq::sim
