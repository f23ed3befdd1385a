// The programmer's ID memory as a Microwire serial EEPROM on register 13,
// driven with the instruction timing of the part's datasheet.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/IdMemory.h"

namespace {

constexpr uint8_t SK = 0x40, CS = 0x20, DI = 0x10;

class Microwire {
  public:
    Microwire(sim::SimProgrammer& p, sim::IdMemory& m) : p_(p), m_(m) {}
    void Lines(uint8_t v) {
        lines_ = v;
        m_.OnWrite(p_, 13, v);
    }
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
        for (int b = count - 1; b >= 0; --b)
            Clock(((value >> b) & 1) != 0);
    }
    int Do() { return *m_.OnRead(p_, 13) & 1; }
    // Start bit, opcode, address.
    void Instruction(uint32_t opcode, uint32_t address, int bits) {
        Select(true);
        Bits(1, 1);
        Bits(opcode, 2);
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
    sim::SimProgrammer& p_;
    sim::IdMemory& m_;
    uint8_t lines_ = 0;
};

TEST(IdMemoryTest, ReadGivesDummyZeroThenWordsInSequence) {
    for (int bits : {6, 10}) {
        sim::SimProgrammer p;
        sim::IdMemoryOptions o;
        o.addressBits = bits;
        sim::IdMemory m(o);
        Microwire mw(p, m);
        mw.Instruction(2, 0, bits);
        EXPECT_EQ(mw.Do(), 0) << "dummy bit, " << bits << " address bits";
        EXPECT_EQ(mw.ReadNext(), static_cast<uint16_t>('Q' | ('L' << 8)));
        EXPECT_EQ(mw.ReadNext(), static_cast<uint16_t>('X' | (' ' << 8))); // sequential, no dummy bit
        mw.Select(false);
        EXPECT_EQ(m.WordCount(), size_t{1} << bits);
        // Words past the block are erased cells.
        mw.Instruction(2, 64 % m.WordCount(), bits);
        EXPECT_EQ(mw.ReadNext(), bits == 10 ? 0xFFFF : static_cast<uint16_t>('Q' | ('L' << 8)));
        mw.Select(false);
    }
}

TEST(IdMemoryTest, ReadWithTooFewAddressBitsReturnsAnotherWord) {
    sim::SimProgrammer p;
    sim::IdMemoryOptions o;
    o.addressBits = 10;
    sim::IdMemory m(o);
    Microwire mw(p, m);
    mw.Instruction(2, 0, 6); // four address bits still owed
    uint16_t w = mw.ReadNext();
    EXPECT_NE(w, static_cast<uint16_t>('Q' | ('L' << 8)));
    EXPECT_NE(w & 0xFF, 'Q');
}

TEST(IdMemoryTest, WritesNeedEnableAndCompleteWhenSelectDrops) {
    sim::SimProgrammer p;
    sim::IdMemory m;
    Microwire mw(p, m);
    const uint16_t before = m.Word(5);
    // WRITE while disabled (the power-up state) is ignored.
    mw.Instruction(1, 5, 6);
    mw.Bits(0x1234, 16);
    mw.Select(false);
    EXPECT_EQ(m.Word(5), before);
    // EWEN, then WRITE and ERASE take effect at CS low.
    mw.Instruction(0, 0x30, 6);
    mw.Select(false);
    mw.Instruction(1, 5, 6);
    mw.Bits(0x1234, 16);
    EXPECT_EQ(m.Word(5), before);
    mw.Select(false);
    EXPECT_EQ(m.Word(5), 0x1234);
    mw.Instruction(3, 5, 6);
    mw.Select(false);
    EXPECT_EQ(m.Word(5), 0xFFFF);
    // A write abandoned before its last data bit changes nothing.
    mw.Instruction(1, 6, 6);
    mw.Bits(0x12, 8);
    mw.Select(false);
    EXPECT_NE(m.Word(6), 0x0012);
}

TEST(IdMemoryTest, BlockOptionsAndChecksum) {
    sim::IdMemoryOptions o;
    sim::IdBlock b = sim::BuildIdBlock(o);
    EXPECT_EQ(std::memcmp(b.data(), "QLX ", 4), 0);
    EXPECT_EQ(std::memcmp(b.data() + 4, "QX4207", 6), 0);
    EXPECT_EQ(std::memcmp(b.data() + 11, "2.1C", 4), 0);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", sim::IdBlockSum(b));
    EXPECT_EQ(std::memcmp(b.data() + 24, digits, 4), 0);
    // The default sum has a letter digit, so the lower-case option differs.
    o.checksum = sim::IdChecksum::LowerCase;
    sim::IdBlock lower = sim::BuildIdBlock(o);
    EXPECT_NE(std::memcmp(lower.data() + 24, digits, 4), 0);
    EXPECT_EQ(strncasecmp(reinterpret_cast<const char*>(lower.data() + 24), digits, 4), 0);
    o.checksum = sim::IdChecksum::Wrong;
    sim::IdBlock wrong = sim::BuildIdBlock(o);
    EXPECT_NE(strncasecmp(reinterpret_cast<const char*>(wrong.data() + 24), digits, 4), 0);
    // Calibration of channel c at v volts sits at 2 + 25c + v.
    EXPECT_EQ(b[28], sim::kDefaultDacCalibration[0][0]);
    EXPECT_EQ(b[127], sim::kDefaultDacCalibration[3][24]);
}

TEST(IdMemoryTest, MissingMemoryDoesNotAnswer) {
    sim::SimProgrammer p;
    sim::IdMemoryOptions o;
    o.present = false;
    sim::IdMemory m(o);
    EXPECT_FALSE(m.OnRead(p, 13).has_value());
}

TEST(IdMemoryTest, CalibrationReachesTwentyFiveVoltsOnEveryChannel) {
    for (int c = 1; c <= 4; ++c) {
        for (int v = 1; v <= 25; ++v) {
            const int code = sim::kDefaultDacCalibration[c - 1][v - 1];
            // Whole volts within half a code step.
            EXPECT_NEAR(sim::DacCodeToMillivolts(c, code), v * 1000, 55) << c << "/" << v;
            // Tenths above the whole volt: one code each, within 0.11 V.
            EXPECT_NEAR(sim::DacCodeToMillivolts(c, code + 9), v * 1000 + 900, 110) << c << "/" << v;
        }
        EXPECT_LE(sim::kDefaultDacCalibration[c - 1][24] + 9, 255);
    }
    // Below 3.3 V the engine writes tenths + 8 without calibration.
    EXPECT_NEAR(sim::DacCodeToMillivolts(3, 18 + 8), 1800, 100);
}

} // namespace
