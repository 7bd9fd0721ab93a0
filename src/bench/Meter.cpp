#include "bench/Meter.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include <sys/stat.h>

#if defined(__linux__)
#include <linux/usb/tmc.h>
#include <sys/ioctl.h>
#endif

namespace tq::bench {

namespace {

using Clock = std::chrono::steady_clock;

Error MeterError(const QString& message) {
    return Error{Error::Kind::Meter, message.toStdString()};
}

// A meter's answer is a reading or an identity; anything longer is a device that will not stop.
constexpr qsizetype kMaxAnswer = 64 * 1024;
// How long a wait for an answer goes before the cancel check is asked again.
constexpr qint64 kWaitSliceMs = 50;

Error TooLong() {
    return MeterError(QStringLiteral("answer from the meter is longer than 64 KiB"));
}

// A second line for one query would pass for the next query's answer.
Error TwoLines(const QString& where, const QByteArray& extra) {
    return MeterError(QStringLiteral("meter at %1 answered more than one line to a query "
                                     "(then '%2')")
                          .arg(where, PrintableText(extra.trimmed())));
}

QString Seconds(std::chrono::milliseconds t) {
    return QString::number(static_cast<double>(t.count()) / 1000.0, 'g', 6) + QStringLiteral(" s");
}

// Adds the time a scope took to a total.
class WaitClock {
public:
    explicit WaitClock(std::chrono::nanoseconds& total) : total_(total), start_(Clock::now()) {}
    ~WaitClock() { total_ += Clock::now() - start_; }
    WaitClock(const WaitClock&) = delete;
    WaitClock& operator=(const WaitClock&) = delete;

private:
    std::chrono::nanoseconds& total_;
    Clock::time_point start_;
};

class TcpLink final : public MeterLink {
public:
    TcpLink(QString host, quint16 port, std::chrono::milliseconds timeout)
        : host_(std::move(host)), port_(port), timeout_(timeout) {}

    QString where() const { return QStringLiteral("%1:%2").arg(host_).arg(port_); }

    Status open() {
        socket_.connectToHost(host_, port_);
        if (socket_.waitForConnected(static_cast<int>(timeout_.count()))) return {};
        if (socket_.error() == QAbstractSocket::SocketTimeoutError)
            return MeterError(
                QStringLiteral("meter at %1 did not answer in %2").arg(where(), Seconds(timeout_)));
        return MeterError(
            QStringLiteral("cannot reach the meter at %1: %2").arg(where(), socket_.errorString()));
    }

    Status send(const QByteArray& line) override {
        // An answer that came after its query timed out must not pass for the next one's;
        // more after an answer that came in time is a meter that answers twice.
        const QByteArray unread = buffer_ + socket_.readAll();
        buffer_.clear();
        if (std::exchange(answered_, false) && !unread.trimmed().isEmpty())
            return TwoLines(where(), unread);
        if (socket_.state() != QAbstractSocket::ConnectedState) return closed();
        socket_.write(line + '\n');
        while (socket_.bytesToWrite() > 0)
            if (!socket_.waitForBytesWritten(static_cast<int>(timeout_.count())))
                return socket_.state() == QAbstractSocket::ConnectedState ? silent() : closed();
        return {};
    }

    Outcome<QByteArray> receive() override {
        QDeadlineTimer deadline(timeout_);
        for (;;) {
            buffer_ += socket_.read(kMaxAnswer + 1 - buffer_.size());
            if (const qsizetype end = buffer_.indexOf('\n'); end >= 0) {
                QByteArray line = buffer_.left(end);
                buffer_.remove(0, end + 1);
                if (line.endsWith('\r')) line.chop(1);
                if (!buffer_.trimmed().isEmpty()) return TwoLines(where(), buffer_);
                answered_ = true;
                return line;
            }
            if (buffer_.size() > kMaxAnswer) {
                buffer_.clear();
                return TooLong();
            }
            if (socket_.state() != QAbstractSocket::ConnectedState) return closed();
            if (deadline.hasExpired()) return silent();
            if (stopWaiting()) return Error{Error::Kind::Cancelled, "cancelled"};
            // Timeout, data or a closed socket: the next round tells which.
            socket_.waitForReadyRead(
                static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, kWaitSliceMs)));
        }
    }

private:
    Error silent() const {
        return MeterError(
            QStringLiteral("meter at %1 did not answer in %2").arg(where(), Seconds(timeout_)));
    }
    Error closed() const {
        return MeterError(QStringLiteral("meter at %1 closed the connection").arg(where()));
    }

    QString host_;
    quint16 port_;
    std::chrono::milliseconds timeout_;
    QTcpSocket socket_;
    QByteArray buffer_;
    bool answered_ = false; // the last query's answer came in time
};

// /dev/usbtmc followed by digits only: no other folder, no "..", no trailing anything.
bool IsUsbtmcNode(const QString& path) {
    const QLatin1String prefix("/dev/usbtmc");
    if (!path.startsWith(prefix) || path.size() == prefix.size()) return false;
    return std::all_of(path.begin() + prefix.size(), path.end(),
                       [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The kernel's USBTMC driver: one write per command, one read per answer, its own timeout.
class UsbtmcLink final : public MeterLink {
public:
    UsbtmcLink(const QString& path, std::chrono::milliseconds timeout)
        : file_(path), timeout_(timeout) {}

    // Only the driver's own device nodes: the address may come from a remote client, and
    // anything else opened read-write here would be a file overwritten by our commands.
    Status open() {
        if (!IsUsbtmcNode(file_.fileName()))
            return UsageError(QStringLiteral("meter address '%1' is not a USBTMC device "
                                             "(/dev/usbtmcN)")
                                  .arg(file_.fileName())
                                  .toStdString());
        if (!file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly))
            return MeterError(QStringLiteral("cannot open the meter at %1: %2")
                                  .arg(file_.fileName(), file_.errorString()));
        // Checked on what was opened, so a link swapped in after the name was read is caught.
        struct stat info {};
        if (::fstat(file_.handle(), &info) != 0 || !S_ISCHR(info.st_mode)) {
            file_.close();
            return UsageError(QStringLiteral("meter address '%1' is not a character device")
                                  .arg(file_.fileName())
                                  .toStdString());
        }
#if defined(__linux__)
        unsigned int ms = static_cast<unsigned int>(timeout_.count());
        ::ioctl(file_.handle(), USBTMC_IOCTL_SET_TIMEOUT, &ms);
#endif
        return {};
    }

    Status send(const QByteArray& line) override {
        const QByteArray bytes = line + '\n';
        if (file_.write(bytes) != bytes.size())
            return MeterError(QStringLiteral("cannot write to the meter at %1: %2")
                                  .arg(file_.fileName(), file_.errorString()));
        return {};
    }

    Outcome<QByteArray> receive() override {
        // The driver times out each read; a device that keeps sending is stopped here.
        const QDeadlineTimer deadline(timeout_);
        QByteArray answer;
        while (!answer.endsWith('\n')) {
            if (answer.size() > kMaxAnswer) return TooLong();
            if (deadline.hasExpired())
                return MeterError(QStringLiteral("meter at %1 did not end its answer in %2")
                                      .arg(file_.fileName(), Seconds(timeout_)));
            errno = 0;
            const QByteArray part = file_.read(4096);
            if (part.isEmpty()) {
                if (errno == ETIMEDOUT || errno == 0)
                    return MeterError(QStringLiteral("meter at %1 did not answer in %2")
                                          .arg(file_.fileName(), Seconds(timeout_)));
                return MeterError(
                    QStringLiteral("cannot read from the meter at %1: %2")
                        .arg(file_.fileName(), QString::fromLocal8Bit(std::strerror(errno))));
            }
            answer += part;
        }
        answer.chop(1);
        if (answer.endsWith('\r')) answer.chop(1);
        if (answer.size() > kMaxAnswer) return TooLong();
        if (const qsizetype end = answer.indexOf('\n'); end >= 0)
            return TwoLines(file_.fileName(), answer.mid(end + 1));
        return answer;
    }

private:
    QFile file_;
    std::chrono::milliseconds timeout_;
};

Status CheckOptions(const MeterOptions& o) {
    if (o.samples < 1 || o.samples > kMaxSamples)
        return UsageError(QStringLiteral("%1 samples per reading is outside 1 to %2")
                              .arg(o.samples)
                              .arg(kMaxSamples)
                              .toStdString());
    if (!(o.nplc >= 0 && o.nplc <= kMaxNplc))
        return UsageError(
            QStringLiteral("NPLC %1 is outside 0 to %2").arg(o.nplc).arg(kMaxNplc).toStdString());
    if (o.settle.count() < 0 || o.settle > kMaxSettle)
        return UsageError(QStringLiteral("the settle time must be 0 to %1")
                              .arg(Seconds(kMaxSettle))
                              .toStdString());
    if (o.timeout.count() < 1 || o.timeout > kMaxTimeout)
        return UsageError(QStringLiteral("the meter's timeout must be 1 ms to %1")
                              .arg(Seconds(kMaxTimeout))
                              .toStdString());
    return {};
}

} // namespace

QString PrintableText(const QByteArray& text, qsizetype longest) {
    QString out;
    for (const char byte : text.left(longest)) {
        const auto c = static_cast<unsigned char>(byte);
        // C0, DEL and C1: what a terminal would act on rather than show.
        out += c < 0x20 || (c >= 0x7F && c < 0xA0) ? QChar(u'?') : QChar(c);
    }
    if (text.size() > longest) out += QStringLiteral("...");
    return out;
}

Outcome<double> ParseReading(const QByteArray& answer) {
    const QByteArray field = answer.trimmed();
    if (field.contains(','))
        return MeterError(
            QStringLiteral("answer '%1' is a list, not one reading").arg(PrintableText(answer)));
    bool ok = false;
    const double value = field.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return MeterError(QStringLiteral("answer '%1' is not a number").arg(PrintableText(answer)));
    // SCPI's "not a number" and overload answers are 9.91E37 and 9.9E37.
    if (std::abs(value) >= 9.9e37)
        return MeterError(
            QStringLiteral("the meter reports an overload ('%1')").arg(PrintableText(field)));
    return value;
}

Outcome<std::unique_ptr<Meter>> Meter::connect(const MeterOptions& options) {
    if (Status checked = CheckOptions(options); !checked) return checked.error();
    const QUrl url(options.url, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    std::unique_ptr<Meter> meter;
    if (scheme == QLatin1String("tcp") && !url.host().isEmpty() && url.path().isEmpty()) {
        auto link = std::make_unique<TcpLink>(url.host(), static_cast<quint16>(url.port(5025)),
                                              options.timeout);
        const QString where = link->where();
        if (Status opened = link->open(); !opened) return opened.error();
        meter = std::make_unique<Meter>(std::move(link), options, where);
    } else if (scheme == QLatin1String("usbtmc") && url.host().isEmpty() &&
               url.path().startsWith(QLatin1String("/"))) {
        auto link = std::make_unique<UsbtmcLink>(url.path(), options.timeout);
        if (Status opened = link->open(); !opened) return opened.error();
        meter = std::make_unique<Meter>(std::move(link), options, url.path());
    } else {
        return UsageError(QStringLiteral("meter address '%1' is neither tcp://HOST[:PORT] nor "
                                         "usbtmc:///dev/usbtmcN")
                              .arg(options.url)
                              .toStdString());
    }
    if (Status configured = meter->configure(); !configured) return configured.error();
    return meter;
}

Meter::Meter(std::unique_ptr<MeterLink> link, MeterOptions options, QString where)
    : link_(std::move(link)), options_(std::move(options)), where_(std::move(where)) {}

std::function<bool()> Meter::setCancelCheck(std::function<bool()> cancelled) {
    link_->setWaitCheck(cancelled);
    return std::exchange(cancelled_, std::move(cancelled));
}

Meter::~Meter() = default;

Status Meter::send(const QByteArray& command) {
    WaitClock clock(waited_);
    return link_->send(command);
}

Outcome<QByteArray> Meter::query(const QByteArray& command) {
    WaitClock clock(waited_);
    if (Status sent = link_->send(command); !sent) return sent.error();
    return link_->receive();
}

Outcome<QString> Meter::identify() {
    Outcome<QByteArray> answer = query("*IDN?");
    if (!answer) return answer.error();
    return PrintableText(answer->trimmed(), 200);
}

Status Meter::configure() {
    if (options_.query != MeterOptions::Query::ConfigureRead) return {};
    if (Status s = sendChecked("CONF:VOLT:DC"); !s) return s;
    if (options_.nplc > 0)
        return sendChecked("VOLT:DC:NPLC " + QByteArray::number(options_.nplc, 'g', 6));
    return {};
}

Status Meter::sendChecked(const QByteArray& command) {
    if (Status s = send(command); !s) return s;
    Outcome<QByteArray> error = query("SYST:ERR?");
    if (!error) return error.error();
    // "+0,"No error"": the number before the comma says.
    bool numbered = false;
    const int code = error->split(',').front().trimmed().toInt(&numbered);
    if (numbered && code == 0) return {};
    return MeterError(QStringLiteral("meter at %1 refused '%2': %3")
                          .arg(where_, PrintableText(command), PrintableText(error->trimmed())));
}

Status Meter::select(Channel channel) {
    if (channel == Channel::All) return UsageError("the meter measures one channel at a time");
    if (routed_ == channel) return {};
    if (!options_.routeTemplate.isEmpty()) {
        QString command = options_.routeTemplate;
        command.replace(QLatin1String("{n}"), QString::number(ChannelIndex(channel) + 1));
        if (Status s = sendChecked(command.toLatin1()); !s) return s;
    } else if (ask_) {
        const bool moved = [&] {
            WaitClock clock(waited_); // the user's time is not ours
            return ask_(channel);
        }();
        if (!moved) return Error{Error::Kind::Cancelled, "cancelled while moving the probe"};
    } else {
        return UsageError(
            QStringLiteral("no routing command for the meter and nobody to move "
                           "the probe to %1")
                .arg(QString::fromLatin1(ChannelCaption(channel).data(),
                                         static_cast<qsizetype>(ChannelCaption(channel).size())))
                .toStdString());
    }
    routed_ = channel;
    return {};
}

Status Meter::settle() {
    const auto cancelled = [this] { return cancelled_ && cancelled_(); };
    WaitClock clock(waited_);
    // In slices, so that a stop is not held up by a long settle time.
    const QDeadlineTimer deadline(options_.settle);
    while (!deadline.hasExpired()) {
        if (cancelled()) break;
        QThread::msleep(
            static_cast<unsigned long>(std::clamp<qint64>(deadline.remainingTime(), 1, 50)));
    }
    if (cancelled()) return Error{Error::Kind::Cancelled, "cancelled"};
    return {};
}

Outcome<double> Meter::reading() {
    const QByteArray command =
        options_.query == MeterOptions::Query::ConfigureRead ? "READ?" : "MEAS:VOLT:DC?";
    Outcome<QByteArray> answer = query(command);
    if (!answer) return answer.error();
    return ParseReading(*answer);
}

Outcome<Reading> Meter::measure() {
    // Welford's running mean and spread: no cancellation on readings close together.
    Reading r;
    double m2 = 0;
    for (int i = 0; i < options_.samples; ++i) {
        if (cancelled_ && cancelled_()) return Error{Error::Kind::Cancelled, "cancelled"};
        Outcome<double> v = reading();
        if (!v) return v.error();
        ++r.samples;
        const double delta = *v - r.mean;
        r.mean += delta / r.samples;
        m2 += delta * (*v - r.mean);
    }
    r.stddev = r.samples > 1 ? std::sqrt(m2 / (r.samples - 1)) : 0.0;
    return r;
}

} // namespace tq::bench
