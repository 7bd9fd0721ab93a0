#pragma once
// The board as a networked SCPI instrument: a TCP server (the LXI raw socket, port 5025 by
// default) that carries out each client's newline-terminated messages on the one board,
// one command at a time in the order they arrive. A long command (CALibration#:AUTO,
// INITiate) runs off the event loop: meanwhile messages that do not touch the board are
// answered at once, the others wait their turn, and the sender's ABORt stops it.

#include "bench/Bench.h"
#include "scpi/Commands.h"
#include "scpi/LongOperation.h"

#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <deque>
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
    qint64 maxMessage = 64 * 1024;   // longer messages are refused with -363
    qint64 maxOutput = 1024 * 1024;  // unsent answers beyond this drop the client
    int maxClients = 32;             // one more is told so and closed
    std::vector<MeterChoice> meters; // what CALibration:METer may select
};

// "ADDR:PORT", "[v6addr]:PORT", or "ADDR" alone (port 5025); when malformed, a usage
// error naming the part that is wrong and what it may be.
bench::Outcome<std::pair<QHostAddress, quint16>> ParseListen(const QString& text);
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
    // Stops the long operation, if one runs, as ABORt would.
    void cancel() { worker_.cancel(); }

private:
    struct Client {
        QTcpSocket* socket = nullptr; // null once the client has gone
        QByteArray pending;           // message received so far
        bool overrun = false;         // skipping the rest of a message that was too long
        int queued = 0;               // its messages waiting in queue_
        Session session;
    };
    using ClientPtr = std::shared_ptr<Client>;
    void accept();
    void admit(QTcpSocket* socket);
    void receive(const ClientPtr& client);
    // A complete message: carried out now, or queued behind the long operation.
    void dispatch(const ClientPtr& client, QByteArray message);
    void carryOut(const ClientPtr& client, const QByteArray& message);
    void longFinished(const LongFinish& finish);
    // False when the client was dropped for not reading its answers.
    bool send(const ClientPtr& client, std::vector<std::string>& answers);
    void drop(QTcpSocket* socket, const char* why);

    bench::Bench& bench_;
    ServeOptions options_;
    Interpreter interpreter_;
    QTcpServer* server_;                              // owns the listening socket
    QSocketNotifier acceptor_{QSocketNotifier::Read}; // connections waiting on it
    QTimer retry_;                                    // accepting again after running out
    bool acceptPaused_ = false;
    std::map<QTcpSocket*, ClientPtr> clients_;
    // While a long operation runs: whose message waits on it, that message, and the
    // messages that wait their turn, in arrival order.
    ClientPtr owner_;
    Execution running_;
    std::deque<std::pair<ClientPtr, QByteArray>> queue_;
    LongOperation worker_; // last: destroyed (stopped and joined) first
};

// Opens the server on `bench`, prints "listening on ADDR:PORT" on standard output and runs
// the Qt event loop until SIGINT or SIGTERM. Uses the running QCoreApplication, or makes
// one. Returns 0, or 1 when the server cannot start: the reason goes to `error`, or to
// standard error without it.
int Serve(bench::Bench& bench, const ServeOptions& options, QString* error = nullptr);

} // namespace tq::scpi
