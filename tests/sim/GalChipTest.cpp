// The row-serial GAL model at its pins, on a hand-held pin environment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/GalChip.h"

namespace {

// Socket pins of the 20-pin part seated at the bottom of the socket.
enum : int { kEdit = 16, kSclk = 22, kSdin = 23, kGnd = 24, kStb = 25, kSdout = 26, kRa0 = 32, kPv = 33, kVcc = 34 };
constexpr int kRa[6] = {kRa0, 17, 18, 19, 20, 21};

class Env : public sim::PinEnvironment {
public:
    sim::PinCondition pins[sim::kSocketPins + 1];
    uint64_t now = 0;
    int floating = 1;
    mutable std::vector<std::string> violations;
    sim::PinCondition Condition(int p) const override {
        return p >= 1 && p <= sim::kSocketPins ? pins[p] : sim::PinCondition{};
    }
    int FloatingLevel() const override { return floating; }
    uint64_t NowUs() const override { return now; }
    void Violation(const std::string& what) const override { violations.push_back(what); }
};

class GalChipTest : public ::testing::Test {
protected:
    Env env;
    sim::GalChip chip{*sim::FindGalPart("LATTICE", "GAL16V8")}; // 16.2 V, 10 ms

    void Drive(int pin, int level) {
        env.pins[pin].driven = true;
        env.pins[pin].drivenHigh = level != 0;
        ++env.now;
        chip.Update(env);
    }
    void PowerUp(int editTenths = 162) {
        env.pins[kGnd].grounded = true;
        env.pins[kVcc].supplyTenths = 50;
        env.pins[kEdit].supplyTenths = editTenths;
        for (int p : {kSclk, kSdin, kPv}) Drive(p, 0);
        Drive(kStb, 1);
    }
    void Address(int a) {
        for (int b = 0; b < 6; ++b) Drive(kRa[b], (a >> b) & 1);
    }
    void Strobe(int address, bool write, uint64_t lowUs = 1) {
        Address(address);
        Drive(kPv, write);
        Drive(kStb, 0);
        env.now += lowUs;
        Drive(kStb, 1);
        Drive(kPv, 0);
    }
    int Out() const { return chip.Output(env, kSdout) == sim::ChipDrive::High ? 1 : 0; }
    void Shift(int bit) {
        Drive(kSdin, bit);
        Drive(kSclk, 1);
        Drive(kSclk, 0);
    }
    // Writes array row `row` with every bit 1 but bit 0.
    void WriteRow(int row, uint64_t lowUs) {
        Strobe(row, false);
        for (int i = 0; i < 64; ++i) Shift(i == 0 ? 0 : 1);
        Strobe(row, true, lowUs);
    }
};

TEST_F(GalChipTest, WritesOnlyAtItsVoltageForItsWidth) {
    struct Case {
        int editTenths;
        uint64_t lowUs;
        int cell; // fuse 0 * 32 + 5 afterwards
    };
    const Case cases[] = {{162, 10000, 0}, {164, 10000, 0}, {165, 10000, 1}, {159, 10000, 1}, {162, 9000, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.editTenths) + " " + std::to_string(c.lowUs));
        chip.SetCell(5, 1);
        PowerUp(c.editTenths);
        WriteRow(5, c.lowUs);
        EXPECT_EQ(chip.Cell(5), c.cell);
        EXPECT_EQ(chip.Cell(32 + 5), 1); // bit 1 of the row: written 1, stays 1
    }
    EXPECT_TRUE(env.violations.empty());
}

TEST_F(GalChipTest, ReadsSignatureAndHidesASecuredArray) {
    PowerUp();
    Strobe(58, false);
    int bytes[8] = {};
    for (int i = 0; i < 64; ++i) {
        bytes[i / 8] |= Out() << (i % 8);
        Shift(0);
    }
    EXPECT_EQ(bytes[1], 2);    // voltage code
    EXPECT_EQ(bytes[3], 0xA1); // maker

    chip.SetCell(0, 0);
    chip.SetCell(2056, 0);
    Strobe(61, true, 10000);
    EXPECT_TRUE(chip.Secured());
    Strobe(0, false);
    EXPECT_EQ(Out(), 1); // the array reads ones
    Strobe(32, false);
    EXPECT_EQ(Out(), 0); // the UES does not

    // Erase needs data in high and its own time.
    Drive(kSdin, 0);
    Strobe(63, true, 100000);
    EXPECT_TRUE(chip.Secured());
    Drive(kSdin, 1);
    Strobe(63, true, 99000);
    EXPECT_TRUE(chip.Secured());
    Strobe(63, true, 100000);
    EXPECT_FALSE(chip.Secured());
    EXPECT_TRUE(chip.Blank());
}

TEST_F(GalChipTest, UnpoweredPartIsADiodeNetworkAndClocksAtEditVoltageAreViolations) {
    env.floating = 0;
    Drive(15, 0); // pin 1 held low pulls the others
    EXPECT_EQ(chip.Output(env, kSdout), sim::ChipDrive::WeakLow);
    EXPECT_TRUE(env.violations.empty());
    env.pins[kEdit].supplyTenths = 120;
    Drive(kSclk, 1);
    EXPECT_EQ(env.violations.size(), 1u);
}

} // namespace
