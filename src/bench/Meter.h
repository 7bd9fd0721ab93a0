#pragma once
// A digital multimeter that speaks SCPI: over a raw network socket (`tcp://HOST[:PORT]`,
// port 5025 unless given) or through the kernel's USBTMC driver (`usbtmc:///dev/usbtmcN`).
// Every call blocks until the meter answered or the timeout passed; nothing needs an event
// loop. Failures come back as Errors of kind Meter whose message names the meter, for
// example "meter at 10.0.0.5:5025 did not answer in 3 s" or "answer 'ABC' is not a number".
//
// The meter also keeps the time it spent waiting (for the meter and for the settle time),
// so a caller can tell its own overhead from the meter's.

#include "bench/Channel.h"
#include "bench/Outcome.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace tq::bench {

// The options' limits; every front end offers these and no others.
inline constexpr int kMaxSamples = 1000;
inline constexpr double kMaxNplc = 1000;
inline constexpr std::chrono::milliseconds kMaxSettle{600'000};
inline constexpr std::chrono::milliseconds kMaxTimeout{600'000};

struct MeterOptions {
    QString url; // tcp://HOST[:PORT] or usbtmc:///dev/usbtmcN
    enum class Query {
        Measure,       // one "MEAS:VOLT:DC?" per sample
        ConfigureRead, // "CONF:VOLT:DC" (and "VOLT:DC:NPLC n") once, then "READ?" per sample
    } query = Query::Measure;
    double nplc = 0; // integration time in power-line cycles; 0 leaves the meter's own
    int samples = 1; // readings averaged per measurement, 1..kMaxSamples
    std::chrono::milliseconds settle{50};    // wait after each output change
    std::chrono::milliseconds timeout{3000}; // per answer (and for connecting)
    // Command that routes a channel to the meter through a scanner; "{n}" becomes 1..4 for
    // A..D, e.g. "ROUT:CLOS (@10{n})". Empty: the probe is moved by hand (see ProbeRequest).
    QString routeTemplate;
};

// Asked to move the probe to a channel when there is no routing command. Returns false when
// the user declines, which cancels the operation.
using ProbeRequest = std::function<bool(Channel)>;

struct Reading {
    double mean = 0;   // volts
    double stddev = 0; // volts, sample standard deviation; 0 for a single sample
    int samples = 0;
};

// One open connection to the meter; how bytes travel is the link's business.
class MeterLink {
public:
    virtual ~MeterLink() = default;
    virtual Status send(const QByteArray& line) = 0;
    // One answer line without its terminator. A link that waits in slices asks the wait
    // check between them and ends with an Error of kind Cancelled once it says so.
    virtual Outcome<QByteArray> receive() = 0;

    // Polled about every 50 ms while an answer is awaited, so a wait for a silent meter can
    // be stopped, and a window waiting on its own thread keeps handling its events.
    void setWaitCheck(std::function<bool()> check) { waitCheck_ = std::move(check); }

protected:
    bool stopWaiting() const { return waitCheck_ && waitCheck_(); }

private:
    std::function<bool()> waitCheck_;
};

class Meter {
public:
    // Opens the link and, for ConfigureRead, configures the meter. Refuses a URL it cannot
    // use, options out of range, and a meter that cannot be reached.
    static Outcome<std::unique_ptr<Meter>> connect(const MeterOptions& options);
    // On a link the caller provides (tests, other transports); where names it in messages.
    Meter(std::unique_ptr<MeterLink> link, MeterOptions options, QString where);
    ~Meter();
    Meter(const Meter&) = delete;
    Meter& operator=(const Meter&) = delete;

    const MeterOptions& options() const { return options_; }
    QString where() const { return where_; }
    void setProbeRequest(ProbeRequest ask) { ask_ = std::move(ask); }
    // Polled before each reading, while settling and while waiting for an answer: once it
    // returns true, settle(), measure() and query() end with an Error of kind Cancelled, so a
    // stop is seen within one reading. Empty: never cancelled. Returns the check it replaces.
    std::function<bool()> setCancelCheck(std::function<bool()> cancelled);

    Status send(const QByteArray& command);
    Outcome<QByteArray> query(const QByteArray& command);
    Outcome<QString> identify(); // "*IDN?"
    // Sends the configuration of ConfigureRead (nothing for Measure); a setting the meter
    // refuses is an error.
    Status configure();
    // Sends a setting, then asks "SYST:ERR?": an error the meter queued is this call's,
    // e.g. "meter at HOST:PORT refused 'ROUT:CLOS (@105)': -222,"Data out of range"".
    Status sendChecked(const QByteArray& command);

    // Routes the channel to the meter: the routing command (checked), else the probe request (an
    // Error of kind Cancelled when declined, Usage when nobody can be asked). Repeating the
    // channel routed last does nothing.
    Status select(Channel channel);
    // The settle time, counted as waiting; Cancelled when the cancel check fires meanwhile.
    Status settle();
    // The average and spread of `samples` readings, each one parsed by ParseReading. An
    // answer of more than one line is an error too.
    Outcome<Reading> measure();

    // Time spent waiting for the meter's answers and settling, since construction.
    std::chrono::nanoseconds waited() const { return waited_; }

private:
    Outcome<double> reading();

    std::unique_ptr<MeterLink> link_;
    MeterOptions options_;
    QString where_;
    ProbeRequest ask_;
    std::function<bool()> cancelled_;
    std::optional<Channel> routed_;
    std::chrono::nanoseconds waited_{0};
};

// Parses one answer as volts: a single number, blanks around it trimmed. A list, text, a
// non-finite number and SCPI's overload and not-a-number values (9.9E37, 9.91E37) are
// Errors of kind Meter that quote the answer.
Outcome<double> ParseReading(const QByteArray& answer);

// Text from a meter as it may be shown anywhere: control characters (terminal escape
// sequences included) become '?', and it is cut to `longest` characters with "...".
QString PrintableText(const QByteArray& text, qsizetype longest = 80);

} // namespace tq::bench
