// The serial personality's registers against a line recorder in the socket:
// the order of the line changes, what register 6 reads, refused values.
#include <gtest/gtest.h>

#include <memory>

#include "SimTestBus.h"
#include "sim/Electrical.h"
#include "sim/SerialEngine.h"
#include "sim/Socket.h"

namespace {

// Records SDA (ZIF 25) and SCL (ZIF 26) after every change of the lines.
class SerialEngineLineRecorder : public sim::ChipModel {
public:
    std::vector<std::pair<int, int>> seen; // (sda, scl)
    std::string Name() const override { return "recorder"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        const std::pair<int, int> now{env.InputLevel(25), env.InputLevel(26)};
        if (seen.empty() || seen.back() != now) seen.push_back(now);
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }

private:
    std::vector<int> pins_{25, 26};
};

class SerialEngineTest : public ::testing::Test {
protected:
    sim::SimProgrammer p;
    SerialEngineLineRecorder* lines = nullptr;
    void SetUp() override {
        sim::RegisterSerialPersonality();
        sim::AddElectrical(p);
        auto socket = std::make_unique<sim::Socket>();
        lines = socket->Insert(std::make_unique<SerialEngineLineRecorder>());
        p.AddComponent(std::move(socket));
        Configure(0);
    }
    void Configure(uint8_t form) {
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalitySerial;
        h.params[0] = form;
        p.ConfigureDirect(h);
    }
};

// The start and stop conditions: the data line moves only while the clock is
// low, except for the condition itself.
TEST_F(SerialEngineTest, StartAndStopMoveDataWhileTheClockIsLow) {
    WriteReg(p, 4, 1);
    WriteReg(p, 3, 0x0C);
    lines->seen.clear();
    for (uint8_t v : {1, 3, 2, 0x0C, 2, 3, 1, 0x0C}) WriteReg(p, 3, v);
    const std::vector<std::pair<int, int>> expected = {
        {1, 1}, {0, 1}, {0, 0}, {1, 0}, // start: SDA falls under SCL high, SCL low, SDA released
        {0, 0}, {0, 1}, {1, 1},         // stop: SDA low first, SCL up, SDA rises
        {1, 0}};
    EXPECT_EQ(lines->seen, expected);
    EXPECT_TRUE(p.Violations().empty());
}

// Reading register 6 clears it: a one-cycle shift after a read sends 0 (an
// acknowledge), after a write of FFh 1.
TEST_F(SerialEngineTest, ReadingTheShiftRegisterClearsIt) {
    WriteReg(p, 4, 3);
    WriteReg(p, 3, 0x0C);
    WriteReg(p, 6, 0x12);
    WriteReg(p, 7, 8);
    EXPECT_EQ(ReadReg(p, 6), 0xFF); // released line, pulled up
    EXPECT_EQ(ReadReg(p, 6), 0x00);
    WriteReg(p, 4, 1);
    lines->seen.clear();
    WriteReg(p, 7, 1);
    ASSERT_FALSE(lines->seen.empty());
    EXPECT_EQ(lines->seen.front().first, 0); // the acknowledge bit drives SDA low
    EXPECT_EQ(ReadReg(p, 7) & 2, 0);         // idle again
}

// A shift while the lines are by hand is refused.
TEST_F(SerialEngineTest, AShiftWhileTheLinesAreByHandIsAViolation) {
    WriteReg(p, 3, 1);
    WriteReg(p, 4, 1);
    EXPECT_TRUE(p.Violations().empty());
    WriteReg(p, 7, 8);
    EXPECT_FALSE(p.Violations().empty());
}

// The plain form (image parameter 0), the SPI form (2), the two-clock form (3)
// and the SPI form of the DataFlash adapter (4): the values each register
// takes, and every other value refused.
TEST_F(SerialEngineTest, FormsTakeTheirOwnValues) {
    struct Case {
        uint8_t form;
        std::vector<std::pair<uint8_t, uint8_t>> taken, refused;
    };
    const std::vector<Case> cases = {
        {0, {}, {{7, 5}, {4, 7}, {3, 0x0D}, {0, 1}, {8, 3}}},
        {2, {{0, 7}, {0, 6}, {3, 0x0C}, {4, 1}, {6, 0xA5}, {7, 8}, {4, 0}, {3, 0}, {0, 0}, {7, 0}},
         {{0, 5}, {0, 1}, {3, 3}, {4, 2}, {4, 3}, {5, 1}, {7, 1}, {7, 9}}},
        {3, {{0, 1}, {3, 0}, {4, 2}, {4, 3}, {7, 1}, {4, 1}, {6, 0xFF}, {7, 8}, {0, 0}, {3, 1}},
         {{0, 2}, {3, 2}, {3, 0x0C}, {4, 4}, {4, 9}, {5, 1}, {7, 9}}},
        {4, {{0, 1}, {3, 3}, {4, 1}, {6, 0x57}, {7, 8}, {0, 0}, {4, 2}, {3, 0}, {7, 0}},
         {{0, 6}, {0, 2}, {3, 0x0C}, {3, 1}, {4, 3}, {5, 1}, {7, 1}}},
    };
    for (const Case& c : cases) {
        Configure(c.form);
        for (bool taken : {true, false}) {
            for (auto [reg, value] : taken ? c.taken : c.refused) {
                p.ClearViolations();
                WriteReg(p, reg, value);
                EXPECT_EQ(p.Violations().empty(), taken) << int(c.form) << ": " << int(reg) << " " << int(value);
            }
        }
    }
}

// The SPI form sends MSB first on SI (ZIF 25), each bit set while SCK (ZIF
// 26) is low and held through its rising edge.
TEST_F(SerialEngineTest, SpiFormShiftsMsbFirstInMode0) {
    Configure(2);
    WriteReg(p, 3, 0x0C);
    WriteReg(p, 4, 1);
    lines->seen.clear();
    WriteReg(p, 6, 0xA5);
    WriteReg(p, 7, 8);
    std::vector<int> bits;
    for (size_t i = 1; i < lines->seen.size(); ++i) {
        const auto [si, sck] = lines->seen[i];
        EXPECT_FALSE(sck == 1 && lines->seen[i - 1].second == 1 && si != lines->seen[i - 1].first) << i;
        if (sck == 1 && lines->seen[i - 1].second == 0) bits.push_back(si);
    }
    EXPECT_EQ(bits, (std::vector<int>{1, 0, 1, 0, 0, 1, 0, 1}));
    EXPECT_EQ(lines->seen.back().second, 0);
}

} // namespace
