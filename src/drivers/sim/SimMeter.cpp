#include "drivers/sim/SimMeter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <span>
#include <thread>
#include <utility>
#include <vector>

namespace tq::sim {

namespace {

constexpr std::size_t kMaxLine = 4096;           // longer lines are refused, not kept
constexpr std::size_t kMaxUnsentBytes = 1 << 20; // a client that stops reading is dropped
constexpr std::size_t kMaxClients = 32;
constexpr std::size_t kErrorQueueDepth = 10;
constexpr uint64_t kNoiseSeed = 5802;
constexpr double kMinNplc = 0.02, kMaxNplc = 100, kDefaultNplc = 10;
constexpr int kChannelCount = 4;
constexpr const char* kIdentity = "TQ Simulated,TQ5802-DMM,0,1.0";

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
};

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

// One node of a SCPI header: "VOLTage" matches VOLT and VOLTAGE in any case, nothing between.
bool nodeMatches(std::string_view token, std::string_view node) {
    const auto shortLength = static_cast<std::size_t>(
        std::ranges::find_if(
            node, [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; }) -
        node.begin());
    return equalsIgnoringCase(token, node) ||
           equalsIgnoringCase(token, node.substr(0, shortLength));
}

struct PatternNode {
    std::string_view name;
    bool optional;
};

// "[SENSe:]VOLTage[:DC]:NPLCycles": the nodes in brackets may be left out.
std::vector<PatternNode> parsePattern(std::string_view pattern) {
    std::vector<PatternNode> nodes;
    bool optional = false;
    std::size_t start = std::string_view::npos;
    bool startOptional = false;
    for (std::size_t i = 0; i <= pattern.size(); ++i) {
        const char c = i < pattern.size() ? pattern[i] : ':';
        if (c == '[' || c == ']' || c == ':') {
            if (start != std::string_view::npos)
                nodes.push_back({pattern.substr(start, i - start), startOptional});
            start = std::string_view::npos;
            if (c != ':') optional = c == '[';
        } else if (start == std::string_view::npos) {
            start = i;
            startOptional = optional;
        }
    }
    return nodes;
}

bool matchNodes(std::span<const std::string_view> tokens, std::span<const PatternNode> nodes) {
    if (nodes.empty()) return tokens.empty();
    if (nodes[0].optional && matchNodes(tokens, nodes.subspan(1))) return true;
    return !tokens.empty() && nodeMatches(tokens[0], nodes[0].name) &&
           matchNodes(tokens.subspan(1), nodes.subspan(1));
}

std::optional<double> parseNumber(std::string_view text) {
    text = trim(text);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// What the one instrument is set to, whoever set it.
struct Instrument {
    int route = 1;
    double nplc = kDefaultNplc;
};

// The SCPI side of one client: its error queue and noise, on the shared instrument.
class Session {
public:
    Session(double noiseVolts, Instrument& instrument)
        : noise_(noiseVolts), rng_(kNoiseSeed), instrument_(&instrument) {}

    // One line from the client; the answer line (queries separated by ';'), or nullopt when
    // the line asked nothing.
    std::optional<std::string> handle(std::string_view line, const SimMeter::Source& source) {
        std::optional<std::string> answer;
        while (!line.empty()) {
            const std::size_t end = std::min(line.find(';'), line.size());
            if (auto reply = unit(trim(line.substr(0, end)), source)) {
                answer = answer ? *answer + ";" + *reply : *reply;
            }
            line.remove_prefix(std::min(end + 1, line.size()));
        }
        return answer;
    }

    void error(int code, std::string_view text) {
        if (errors_.size() < kErrorQueueDepth) {
            errors_.emplace_back(code, text);
        } else {
            errors_.back() = {-350, "Queue overflow"};
        }
    }

private:
    std::optional<std::string> unit(std::string_view unit, const SimMeter::Source& source) {
        if (unit.empty()) return std::nullopt;
        const auto split =
            static_cast<std::size_t>(std::ranges::find_if(unit, isSpace) - unit.begin());
        std::string_view header = unit.substr(0, split);
        const std::string_view params = trim(unit.substr(split));
        const bool query = header.ends_with('?');
        if (query) header.remove_suffix(1);
        if (header.starts_with(':')) header.remove_prefix(1);
        std::vector<std::string_view> tokens;
        for (std::size_t start = 0;;) {
            const std::size_t colon = std::min(header.find(':', start), header.size());
            tokens.push_back(header.substr(start, colon - start));
            if (colon == header.size()) break;
            start = colon + 1;
        }
        const auto is = [&](std::string_view pattern, bool isQuery) {
            const auto nodes = parsePattern(pattern);
            return query == isQuery && matchNodes(tokens, nodes);
        };
        const auto noParameters = [&] {
            if (!params.empty()) error(-108, "Parameter not allowed");
            return params.empty();
        };

        if (is("*IDN", true)) {
            if (noParameters()) return std::string(kIdentity);
        } else if (is("*RST", false)) {
            if (noParameters()) *instrument_ = Instrument{};
        } else if (is("*CLS", false)) {
            if (noParameters()) errors_.clear();
        } else if (is("*OPC", true)) {
            if (noParameters()) return std::string("1");
        } else if (is("MEASure:VOLTage[:DC]", true) || is("READ", true)) {
            // Range and resolution are accepted and ignored: the model has no range to pick.
            return reading(source);
        } else if (is("CONFigure:VOLTage[:DC]", false)) {
            // Nothing to do: DC volts is this meter's only function.
        } else if (is("[SENSe:]VOLTage[:DC]:NPLCycles", false)) {
            setNplc(params);
        } else if (is("[SENSe:]VOLTage[:DC]:NPLCycles", true)) {
            if (noParameters()) return number(instrument_->nplc);
        } else if (is("ROUTe:CLOSe", false)) {
            close(params);
        } else if (is("SYSTem:ERRor[:NEXT]", true)) {
            if (noParameters()) return nextError();
        } else {
            error(-113, "Undefined header");
        }
        return std::nullopt;
    }

    static std::string number(double value) {
        char text[40];
        std::snprintf(text, sizeof text, "%+.16E", value); // exact: 17 significant digits
        return text;
    }

    std::string reading(const SimMeter::Source& source) {
        double volts = source(instrument_->route - 1);
        if (noise_ > 0) volts += noise_ * gauss_(rng_);
        return number(volts);
    }

    void setNplc(std::string_view params) {
        if (params.empty()) return error(-109, "Missing parameter");
        std::optional<double> value;
        if (equalsIgnoringCase(params, "MIN") || equalsIgnoringCase(params, "MINIMUM")) {
            value = kMinNplc;
        } else if (equalsIgnoringCase(params, "MAX") || equalsIgnoringCase(params, "MAXIMUM")) {
            value = kMaxNplc;
        } else if (equalsIgnoringCase(params, "DEF") || equalsIgnoringCase(params, "DEFAULT")) {
            value = kDefaultNplc;
        } else {
            value = parseNumber(params);
        }
        if (!value) return error(-224, "Illegal parameter value");
        if (*value < kMinNplc || *value > kMaxNplc) return error(-222, "Data out of range");
        instrument_->nplc = *value; // a real meter would average longer; the model has no hum
    }

    // "(@n)": this meter's scanner closes one of its four channels at a time.
    void close(std::string_view params) {
        if (params.empty()) return error(-109, "Missing parameter");
        if (!params.starts_with("(@") || !params.ends_with(')')) {
            return error(-224, "Illegal parameter value");
        }
        const auto list = trim(params.substr(2, params.size() - 3));
        int channel = 0;
        const auto [end, ec] = std::from_chars(list.data(), list.data() + list.size(), channel);
        if (ec != std::errc() || end != list.data() + list.size()) {
            return error(-224, "Illegal parameter value");
        }
        if (channel < 1 || channel > kChannelCount) return error(-222, "Data out of range");
        instrument_->route = channel;
    }

    std::string nextError() {
        if (errors_.empty()) return "+0,\"No error\"";
        auto [code, text] = errors_.front();
        errors_.pop_front();
        return std::to_string(code) + ",\"" + text + "\"";
    }

    std::deque<std::pair<int, std::string>> errors_;
    double noise_;
    std::mt19937_64 rng_;
    std::normal_distribution<double> gauss_;
    Instrument* instrument_; // the server's, which outlives every session
};

struct Client {
    Fd fd;
    Session session;
    std::string in;
    std::string out;
    bool discarding = false; // inside a line that was too long
};

} // namespace

std::optional<MeterEndpoint> parseLoopbackEndpoint(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const std::string_view portText = text.substr(colon + 1);
    unsigned port = 0;
    const auto [end, ec] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || ec != std::errc() || end != portText.data() + portText.size() ||
        port > 65535) {
        return std::nullopt;
    }
    MeterEndpoint endpoint{std::string(host), static_cast<uint16_t>(port)};
    if (host == "localhost") {
        endpoint.address = "127.0.0.1";
    } else if (host.starts_with('[') && host.ends_with(']')) {
        endpoint.address = std::string(host.substr(1, host.size() - 2));
        in6_addr a6{};
        if (inet_pton(AF_INET6, endpoint.address.c_str(), &a6) != 1 || !IN6_IS_ADDR_LOOPBACK(&a6)) {
            return std::nullopt;
        }
    } else {
        in_addr a4{};
        if (inet_pton(AF_INET, endpoint.address.c_str(), &a4) != 1 ||
            (ntohl(a4.s_addr) >> 24) != 127) {
            return std::nullopt;
        }
    }
    return endpoint;
}

struct SimMeter::Server {
    Source source;
    double noise = 0;
    Instrument instrument;
    Fd listener;
    Fd wakeRead, wakeWrite;
    uint16_t port = 0;
    std::string error;
    std::thread thread;

    bool listen(const MeterEndpoint& endpoint);
    void run();
    void serve(Client& client, short events, bool& alive);
};

bool SimMeter::Server::listen(const MeterEndpoint& endpoint) {
    const auto fail = [&](const char* what) {
        error = std::string(what) + " " + endpoint.address + ":" + std::to_string(endpoint.port) +
                ": " + std::strerror(errno);
        return false;
    };
    sockaddr_storage storage{};
    socklen_t length = 0;
    const bool v6 = endpoint.address.find(':') != std::string::npos;
    if (v6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(storage);
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(endpoint.port);
        inet_pton(AF_INET6, endpoint.address.c_str(), &a.sin6_addr);
        length = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(storage);
        a.sin_family = AF_INET;
        a.sin_port = htons(endpoint.port);
        inet_pton(AF_INET, endpoint.address.c_str(), &a.sin_addr);
        length = sizeof a;
    }
    listener = Fd(::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.valid()) return fail("cannot open a socket for");
    const int on = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        return fail("cannot listen on");
    }
    if (::listen(listener.get(), 16) != 0) return fail("cannot listen on");
    socklen_t bound = sizeof storage;
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&storage), &bound);
    port = ntohs(v6 ? reinterpret_cast<sockaddr_in6&>(storage).sin6_port
                    : reinterpret_cast<sockaddr_in&>(storage).sin_port);
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return fail("cannot start the meter at");
    wakeRead = Fd(pipeEnds[0]);
    wakeWrite = Fd(pipeEnds[1]);
    return true;
}

void SimMeter::Server::serve(Client& client, short events, bool& alive) {
    if (events & (POLLIN | POLLHUP | POLLERR)) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(client.fd.get(), buffer, sizeof buffer, 0);
            if (n > 0) {
                client.in.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // On a close, what came before it is still answered; then the client goes.
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) alive = false;
            break;
        }
        std::size_t newline;
        while ((newline = client.in.find('\n')) != std::string::npos) {
            std::string_view line(client.in.data(), newline);
            if (line.ends_with('\r')) line.remove_suffix(1);
            if (line.size() > kMaxLine) {
                if (!client.discarding) client.session.error(-223, "Too much data");
            } else if (!client.discarding) {
                if (auto answer = client.session.handle(line, source)) {
                    client.out += *answer;
                    client.out += '\n';
                }
            }
            client.discarding = false;
            client.in.erase(0, newline + 1);
        }
        if (client.in.size() > kMaxLine) {
            if (!client.discarding) client.session.error(-223, "Too much data");
            client.discarding = true;
            client.in.clear();
        }
    }
    while (!client.out.empty()) {
        const ssize_t n = ::send(client.fd.get(), client.out.data(), client.out.size(),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            client.out.erase(0, static_cast<std::size_t>(n));
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) alive = false;
            break;
        }
    }
    if (client.out.size() > kMaxUnsentBytes) alive = false;
}

void SimMeter::Server::run() {
    std::vector<Client> clients;
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({wakeRead.get(), POLLIN, 0});
        fds.push_back({listener.get(), POLLIN, 0});
        for (const auto& c : clients) {
            fds.push_back(
                {c.fd.get(), static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents != 0) return; // asked to stop
        std::vector<bool> alive(clients.size(), true);
        for (std::size_t i = 0; i < clients.size(); ++i) {
            bool ok = true;
            if (fds[i + 2].revents != 0) serve(clients[i], fds[i + 2].revents, ok);
            alive[i] = ok;
        }
        std::size_t i = 0;
        std::erase_if(clients, [&](const Client&) { return !alive[i++]; });
        if (fds[1].revents & POLLIN) {
            for (;;) {
                Fd fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
                if (!fd.valid()) break;
                // Beyond the limit the connection is closed at once.
                if (clients.size() < kMaxClients)
                    clients.push_back(
                        Client{std::move(fd), Session(noise, instrument), {}, {}, false});
            }
        }
    }
}

SimMeter::SimMeter(const MeterEndpoint& endpoint, double noiseVolts, Source source)
    : server_(std::make_unique<Server>()) {
    server_->source = std::move(source);
    server_->noise = noiseVolts;
    if (server_->listen(endpoint)) {
        server_->thread = std::thread([server = server_.get()] { server->run(); });
    } else {
        server_->listener = Fd();
    }
}

SimMeter::~SimMeter() {
    if (server_->thread.joinable()) {
        const char stop = 1;
        while (::write(server_->wakeWrite.get(), &stop, 1) < 0 && errno == EINTR) {
        }
        server_->thread.join();
    }
}

bool SimMeter::listening() const {
    return server_->thread.joinable();
}

uint16_t SimMeter::port() const {
    return server_->port;
}

const std::string& SimMeter::error() const {
    return server_->error;
}

namespace {

// The noise TQ5802_SIM_METER_NOISE asks for, the default without it; nullopt and a message
// when it is not a voltage.
std::optional<double> noiseFromEnvironment(std::string& message) {
    const char* text = std::getenv(kMeterNoiseVariable);
    if (text == nullptr || *text == '\0') return kDefaultMeterNoiseVolts;
    const auto value = parseNumber(text);
    if (!value || *value < 0) {
        message = std::string(kMeterNoiseVariable) + "='" + text +
                  "' is not a voltage of 0 or more; the simulated meter stays off";
        return std::nullopt;
    }
    return value;
}

std::unique_ptr<SimMeter> started(const MeterEndpoint& endpoint, SimMeter::Source source,
                                  std::string& message) {
    const auto noise = noiseFromEnvironment(message);
    if (!noise) return nullptr;
    auto meter = std::make_unique<SimMeter>(endpoint, *noise, std::move(source));
    if (!meter->listening()) {
        message = "simulated meter: " + meter->error();
        return nullptr;
    }
    return meter;
}

} // namespace

std::unique_ptr<SimMeter> SimMeter::onFreePort(Source source, std::string& message) {
    return started({"127.0.0.1", 0}, std::move(source), message);
}

std::unique_ptr<SimMeter> SimMeter::fromEnvironment(Source source, std::string& message) {
    const char* address = std::getenv(kMeterAddressVariable);
    if (address == nullptr || *address == '\0') return nullptr;
    const auto endpoint = parseLoopbackEndpoint(address);
    if (!endpoint) {
        message = std::string(kMeterAddressVariable) + "='" + address +
                  "' is not a loopback ADDR:PORT (such as 127.0.0.1:5025); the simulated meter "
                  "stays off";
        return nullptr;
    }
    return started(*endpoint, std::move(source), message);
}

} // namespace tq::sim
