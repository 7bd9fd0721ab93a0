// Calibration and sweeps end to end: the bench library drives the simulated board and reads
// the simulated meter over its socket, noise on; the results are checked against the
// simulator's own noiseless outputs and documented non-linearity.

#include "FakeMeter.h"
#include "bench/AutoCalibration.h"
#include "bench/Sweep.h"
#include "board/DriverLibrary.h"
#include "drivers/sim/sim_abi.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace tq::bench {
namespace {

template <class F> F Entry(board::DriverLibrary& library, const char* name) {
    return reinterpret_cast<F>(library.resolveOptional(name));
}

class MeterOnSim : public testing::Test {
protected:
    void SetUp() override {
        Entry<TQSim_Reset_fn>(library, "TQSim_Reset")();
        ASSERT_TRUE(bench.start(QStringLiteral(TQ_BIN_DIR "/TQ5802.hex")));
        const int port = Entry<TQSim_MeterPort_fn>(library, "TQSim_MeterPort")();
        ASSERT_GT(port, 0) << "the simulated meter is not serving";
        MeterOptions o;
        o.url = QStringLiteral("tcp://127.0.0.1:%1").arg(port);
        o.settle = std::chrono::milliseconds(0);
        o.samples = 4;
        o.routeTemplate = QStringLiteral("ROUT:CLOS (@{n})");
        auto connected = Meter::connect(o);
        ASSERT_TRUE(connected.ok()) << connected.error().message;
        meter = std::move(connected.value());
    }
    TQSimRegisters board() {
        TQSimRegisters r{};
        Entry<TQSim_ReadRegisters_fn>(library, "TQSim_ReadRegisters")(&r);
        return r;
    }
    // The model's own output at a volts setting, in LSB from the ideal.
    double errorLsb(Channel c, double volts) {
        EXPECT_TRUE(bench.setVolts(c, volts).ok());
        const double out = Entry<TQSim_OutputVolts_fn>(library, "TQSim_OutputVolts")(
            static_cast<int32_t>(ChannelIndex(c)));
        return (out - volts) / (2 * bench.rangeVolts(c) / 65536);
    }
    // Every channel several LSB off at both points.
    void detune() {
        const double offsets[] = {2, -3, 4, -2}, gains[] = {-8, 6, -5, 7};
        for (const Channel c : kChannels) {
            ASSERT_TRUE(bench.setOffset(c, offsets[ChannelIndex(c)]).ok());
            ASSERT_TRUE(bench.setFineGain(c, gains[ChannelIndex(c)]).ok());
            ASSERT_TRUE(bench.setCode(c, 0x1234 + static_cast<int>(ChannelIndex(c))).ok());
        }
    }

    board::DriverLibrary library{QStringLiteral(TQ_SIM_LIBRARY)};
    Bench bench{library, Model::TQ5802R};
    std::unique_ptr<Meter> meter;
};

TEST_F(MeterOnSim, CalibrationBringsEveryChannelWithinHalfAnLsb) {
    detune();
    const TQSimRegisters before = board();
    int last = -1;
    bool monotonic = true;
    CalibrationProgress end;
    CalibrationHooks hooks;
    hooks.progress = [&](const CalibrationProgress& p) {
        monotonic = monotonic && p.step > last && p.step <= p.steps;
        last = p.step;
        end = p;
    };
    const auto results = Calibrate(bench, *meter, CalibrationOptions{}, hooks);
    ASSERT_TRUE(results.ok()) << results.error().message;
    EXPECT_TRUE(monotonic);
    EXPECT_EQ(end.step, end.steps) << "the count reaches its total";
    EXPECT_TRUE(end.what.isEmpty());
    // Each channel's data register is loaded back as it was.
    const TQSimRegisters after = board();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(after.input[i], before.input[i]);
    ASSERT_EQ(results->size(), 4u);
    const QJsonArray json = QJsonDocument::fromJson(CalibrationJson(*results)).array();
    ASSERT_EQ(json.size(), 4);
    EXPECT_EQ(json[3][QStringLiteral("channel")].toString(), QStringLiteral("D"));
    EXPECT_TRUE(json[3][QStringLiteral("within_tolerance")].toBool());
    EXPECT_EQ(CalibrationTable(*results).count(QLatin1Char('\n')), 5);
    for (const ChannelCalibration& r : *results) {
        SCOPED_TRACE(ChannelName(r.channel).data());
        EXPECT_GT(std::abs(r.before.offsetLsb), 2.0);
        EXPECT_GT(std::abs(r.before.zeroScaleLsb), 2.0);
        EXPECT_TRUE(r.withinTolerance);
        EXPECT_LE(r.passes, 3);
        EXPECT_NEAR(r.before.offsetVolts, r.before.offsetLsb * 20.0 / 65536, 1e-12);
        // The model itself, without the meter's noise, agrees.
        EXPECT_LE(std::abs(errorLsb(r.channel, 0.0)), 0.5);
        EXPECT_LE(std::abs(errorLsb(r.channel, -bench.rangeVolts(r.channel))), 0.5);
    }
}

TEST_F(MeterOnSim, CancelledCalibrationRestoresTheTrims) {
    detune();
    const TQSimRegisters before = board();
    int steps = 0;
    CalibrationHooks hooks;
    hooks.progress = [&](const CalibrationProgress&) { ++steps; };
    hooks.cancelled = [&] { return steps >= 9; }; // inside channel B's passes
    const auto results = Calibrate(bench, *meter, CalibrationOptions{}, hooks);
    ASSERT_FALSE(results.ok());
    EXPECT_EQ(results.error().kind, Error::Kind::Cancelled);
    const TQSimRegisters after = board();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(after.offset[i], before.offset[i]) << i;
        EXPECT_EQ(after.fine[i], before.fine[i]) << i;
        EXPECT_EQ(after.input[i], before.input[i]) << i;
    }
}

// A meter that cannot be trusted ends a calibration or a sweep of DAC B with a meter error
// saying what it saw, printable, and the board as it was.
TEST_F(MeterOnSim, UntrustedMetersLeaveTheBoardAsItWas) {
    const auto output = Entry<TQSim_OutputVolts_fn>(library, "TQSim_OutputVolts");
    const auto text = [](double v) { return QByteArray::number(v, 'E', 9); };
    struct Case {
        const char* name;
        std::function<Reply(double truth, int n)> answer; // n: readings asked so far
        const char* says;
    } cases[] = {
        {"wrong channel", [&](double, int) { return Answer(text(output(0))); }, "is it on DAC B?"},
        {"constant -10 V", [](double, int) { return Answer("-10.0"); }, "the meter saw 0 V"},
        {"stuck", [](double, int) { return Answer("+1.234E-01"); }, "the meter saw 0 V"},
        {"spike", [&](double v, int n) { return Answer(n == 2 ? "9.0E36" : text(v)); },
         "the meter read 9e+36 V, beyond"},
        {"falling", [&](double v, int) { return Answer(text(-v)); }, "is it on DAC B?"},
        {"-0", [](double, int) { return Answer("-0"); }, "the meter saw 0 V"},
        {"list", [](double, int) { return Answer("1.0E-3,2,3"); }, "is a list"},
        {"two lines", [&](double v, int) { return Answer(text(v) + "\n" + text(v)); },
         "more than one line"},
        {"escapes", [](double, int) { return Answer("\x1b[2J\x1b]0;x\x07"); }, "'?[2J?]0;x?'"},
        {"silence",
         [](double, int) {
             return Reply{Reply::Silence, {}};
         },
         "did not answer"},
    };
    for (const Case& c : cases) {
        for (const bool sweep : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (sweep ? ", sweep" : ", calibration"));
            detune();
            const TQSimRegisters before = board();
            int n = 0;
            FakeMeter fake([&](const QByteArray&) { return c.answer(output(1), n++); });
            MeterOptions o;
            o.url = fake.url();
            o.settle = std::chrono::milliseconds(0);
            o.timeout = std::chrono::milliseconds(300);
            auto connected = Meter::connect(o);
            ASSERT_TRUE(connected.ok()) << connected.error().message;
            Meter& m = *connected.value();
            m.setProbeRequest([](Channel) { return true; });
            const auto failure = [&]() -> std::optional<Error> {
                if (sweep) {
                    const auto r = RunSweep(bench, m, {.channel = Channel::B, .points = 65});
                    return r ? std::nullopt : std::optional(r.error());
                }
                const auto r = Calibrate(bench, m, {.channels = {Channel::B}});
                return r ? std::nullopt : std::optional(r.error());
            }();
            if (!failure) {
                ADD_FAILURE() << "the run succeeded";
                continue;
            }
            const Error& e = *failure;
            EXPECT_EQ(e.kind, Error::Kind::Meter);
            EXPECT_NE(e.message.find(c.says), std::string::npos) << e.message;
            EXPECT_TRUE(std::ranges::none_of(e.message, [](char ch) { return ch < 0x20; }));
            const TQSimRegisters after = board();
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(after.input[i], before.input[i]) << i;
                EXPECT_EQ(after.coarse[i], before.coarse[i]) << i;
                EXPECT_EQ(after.fine[i], before.fine[i]) << i;
                EXPECT_EQ(after.offset[i], before.offset[i]) << i;
            }
        }
    }
}

// A stop is seen within one reading, even in a long settle time, and undoes the run; so does
// a calibration that cannot come within its tolerance.
TEST_F(MeterOnSim, StoppedOrOutOfToleranceRunsPutTheChannelBack) {
    detune();
    const TQSimRegisters before = board();
    MeterOptions o = meter->options();
    o.settle = kMaxSettle;
    auto slow = Meter::connect(o);
    ASSERT_TRUE(slow.ok());
    int polls = 0;
    SweepHooks stop;
    stop.cancelled = [&] { return ++polls > 3; };
    const auto sweep = RunSweep(bench, *slow.value(), {.channel = Channel::C}, stop);
    ASSERT_FALSE(sweep.ok());
    EXPECT_EQ(sweep.error().kind, Error::Kind::Cancelled);

    const auto results =
        Calibrate(bench, *meter, {.channels = {Channel::C}, .toleranceLsb = 1e-6, .maxPasses = 1});
    ASSERT_TRUE(results.ok()) << results.error().message;
    EXPECT_TRUE(results->front().restored);
    const TQSimRegisters after = board();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(after.input[i], before.input[i]) << i;
        EXPECT_EQ(after.fine[i], before.fine[i]) << i;
        EXPECT_EQ(after.offset[i], before.offset[i]) << i;
    }
}

// A sweep finds the converter's documented INL and DNL, under either coding.
TEST_F(MeterOnSim, SweepRecoversTheDocumentedNonlinearity) {
    auto nonlinearity = Entry<TQSim_Nonlinearity_fn>(library, "TQSim_Nonlinearity");
    ASSERT_TRUE(nonlinearity);
    for (const auto& [channel, binary] : {std::pair{Channel::B, true}, {Channel::D, false}}) {
        SCOPED_TRACE(ChannelName(channel).data());
        ControlLines lines = bench.lines();
        lines.binary = binary;
        ASSERT_TRUE(bench.setLines(lines).ok());
        MeterOptions o = meter->options();
        o.samples = 16; // the meter's noise averaged to well below 0.1 LSB
        o.url = meter->options().url;
        auto averaging = Meter::connect(o);
        ASSERT_TRUE(averaging.ok());
        SweepOptions options;
        options.channel = channel;
        options.points = binary ? 1025 : 257;
        const auto result = RunSweep(bench, *averaging.value(), options);
        ASSERT_TRUE(result.ok()) << result.error().message;
        int dnlChecked = 0;
        for (const SweepPoint& p : result->points) {
            double inl = 0, dnl = 0;
            ASSERT_EQ(nonlinearity(static_cast<int32_t>(ChannelIndex(channel)), p.code, &inl, &dnl),
                      0);
            ASSERT_NEAR(p.inlEndPointLsb, inl, 0.1) << "code " << p.code;
            if (p.dnlLsb) {
                ASSERT_NEAR(*p.dnlLsb, dnl, 0.1) << "code " << p.code;
                ++dnlChecked;
            }
        }
        EXPECT_EQ(dnlChecked, 15 * 5) << "five code pairs at each multiple of 0x1000";
        EXPECT_NEAR(std::abs(result->inlEndPointMaxLsb), binary ? 1.175 : 1.100, 0.1);
        EXPECT_LT(result->overheadPerPointMs, result->perPointMs);

        // Both exports carry every point.
        const QByteArray csv = SweepCsv(*result);
        EXPECT_EQ(csv.count('\n'), static_cast<qsizetype>(result->points.size()) + 1);
        const QJsonObject json = QJsonDocument::fromJson(SweepJson(*result)).object();
        EXPECT_EQ(json[QStringLiteral("points")].toArray().size(),
                  static_cast<qsizetype>(result->points.size()));
        EXPECT_EQ(json[QStringLiteral("channel")].toString(),
                  QString::fromLatin1(ChannelName(channel).data()));
    }
}

} // namespace
} // namespace tq::bench

int main(int argc, char** argv) {
    // The simulated meter starts with the library, on any free port, with its default noise.
    setenv("TQ5802_SIM_METER", "127.0.0.1:0", 1);
    unsetenv("TQ5802_SIM_METER_NOISE");
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
