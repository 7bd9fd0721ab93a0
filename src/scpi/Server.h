#pragma once
// The board as a networked SCPI instrument: a TCP server (the LXI raw socket, port 5025 by
// default) that carries out each client's newline-terminated messages on the one board,
// one command at a time in the order they arrive.

#include "bench/Bench.h"
#include "scpi/Commands.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace tq::scpi {

struct Subnet {
    QHostAddress address;
    int prefix = 0;
};

struct ServeOptions {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 5025;       // 0: any free port (the one chosen is printed)
    std::vector<Subnet> allow; // empty: every client address
    Identity identity;
    qint64 maxMessage = 64 * 1024;  // longer messages are refused with -363
    qint64 maxOutput = 1024 * 1024; // unsent answers beyond this drop the client
};

// "ADDR:PORT", "[v6addr]:PORT", or "ADDR" alone (port 5025); nullopt when malformed.
std::optional<std::pair<QHostAddress, quint16>> ParseListen(const QString& text);
// "ADDR/PREFIX" or a single address: IPv4 in dotted decimal without leading zeros, or IPv6
// (a v4-mapped one is taken as the IPv4 entry it stands for). Refused, saying the forms
// expected, when malformed or when the prefix is 0.
bench::Outcome<Subnet> ParseAllow(const QString& text);
// Whether a client at `peer` may connect: `allow` is empty, or an entry holds it (a
// v4-mapped client is matched as IPv4).
bool Admits(std::span<const Subnet> allow, const QHostAddress& peer);

class ScpiServer : public QObject {
    Q_OBJECT
public:
    ScpiServer(bench::Bench& bench, ServeOptions options, QObject* parent = nullptr);
    ~ScpiServer() override;

    // Starts listening; false with the reason in `error`.
    bool listen(QString* error = nullptr);
    QHostAddress address() const;
    quint16 port() const;
    int clientCount() const { return static_cast<int>(clients_.size()); }

private:
    struct Client {
        QTcpSocket* socket = nullptr;
        QByteArray pending;   // message received so far
        bool overrun = false; // skipping the rest of a message that was too long
        Session session;
    };
    void accept();
    void receive(Client& client);
    void drop(QTcpSocket* socket, const char* why);

    bench::Bench& bench_;
    ServeOptions options_;
    Interpreter interpreter_;
    QTcpServer* server_;
    std::map<QTcpSocket*, std::unique_ptr<Client>> clients_;
};

// Opens the server on `bench`, prints "listening on ADDR:PORT" on standard output and runs
// the Qt event loop until SIGINT or SIGTERM. Uses the running QCoreApplication, or makes
// one. Returns 0, or 1 when the server cannot start: the reason goes to `error`, or to
// standard error without it.
int Serve(bench::Bench& bench, const ServeOptions& options, QString* error = nullptr);

} // namespace tq::scpi
