// The small-page NAND model against pin conditions set directly (48-pin
// TSOP, chip pin n on socket pin n).
#include <gtest/gtest.h>

#include "sim/Catalog.h"
#include "sim/NandChip.h"

#include "PinBench.h"

namespace {

constexpr int kIo[8] = {29, 30, 31, 32, 41, 42, 43, 44};

class NandChipBus {
public:
    explicit NandChipBus(const char* maker, const char* name, int tenths = 33)
        : chip(*sim::FindFacts<sim::NandFacts>(maker, name)) {
        for (int v : {12, 37}) env.pins[v] = {false, tenths};
        for (int g : {13, 36}) env.pins[g] = {true};
        for (int p : {8, 9, 18, 19}) Drive(p, true); // /RE, /CE, /WE, /WP
        Drive(16, false), Drive(17, false);
        chip.Update(env);
        Drive(9, false);
        chip.Update(env);
    }
    sim::NandChip chip;
    Env env;

    void Drive(int pin, bool high) { env.pins[pin] = {false, -1, true, high}; }
    void Cycle(int latch, uint8_t d) {
        Drive(16, latch == 16), Drive(17, latch == 17);
        for (int i = 0; i < 8; ++i) Drive(kIo[i], (d >> i) & 1);
        chip.Update(env);
        Drive(18, false);
        chip.Update(env);
        Drive(18, true);
        chip.Update(env);
        for (int p : kIo) env.pins[p] = {};
        Drive(16, false), Drive(17, false);
        env.now += 1;
    }
    void Command(uint8_t c) { Cycle(16, c); }
    // Column byte and the row bytes of a 512-byte-page part.
    void Address(uint32_t column, uint32_t page) {
        Cycle(17, static_cast<uint8_t>(column));
        Cycle(17, static_cast<uint8_t>(page));
        Cycle(17, static_cast<uint8_t>(page >> 8));
    }
    int Read() {
        Drive(8, false);
        chip.Update(env);
        int v = 0;
        for (int i = 0; i < 8; ++i) {
            const sim::ChipDrive d = chip.Output(env, kIo[i]);
            if (d == sim::ChipDrive::None) return -1;
            if (d == sim::ChipDrive::High) v |= 1 << i;
        }
        Drive(8, true);
        chip.Update(env);
        env.now += 1;
        return v;
    }
    bool Busy() const { return chip.Output(env, 7) == sim::ChipDrive::Low; }
    void Wait(uint64_t us) { env.now += us; }
    int Status() {
        Command(0x70);
        return Read();
    }
    void Program(uint32_t page, uint32_t column, std::initializer_list<uint8_t> bytes) {
        Command(0x80);
        Address(column, page);
        for (uint8_t b : bytes) Cycle(0, b);
        Command(0x10);
    }
};

// Programming clears bits only, at most the partial-program count per page.
TEST(NandChipTest, ProgramClearsBitsWithinThePartialProgramCount) {
    NandChipBus b("TOSHIBA", "TC58V32AFT");
    const struct {
        uint8_t datum;
        uint8_t cell;
        int status;
    } steps[] = {{0xF0, 0xF0, 0xC0}, {0x3F, 0x30, 0xC0}, {0x00, 0x30, 0xC1}};
    for (const auto& s : steps) {
        b.Program(3, 7, {s.datum});
        EXPECT_TRUE(b.Busy());
        b.Wait(300);
        EXPECT_EQ(b.Status(), s.status);
        EXPECT_EQ(b.chip.PageByte(3, 7), s.cell);
    }
    EXPECT_EQ(b.env.violations.size(), 1u);
}

// 50h holds until 00h; a sequential read runs from the spare bytes into the
// next page after a busy.
TEST(NandChipTest, SparePointerAndSequentialRead) {
    NandChipBus b("SAMSUNG", "K9F6408U0A");
    b.chip.SetByte(528 + 512 + 2, 0x5A); // page 1, spare byte 2
    b.chip.SetByte(2 * 528, 0xA5);       // page 2, data byte 0
    b.Command(0x50);
    b.Address(2, 1);
    EXPECT_TRUE(b.Busy());
    EXPECT_EQ(b.Read(), -1); // nothing while busy
    b.Wait(10);
    EXPECT_EQ(b.Read(), 0x5A);
    b.Address(0, 1); // the pointer still on the spare area
    b.Wait(10);
    b.Read();
    b.Read();
    EXPECT_EQ(b.Read(), 0x5A);
    b.Command(0x00);
    b.Address(0, 1);
    b.Wait(10);
    for (int i = 0; i < 528; ++i) b.Read();
    EXPECT_TRUE(b.Busy()); // the next page loads
    b.Wait(10);
    EXPECT_EQ(b.Read(), 0xA5);
}

// While busy only status and reset count; a failing erase sets status bit 0
// and leaves the block as it was.
TEST(NandChipTest, BusyTakesOnlyStatusAndResetAndFailuresShow) {
    NandChipBus b("TOSHIBA", "TC58V32AFT");
    b.chip.SetByte(16 * 528 * 2, 0x00); // block 2
    b.chip.FailErase(2);
    b.Command(0x60);
    b.Cycle(17, 32);
    b.Cycle(17, 0);
    b.Command(0xD0);
    b.Command(0x90); // ignored while busy
    EXPECT_EQ(b.Status(), 0x80);
    b.Wait(2000);
    EXPECT_EQ(b.Status(), 0xC1);
    EXPECT_EQ(b.chip.PageByte(32, 0), 0x00);
    b.Command(0xFF);
    b.Wait(10);
    EXPECT_EQ(b.Status(), 0xC0);
}

// The codes and status of the 3.3 V part; at 5 V a violation, and it does
// not answer.
TEST(NandChipTest, IdentityCodesAndStatusOnlyAtItsSupply) {
    for (int tenths : {33, 50}) {
        SCOPED_TRACE(tenths);
        NandChipBus b("SAMSUNG", "K9F6408U0A", tenths);
        b.Command(0x90);
        b.Cycle(17, 0);
        EXPECT_EQ(b.Read(), tenths == 33 ? 0xEC : -1);
        EXPECT_EQ(b.env.violations.empty(), tenths == 33);
        if (tenths != 33) continue;
        EXPECT_EQ(b.Read(), 0xE6);
        EXPECT_EQ(b.Status(), 0xC0); // ready, not protected, passed
    }
}

} // namespace
