// The page-write flash model against pin conditions set directly.
#include <gtest/gtest.h>

#include "sim/Catalog.h"
#include "sim/PageFlashChip.h"

#include "PinBench.h"

namespace {

class PageFlashChipBus {
public:
    explicit PageFlashChipBus(const char* maker, const char* name)
        : chip(*sim::FindFacts<sim::PageFlashFacts>(maker, name)), f(*sim::FindFacts<sim::PageFlashFacts>(maker, name)),
          seat(sim::DipSocketPins(f.pinCount)) {
        env.pins[Seat(f.vccPin)] = {false, 50};
        for (int g : f.gndPins) env.pins[Seat(g)] = {true};
        Drive(f.pins.ce, false); // selected throughout
        for (int p : {f.pins.oe, f.pins.we}) Drive(p, true);
        chip.Update(env);
    }
    sim::PageFlashChip chip;
    sim::PageFlashFacts f;
    std::vector<int> seat;
    Env env;

    int Seat(int chipPin) const { return seat[static_cast<size_t>(chipPin - 1)]; }
    void Drive(int chipPin, bool high) { env.pins[Seat(chipPin)] = {false, -1, true, high}; }
    void Strobe(int chipPin, bool active) { Drive(chipPin, !active), chip.Update(env); }
    void Write(uint32_t a, uint16_t d) {
        for (size_t i = 0; i < f.pins.address.size(); ++i) Drive(f.pins.address[i], (a >> i) & 1);
        for (int i = 0; i < f.width; ++i) Drive(f.pins.data[i], (d >> i) & 1);
        Strobe(f.pins.we, true), Strobe(f.pins.we, false);
        env.now += 2;
    }
    uint16_t Read(uint32_t a) {
        for (size_t i = 0; i < f.pins.address.size(); ++i) Drive(f.pins.address[i], (a >> i) & 1);
        for (int i = 0; i < f.width; ++i) env.pins[Seat(f.pins.data[i])] = {};
        Strobe(f.pins.oe, true);
        uint16_t v = 0;
        for (int i = 0; i < f.width; ++i) v |= (chip.Output(env, Seat(f.pins.data[i])) == sim::ChipDrive::High) << i;
        Strobe(f.pins.oe, false);
        return v;
    }
    void Command(uint8_t c) { Write(0x5555, 0xAA), Write(0x2AAA, 0x55), Write(0x5555, c); }
    void Settle() { env.now += 30000, chip.Update(env); }
};

using Case = std::pair<const char*, const char*>; // maker, name

// What the runs through the programmer do not reach: the write cycle's
// status, the words a sector part loses, a locked block refusing the erase.
TEST(PageFlashChip, StatusSectorsAndLockedErase) {
    for (const Case& c : {Case{"ATMEL", "AT29C010A"}, Case{"ATMEL", "AT28C256"}, Case{"ATMEL", "AT29C1024"}}) {
        SCOPED_TRACE(c.second);
        PageFlashChipBus b(c.first, c.second);
        const uint16_t blank = b.f.width > 8 ? 0xFFFF : 0xFF;
        const uint32_t page = b.f.pageWords;
        b.chip.SetCell(page + 5, 0x11);
        b.Write(page, 0x5A);
        b.env.now += b.f.loadWindowUs + 1;
        const uint16_t s1 = b.Read(page), s2 = b.Read(page);
        EXPECT_EQ(s1 & 0x80, 0x80); // DQ7 inverted, DQ6 toggling
        EXPECT_NE(s1 & 0x40, s2 & 0x40);
        b.Settle();
        EXPECT_EQ(b.Read(page), 0x5A);
        EXPECT_EQ(b.chip.Cell(page + 5), b.f.sectorErase ? blank : 0x11);
        if (b.f.bootBlockWords == 0) continue;
        b.Command(0x80), b.Command(0x40);
        b.Write(0, 0x00); // lower block locked out
        b.chip.SetCell(0, 0x12);
        b.chip.SetCell(b.f.bootBlockWords, 0x34);
        b.Command(0x80), b.Command(0x10); // chip erase
        b.Settle();
        EXPECT_EQ(b.chip.Cell(0), 0x12);
        EXPECT_EQ(b.chip.Cell(b.f.bootBlockWords), blank);
    }
}

} // namespace
