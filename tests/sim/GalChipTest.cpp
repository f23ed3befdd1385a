// The row-serial GAL model at its pins, on a hand-held pin environment.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/GalChip.h"

#include "PinBench.h"

namespace {

// Any part on its own pins: chip pin k of an n-pin part sits on socket pin
// k + (48 - n) / 2.
class GalBench : public ::testing::Test {
protected:
    Env env;
    std::unique_ptr<sim::GalChip> chip;
    int offset = 0;

    void Seat(const sim::GalPartFacts& f) {
        chip = std::make_unique<sim::GalChip>(f);
        offset = f.map == sim::GalMap::Gal16V8 ? 14 : 12;
        env = Env{};
    }
    int S(int chipPin) const { return chipPin + offset; }
    void Drive(int chipPin, int level) {
        env.pins[S(chipPin)].driven = true;
        env.pins[S(chipPin)].drivenHigh = level != 0;
        ++env.now;
        chip->Update(env);
    }
    void Power(int vccTenths, int editTenths) {
        const bool small = chip->Part().map == sim::GalMap::Gal16V8;
        env.pins[S(small ? 10 : 12)].grounded = true;
        env.pins[S(small ? 20 : 24)].supplyTenths = vccTenths;
        env.pins[S(2)].supplyTenths = editTenths;
    }
    // Powered, the given pins low and the strobe high.
    void Ready(int vccTenths, int editTenths, std::initializer_list<int> low, int stb) {
        Power(vccTenths, editTenths);
        for (int p : low) Drive(p, 0);
        Drive(stb, 1);
    }
    void Clock(int sclk, int sdin, int bit) {
        Drive(sdin, bit);
        Drive(sclk, 1);
        Drive(sclk, 0);
    }
    void Strobe(int stb, int pv, bool write, uint64_t lowUs) {
        Drive(pv, write);
        Drive(stb, 0);
        env.now += lowUs;
        Drive(stb, 1);
        Drive(pv, 0);
    }
};

// The 20-pin parts: row address on RA0-RA5 (chip pins 18, 3-7), SCLK 8,
// SDIN 9, STB 11, SDOUT 12, P/V 19.
class GalChipTest : public GalBench {
protected:
    enum : int { kSclk = 8, kSdin = 9, kStb = 11, kSdout = 12, kPv = 19 };

    void SetUp() override { Seat(*sim::FindFacts<sim::GalPartFacts>("LATTICE", "GAL16V8")); } // 16.2 V, 10 ms
    void PowerUp(int vccTenths = 50, int editTenths = 162) { Ready(vccTenths, editTenths, {kSclk, kSdin, kPv}, kStb); }
    void Address(int a) {
        const int ra[6] = {18, 3, 4, 5, 6, 7};
        for (int b = 0; b < 6; ++b) Drive(ra[b], (a >> b) & 1);
    }
    using GalBench::Strobe;
    void Strobe(int address, bool write, uint64_t lowUs = 1) {
        Address(address);
        GalBench::Strobe(kStb, kPv, write, lowUs);
    }
    int Out() const { return chip->Output(env, S(kSdout)) == sim::ChipDrive::High ? 1 : 0; }
    void Shift(int bit) { Clock(kSclk, kSdin, bit); }
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
        chip->SetCell(5, 1);
        PowerUp(50, c.editTenths);
        WriteRow(5, c.lowUs);
        EXPECT_EQ(chip->Cell(5), c.cell);
        EXPECT_EQ(chip->Cell(32 + 5), 1); // bit 1 of the row: written 1, stays 1
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

    chip->SetCell(0, 0);
    chip->SetCell(2056, 0);
    Strobe(61, true, 10000);
    EXPECT_TRUE(chip->Secured());
    Strobe(0, false);
    EXPECT_EQ(Out(), 1); // the array reads ones
    Strobe(32, false);
    EXPECT_EQ(Out(), 0); // the UES does not

    // Erase needs data in high and its own time.
    Drive(kSdin, 0);
    Strobe(63, true, 100000);
    EXPECT_TRUE(chip->Secured());
    Drive(kSdin, 1);
    Strobe(63, true, 99000);
    EXPECT_TRUE(chip->Secured());
    Strobe(63, true, 100000);
    EXPECT_FALSE(chip->Secured());
    EXPECT_TRUE(chip->Blank());
}

TEST_F(GalChipTest, UnpoweredPartIsADiodeNetworkAndClocksAtEditVoltageAreViolations) {
    env.floating = 0;
    Drive(1, 0); // pin 1 held low pulls the others
    EXPECT_EQ(chip->Output(env, S(kSdout)), sim::ChipDrive::WeakLow);
    EXPECT_TRUE(env.violations.empty());
    env.pins[S(2)].supplyTenths = 120;
    Drive(kSclk, 1);
    EXPECT_EQ(env.violations.size(), 1u);
}

// The extended-ID part works by its own ID: the edit voltage 5.0 V + 0.5 V x
// code within 0.2 V, the program time of its code, its supply; a row load
// needs the strobe time, the ID row does not.
TEST_F(GalChipTest, ExtendedIdPartObeysItsFields) {
    struct Case {
        int vcc, edit;
        uint64_t lowUs;
        int cell;
    };
    // GAL16LV8C: 25h, program code 4 (20 ms), voltage code 18 (14.0 V).
    const Case cases[] = {{33, 140, 20000, 0}, {33, 142, 20000, 0}, {33, 143, 20000, 1},
                          {33, 140, 19000, 1}, {50, 140, 20000, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.vcc) + " " + std::to_string(c.edit) + " " + std::to_string(c.lowUs));
        Seat(*sim::FindFacts<sim::GalPartFacts>("LATTICE", "GAL16LV8C"));
        PowerUp(c.vcc, c.edit);
        Address(7);
        for (int i = 0; i < 64; ++i) Shift(i == 0 ? 0 : 1);
        Strobe(7, true, c.lowUs);
        EXPECT_EQ(chip->Cell(7), c.cell);
    }
    Seat(*sim::FindFacts<sim::GalPartFacts>("LATTICE", "GAL16LV8C")); // strobe code 1: 10 us
    PowerUp(33, 100);
    Strobe(58, false);
    int supply = 0;
    for (int i = 0; i < 16; ++i) {
        if (i >= 8) supply |= Out() << (i - 8);
        Shift(0);
    }
    EXPECT_EQ(supply, 0x25);
    Strobe(32, false, 10);
    EXPECT_EQ(Out(), 1); // UES bit 0, erased
    chip->SetCell(2056, 0);
    Strobe(32, false, 8); // low for 9 us
    EXPECT_EQ(Out(), 1); // too short: not loaded again
    Strobe(32, false, 9);
    EXPECT_EQ(Out(), 0);
    EXPECT_TRUE(env.violations.empty());
}

// 22V10: the row address is the last six bits shifted (first = bit 0), or
// on live-bit parts the last five (bit 5 first) and SDIN at the strobe; the
// architecture row under pin 8; erase by pins 4, 6-9 high and 1, 5 low.
TEST_F(GalChipTest, SerialAddressPartsTakeTheirAddressAndPatterns) {
    for (const char* name : {"ATF22V10B", "ATF22V10C"}) {
        SCOPED_TRACE(name);
        const sim::GalPartFacts& f = *sim::FindFacts<sim::GalPartFacts>("ATMEL", name);
        Seat(f);
        Ready(50, f.programTenths, {1, 4, 5, 6, 7, 8, 9, 10, 11, 3}, 13);
        // Column 37: bits 0-131 then the address; write bit 0 of the column 0.
        const int column = 37;
        for (int p = 0; p < 132; ++p) Clock(10, 11, p == 5 ? 0 : 1);
        if (f.liveLastBit) {
            for (int k = 5; k >= 1; --k) Clock(10, 11, (column >> k) & 1);
            Drive(11, column & 1);
        } else {
            for (int k = 0; k < 6; ++k) Clock(10, 11, (column >> k) & 1);
        }
        Strobe(13, 3, true, f.pulseUs);
        EXPECT_EQ(chip->Strobes().back().address, column);
        EXPECT_EQ(chip->Cell(5 * 44 + column), 0);
        EXPECT_EQ(chip->Cell(4 * 44 + column), 1);
        // Architecture: 20 bits, bit k is fuse 5808 + (k xor 1).
        Drive(8, 1);
        const int clocked = f.liveLastBit ? 19 : 20;
        for (int k = 0; k < clocked; ++k) Clock(10, 11, k == 2 ? 0 : 1);
        if (f.liveLastBit) Drive(11, 0); // the 20th bit
        Strobe(13, 3, true, f.pulseUs);
        EXPECT_EQ(chip->Cell(5808 + 3), 0);
        EXPECT_EQ(chip->Cell(5808 + 18), f.liveLastBit ? 0 : 1);
        EXPECT_EQ(chip->Cell(5808 + 2), 1);
        // Erase pattern with pin 8 still high.
        for (int p : {4, 6, 7, 9}) Drive(p, 1);
        Strobe(13, 3, true, f.eraseUs - 1000);
        EXPECT_FALSE(chip->Blank());
        Strobe(13, 3, true, f.eraseUs);
        EXPECT_TRUE(chip->Blank());
        EXPECT_TRUE(env.violations.empty());
    }
}

// Signature-type row-address layouts: SDIN -> address register -> data
// register -> SDOUT. With no load after a write the data register still
// holds the bits shifted in, so they come out again in order; the
// low-voltage 22V10 takes its architecture bits through the address
// register, so the row's address may follow them.
TEST_F(GalChipTest, ChainedAddressRegisterFeedsTheDataRegister) {
    const sim::GalPartFacts& f = *sim::FindFacts<sim::GalPartFacts>("LATTICE", "GAL20RA10");
    Seat(f);
    Ready(50, f.programTenths, {1, 4, 5, 6, 7, 8, 9, 10, 11, 3}, 13);
    std::vector<int> bits(80);
    for (size_t b = 0; b < bits.size(); ++b) bits[b] = b % 3 == 0 ? 0 : 1;
    for (int b : bits) Clock(10, 11, b);
    for (int k = 0; k < 6; ++k) Clock(10, 11, (5 >> k) & 1);
    Strobe(13, 3, true, f.pulseUs);
    EXPECT_EQ(chip->Strobes().back().address, 5);
    for (int b = 0; b < 80; ++b) {
        EXPECT_EQ(chip->Cell(static_cast<uint32_t>(b * 40 + 5)), bits[static_cast<size_t>(b)]) << b;
        EXPECT_EQ(chip->Output(env, S(14)) == sim::ChipDrive::High, bits[static_cast<size_t>(b)] == 1) << b;
        Clock(10, 11, 0);
    }
    EXPECT_TRUE(env.violations.empty());

    const sim::GalPartFacts& lv = *sim::FindFacts<sim::GalPartFacts>("LATTICE", "GAL22LV10C");
    Seat(lv);
    Ready(33, chip->ProgramTenths(), {1, 4, 5, 6, 7, 9, 10, 11, 3}, 13);
    Drive(8, 1);
    for (int k = 0; k < 20; ++k) Clock(10, 11, k == 3 ? 0 : 1);
    for (int k = 0; k < 6; ++k) Clock(10, 11, 0);
    Strobe(13, 3, true, chip->ProgramUs());
    for (int k = 0; k < 20; ++k) EXPECT_EQ(chip->Cell(chip->ArchitectureFuse(k)), k == 3 ? 0 : 1) << k;
    EXPECT_TRUE(env.violations.empty());
}

} // namespace
