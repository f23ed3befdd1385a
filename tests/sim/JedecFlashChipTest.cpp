// The JEDEC flash model against pin conditions set directly: a 32-pin part
// seated at the bottom of the socket (chip pin n on socket pin n + 8).
#include <gtest/gtest.h>

#include "sim/JedecFlashChip.h"

#include "PinBench.h"

namespace {

class Bus {
public:
    explicit Bus(sim::JedecFlashConfig c) : chip(std::move(c)), pins(sim::FlashPinoutById(sim::kPinoutDip32)) {
        Supply(50);
        env.pins[Z(16)] = {true};
        for (int p : {pins.ce, pins.oe, pins.we}) Drive(p, true);
        Address(0);
    }
    sim::JedecFlashChip chip;
    sim::FlashPinout pins;
    Env env;

    static int Z(int chipPin) { return chipPin + 8; }
    void Drive(int chipPin, bool high) { env.pins[Z(chipPin)] = {false, -1, true, high}; }
    void Supply(int tenths) { env.pins[Z(32)] = {false, tenths}; }
    // A pin held at a supply voltage keeps it.
    void Address(uint32_t a) {
        for (size_t i = 0; i < pins.address.size(); ++i) {
            if (env.pins[Z(pins.address[i])].supplyTenths < 0) Drive(pins.address[i], (a >> i) & 1);
        }
    }
    void Write(uint32_t a, uint8_t d) {
        Address(a);
        for (int i = 0; i < 8; ++i) Drive(pins.data[static_cast<size_t>(i)], (d >> i) & 1);
        Drive(pins.ce, false);
        Drive(pins.we, false);
        chip.Update(env);
        Drive(pins.we, true);
        chip.Update(env);
        Drive(pins.ce, true);
        chip.Update(env);
        for (int p : pins.data) env.pins[Z(p)] = {};
        env.now += 1;
    }
    void Command(uint8_t c) {
        Write(0x555, 0xAA);
        Write(0x2AA, 0x55);
        Write(0x555, c);
    }
    int Read(uint32_t a) {
        Address(a);
        Drive(pins.ce, false);
        Drive(pins.oe, false);
        chip.Update(env);
        int v = 0;
        for (int i = 0; i < 8; ++i) {
            if (chip.Output(env, Z(pins.data[static_cast<size_t>(i)])) == sim::ChipDrive::High) v |= 1 << i;
        }
        Drive(pins.oe, true);
        Drive(pins.ce, true);
        chip.Update(env);
        env.now += 1;
        return v;
    }
    // One byte programmed and its program time waited out.
    void Program(uint32_t a, uint8_t d) {
        Command(0xA0);
        Write(a, d);
        env.now += 20;
    }
    void PowerCycle() {
        Supply(0);
        chip.Update(env);
        Supply(50);
        chip.Update(env);
    }
};

sim::JedecFlashConfig Part() {
    return {.words = 0x10000, .sectorWords = {0x4000}, .makerId = 0x01, .deviceId = 0xA4, .unlockBypass = true,
            .programUs = 10, .sectorEraseUs = 1000};
}

TEST(JedecFlashChipTest, ProgramClearsBitsOnlyAndAFailedCellHoldsDq5UntilReset) {
    Bus b(Part());
    b.Command(0xA0);
    b.Write(0x100, 0x3C);
    EXPECT_EQ(b.Read(0x100) & 0x80, 0x80); // busy: DQ7 the complement of bit 7 (0)
    b.env.now += 20;
    EXPECT_EQ(b.Read(0x100), 0x3C);
    b.Program(0x100, 0xC3); // would need 0 -> 1
    const int s1 = b.Read(0x100), s2 = b.Read(0x100);
    EXPECT_EQ(s1 & 0x20, 0x20);
    EXPECT_NE(s1 & 0x40, s2 & 0x40); // DQ6 toggles with every read
    b.Write(0, 0xF0);
    EXPECT_EQ(b.Read(0x100), 0x00);
}

TEST(JedecFlashChipTest, WrongCyclesAndPlainWritesLeaveTheArray) {
    Bus b(Part());
    b.Write(0x10, 0x00); // a plain write
    b.Write(0x555, 0xAA);
    b.Write(0x123, 0x55); // wrong address: back to reading
    b.Write(0x555, 0xA0);
    b.Write(0x10, 0x00);
    b.env.now += 20;
    EXPECT_EQ(b.Read(0x10), 0xFF);
    EXPECT_TRUE(b.chip.IsBlank());
}

TEST(JedecFlashChipTest, UnlockBypassEndsBy90h00hOrPowerOff) {
    for (bool powerOff : {false, true}) {
        Bus b(Part());
        b.Command(0x20);
        auto bypassProgram = [&](uint32_t a) {
            b.Write(0x7, 0xA0);
            b.Write(a, 0x12);
            b.env.now += 20;
            return b.Read(a);
        };
        EXPECT_EQ(bypassProgram(0x40), 0x12);
        if (powerOff) b.PowerCycle();
        else b.Write(0, 0x90), b.Write(0, 0x00);
        EXPECT_EQ(bypassProgram(0x41), 0xFF);
    }
}

TEST(JedecFlashChipTest, CodesByCommandAndByTwelveVoltsOnA9) {
    sim::JedecFlashConfig c = Part();
    c.dieCode = 1;
    Bus b(c);
    b.Command(0x90);
    EXPECT_EQ(b.Read(0), 0x01);
    EXPECT_EQ(b.Read(1), 0xA4);
    b.Write(0, 0xF0);
    EXPECT_EQ(b.Read(1), 0xFF);
    b.env.pins[Bus::Z(b.pins.address[9])] = {false, 120};
    EXPECT_EQ(b.Read(0), 0x01);
    EXPECT_EQ(b.Read(3), 0x01);
}

TEST(JedecFlashChipTest, SectorEraseSparesOtherAndProtectedSectors) {
    Bus b(Part());
    for (uint32_t a : {0x10u, 0x4010u, 0x8010u}) b.chip.SetCell(a, 0x00);
    b.chip.Protect(2);
    for (uint32_t a : {0x4000u, 0x8000u}) {
        b.Command(0x80);
        b.Write(0x555, 0xAA);
        b.Write(0x2AA, 0x55);
        b.Write(a, 0x30);
        EXPECT_EQ(b.Read(a) & 0x88, 0x08); // erasing: DQ7 0, DQ3 1
        b.env.now += 2000;
    }
    EXPECT_EQ(b.chip.Cell(0x10), 0x00);
    EXPECT_EQ(b.chip.Cell(0x4010), 0xFF);
    EXPECT_EQ(b.chip.Cell(0x8010), 0x00);
}

TEST(JedecFlashChipTest, FastModeProgramsEachWriteUntilF0h) {
    sim::JedecFlashConfig c = Part();
    c.fastMode = true;
    Bus b(c);
    b.Command(0x80);
    b.Command(0xA0);
    const std::pair<uint32_t, uint8_t> writes[] = {{0x20, 0x5A}, {0x21, 0xA5}, {0, 0xF0}, {0x22, 0x00}};
    for (auto [a, d] : writes) {
        b.Write(a, d);
        if (a) b.env.now += 20;
    }
    EXPECT_EQ(b.chip.Cell(0x20), 0x5A);
    EXPECT_EQ(b.chip.Cell(0x21), 0xA5);
    EXPECT_EQ(b.chip.Cell(0x22), 0xFF);
}

// Writes below the lockout supply (3.2 V here; reads from 4.5 V) are
// ignored, and a supply dip below it forgets a command in progress; from the
// lockout supply up the part takes commands.
TEST(JedecFlashChipTest, NoWritesBelowTheLockoutSupply) {
    const struct {
        int writeTenths;
        bool programs;
    } cases[] = {{0, false}, {20, false}, {31, false}, {32, true}, {40, true}, {50, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.writeTenths);
        Bus b(Part());
        b.Supply(c.writeTenths);
        b.Program(0x30, 0x00);
        b.chip.Update(b.env);
        EXPECT_EQ(b.chip.Cell(0x30), c.programs ? 0x00 : 0xFF);
        b.Command(0x80);
        b.Command(0x10); // chip erase
        EXPECT_EQ(b.chip.ChipErases(), c.programs ? 1u : 0u);
    }
    // Unlocked at 5 V, then a dip to 2.0 V: the program command is lost.
    Bus b(Part());
    b.Command(0xA0);
    b.Supply(20);
    b.chip.Update(b.env);
    b.Supply(50);
    b.Write(0x31, 0x00);
    b.env.now += 20;
    EXPECT_EQ(b.Read(0x31), 0xFF);
}

} // namespace

namespace {

// Page mode: 41h loads one page (the load ends with the byte-load window),
// the status byte shows ready and the error bits until FFh; A7h D0h erases,
// a broken erase sequence sets both error bits, 50h clears them; the
// unlock sequences do nothing; power-off forgets the status byte.
TEST(JedecFlashChipTest, PageModeProgramsWholePagesAndReportsInItsStatusByte) {
    sim::JedecFlashConfig c = Part();
    c.pageBytes = 16;
    c.pageProgramUs = 1000;
    c.chipEraseUs = 5000;
    Bus b(c);
    b.Write(0, 0x41);
    for (uint32_t i = 0; i < 16; ++i) b.Write(0x2F - i, static_cast<uint8_t>(0x50 + i)); // any order within the page
    b.env.now += 151; // the load window runs out: the page programs
    EXPECT_EQ(b.Read(0x20), 0x00);
    b.env.now += 1000;
    EXPECT_EQ(b.Read(0x20), 0x80);
    b.Write(0, 0xFF);
    EXPECT_EQ(b.Read(0x2F), 0x50);
    EXPECT_EQ(b.Read(0x20), 0x5F);
    EXPECT_EQ(b.Read(0x30), 0xFF); // the next page untouched

    b.chip.StickCell(0x35);
    b.Write(0, 0x41);
    b.Write(0x35, 0x00);
    b.env.now += 1200;
    EXPECT_EQ(b.Read(0x35), 0x90); // ready, program error
    b.Write(0, 0x50);
    EXPECT_EQ(b.Read(0x35), 0x80);
    b.Write(0, 0xA7);
    b.Write(0, 0x00);
    EXPECT_EQ(b.Read(0), 0xB0);
    EXPECT_EQ(b.Read(0x2F), 0xB0); // the status byte at every address
    b.Write(0, 0x50);
    b.Command(0xA0); // no unlock sequences in page mode
    b.Write(0x40, 0x00);
    b.env.now += 50;
    b.Write(0, 0xFF);
    EXPECT_EQ(b.Read(0x40), 0xFF);

    b.chip.Protect(1);
    b.chip.SetCell(0x4000, 0x12);
    b.Write(0, 0xA7);
    b.Write(0, 0xD0);
    EXPECT_EQ(b.Read(0), 0x00);
    b.env.now += 5000;
    EXPECT_EQ(b.Read(0), 0x80);
    b.Write(0, 0xFF);
    EXPECT_EQ(b.Read(0x20), 0xFF);
    EXPECT_EQ(b.Read(0x4000), 0x12); // the protected sector kept

    b.Write(0, 0x70);
    EXPECT_EQ(b.Read(0x4000), 0x80);
    b.PowerCycle();
    EXPECT_EQ(b.Read(0x4000), 0x12);
}

// Protection by command: 20h after the erase prefix, then 00h at the sector
// with A9 set protects it (A6 clear) or unprotects the chip (A6 set), busy
// meanwhile; without A9 the cycle is no command.
TEST(JedecFlashChipTest, ProtectionByCommandAfterTheErasePrefix) {
    sim::JedecFlashConfig c = Part();
    c.protectCommands = sim::FlashProtectCommands::AfterErasePrefix;
    Bus b(c);
    auto prefix = [&] {
        b.Command(0x80);
        b.Command(0x20);
    };
    prefix();
    b.Write(0x4000, 0x00);
    b.env.now += 200;
    EXPECT_FALSE(b.chip.IsProtected(1));
    prefix();
    b.Write(0x4200, 0x00);
    const int s1 = b.Read(0x4202), s2 = b.Read(0x4202);
    EXPECT_NE(s1 & 0x40, s2 & 0x40); // busy: DQ6 toggles
    b.env.now += 100;
    EXPECT_EQ(b.Read(0x4202), 0x01);
    EXPECT_TRUE(b.chip.IsProtected(1));
    for (uint32_t s : {0u, 2u, 3u}) b.chip.Protect(s);
    prefix();
    b.Write(0x0240, 0x00);
    b.env.now += 10000;
    EXPECT_EQ(b.Read(0x4202), 0x00);
    EXPECT_EQ(b.chip.ChipUnprotects(), 1u);
    b.Write(0, 0xF0);
    EXPECT_EQ(b.Read(0x4202), 0xFF); // the array again
}

// The protection mode: 24h after AAh 55h enters it only with /OE at VID;
// 60h then 40h at a sector address (A1 set) protects after 100 us; 90h 00h
// leave it.
TEST(JedecFlashChipTest, ProtectionModeEnteredWith24hWhileOeIsAtVid) {
    sim::JedecFlashConfig c = Part();
    c.protectCommands = sim::FlashProtectCommands::OeEntry;
    Bus b(c);
    auto protectOne = [&] {
        b.Write(0x4022, 0x60);
        b.env.now += 150;
        b.Write(0x4002, 0x40);
    };
    b.Command(0x24);
    protectOne();
    EXPECT_FALSE(b.chip.IsProtected(1));
    b.env.pins[Bus::Z(b.pins.oe)] = {false, 120};
    b.Command(0x24);
    b.Drive(b.pins.oe, true);
    protectOne();
    EXPECT_TRUE(b.chip.IsProtected(1));
    EXPECT_EQ(b.Read(0x4002), 0x01);
    b.Write(0, 0x90);
    b.Write(0, 0x00);
    EXPECT_EQ(b.Read(0x4002), 0xFF);
}

// ST's chip unprotect (A9, /OE and /CE at VID) takes effect only with A12
// and A15 high; the part unprotected by /CE pulses with /OE and /WE at VID
// wants two of 5 ms.
TEST(JedecFlashChipTest, ChipUnprotectsThatWantTheirOwnLines) {
    sim::JedecFlashConfig st = Part();
    st.equipmentProtect = st.unprotectCeVid = true;
    st.unprotectAddressMask = st.unprotectAddressWant = 0x9000;
    Bus b(st);
    for (uint32_t s = 0; s < 4; ++s) b.chip.Protect(s);
    for (int pin : {b.pins.address[9], b.pins.oe, b.pins.ce}) b.env.pins[Bus::Z(pin)] = {false, 120};
    auto pulse = [&](uint32_t a, uint64_t us) {
        b.Address(a);
        b.Drive(b.pins.we, false);
        b.chip.Update(b.env);
        b.env.now += us;
        b.Drive(b.pins.we, true);
        b.chip.Update(b.env);
    };
    pulse(0x1280, 10000);
    EXPECT_TRUE(b.chip.IsProtected(0));
    pulse(0x9280, 10000);
    EXPECT_FALSE(b.chip.IsProtected(0));

    sim::JedecFlashConfig byCe = Part();
    byCe.unprotectByCePulses = true;
    byCe.vidMinTenths = byCe.a9HighTenths = 95;
    Bus e(byCe);
    for (uint32_t s = 0; s < 4; ++s) e.chip.Protect(s);
    for (int pin : {e.pins.oe, e.pins.we}) e.env.pins[Bus::Z(pin)] = {false, 100};
    auto cePulse = [&](uint64_t us) {
        e.Drive(e.pins.ce, false);
        e.chip.Update(e.env);
        e.env.now += us;
        e.Drive(e.pins.ce, true);
        e.chip.Update(e.env);
    };
    cePulse(5000);
    cePulse(1000); // too short to count
    EXPECT_TRUE(e.chip.IsProtected(0));
    cePulse(5000);
    EXPECT_FALSE(e.chip.IsProtected(0));
    EXPECT_EQ(e.chip.ChipUnprotects(), 1u);
}

} // namespace
