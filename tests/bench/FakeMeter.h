#pragma once
// A scripted meter on a loopback socket, on its own thread, blocking on its one client so the
// client under test can block too.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace tq::bench {

struct Reply {
    enum Kind { Answer, Silence, Close } kind = Answer;
    QByteArray text;
};
using Script = std::function<Reply(const QByteArray& line)>;

class FakeMeter {
public:
    explicit FakeMeter(Script script) : script_(std::move(script)) {
        std::promise<quint16> port;
        auto ready = port.get_future();
        thread_ = std::thread([this, &port] { serve(port); });
        port_ = ready.get();
    }
    ~FakeMeter() {
        stop_ = true;
        thread_.join();
    }
    QString url() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(port_); }
    quint16 port() const { return port_; }
    QList<QByteArray> heard() {
        std::lock_guard lock(mutex_);
        return heard_;
    }

private:
    void serve(std::promise<quint16>& port) {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port.set_value(server.serverPort());
        while (!stop_ && !server.waitForNewConnection(20)) {
        }
        std::unique_ptr<QTcpSocket> client(server.nextPendingConnection());
        while (!stop_ && client && client->state() == QAbstractSocket::ConnectedState) {
            client->waitForReadyRead(20);
            while (client->canReadLine()) {
                const QByteArray line = client->readLine().trimmed();
                {
                    std::lock_guard lock(mutex_);
                    heard_.append(line);
                }
                const Reply reply = script_(line);
                if (reply.kind == Reply::Close) {
                    client->disconnectFromHost();
                    if (client->state() != QAbstractSocket::UnconnectedState)
                        client->waitForDisconnected(1000);
                    return;
                }
                if (reply.kind == Reply::Answer) {
                    client->write(reply.text + "\r\n");
                    client->waitForBytesWritten(1000);
                }
            }
        }
    }

    Script script_;
    std::thread thread_;
    std::atomic<bool> stop_ = false;
    quint16 port_ = 0;
    std::mutex mutex_;
    QList<QByteArray> heard_;
};

inline Reply Answer(QByteArray text) {
    return {Reply::Answer, std::move(text)};
}

} // namespace tq::bench
