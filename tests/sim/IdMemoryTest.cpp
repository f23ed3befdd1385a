// The programmer's ID memory as a Microwire serial EEPROM on register 13,
// driven with the instruction timing of the part's datasheet.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/IdMemory.h"

namespace {

constexpr uint8_t SK = 0x40, CS = 0x20, DI = 0x10;
constexpr uint16_t kQL = 'Q' | ('L' << 8);

class Microwire {
public:
    sim::SimProgrammer p;
    sim::IdMemory m;
    explicit Microwire(const sim::IdMemoryOptions& o = {}) : m(o) {}
    void Lines(uint8_t v) { m.OnWrite(p, 13, lines_ = v); }
    void Select(bool on) {
        Lines(on ? static_cast<uint8_t>(lines_ | CS) : static_cast<uint8_t>(lines_ & ~(CS | SK | DI)));
    }
    // Data set up while SK is low, taken on the rising edge.
    void Clock(bool di) {
        Lines(static_cast<uint8_t>((lines_ & ~DI) | (di ? DI : 0)));
        Lines(static_cast<uint8_t>(lines_ | SK));
        Lines(static_cast<uint8_t>(lines_ & ~SK));
    }
    void Bits(uint32_t value, int count) {
        for (int b = count - 1; b >= 0; --b) Clock(((value >> b) & 1) != 0);
    }
    int Do() { return *m.OnRead(p, 13) & 1; }
    // Start bit, opcode, address.
    void Instruction(uint32_t opcode, uint32_t address, int bits) {
        Select(true);
        Bits(4 | opcode, 3);
        Bits(address, bits);
    }
    uint16_t ReadNext() {
        uint16_t w = 0;
        for (int i = 0; i < 16; ++i) {
            Clock(false);
            w = static_cast<uint16_t>((w << 1) | Do());
        }
        return w;
    }

private:
    uint8_t lines_ = 0;
};

TEST(IdMemoryTest, ReadGivesDummyZeroThenWordsInSequence) {
    for (int bits : {6, 10}) {
        SCOPED_TRACE(bits);
        Microwire mw(sim::IdMemoryOptions{.addressBits = bits});
        mw.Instruction(2, 0, bits);
        EXPECT_EQ(mw.Do(), 0); // the dummy bit
        EXPECT_EQ(mw.ReadNext(), kQL);
        EXPECT_EQ(mw.ReadNext(), static_cast<uint16_t>('X' | (' ' << 8))); // sequential, no dummy bit
        mw.Select(false);
        EXPECT_EQ(mw.m.WordCount(), size_t{1} << bits);
        // Words past the block are erased cells.
        mw.Instruction(2, 64 % mw.m.WordCount(), bits);
        EXPECT_EQ(mw.ReadNext(), bits == 10 ? 0xFFFF : kQL);
        mw.Select(false);
    }
    // Too few address bits: four are still owed, so another word comes out.
    Microwire mw(sim::IdMemoryOptions{.addressBits = 10});
    mw.Instruction(2, 0, 6);
    const uint16_t w = mw.ReadNext();
    EXPECT_NE(w, kQL);
    EXPECT_NE(w & 0xFF, 'Q');
}

TEST(IdMemoryTest, WritesNeedEnableAndCompleteWhenSelectDrops) {
    Microwire mw;
    const uint16_t before = mw.m.Word(5);
    auto write = [&](uint32_t address, uint32_t data, int bits, bool drop) {
        mw.Instruction(1, address, 6);
        mw.Bits(data, bits);
        if (drop) mw.Select(false);
    };
    write(5, 0x1234, 16, true); // disabled (the power-up state): ignored
    EXPECT_EQ(mw.m.Word(5), before);
    // EWEN, then WRITE and ERASE take effect at CS low.
    mw.Instruction(0, 0x30, 6);
    mw.Select(false);
    write(5, 0x1234, 16, false);
    EXPECT_EQ(mw.m.Word(5), before);
    mw.Select(false);
    EXPECT_EQ(mw.m.Word(5), 0x1234);
    mw.Instruction(3, 5, 6);
    mw.Select(false);
    EXPECT_EQ(mw.m.Word(5), 0xFFFF);
    write(6, 0x12, 8, true); // abandoned before its last data bit: changes nothing
    EXPECT_NE(mw.m.Word(6), 0x0012);

    sim::IdMemory missing(sim::IdMemoryOptions{.present = false}); // no part fitted: no answer
    EXPECT_FALSE(missing.OnRead(mw.p, 13).has_value());
}

TEST(IdMemoryTest, BlockOptionsAndChecksum) {
    sim::IdBlock b = sim::BuildIdBlock({});
    EXPECT_EQ(std::memcmp(b.data(), "QLX ", 4), 0);
    EXPECT_EQ(std::memcmp(b.data() + 4, "QX4207", 6), 0);
    EXPECT_EQ(std::memcmp(b.data() + 11, "2.1C", 4), 0);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", sim::IdBlockSum(b));
    EXPECT_EQ(std::memcmp(b.data() + 24, digits, 4), 0);
    // The default sum has a letter digit, so the lower-case option differs.
    sim::IdBlock lower = sim::BuildIdBlock({.checksum = sim::IdChecksum::LowerCase});
    EXPECT_NE(std::memcmp(lower.data() + 24, digits, 4), 0);
    EXPECT_EQ(strncasecmp(reinterpret_cast<const char*>(lower.data() + 24), digits, 4), 0);
    sim::IdBlock wrong = sim::BuildIdBlock({.checksum = sim::IdChecksum::Wrong});
    EXPECT_NE(strncasecmp(reinterpret_cast<const char*>(wrong.data() + 24), digits, 4), 0);
    // Calibration of channel c at v volts sits at 2 + 25c + v.
    EXPECT_EQ(b[28], sim::kDefaultDacCalibration[0][0]);
    EXPECT_EQ(b[127], sim::kDefaultDacCalibration[3][24]);
}

// Whole volts are checked through the register path in ElectricalTest.
TEST(IdMemoryTest, CalibrationTenthsReachTwentyFiveNineVoltsOnEveryChannel) {
    for (int c = 1; c <= 4; ++c) {
        for (int v = 1; v <= 25; ++v) {
            // Tenths above the whole volt: one code each, within 0.11 V.
            const int code = sim::kDefaultDacCalibration[c - 1][v - 1];
            EXPECT_NEAR(sim::DacCodeToMillivolts(c, code + 9), v * 1000 + 900, 110) << c << "/" << v;
        }
        EXPECT_LE(sim::kDefaultDacCalibration[c - 1][24] + 9, 255);
    }
    // Below 3.3 V the engine writes tenths + 8 without calibration.
    EXPECT_NEAR(sim::DacCodeToMillivolts(3, 18 + 8), 1800, 100);
}

} // namespace
