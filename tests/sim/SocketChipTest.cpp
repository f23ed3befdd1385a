// Chip models of the socket against pin conditions set directly.
#include <gtest/gtest.h>

#include <memory>

#include "sim/SignatureEprom.h"
#include "sim/Socket.h"

#include "PinBench.h"

namespace {

struct FakeEnvironment : Env {
    void Drive(int p, bool high) { pins[p] = {false, -1, true, high}; }
};

int DataByte(const sim::ChipModel& chip, const FakeEnvironment& env) {
    static const int kData[8] = {21, 22, 23, 25, 26, 27, 28, 29};
    int v = 0;
    for (int b = 0; b < 8; ++b) {
        const sim::ChipDrive d = chip.Output(env, kData[b]);
        if (d == sim::ChipDrive::None) return -1;
        if (d == sim::ChipDrive::High) v |= 1 << b;
    }
    return v;
}

TEST(SocketChipTest, EpromSignatureNeedsPowerEnablesAndTwelveVolts) {
    FakeEnvironment env;
    sim::SignatureEprom eprom(32, 0x12, 0x34);
    for (int p = 9; p <= 40; ++p) env.Drive(p, false);
    for (int p : {21, 22, 23, 25, 26, 27, 28, 29}) env.pins[p] = {};
    // Unpowered: the diode network pulls the floating data pins weakly low.
    EXPECT_EQ(eprom.Output(env, 21), sim::ChipDrive::WeakLow);
    env.pins[24] = {true};             // GND
    env.pins[40] = {false, 50};        // VCC 5.0 V
    env.Drive(30, true);               // /CE high
    EXPECT_TRUE(eprom.Powered(env));
    EXPECT_EQ(DataByte(eprom, env), -1); // not selected
    env.Drive(30, false);
    env.Drive(32, false);
    EXPECT_EQ(DataByte(eprom, env), 0xFF); // the erased array
    env.pins[34] = {false, 120};       // A9 at 12.0 V
    EXPECT_EQ(DataByte(eprom, env), 0x12);
    env.Drive(20, true);               // A0 high
    EXPECT_EQ(DataByte(eprom, env), 0x34);
    env.pins[34] = {false, 110};       // below the signature window
    EXPECT_EQ(DataByte(eprom, env), 0xFF);
    EXPECT_TRUE(env.violations.empty());
    env.pins[34] = {false, 135};       // over the limit
    DataByte(eprom, env);
    env.pins[34] = {false, 120};
    DataByte(eprom, env);
    env.pins[40] = {};                 // supply gone, A9 still at 12 V
    eprom.Output(env, 21);
    ASSERT_EQ(env.violations.size(), 2u);
    EXPECT_NE(env.violations[1].find("A9 without supply"), std::string::npos) << env.violations[1];
}

// What the programmer holds on a pin, by name.
sim::PinCondition Held(char what) {
    sim::PinCondition c;
    switch (what) {
    case 'G': c.grounded = true; break;
    case 'S': c.supplyTenths = 50; break;
    case 's': c.supplyTenths = 10; break; // a supply below the high threshold
    case 'H': c.driven = c.drivenHigh = true; break;
    case 'L': c.driven = true; break;
    case 'U': c.pull = sim::Pull::Up; break;
    case 'D': c.pull = sim::Pull::Down; break;
    case 'X': c.grounded = true; c.supplyTenths = 50; break; // ground wins
    case 'Y': c.supplyTenths = 50; c.driven = true; break;   // supply wins over the driver
    case 'Z': c.driven = c.drivenHigh = true; c.pull = sim::Pull::Down; break;
    default: break; // floating
    }
    return c;
}

TEST(SocketChipTest, LevelsGatheredAtOnceMatchEachPinsLevel) {
    // Socket pins 1-11 held as named; pin 0 stands for a chip line off the
    // socket and reads high, pin 49 is outside and floats.
    const std::string held = "GSsHLUDXYZ-";
    const std::vector<int> pins = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 49};
    for (int floating : {0, 1}) {
        Env plain;
        TableEnv table;
        for (Env* env : {&plain, static_cast<Env*>(&table)}) {
            env->floating = floating;
            for (size_t i = 0; i < held.size(); ++i) env->pins[i + 1] = Held(held[i]);
            uint32_t expected = 0;
            for (size_t i = 0; i < pins.size(); ++i) {
                const bool high = pins[i] == 0 || env->InputLevel(pins[i]) == 1;
                expected |= static_cast<uint32_t>(high) << i;
            }
            // G S s H L U D X Y Z float, off the socket, outside.
            const uint32_t named = 0b0101100101010u | (floating ? 0b1010000000000u : 0u);
            EXPECT_EQ(expected, named) << "floating " << floating;
            EXPECT_EQ(env->HighLevels(pins.data(), pins.size()), expected) << "floating " << floating;
        }
    }
}

struct ReadCase {
    const char* what;
    std::vector<std::vector<sim::ChipDrive>> chips; // drives on socket pins 1-4 (None: not on the pin)
    const char* held;                               // the programmer's side of pins 1-4
    uint16_t levels;
    size_t violations;
};

TEST(SocketChipTest, AWordReadAtOnceCombinesTheChipsAsPinByPin) {
    using D = sim::ChipDrive;
    const ReadCase cases[] = {
        {"empty socket", {}, "HLUD", 0b0101, 0},
        {"one chip drives", {{D::High, D::Low, D::High, D::Low}}, "LHLH", 0b0101, 0},
        {"a weak drive is the chip's", {{D::WeakHigh, D::WeakLow, D::None, D::WeakHigh}}, "-HLL", 0b1001, 0},
        {"a chip off some pins", {{D::None, D::High}}, "H-LL", 0b0011, 0},
        {"strong beats weak", {{D::High, D::WeakLow, D::None, D::None}, {D::WeakLow, D::Low, D::None, D::None}}, "----", 0b1101, 0},
        {"weak against weak floats", {{D::WeakHigh, D::WeakLow}, {D::WeakLow, D::WeakLow}}, "L---", 0b1100, 0},
        {"strong against strong", {{D::High, D::Low}, {D::Low, D::Low}}, "----", 0b1100, 1},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        TableEnv env;
        for (int p = 1; p <= 4; ++p) env.pins[p] = Held(c.held[p - 1]);
        sim::Socket socket;
        for (const auto& drives : c.chips) {
            std::vector<int> on;
            std::vector<sim::ChipDrive> d;
            for (size_t i = 0; i < drives.size(); ++i) {
                on.push_back(static_cast<int>(i) + 1);
                d.push_back(drives[i]);
            }
            socket.Insert(std::make_unique<FixedChip>(on, d));
        }
        const int pins[] = {1, 2, 3, 4};
        EXPECT_EQ(socket.ReadLevels(env, pins, 4), c.levels);
        // The same pin by pin.
        uint16_t byPin = 0;
        for (int i = 0; i < 4; ++i) {
            const D d = socket.Output(env, pins[i]);
            const bool high = d == D::High || d == D::WeakHigh || (d == D::None && env.InputLevel(pins[i]) == 1);
            byPin = static_cast<uint16_t>(byPin | (high << i));
        }
        EXPECT_EQ(byPin, c.levels);
        EXPECT_EQ(env.violations.size(), 2 * c.violations); // once per read
    }
}

} // namespace
