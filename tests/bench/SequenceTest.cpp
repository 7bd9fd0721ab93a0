// The sequence player against a recording driver: what reaches the board, in what order and
// when, and what is refused before anything does.

#include "bench/Sequence.h"
#include "bench/Quantities.h"

#include "RecordingDriver.h"

#include <gtest/gtest.h>

#include <chrono>

namespace tq::bench {
namespace {

using board::testing::Call;
using board::testing::RecordingDriver;

constexpr int kPulse = 0xD9;
constexpr int kNoPulse = 0xDD;
constexpr int kLines = 0xDE;

// A data write as the driver saw it.
struct Write {
    int request;
    int channel; // address field of the command byte
    int code;
};

std::vector<Write> DataWrites(const std::vector<Call>& calls) {
    std::vector<Write> writes;
    for (const Call& c : calls)
        if (c.args[1] == kPulse || c.args[1] == kNoPulse)
            writes.push_back({static_cast<int>(c.args[1]), static_cast<int>(c.args[2] & 7),
                              static_cast<int>(c.args[3])});
    return writes;
}

class Player : public testing::Test {
protected:
    RecordingDriver driver;
    Bench bench{driver, Model::TQ5802R}; // ranges +-10 V, binary coding, LDAC high
};

TEST_F(Player, ListPlaysEveryChannelTogetherInOrderOnTime) {
    const auto table = ParseSequenceCsv("# four channels\n"
                                        "D, a_code, B, C\n"
                                        "0, 0x0010, -10, 10\n"
                                        "5, 17, 0, -5\n"
                                        "-5, 65535, 2.5, 0\n");
    ASSERT_TRUE(table) << table.error().message;
    const double rate = 100;
    const auto report = Play(bench, *table, {.rate = rate, .count = 2});
    ASSERT_TRUE(report) << report.error().message;
    EXPECT_EQ(report->points, 6);
    EXPECT_FALSE(report->stopped);

    const int expected[3][4] = {{0x8000, 0x0010, 0x0000, 0xFFFF},
                                {0xC000, 17, 0x8000, 0x4000},
                                {0x4000, 65535, 0xA000, 0x8000}};
    const int order[4] = {3, 0, 1, 2}; // D, A, B, C as the header names them
    const std::vector<Write> writes = DataWrites(driver.calls);
    ASSERT_EQ(writes.size(), 24u);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const std::size_t point = i / 4 % 3, column = i % 4;
        EXPECT_EQ(writes[i].channel, order[column]) << i;
        EXPECT_EQ(writes[i].code, expected[point][column]) << i;
        EXPECT_EQ(writes[i].request, column == 3 ? kPulse : kNoPulse) << "one pulse a point, " << i;
    }
    // The lines are held (no pulse after each write) and put back as they were.
    ASSERT_EQ(driver.calls.size(), 26u);
    EXPECT_EQ(driver.calls.front().args[1], kLines);
    EXPECT_EQ(driver.calls.back().args[1], kLines);
    EXPECT_EQ(bench.lines(), ControlLines{});

    // Never ahead of a point's deadline, and not far behind it.
    const auto start = driver.calls[1].at;
    for (int p = 0; p < 6; ++p) {
        const double at = std::chrono::duration<double>(driver.calls[1 + 4 * p].at - start).count();
        EXPECT_GE(at, p / rate - 1e-4) << p;
        EXPECT_LT(at, p / rate + 0.5) << p;
    }
}

TEST_F(Player, ShapesFollowTheirFormula) {
    struct Case {
        Waveform waveform;
        double phase;
        double seconds;
        double volts;
    };
    // amplitude 2, offset 1, 1 Hz, 4 steps
    const Case cases[] = {
        {Waveform::Sine, 0, 0, 1},         {Waveform::Sine, 0, 0.25, 3},
        {Waveform::Sine, 0, 0.75, -1},     {Waveform::Sine, 90, 0, 3},
        {Waveform::Triangle, 0, 0.125, 2}, {Waveform::Triangle, 0, 0.25, 3},
        {Waveform::Triangle, 0, 0.5, 1},   {Waveform::Triangle, 0, 0.75, -1},
        {Waveform::Square, 0, 0.1, 3},     {Waveform::Square, 0, 0.6, -1},
        {Waveform::Square, 180, 0.1, -1},  {Waveform::Ramp, 0, 0, -1},
        {Waveform::Ramp, 0, 0.75, 2},      {Waveform::Ramp, -90, 2.0, 2},
        {Waveform::Steps, 0, 0.2, -1},     {Waveform::Steps, 0, 0.3, 1.0 / 3},
        {Waveform::Steps, 0, 0.99, 3},
    };
    for (const Case& c : cases) {
        const Shape shape{.waveform = c.waveform,
                          .amplitude = 2,
                          .offset = 1,
                          .frequency = 1,
                          .phaseDegrees = c.phase,
                          .steps = 4};
        EXPECT_NEAR(ShapeVolts(shape, c.seconds), c.volts, 1e-9)
            << WaveformName(c.waveform) << " at " << c.seconds;
    }

    // Played: point i is the shape at i / rate, each channel in its own place.
    const std::vector<Shape> shapes{
        {.channel = Channel::C, .waveform = Waveform::Sine, .amplitude = 9, .frequency = 50},
        {.channel = Channel::A,
         .waveform = Waveform::Ramp,
         .amplitude = 4,
         .offset = -5,
         .frequency = 125}};
    const double rate = 4000;
    const auto report = Play(bench, shapes, {.rate = rate, .count = 1});
    ASSERT_TRUE(report) << report.error().message;
    EXPECT_EQ(report->points, 80) << "one period of the first shape";
    const std::vector<Write> writes = DataWrites(driver.calls);
    ASSERT_EQ(writes.size(), 160u);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const Shape& s = shapes[i % 2];
        const double volts = ShapeVolts(s, static_cast<double>(i / 2) / rate);
        EXPECT_EQ(writes[i].channel, static_cast<int>(s.channel)) << i;
        EXPECT_EQ(writes[i].code, bench.voltsToCode(s.channel, volts)) << i;
    }
}

TEST_F(Player, StopsWithinOnePointAndEndsAsAsked) {
    struct Case {
        EndLevel end;
        double rate;
        int pointsAfterStop; // points written after the last one played
    };
    const Case cases[] = {{EndLevel::Hold, 1000, 0},
                          {EndLevel::Zero, 1000, 1},
                          {EndLevel::Hold, kMinRate, 0}}; // stopped while waiting
    for (const Case& c : cases) {
        driver.calls.clear();
        const auto pulses = [&] {
            return std::ranges::count_if(DataWrites(driver.calls),
                                         [](const Write& w) { return w.request == kPulse; });
        };
        const SequenceTable table{{{Channel::B, SequenceUnit::Code}, {Channel::D}},
                                  {1, 2.5, 3, -2.5}};
        const auto report =
            Play(bench, table, {.rate = c.rate, .count = std::nullopt, .end = c.end},
                 {.cancelled = [&] { return pulses() >= 1; }, .progress = {}});
        ASSERT_TRUE(report) << report.error().message;
        EXPECT_TRUE(report->stopped);
        EXPECT_EQ(report->points, 1);
        const std::vector<Write> writes = DataWrites(driver.calls);
        ASSERT_EQ(writes.size(), 2u * (1 + c.pointsAfterStop));
        if (c.end == EndLevel::Zero) {
            EXPECT_EQ(writes[2].code, 0x8000);
            EXPECT_EQ(writes[3].code, 0x8000);
            EXPECT_EQ(writes[3].request, kPulse) << "zero moves the outputs together";
        }
        EXPECT_EQ(driver.calls.back().args[1], kLines);
    }
}

TEST_F(Player, RefusesBeforeSendingAnything) {
    using Shapes = std::vector<Shape>;
    const SequenceTable four{{{Channel::A}, {Channel::B}, {Channel::C}, {Channel::D}},
                             {0, 0, 0, 0}};
    struct Case {
        Sequence sequence;
        PlayOptions options;
        const char* says;
    };
    const Case cases[] = {
        {SequenceTable{{{Channel::A}}, {0, 9.9, 10.5}}, {}, "point 3, DAC A: 10.5 V is outside"},
        {SequenceTable{{{Channel::B, SequenceUnit::Code}}, {65536}}, {}, "code 65536"},
        {SequenceTable{{{Channel::B, SequenceUnit::Code}}, {1.5}}, {}, "code 1.5"},
        {SequenceTable{{{Channel::A}, {Channel::A}}, {0, 0}}, {}, "at most once"},
        {SequenceTable{{{Channel::A}}, {}}, {}, "at least one point"},
        {four, {.rate = 2001}, "the most for 4 channel(s)"},
        {four, {.rate = 100, .count = 0}, "count 0"},
        {Shapes{{.amplitude = 6, .offset = 5}}, {}, "the sine reaches 11 V"},
        {Shapes{{.waveform = Waveform::Square, .amplitude = 5, .offset = -5.5}}, {}, "-10.5 V"},
        {Shapes{{.frequency = 600}}, {.rate = 1000}, "frequency 600 Hz"},
        {Shapes{{.waveform = Waveform::Steps, .steps = 1}}, {}, "steps 1"},
    };
    for (const Case& c : cases) {
        const auto report = Play(bench, c.sequence, c.options);
        ASSERT_FALSE(report) << c.says;
        EXPECT_EQ(report.error().kind, Error::Kind::Usage);
        EXPECT_NE(report.error().message.find(c.says), std::string::npos) << report.error().message;
        EXPECT_TRUE(driver.calls.empty()) << c.says;
    }
}

TEST_F(Player, AFailedTransferEndsThePlayAndPutsTheLinesBack) {
    driver.statuses = {0, 0, 0, 0, 0, -5}; // lines, two points of two channels, then a failure
    const SequenceTable table{{{Channel::A}, {Channel::B}}, {1, 2, 3, 4}};
    const auto report = Play(bench, table, {.rate = 1000, .count = 3});
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error().kind, Error::Kind::Transfer);
    EXPECT_NE(report.error().message.find("after 2 points"), std::string::npos)
        << report.error().message;
    EXPECT_EQ(driver.calls.back().args[1], kLines);
    EXPECT_EQ(bench.lines(), ControlLines{});
}

TEST(SequenceCsv, RefusesWhatItCannotPlayNamingTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"A,B\n1\n", "line 2: 1 values where the header names 2"},
        {"A,E\n", "line 1: column \"E\""},
        {"A,a_code\n", "channel A is named twice"},
        {"A\n\n1.5x\n", "line 3: \"1.5x\" is not a number"},
        {"A\n0x10\n", "\"0x10\" is not a number"}, // hexadecimal only for codes
        {"A\n\x01\x02\n", "\"??\""},
        {"# nothing\n", "no header row"},
        {"A_code\n", "no points"},
    };
    for (const auto& [text, says] : cases) {
        const auto table = ParseSequenceCsv(text);
        ASSERT_FALSE(table) << text;
        EXPECT_NE(table.error().message.find(says), std::string::npos) << table.error().message;
    }
}

} // namespace
} // namespace tq::bench
