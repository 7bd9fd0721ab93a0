// Query round trips per second over loopback: SOUR1:VOLT? to the SCPI server on the
// simulated board, against an echo server answering the same line over the same kind of
// socket in the same event loop. The two are interleaved over repetitions; prints each
// side's median rate and the median ratio.

#include "Median.h"
#include "board/DriverLibrary.h"
#include "drivers/sim/sim_abi.h"
#include "scpi/Server.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using tq::test::Median;

namespace {

struct Ports {
    quint16 scpi = 0;
    quint16 echo = 0;
    bool ok = false;
};

// A blocking client socket; closes itself.
class Client {
public:
    explicit Client(quint16 port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;
    bool connected() const { return connected_; }

    // Sends the line and reads up to its answer's newline; false on any failure.
    bool roundTrip(const std::string& line) {
        if (::send(fd_, line.data(), line.size(), 0) != static_cast<ssize_t>(line.size()))
            return false;
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer_.data(), buffer_.size(), 0);
            if (n <= 0) return false;
            if (buffer_[static_cast<std::size_t>(n) - 1] == '\n') return true;
        }
    }

private:
    int fd_;
    bool connected_ = false;
    std::array<char, 4096> buffer_{};
};

double Rate(Client& client, const std::string& line, int count) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        if (!client.roundTrip(line)) return 0;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return count / took.count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::promise<Ports> ready;
    std::promise<QEventLoop*> loopReady;
    // A QThread, so that its sockets have an event dispatcher from the start.
    std::unique_ptr<QThread> serving(QThread::create([&] {
        tq::board::DriverLibrary library(QStringLiteral(TQ_SIM_LIBRARY));
        if (auto reset = reinterpret_cast<TQSim_Reset_fn>(library.resolveOptional("TQSim_Reset")))
            reset();
        tq::bench::Bench bench(library, tq::bench::Model::TQ5802R);
        tq::scpi::ServeOptions options;
        options.port = 0;
        tq::scpi::ScpiServer scpi(bench, options);
        QTcpServer echo;
        QObject::connect(&echo, &QTcpServer::newConnection, [&echo] {
            while (QTcpSocket* s = echo.nextPendingConnection())
                QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->write(s->readAll()); });
        });
        const bool ok = bench.start(QStringLiteral(TQ_BIN_DIR "/TQ5802.hex")).ok() &&
                        scpi.listen() && echo.listen(QHostAddress::LocalHost, 0);
        QEventLoop loop;
        ready.set_value({scpi.port(), echo.serverPort(), ok});
        loopReady.set_value(&loop);
        if (ok) loop.exec();
    }));
    serving->start();
    const Ports ports = ready.get_future().get();
    QEventLoop* loop = loopReady.get_future().get();
    int status = 1;
    if (ports.ok) {
        Client scpi(ports.scpi), echo(ports.echo);
        const std::string query = "SOUR1:VOLT?\n";
        if (scpi.connected() && echo.connected() && scpi.roundTrip(query) &&
            echo.roundTrip(query)) {
            constexpr int kRepetitions = 15, kCount = 2000;
            std::vector<double> scpiRates, echoRates, ratios;
            for (int r = 0; r < kRepetitions; ++r) {
                const double e = Rate(echo, query, kCount);
                const double s = Rate(scpi, query, kCount);
                echoRates.push_back(e);
                scpiRates.push_back(s);
                ratios.push_back(e > 0 ? s / e : 0);
            }
            std::printf("SOUR1:VOLT? round trips: %.0f /s (median of %d x %d)\n", Median(scpiRates),
                        kRepetitions, kCount);
            std::printf("echo round trips:        %.0f /s\n", Median(echoRates));
            std::printf("median ratio SCPI/echo:  %.2f\n", Median(ratios));
            status = 0;
        } else {
            std::fprintf(stderr, "no answer from the servers\n");
        }
    } else {
        std::fprintf(stderr, "the simulated board or a server could not be started\n");
    }
    QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    serving->wait();
    return status;
}
