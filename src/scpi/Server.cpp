#include "scpi/Server.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace tq::scpi {

namespace {

Q_LOGGING_CATEGORY(log_, "tq5802.scpi")

QString Peer(const QTcpSocket* socket) {
    return QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
}

} // namespace

bench::Outcome<std::pair<QHostAddress, quint16>> ParseListen(const QString& text) {
    const auto refuse = [](const QString& why) { return bench::UsageError(why.toStdString()); };
    QString host = text;
    quint16 port = 5025;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    const bool bracketed = text.startsWith(QLatin1Char('['));
    // A colon ends the host unless it belongs to an IPv6 address given without brackets.
    if (colon >= 0 && (bracketed ? text.at(colon - 1) == QLatin1Char(']')
                                 : text.indexOf(QLatin1Char(':')) == colon)) {
        bool ok = false;
        const QString digits = text.mid(colon + 1);
        const uint value = digits.toUInt(&ok);
        if (!ok || value > 65535)
            return refuse(QStringLiteral("the port \"%1\" is not a number from 0 to 65535 (0: any "
                                         "free port)")
                              .arg(digits));
        port = static_cast<quint16>(value);
        host = text.left(colon);
    }
    if (bracketed) {
        if (!host.endsWith(QLatin1Char(']')))
            return refuse(
                QStringLiteral("the IPv6 address \"%1\" lacks its closing ']'").arg(host));
        host = host.mid(1, host.size() - 2);
    }
    QHostAddress address;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return refuse(QStringLiteral("the address \"%1\" is not an IPv4 or IPv6 address (one of "
                                     "this machine's, 0.0.0.0 for all, or localhost)")
                          .arg(host));
    return std::pair{address, port};
}

namespace {

// A decimal number of at most `digits` digits, without leading zeros, up to `max`.
std::optional<int> Decimal(QStringView text, int digits, int max) {
    if (text.isEmpty() || text.size() > digits || (text.size() > 1 && text.front() == u'0'))
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > max) return std::nullopt;
    return value;
}

// Dotted decimal only: inet_aton's octal ("010") and short forms ("127.1") read as addresses
// nobody meant.
std::optional<QHostAddress> DottedQuad(QStringView text) {
    quint32 address = 0;
    int parts = 0;
    for (const QStringView part : text.split(u'.')) {
        const auto byte = Decimal(part, 3, 255);
        if (!byte || ++parts > 4) return std::nullopt;
        address = address << 8 | static_cast<quint32>(*byte);
    }
    if (parts != 4) return std::nullopt;
    return QHostAddress(address);
}

} // namespace

bench::Outcome<Subnet> ParseAllow(const QString& text) {
    const auto refuse = [&text] {
        return bench::UsageError(
            QStringLiteral("--allow takes an IPv4 address or network in dotted decimal without "
                           "leading zeros (192.168.1.20, 192.168.1.0/24) or an IPv6 one "
                           "(fd00::/8), not \"%1\"")
                .arg(text)
                .toStdString());
    };
    const qsizetype slash = text.indexOf(u'/');
    const QStringView host = QStringView(text).left(slash < 0 ? text.size() : slash);
    Subnet subnet;
    if (host.contains(u':')) {
        if (!subnet.address.setAddress(host.toString()) ||
            subnet.address.protocol() != QAbstractSocket::IPv6Protocol)
            return refuse();
        subnet.prefix = 128;
    } else {
        const auto v4 = DottedQuad(host);
        if (!v4) return refuse();
        subnet.address = *v4;
        subnet.prefix = 32;
    }
    if (slash >= 0) {
        const auto prefix = Decimal(QStringView(text).mid(slash + 1), 3, subnet.prefix);
        if (!prefix) return refuse();
        subnet.prefix = *prefix;
    }
    // Clients are matched as IPv4 when they are v4-mapped, so such an entry is one too.
    bool mapped = false;
    const quint32 v4 = subnet.address.toIPv4Address(&mapped);
    if (mapped && subnet.address.protocol() == QAbstractSocket::IPv6Protocol) {
        subnet.address = QHostAddress(v4);
        subnet.prefix = std::max(subnet.prefix - 96, 0);
    }
    if (subnet.prefix == 0)
        return bench::UsageError(
            QStringLiteral("--allow %1 would admit every address: leave --allow out to serve "
                           "every client the listening address reaches")
                .arg(text)
                .toStdString());
    return subnet;
}

bool Admits(std::span<const Subnet> allow, const QHostAddress& peer) {
    if (allow.empty()) return true;
    // A v4 client on a dual-stack socket arrives as ::ffff:a.b.c.d.
    bool v4 = false;
    const quint32 ip4 = peer.toIPv4Address(&v4);
    const QHostAddress plain = v4 ? QHostAddress(ip4) : peer;
    return std::ranges::any_of(
        allow, [&](const Subnet& s) { return plain.isInSubnet(s.address, s.prefix); });
}

ScpiServer::ScpiServer(bench::Bench& bench, ServeOptions options, QObject* parent)
    : QObject(parent), bench_(bench), options_(std::move(options)),
      interpreter_(bench, options_.identity, options_.meters), server_(new QTcpServer(this)) {
    server_->setListenBacklogSize(128);
    retry_.setSingleShot(true);
    retry_.setInterval(200);
    connect(&retry_, &QTimer::timeout, this, [this] { acceptor_.setEnabled(true); });
    connect(&acceptor_, &QSocketNotifier::activated, this, &ScpiServer::accept);
}

ScpiServer::~ScpiServer() = default;

bool ScpiServer::listen(QString* error) {
    if (!server_->listen(options_.address, options_.port)) {
        if (!error) return false;
        *error = server_->errorString();
        if (server_->serverError() == QAbstractSocket::AddressInUseError)
            *error += QStringLiteral(" (another server has the port: stop it, or choose another "
                                     "port with --listen ADDR:PORT, 0 for any free one)");
        else if (server_->serverError() == QAbstractSocket::SocketAccessError &&
                 options_.port < 1024)
            *error += QStringLiteral(" (ports below 1024 are the system's: choose one above, "
                                     "such as 5025)");
        return false;
    }
    // QTcpServer keeps the socket; accepting is ours. On EMFILE it either stops for good or
    // tries again at once forever, while the kernel goes on completing connections nobody
    // serves.
    server_->pauseAccepting();
    acceptor_.setSocket(server_->socketDescriptor());
    acceptor_.setEnabled(true);
    return true;
}

QHostAddress ScpiServer::address() const {
    return server_->serverAddress();
}

quint16 ScpiServer::port() const {
    return server_->serverPort();
}

void ScpiServer::accept() {
    for (;;) {
        const int fd = ::accept4(static_cast<int>(server_->socketDescriptor()), nullptr, nullptr,
                                 SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            // Out of descriptors or memory: again shortly, or as soon as a client leaves.
            if (!acceptPaused_)
                qCWarning(log_).noquote()
                    << "cannot accept a connection:" << QString::fromLocal8Bit(std::strerror(errno))
                    << "- retrying";
            acceptPaused_ = true;
            acceptor_.setEnabled(false);
            retry_.start();
            return;
        }
        if (acceptPaused_) {
            acceptPaused_ = false;
            qCInfo(log_) << "accepting connections again";
        }
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            qCWarning(log_).noquote() << "cannot take a connection:" << socket->errorString();
            ::close(fd);
            socket->deleteLater();
            continue;
        }
        admit(socket);
    }
}

void ScpiServer::admit(QTcpSocket* socket) {
    if (!Admits(options_.allow, socket->peerAddress())) {
        qCWarning(log_).noquote() << "refused a connection from" << Peer(socket);
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (std::cmp_greater_equal(clients_.size(), options_.maxClients)) {
        qCWarning(log_).noquote() << "refused a connection from" << Peer(socket) << ":"
                                  << options_.maxClients << "clients are connected";
        const QByteArray refusal = QStringLiteral("-310,\"System error;the server serves %1 "
                                                  "clients at most: try again later\"\n")
                                       .arg(options_.maxClients)
                                       .toLatin1();
        socket->write(refusal);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
        // A peer that never lets the line go still loses the connection.
        QTimer::singleShot(2000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        return;
    }
    qCInfo(log_).noquote() << "client" << Peer(socket) << "connected";
    auto client = std::make_shared<Client>();
    client->socket = socket;
    clients_.emplace(socket, client);
    connect(socket, &QTcpSocket::readyRead, this, [this, client] { receive(client); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this, socket] { drop(socket, "disconnected"); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError e) {
                drop(socket, e == QAbstractSocket::RemoteHostClosedError ? "disconnected"
                                                                         : "connection failed");
            });
    // Bytes that came with the connection.
    if (socket->bytesAvailable() > 0) receive(client);
}

void ScpiServer::drop(QTcpSocket* socket, const char* why) {
    const auto it = clients_.find(socket);
    if (it == clients_.end()) return;
    qCInfo(log_).noquote() << "client" << Peer(socket) << why;
    it->second->socket = nullptr;
    // Nobody is left to answer: a long operation of its own stops, restoring the board.
    if (it->second == owner_) worker_.cancel();
    clients_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    if (acceptPaused_) {
        retry_.stop();
        acceptor_.setEnabled(true);
    }
}

void ScpiServer::receive(const ClientPtr& client) {
    // Read in pieces, so a client streaming without newlines never grows a buffer beyond
    // the message limit.
    constexpr qint64 kChunk = 64 * 1024;
    while (client->socket && client->socket->bytesAvailable() > 0) {
        const QByteArray chunk = client->socket->read(kChunk);
        qsizetype start = 0;
        while (start < chunk.size()) {
            const qsizetype newline = chunk.indexOf('\n', start);
            const qsizetype end = newline < 0 ? chunk.size() : newline;
            if (!client->overrun) {
                client->pending.append(chunk.constData() + start, end - start);
                if (client->pending.size() > options_.maxMessage) {
                    client->session.fail(-363, "a message is limited to 65536 bytes");
                    client->pending.clear();
                    client->overrun = true;
                }
            }
            if (newline < 0) break;
            start = newline + 1;
            if (client->overrun) {
                client->overrun = false;
                continue;
            }
            dispatch(client, std::exchange(client->pending, {}));
            if (!client->socket) return; // dropped
        }
    }
}

void ScpiServer::dispatch(const ClientPtr& client, QByteArray message) {
    if (worker_.running()) {
        const MessageNeeds needs = interpreter_.needs(
            std::string_view(message.constData(), static_cast<std::size_t>(message.size())));
        if (needs.abort && client == owner_) worker_.cancel();
        // Questions that leave the board alone need not wait: others', and the sender's own
        // once nothing of its message is left to answer (INITiate on its own), unless they
        // wait for the operation's end (*OPC?, or what follows its ABORt). A client's own
        // messages keep their order.
        const bool alongside = client != owner_ || (running_.settled() && !needs.waits);
        if (!needs.board && alongside && client->queued == 0) {
            carryOut(client, message);
            return;
        }
        ++client->queued;
        queue_.emplace_back(client, std::move(message));
        return;
    }
    carryOut(client, message);
}

void ScpiServer::carryOut(const ClientPtr& client, const QByteArray& message) {
    Execution e = interpreter_.start(
        client->session,
        std::string_view(message.constData(), static_cast<std::size_t>(message.size())));
    if (!send(client, e.answers)) return;
    if (!e.waiting()) return;
    owner_ = client;
    running_ = std::move(e);
    worker_.start([this, work = running_.takeWork()](std::stop_token stop) {
        LongFinish finish = work(stop);
        return [this, finish = std::move(finish)] { longFinished(finish); };
    });
}

void ScpiServer::longFinished(const LongFinish& finish) {
    const ClientPtr owner = std::exchange(owner_, nullptr);
    interpreter_.resume(running_, owner->session, finish);
    if (owner->socket) send(owner, running_.answers);
    running_ = {};
    while (!worker_.running() && !queue_.empty()) {
        auto [client, message] = std::move(queue_.front());
        queue_.pop_front();
        --client->queued;
        if (client->socket) carryOut(client, message);
    }
}

bool ScpiServer::send(const ClientPtr& client, std::vector<std::string>& answers) {
    QTcpSocket* socket = client->socket;
    for (const std::string& a : answers) {
        socket->write(a.data(), static_cast<qint64>(a.size()));
        socket->write("\n", 1);
    }
    answers.clear();
    if (socket->bytesToWrite() <= options_.maxOutput) return true;
    qCWarning(log_).noquote() << "client" << Peer(socket) << "does not read its answers: dropped";
    drop(socket, "dropped");
    return false;
}

// ---- Serving until a signal -----------------------------------------------------------------

namespace {

// The write end of the pipe that turns SIGINT/SIGTERM into an event. A signal handler can
// reach nothing else, hence this one file-level variable.
std::atomic<int> signalPipe{-1};

extern "C" void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe.load(), &byte, 1);
}

} // namespace

int Serve(bench::Bench& bench, const ServeOptions& options, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        else
            std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    };
    std::unique_ptr<QCoreApplication> ownApp;
    int argc = 1;
    char name[] = "tq5802-scpi";
    char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) ownApp = std::make_unique<QCoreApplication>(argc, argv);

    ScpiServer server(bench, options);
    QString why;
    if (!server.listen(&why))
        return fail(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(options.address.toString())
                        .arg(options.port)
                        .arg(why));
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail(QStringLiteral("cannot make the signal pipe: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
    signalPipe = fds[1];
    QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
    // A long operation is stopped; the server's destructor waits for it to restore the board.
    QObject::connect(&notifier, &QSocketNotifier::activated, [&server] {
        server.cancel();
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction oldInt {
    }, oldTerm{};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    // A client that vanishes must not end the server through a write.
    std::signal(SIGPIPE, SIG_IGN);

    const QHostAddress a = server.address();
    const QString host = a.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(a.toString())
                             : a.toString();
    std::printf("listening on %s:%u\n", qPrintable(host), server.port());
    std::fflush(stdout);

    QCoreApplication::exec();

    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    signalPipe = -1;
    ::close(fds[0]);
    ::close(fds[1]);
    return 0;
}

} // namespace tq::scpi
