// The meter client against a scripted meter on a loopback socket: answers, garbage, silence
// and a connection closed under it, each with a bounded timeout.

#include "bench/Meter.h"
#include "FakeMeter.h"

#include <QCoreApplication>
#include <QTemporaryFile>

#include <gtest/gtest.h>

namespace tq::bench {
namespace {

MeterOptions Options(const FakeMeter& fake) {
    MeterOptions o;
    o.url = fake.url();
    o.settle = std::chrono::milliseconds(0);
    o.timeout = std::chrono::milliseconds(300);
    return o;
}

TEST(ParseReading, NumbersAndNonsense) {
    struct Case {
        QByteArray answer;
        std::optional<double> volts;
        const char* error;
    } cases[] = {
        {"+1.23450000E-03", 1.2345e-3, nullptr},
        {" -9.99987 ", -9.99987, nullptr},
        {"2.5,+0", {}, "answer '2.5,+0' is a list, not one reading"},
        {"-0", -0.0, nullptr},
        {"\x1b]0;x\x07\x1b[2J", {}, "answer '?]0;x??[2J' is not a number"},
        {"ABC", {}, "answer 'ABC' is not a number"},
        {"", {}, "answer '' is not a number"},
        {"nan", {}, "answer 'nan' is not a number"},
        {"+9.90000000E+37", {}, "the meter reports an overload ('+9.90000000E+37')"},
    };
    for (const Case& c : cases) {
        const Outcome<double> r = ParseReading(c.answer);
        if (c.volts) {
            ASSERT_TRUE(r.ok()) << c.answer.constData();
            EXPECT_DOUBLE_EQ(*r, *c.volts);
        } else {
            ASSERT_FALSE(r.ok()) << c.answer.constData();
            EXPECT_EQ(r.error().message, c.error);
            EXPECT_EQ(r.error().kind, Error::Kind::Meter);
        }
    }
}

TEST(Meter, AveragesSamplesWithTheirSpread) {
    int n = 0;
    FakeMeter fake([&](const QByteArray&) { return Answer(++n % 2 ? "1.0E-3" : "3.0E-3"); });
    MeterOptions o = Options(fake);
    o.samples = 4;
    auto meter = Meter::connect(o);
    ASSERT_TRUE(meter.ok()) << meter.error().message;
    const Outcome<Reading> r = meter.value()->measure();
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_DOUBLE_EQ(r->mean, 2e-3);
    EXPECT_NEAR(r->stddev, 1.1547005e-3, 1e-9); // sample deviation of 1,3,1,3 mV
    EXPECT_EQ(fake.heard(), QList<QByteArray>(4, "MEAS:VOLT:DC?"));
}

TEST(Meter, ConfiguresReadsAndRoutes) {
    FakeMeter fake([](const QByteArray& line) {
        if (line == "SYST:ERR?") return Answer("+0,\"No error\"");
        return line == "READ?" ? Answer("-5.0") : Reply{Reply::Silence, {}};
    });
    MeterOptions o = Options(fake);
    o.query = MeterOptions::Query::ConfigureRead;
    o.nplc = 10;
    o.routeTemplate = QStringLiteral("ROUT:CLOS (@10{n})");
    auto meter = Meter::connect(o);
    ASSERT_TRUE(meter.ok()) << meter.error().message;
    Meter& m = *meter.value();
    ASSERT_TRUE(m.select(Channel::C).ok());
    ASSERT_TRUE(m.select(Channel::C).ok()); // already there: nothing sent
    const Outcome<Reading> r = m.measure();
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r->mean, -5.0);
    EXPECT_EQ(fake.heard(),
              (QList<QByteArray>{"CONF:VOLT:DC", "SYST:ERR?", "VOLT:DC:NPLC 10", "SYST:ERR?",
                                 "ROUT:CLOS (@103)", "SYST:ERR?", "READ?"}));
}

// A route the meter does not know is an error, not a reading of whatever it measures.
TEST(Meter, ARefusedRouteIsAnError) {
    FakeMeter fake([](const QByteArray& line) {
        return line == "SYST:ERR?" ? Answer("-113,\"Undefined header\"")
                                   : Reply{Reply::Silence, {}};
    });
    MeterOptions o = Options(fake);
    o.routeTemplate = QStringLiteral("ROUT:CLOS (@10{n})");
    auto meter = Meter::connect(o);
    ASSERT_TRUE(meter.ok());
    const Status routed = meter.value()->select(Channel::A);
    ASSERT_FALSE(routed.ok());
    EXPECT_EQ(QString::fromStdString(routed.error().message),
              QStringLiteral("meter at 127.0.0.1:%1 refused 'ROUT:CLOS (@101)': -113,\"Undefined "
                             "header\"")
                  .arg(fake.port()));
}

TEST(Meter, AsksForTheProbeWithoutARoute) {
    FakeMeter fake([](const QByteArray&) { return Answer("0"); });
    auto meter = Meter::connect(Options(fake));
    ASSERT_TRUE(meter.ok());
    Meter& m = *meter.value();
    EXPECT_EQ(m.select(Channel::A).error().kind, Error::Kind::Usage) << "nobody to ask";
    QList<Channel> asked;
    m.setProbeRequest([&](Channel c) {
        asked.append(c);
        return c != Channel::D;
    });
    EXPECT_TRUE(m.select(Channel::B).ok());
    EXPECT_TRUE(m.select(Channel::B).ok());
    EXPECT_EQ(m.select(Channel::D).error().kind, Error::Kind::Cancelled);
    EXPECT_EQ(asked, (QList<Channel>{Channel::B, Channel::D}));
}

// Garbage, silence and a closed socket each end a reading with a message naming the meter.
TEST(Meter, FailuresNameTheMeter) {
    struct Case {
        Reply reply;
        QString error; // %1 = the meter's port
    } cases[] = {
        {Answer("ABC"), QStringLiteral("answer 'ABC' is not a number")},
        {{Reply::Silence, {}}, QStringLiteral("meter at 127.0.0.1:%1 did not answer in 0.3 s")},
        {{Reply::Close, {}}, QStringLiteral("meter at 127.0.0.1:%1 closed the connection")},
        {Answer(QByteArray(70000, '7')),
         QStringLiteral("answer from the meter is longer than 64 KiB")},
    };
    for (const Case& c : cases) {
        FakeMeter fake([&](const QByteArray&) { return c.reply; });
        auto meter = Meter::connect(Options(fake));
        ASSERT_TRUE(meter.ok());
        const Outcome<Reading> r = meter.value()->measure();
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(QString::fromStdString(r.error().message),
                  c.error.contains(QLatin1String("%1")) ? c.error.arg(fake.port()) : c.error);
        // A meter that closed stays closed; one that was silent may answer the next query.
        if (c.reply.kind == Reply::Close) {
            EXPECT_FALSE(meter.value()->measure().ok());
        }
    }
}

// A wait for a silent meter asks the cancel check as it goes, so a stop (or a window's
// events) need not wait for the answer's timeout.
TEST(Meter, AWaitForAnAnswerCanBeStopped) {
    FakeMeter fake([](const QByteArray&) { return Reply{Reply::Silence, {}}; });
    MeterOptions options = Options(fake);
    options.timeout = std::chrono::milliseconds(10'000);
    auto meter = Meter::connect(options);
    ASSERT_TRUE(meter.ok());
    int asked = 0;
    meter.value()->setCancelCheck([&asked] { return ++asked > 1; }); // once before the query
    const Outcome<Reading> r = meter.value()->measure();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind, Error::Kind::Cancelled) << r.error().message;
    EXPECT_EQ(asked, 2);
}

// A USBTMC address names a driver's device node and nothing else: the address may come from a
// remote client, and a file opened there would be written to.
TEST(Meter, RefusesAddressesAndOptions) {
    QTemporaryFile regular;
    ASSERT_TRUE(regular.open());
    regular.write("kept\n");
    regular.close();
    const QString regularUrl = QStringLiteral("usbtmc://") + regular.fileName();
    struct Case {
        QString url;
        int samples;
        std::string starts;
    } cases[] = {
        {QStringLiteral("http://meter"), 1, "meter address 'http://meter' is neither"},
        {QStringLiteral("tcp://"), 1, "meter address 'tcp://' is neither"},
        {QStringLiteral("usbtmc:///dev/no-such-usbtmc"), 1,
         "meter address '/dev/no-such-usbtmc' is not a USBTMC device"},
        {QStringLiteral("usbtmc:///etc/passwd"), 1,
         "meter address '/etc/passwd' is not a USBTMC device"},
        {regularUrl, 1, "meter address '" + regular.fileName().toStdString() + "' is not a"},
        {QStringLiteral("usbtmc:///dev/usbtmc0/../../etc/passwd"), 1, "meter address '/dev/"},
        {QStringLiteral("usbtmc:///dev/usbtmc"), 1, "meter address '/dev/usbtmc' is not a"},
        {QStringLiteral("usbtmc:///dev/usbtmc917"), 1, "cannot open the meter at /dev/usbtmc917"},
        {QStringLiteral("tcp://127.0.0.1:1"), 1, "cannot reach the meter at 127.0.0.1:1"},
        {QStringLiteral("tcp://127.0.0.1"), 0, "0 samples per reading is outside 1 to 1000"},
    };
    for (const Case& c : cases) {
        MeterOptions o;
        o.url = c.url;
        o.samples = c.samples;
        o.timeout = std::chrono::milliseconds(300);
        const auto meter = Meter::connect(o);
        ASSERT_FALSE(meter.ok()) << c.url.toStdString();
        EXPECT_TRUE(meter.error().message.starts_with(c.starts)) << meter.error().message;
    }
    QFile kept(regular.fileName());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "kept\n");
}

} // namespace
} // namespace tq::bench

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
