// The SCPI language and its command table on the simulated board: each message's answers,
// the first error it queued, and its effect read through the simulated board's read-outs.

#include "board/DriverLibrary.h"
#include "drivers/sim/sim_abi.h"
#include "scpi/Commands.h"
#include "scpi/Server.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace tq::scpi {
namespace {

class ScpiOnSim : public testing::Test {
protected:
    void SetUp() override {
        reset = reinterpret_cast<TQSim_Reset_fn>(library.resolveOptional("TQSim_Reset"));
        read = reinterpret_cast<TQSim_ReadRegisters_fn>(
            library.resolveOptional("TQSim_ReadRegisters"));
        ASSERT_TRUE(reset && read);
        reset();
        ASSERT_TRUE(bench.start(QStringLiteral(TQ_BIN_DIR "/TQ5802.hex")));
    }
    std::string run(std::string_view message) { return run(message, interpreter); }
    std::string run(std::string_view message, Interpreter& on) {
        std::string joined;
        for (const std::string& a : on.execute(session, message))
            joined += (joined.empty() ? "" : "|") + a;
        return joined;
    }
    // The number of the oldest queued error (0 if none); the queue is emptied.
    int firstError() {
        const int code = session.errors.count() ? std::stoi(session.errors.next()) : 0;
        session.errors.clear();
        return code;
    }
    TQSimRegisters board() const {
        TQSimRegisters r{};
        read(&r);
        return r;
    }
    template <class F> F entry(const char* name) {
        return reinterpret_cast<F>(library.resolveOptional(name));
    }

    board::DriverLibrary library{QStringLiteral(TQ_SIM_LIBRARY)};
    bench::Bench bench{library, bench::Model::TQ5802R};
    Interpreter interpreter{bench, Identity{"Maker", "9.9"}};
    Session session;
    TQSim_Reset_fn reset = nullptr;
    TQSim_ReadRegisters_fn read = nullptr;
};

struct Case {
    const char* message;
    const char* answers;
    int error;
    std::function<bool(const TQSimRegisters&)> holds = nullptr;
};

// Long and short forms, any case, optional nodes, suffixes, chains keeping the path, MIN/MAX.
TEST_F(ScpiOnSim, CommandsAndTheirEffects) {
    const Case cases[] = {
        {"*IDN?", "Maker,TQ5802R,0,9.9", 0},
        {"SOURce2:VOLTage 5", "", 0, [](const auto& r) { return r.dac[1] == 49152; }},
        {"sour2:volt:lev -5;lev?", "-5", 0, [](const auto& r) { return r.dac[1] == 16384; }},
        {"SOUR2:VOLT 2.5;DATA?", "40960", 0},
        {"SOUR:DATA MAX;:SOURCE1:DATA?", "65535", 0},
        {"SOUR4:VOLT:RANG 10.2564;RANG?", "10.2564", 0,
         [](const auto& r) { return r.coarse[3] == 1 && r.coarse[2] == 0; }},
        {"sour4:volt min;:sour4:volt?", "-10.2564", 0, [](const auto& r) { return r.dac[3] == 0; }},
        {"CAL3:GAIN:FINE MIN;FINE?", "-32", 0, [](const auto& r) { return r.fine[2] == 32; }},
        {"calibration3:offset -1.25;OFFS?", "-1.25", 0,
         [](const auto& r) { return r.offset[2] == 246; }},
        {"CONT:COD TWOS;COD?;:CONTROL:CODING?", "TWOS|TWOS", 0,
         [](const auto& r) { return r.binary == 0; }},
        {"CONT:COD BIN;LDAC OFF;LDAC?;CLR?;RST?;PULS?", "0|1|1|1", 0,
         [](const auto& r) { return r.binary == 1 && r.ldac == 0; }},
        {"CONT:LDAC 1;PULS OFF;PULS?;PULS 1", "0", 0},
        {"FUNC:DIO0:DIR OUT;LEV ON;:FUNC:DIO0:LEV?;:FUNC:DIO1:DIR?;:FUNC:DIO:LEV?", "1|IN|0", 0,
         [](const auto& r) { return r.function == 0x06 && r.driveD0 == 0; }},
        {"FUNC:LGND ON;LGND?;SDO?", "1|1", 0, [](const auto& r) { return (r.function & 0x20); }},
        {"REG 5,ALL,#H10;:REG? 5,D;:REGISTER? 5,3", "16|16", 0,
         [](const auto& r) { return r.offset[0] == 16 && r.offset[3] == 16; }},
        {"FUNC:CLE", "", 0, [](const auto& r) { return r.dac[0] == 0x8000; }},
        {"FUNC:LOAD", "", 0, [](const auto& r) { return r.dac[0] == 65535; }},
        {"*ESE 32;*ESE?;*OPC?;SYST:VERS?;:SYST:ERR?;ERR:COUN?", "32|1|1999.0|0,\"No error\"|0", 0},
        {"  ;*WAI;;", "", 0},
        // Errors: each class, and a command error ends the message there.
        {"SOUR5:VOLT 1", "", -114},
        {"FUNC:DIO2:DIR IN", "", -114},
        {"VOLT 1", "", -113},
        {"SOUR:VOLTAGES 1;*IDN?", "", -113},
        {"SOURC:VOLT 1", "", -113},
        {"SOUR2:VOLT 1;:SOUR2:VOLT:LEV:FOO 1", "", -113},
        {"SOUR2:VOLT:LEV 1;VOLT?", "", -113},
        {"*RST?", "", -113},
        {"FUNC:LOAD?", "", -113},
        {"SOUR:VOLT", "", -109},
        {"REG? 2", "", -109},
        {"SOUR:VOLT 1,2", "", -108},
        {"*RST 1", "", -108},
        {"SOUR::VOLT 1", "", -102},
        {"\x01\xff\x7f", "", -102},
        {"SOUR:VOLT \"1", "", -102},
        {"SOUR:VOLT 1,,", "", -102},
        {"SOUR:VOLT abc", "", -104},
        {"SOUR:VOLT nan", "", -104},
        {"SOUR:VOLT 10.5;*OPC?", "1", -222},
        {"SOUR:DATA 65536", "", -222},
        {"REG 9,0,0", "", -222},
        {"CONT:COD GRAY", "", -224},
        {"SOUR:VOLT:RANG 9", "", -224},
        {"SOUR:DATA 1.5", "", -224},
        {"FUNC:SDO 2", "", -224},
        {"FUNC:SDO OFF;:SOUR1:DATA?;:FUNC:SDO ON", "", -221},
        // String and number forms: one string with doubled quotes, no control characters;
        // underflow is 0, overflow of any length out of range.
        {"CAL:MET:ROUT 'a''b\"c';ROUT?", "\"a'b\"\"c\"", 0},
        {"CAL:MET \"x\" \"y\"", "", -102},
        {"CAL:MET \"x\"y\"", "", -102},
        {"CAL:MET:ROUT \"*RST\r\x1b\"", "", -224},
        {"SOUR2:VOLT 1e-400;VOLT?", "0", 0},
        {"SOUR2:VOLT -1e999", "", -222},
        {"SOUR2:DATA #H123456789ABCDEF01", "", -222},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(run(c.message), c.answers);
        EXPECT_EQ(firstError(), c.error);
        if (c.holds) {
            EXPECT_TRUE(c.holds(board()));
        }
    }
}

// The queue keeps its oldest errors, marks the overflow, and feeds *ESR? and *STB?.
// What a board model lacks is refused as missing hardware, before anything is sent.
TEST_F(ScpiOnSim, AModelsMissingFeatureIsHardwareMissing) {
    bench::Bench legacy{library, bench::Model::TQ5802};
    ASSERT_TRUE(legacy.start(QStringLiteral(TQ_BIN_DIR "/TQ5802.hex")));
    Interpreter older{legacy, Identity{"Maker", "9.9"}};
    int transfers = 0;
    legacy.declare().addObserver([&](const board::Transfer&) { ++transfers; });
    EXPECT_TRUE(older.execute(session, "MEAS:TEMP?").empty());
    EXPECT_EQ(session.errors.next(),
              "-241,\"Hardware missing;the TQ5802 board has no temperature readout\"");
    EXPECT_EQ(transfers, 0);
}

TEST_F(ScpiOnSim, ErrorQueueAndStatus) {
    for (int i = 0; i < 20; ++i)
        run("FOO");
    run("SOUR:VOLT 99");
    EXPECT_EQ(run("SYST:ERR:COUN?;*ESR?;*STB?;*ESR?"), "16|48|4|0");
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(run("SYST:ERR:NEXT?").substr(0, 4), "-113");
    EXPECT_EQ(run("SYST:ERR?"), "-350,\"Queue overflow\"");
    run("SOUR:VOLT 99;*CLS");
    EXPECT_EQ(run("SYST:ERR?;*ESR?"), "0,\"No error\"|0");
}

// A refused transfer and a board that is gone are the device's own errors, with the detail.
TEST_F(ScpiOnSim, TransferFailuresAndAGoneBoard) {
    auto failing = entry<TQSim_SetFailingTransfers_fn>("TQSim_SetFailingTransfers");
    auto unplug = entry<TQSim_Unplug_fn>("TQSim_Unplug");
    ASSERT_TRUE(failing && unplug);
    failing(1);
    EXPECT_EQ(run("SOUR:DATA 1"), "");
    const std::string error = run("SYST:ERR?");
    EXPECT_EQ(error.substr(0, 4), "101,");
    EXPECT_NE(error.find("status"), std::string::npos);
    failing(0);
    EXPECT_EQ(run("SOUR:DATA 1;DATA?"), "1");
    unplug();
    EXPECT_EQ(run("MEAS:TEMP?;*RST;:SOUR:DATA?"), "");
    EXPECT_EQ(firstError(), kBoardGone);
}

// Automatic calibration through a meter the server was given (the simulated one, which the
// test's environment switches on), and only through such a meter.
TEST_F(ScpiOnSim, CalibratesAgainstTheServersMeters) {
    const int port = entry<TQSim_MeterPort_fn>("TQSim_MeterPort")();
    if (port == 0) GTEST_SKIP() << "TQ5802_SIM_METER is not set";
    const std::string url = "tcp://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(run("CAL2:AUTO?"), "");
    EXPECT_EQ(firstError(), -221) << "a server without meters";
    run("CAL:MET \"" + url + "\"");
    EXPECT_EQ(firstError(), -224) << "not a meter of this server";

    Interpreter served{bench, Identity{}, {{url, {}}, {"tcp://127.0.0.1:1", "ROUT:CLOS (@{n})"}}};
    EXPECT_EQ(run("CAL:MET:ROUT 'ROUT:CLOS (@{n})';:CAL:MET?", served), "\"" + url + "\"");
    EXPECT_EQ(firstError(), 0);
    const std::string answer = run("CAL2:AUTO?", served);
    EXPECT_EQ(answer.substr(0, 2), "1,") << answer;
    EXPECT_EQ(firstError(), 0);
    EXPECT_NE(board().offset[1], 0) << "DAC B's offset error was trimmed";
    // The meter left on DAC A: the run fails naming what it saw, and B keeps its trims.
    const TQSimRegisters trimmed = board();
    run("CAL:MET:ROUT 'ROUT:CLOS (@1)';:CAL2:AUTO", served);
    const std::string error = session.errors.next();
    EXPECT_EQ(error.rfind("103,\"Meter failed;DAC B stepped by 10 V, the meter saw ", 0), 0u)
        << error;
    EXPECT_NE(error.find("is it on DAC B?"), std::string::npos) << error;
    EXPECT_EQ(board().offset[1], trimmed.offset[1]);
    EXPECT_EQ(board().fine[1], trimmed.fine[1]);
    EXPECT_EQ(board().input[1], trimmed.input[1]);
    run("CAL:MET:ROUT 'ROUT:CLOS (@{n})';:CAL1:AUTO;:CAL1:AUTO", served);
    EXPECT_EQ(firstError(), -221) << "one long operation per message";
    EXPECT_EQ(run("CAL:MET \"tcp://127.0.0.1:1\";:CAL:MET:ROUT 'X';ROUT?", served),
              "\"ROUT:CLOS (@{n})\"");
    EXPECT_EQ(firstError(), -221) << "the operator fixed this meter's routing command";
    run("CAL3:AUTO", served);
    EXPECT_EQ(firstError(), kMeterFailed);
    run("CAL:MET tcp", served);
    EXPECT_EQ(firstError(), -104);
}

TEST(ScpiSyntax, NumbersAndAddresses) {
    const std::pair<std::string, std::optional<double>> numbers[] = {
        {"1", 1},
        {"+2.5e1", 25},
        {"-.5", -0.5},
        {"#HFF", 255},
        {"#b101", 5},
        {"#Q17", 15},
        {"inf", {}},
        {"-", {}},
        {"1V", {}},
        {"#H", {}},
        {"#HG", {}},
        {"0x10", {}},
        {"1e-400", 0},
        {"-0.00001e-320", 0},
        {"1e999", HUGE_VAL},
        {"-1e999", -HUGE_VAL},
        {"#HFFFFFFFFFFFFFFFFF", HUGE_VAL},
        {"0000000000000000000000000000000000000000.0001e-320", 0},
        {"1" + std::string(400, '0') + "e-5", HUGE_VAL},
    };
    for (const auto& [text, value] : numbers)
        EXPECT_EQ(NumberFrom(text), value) << text;

    EXPECT_EQ(ParseListen("0.0.0.0:0")->second, 0);
    EXPECT_EQ(ParseListen("[::1]:6000")->first, QHostAddress(QHostAddress::LocalHostIPv6));
    EXPECT_EQ(ParseListen("localhost")->second, 5025);
    // A refusal names the part that is wrong.
    for (const auto& [bad, part] : {std::pair{"1.2.3.4:70000", "port \"70000\""},
                                    {"host:1", "address \"host\""},
                                    {"1.2.3.4:x", "port \"x\""},
                                    {"[::1", "closing"}}) {
        const auto refused = ParseListen(bad);
        ASSERT_FALSE(refused) << bad;
        EXPECT_NE(refused.error().message.find(part), std::string::npos) << refused.error().message;
    }
}

// --allow: dotted decimal without octal or short forms, IPv6, v4-mapped entries and clients
// matched as IPv4, and no prefix that admits everyone.
TEST(ScpiSyntax, AllowedSubnets) {
    const std::pair<const char*, const char*> admitted[] = {
        {"10.0.0.0/8", "10.200.1.1"},      {"127.0.0.10", "::ffff:127.0.0.10"},
        {"::ffff:127.0.0.1", "127.0.0.1"}, {"::ffff:192.168.0.0/112", "192.168.7.7"},
        {"fd00::/8", "fd12::1"},           {"::1", "::1"},
    };
    for (const auto& [entry, client] : admitted) {
        const auto subnet = ParseAllow(entry);
        ASSERT_TRUE(subnet) << entry;
        EXPECT_TRUE(Admits({{*subnet}}, QHostAddress(client))) << entry << " " << client;
    }
    const std::pair<const char*, const char*> kept[] = {
        {"127.0.0.10", "127.0.0.8"},
        {"10.0.0.0/8", "11.0.0.1"},
        {"fd00::/8", "fe80::1"},
    };
    for (const auto& [entry, client] : kept)
        EXPECT_FALSE(Admits({{*ParseAllow(entry)}}, QHostAddress(client))) << entry;
    for (const char* bad : {"127.0.0.010", "127.000.000.010", "127.1", "0x7f.0.0.1", "1.2.3.4.5",
                            "256.0.0.1", "10.0.0.0/33", "10.0.0.0/08", "10.0.0.0/", "0.0.0.0/0",
                            "::/0", "::ffff:0.0.0.0/96", "ten", "", "1.2.3.4/x"}) {
        const auto subnet = ParseAllow(bad);
        ASSERT_FALSE(subnet) << bad;
        EXPECT_NE(subnet.error().message.find("--allow"), std::string::npos);
    }
}

} // namespace
} // namespace tq::scpi
