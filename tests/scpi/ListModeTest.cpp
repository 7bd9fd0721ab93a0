// List mode against a recording driver: the lists, rate and count as set and read back, what
// INITiate sends point by point, what it refuses before sending anything, and its stop.

#include "scpi/Commands.h"

#include "RecordingDriver.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tq::scpi {
namespace {

using board::testing::RecordingDriver;

constexpr int kPulse = 0xD9;
constexpr int kNoPulse = 0xDD;

// A data write as the driver saw it.
struct Write {
    int request;
    int channel;
    int code;
    bool operator==(const Write&) const = default;
};

class ListMode : public testing::Test {
protected:
    std::string run(std::string_view message, Session& as) {
        std::string joined;
        for (const std::string& a : interpreter.execute(as, message))
            joined += (joined.empty() ? "" : "|") + a;
        return joined;
    }
    std::string run(std::string_view message) { return run(message, session); }
    int firstError() {
        const int code = session.errors.count() ? std::stoi(session.errors.next()) : 0;
        session.errors.clear();
        return code;
    }
    std::vector<Write> writes() const {
        std::vector<Write> w;
        for (const auto& c : driver.calls)
            if (c.args[1] == kPulse || c.args[1] == kNoPulse)
                w.push_back({static_cast<int>(c.args[1]), static_cast<int>(c.args[2] & 7),
                             static_cast<int>(c.args[3])});
        return w;
    }

    RecordingDriver driver;
    bench::Bench bench{driver, bench::Model::TQ5802R}; // ranges +-10 V, binary coding
    Interpreter interpreter{bench, Identity{}};
    Session session;
};

TEST_F(ListMode, SetReadBackAndPlayOnePulseAPoint) {
    const struct {
        const char* message;
        const char* answers;
        int error;
    } cases[] = {
        {"SOUR:LIST:RATE?;COUN?;END?;:SOUR3:LIST:VOLT?", "1000|1|HOLD|", 0},
        {"SOUR4:LIST:VOLT -10,5,MAX;VOLT?", "-10,5,10", 0},
        {"SOURCE2:LIST:VOLTAGE:LEVEL 0, 2.5 ,#H5", "", 0},
        {":SOUR:LIST:RATE 4000;COUN 2;END ZERO;RATE?;COUN?;END?", "4000|2|ZERO", 0},
        {"SOUR:LIST:COUN INF;COUN?;COUN 9.9e37;COUN?;COUN MIN;COUN?", "9.9e+37|9.9e+37|1", 0},
        {"SOUR:LIST:COUN 2", "", 0},
        // Refused, each leaving the settings above as they were.
        {"SOUR4:LIST:VOLT 1,10.5", "", -222},
        {"SOUR4:LIST:VOLT", "", -109},
        {"SOUR4:LIST:VOLT 1,x", "", -104},
        {"SOUR:LIST:RATE 8001", "", -222},
        {"SOUR:LIST:RATE 0", "", -222},
        {"SOUR:LIST:COUN 0", "", -222},
        {"SOUR:LIST:COUN 1.5", "", -224},
        {"SOUR:LIST:END LAST", "", -224},
        {"SOUR2:LIST:RATE 1", "", -113},
        {"SOUR4:LIST:VOLT?;:SOUR:LIST:RATE?;COUN?;END?", "-10,5,10|4000|2|ZERO", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(run(c.message), c.answers);
        EXPECT_EQ(firstError(), c.error);
    }
    EXPECT_TRUE(driver.calls.empty()) << "settings alone send nothing";

    EXPECT_EQ(run("INIT"), "");
    EXPECT_EQ(firstError(), 0);
    // B then D, together: the last write of a point pulses LDAC; twice through, then 0 V.
    const int points[][2] = {{0x8000, 0x0000}, {0xA000, 0xC000}, {0xC000, 0xFFFF}};
    std::vector<Write> expected;
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& p : points)
            expected.insert(expected.end(), {{kNoPulse, 1, p[0]}, {kPulse, 3, p[1]}});
    expected.insert(expected.end(), {{kNoPulse, 1, 0x8000}, {kPulse, 3, 0x8000}});
    EXPECT_EQ(writes(), expected);
}

// Everything INITiate plays is checked first: a refusal is a settings conflict, and nothing
// reaches the board.
TEST_F(ListMode, RefusedListSendsNothing) {
    const struct {
        const char* message;
        const char* says;
    } cases[] = {
        {"*CLS", "no list to play"},
        {"SOUR1:LIST:VOLT 1,2;:SOUR3:LIST:VOLT 1", "the lists differ in length: A has 2, C has 1"},
        {"SOUR1:LIST:VOLT 1;:SOUR2:LIST:VOLT 1;:SOUR3:LIST:VOLT 1;:SOUR4:LIST:VOLT "
         "1;:SOUR:LIST:RATE 2001",
         "rate 2001 points/s"},
        {"SOUR:LIST:CLE;:SOUR2:VOLT:RANG 10.5263;:SOUR2:LIST:VOLT 10.5;:SOUR2:VOLT:RANG 10",
         "point 1, DAC B: 10.5 V is outside"},
        {"*RST", "no list to play"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        run(c.message);
        ASSERT_EQ(firstError(), 0);
        driver.calls.clear();
        run("INIT");
        const std::string error = session.errors.next();
        EXPECT_EQ(error.rfind("-221,", 0), 0u) << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_TRUE(driver.calls.empty());
    }
}

// INITiate waits for the caller's worker; meanwhile the running bit is set, and a stop
// requested during a point ends the play at that point.
TEST_F(ListMode, StopsWithinOnePointAndTheRunningBitFollows) {
    Session other;
    run("SOUR1:LIST:VOLT 1,2,3;:SOUR3:LIST:VOLT -1,-2,-3;:SOUR:LIST:COUN 100;RATE 4000");
    EXPECT_EQ(run("STAT:OPER:COND?", other), "0");
    Execution e = interpreter.start(session, "INIT");
    ASSERT_TRUE(e.waiting());
    EXPECT_TRUE(e.settled());
    EXPECT_EQ(run("STAT:OPER:COND?", other), "8");

    std::stop_source stop;
    int pulses = 0;
    bench.declare().addObserver([&](const board::Transfer& t) {
        if (t.request == kPulse && ++pulses == 5) stop.request_stop();
    });
    const LongFinish finish = e.takeWork()(stop.get_token());
    EXPECT_EQ(pulses, 5) << "no point after the stop";
    EXPECT_EQ(run("STAT:OPER:COND?", other), "8") << "until the finish runs";
    interpreter.resume(e, session, finish);
    EXPECT_EQ(run("STAT:OPER:COND?", other), "0");
    EXPECT_EQ(firstError(), 0);
    EXPECT_EQ(writes().back().code, bench.voltsToCode(bench::Channel::C, -2)) << "held";

    // A second long command in one message is refused and leaves the bit clear.
    run("SOUR:LIST:COUN 1;:INIT;INIT");
    EXPECT_EQ(firstError(), -221);
    EXPECT_EQ(run("STAT:OPER:COND?", other), "0");
}

} // namespace
} // namespace tq::scpi
