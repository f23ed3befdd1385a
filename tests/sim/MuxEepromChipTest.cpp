// The multiplexed-bus EEPROM model (Intel form) against pin conditions set
// directly: protection on and off, unprefixed writes, the block protect
// register, the page-load window and the status of the write cycle.
#include <gtest/gtest.h>

#include "sim/Catalog.h"
#include "sim/MuxEepromChip.h"

#include "PinBench.h"

namespace {

class MuxEepromChipBus {
public:
    MuxEepromChipBus() : chip(*sim::FindFacts<sim::MuxEepromFacts>("XICOR", "X88C64")), seat(sim::DipSocketPins(28)) {
        env.pins[Seat(28)] = {false, 50};
        env.pins[Seat(14)] = {true};
        for (int p : {p_.ce, p_.read, p_.write}) Drive(p, true);
        Drive(p_.latch, false);
        chip.Update(env);
    }
    sim::MuxEepromChip chip;
    std::vector<int> seat;
    Env env;
    sim::MuxEepromPinout p_;

    int Seat(int chipPin) const { return seat[static_cast<size_t>(chipPin - 1)]; }
    void Drive(int chipPin, bool high) { env.pins[Seat(chipPin)] = {false, -1, true, high}; }
    void Strobe(int chipPin, bool active) { Drive(chipPin, !active), chip.Update(env); }
    void Address(uint32_t a) {
        for (int i = 0; i < 8; ++i) Drive(p_.ad[i], (a >> i) & 1);
        for (int i = 0; i < 5; ++i) Drive(p_.high[i], (a >> (8 + i)) & 1);
        Strobe(p_.latch, false); // ALE high (active-high strobe), then low
        Strobe(p_.latch, true);
    }
    void Write(uint32_t a, uint8_t d) {
        Address(a);
        for (int i = 0; i < 8; ++i) Drive(p_.ad[i], (d >> i) & 1);
        Strobe(p_.ce, true);
        Strobe(p_.write, true);
        Strobe(p_.write, false);
        Strobe(p_.ce, false);
        env.now += 2;
    }
    uint8_t Read(uint32_t a) {
        Address(a);
        for (int pin : p_.ad) env.pins[Seat(pin)] = {};
        Strobe(p_.ce, true);
        Strobe(p_.read, true);
        uint8_t v = 0;
        for (int i = 0; i < 8; ++i) v |= (chip.Output(env, Seat(p_.ad[i])) == sim::ChipDrive::High) << i;
        Strobe(p_.read, false);
        Strobe(p_.ce, false);
        return v;
    }
    void Prefix() { Write(0x555, 0xAA), Write(0xAAA, 0x55), Write(0x555, 0xA0); }
    void Settle() { env.now += 10000, chip.Update(env); }
};

TEST(MuxEepromChip, ProtectionBlockRegisterStatusAndPageWindow) {
    MuxEepromChipBus b;
    // Shipped unprotected: a plain write programs.
    b.Write(0x10, 0x11), b.Settle();
    EXPECT_EQ(b.chip.Cell(0x10), 0x11);
    // The prefix protects; a plain write is then ignored.
    b.Prefix(), b.Write(0x20, 0x22), b.Write(0x21, 0x23);
    b.Settle();
    b.Write(0x30, 0x33), b.Settle();
    EXPECT_TRUE(b.chip.Protected());
    EXPECT_EQ(b.chip.Cell(0x20), 0x22);
    EXPECT_EQ(b.chip.Cell(0x21), 0x23);
    EXPECT_EQ(b.chip.Cell(0x30), 0xFF);
    // The six-cycle sequence switches protection off.
    for (auto [a, d] : {std::pair{0x555u, 0xAA}, {0xAAAu, 0x55}, {0x555u, 0x80}, {0x555u, 0xAA}, {0xAAAu, 0x55}, {0x555u, 0x20}})
        b.Write(a, static_cast<uint8_t>(d));
    b.Write(0x30, 0x33), b.Settle();
    EXPECT_FALSE(b.chip.Protected());
    EXPECT_EQ(b.chip.Cell(0x30), 0x33);
    // Block protect register: block 1 refuses a prefixed page, block 0 not.
    b.Prefix(), b.Write(0x555, 0xAA), b.Write(0xAAA, 0xC0), b.Write(0xFF, 0x02);
    b.Settle();
    EXPECT_EQ(b.chip.BlockProtect(), 0x02);
    EXPECT_EQ(b.chip.Cell(0x555), 0xFF);
    b.Prefix(), b.Write(0x400, 0x44), b.Settle();
    b.Prefix(), b.Write(0x3F0, 0x55), b.Settle();
    EXPECT_EQ(b.chip.Cell(0x400), 0xFF);
    EXPECT_EQ(b.chip.Cell(0x3F0), 0x55);
    b.Prefix(), b.Write(0x100, 0x01), b.Write(0x10F, 0x8F);
    // A read ends the load: bit 7 inverted, bit 6 toggling, writes ignored.
    const uint8_t first = b.Read(0x10F), second = b.Read(0x10F);
    EXPECT_EQ(first & 0x80, 0);
    EXPECT_NE(first & 0x40, second & 0x40);
    b.Prefix(), b.Write(0x200, 0x02), b.Settle();
    EXPECT_EQ(b.Read(0x10F), 0x8F);
    EXPECT_EQ(b.chip.Cell(0x200), 0xFF);
    // A byte after the window needs a prefix of its own.
    b.Prefix(), b.Write(0x300, 0x03);
    b.env.now += 200;
    b.Write(0x301, 0x04), b.Settle();
    EXPECT_EQ(b.chip.Cell(0x300), 0x03);
    EXPECT_EQ(b.chip.Cell(0x301), 0xFF);
}

} // namespace
