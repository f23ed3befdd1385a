// The 68HC705 bootstrap part with small hand-assembled programs: the
// bootstrap download and jump, the EPROM programming register (latch, then
// program with the programming voltage for the whole program time), the
// EEPROM control register, the ready line and the security bit.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "PinBench.h"
#include "sim/Hc05BootChip.h"

namespace {

// Chip pins: supply 13, ground 33, mode 14, programming voltage 6 (a 40-pin
// DIP: socket pin = chip pin + 4).
sim::Hc05BootFacts Facts() {
    sim::Hc05BootFacts f;
    f.name = "TEST705";
    f.pinCount = 40;
    f.words = 0x2000;
    f.blank = 0x00;
    f.vcc = {45, 55};
    f.vccPin = 13;
    f.gndPins = {33};
    f.modePin = 14;
    f.vppPin = 6;
    f.eprom = {{0x0800, 0x1EFF}};
    f.eeprom = {{0x0100, 0x01FF}};
    f.byteUs = 100;
    f.hasSecurity = true;
    f.securityAt = 0x1FDF;
    f.securityBit = 0x08;
    return f;
}

struct Bench {
    Env env;
    sim::Hc05BootChip chip;
    explicit Bench(const sim::Hc05BootFacts& f = Facts()) : chip(f) {
        env.pins[17].supplyTenths = 50;
        env.pins[37].grounded = true;
        env.pins[18].supplyTenths = 100;
        Vpp(true);
    }
    void Vpp(bool on) {
        env.pins[10].supplyTenths = on ? 165 : -1;
        chip.SuppliesChanged(env);
    }
    // Reset with the mode pins, then `bytes` of the program (zero-padded)
    // clocked in 200 us apart.
    void Boot(const std::vector<uint8_t>& program, uint32_t bytes = 176) {
        chip.HoldReset(env, true);
        chip.ReleaseReset(env);
        for (uint32_t i = 0; i < bytes; ++i) {
            env.now += 200;
            chip.DownloadByte(env, i < program.size() ? program[i] : uint8_t{0});
        }
    }
    void Wait(uint64_t us) {
        env.now += us;
        chip.Update(env);
    }
    bool Saw(const std::string& what) const {
        for (const auto& v : env.violations)
            if (v.find(what) != std::string::npos) return true;
        return false;
    }
};

// Burns `value` into 0800h: PROG = `latch`, the byte written, PROG =
// `program`, `tenths` x 100 us, PROG cleared; then ready high.
std::vector<uint8_t> Burn(uint8_t value, uint8_t tenths, uint8_t latch = 0x04, uint8_t program = 0x05) {
    return {0xA6, latch, 0xB7, 0x1C, 0xA6, value, 0xC7, 0x08, 0x00, 0xA6, program, 0xB7, 0x1C, 0xA6, tenths,
            0xAE, 0x20, 0x5A, 0x26, 0xFD, 0x4A, 0x26, 0xF8, 0x3F, 0x1C, 0x12, 0x06, 0x12, 0x02, 0x20, 0xFE};
}

TEST(Hc05BootChip, DownloadFillsRamThenRunsIt) {
    Bench b;
    b.Boot(Burn(0x5A, 20), 175);
    EXPECT_TRUE(b.chip.Downloading());
    b.Wait(10000);
    EXPECT_FALSE(b.chip.Ready(b.env)); // one byte short: nothing runs
    EXPECT_EQ(b.chip.Starts(), 0u);
    b.env.now += 200;
    b.chip.DownloadByte(b.env, 0);
    EXPECT_TRUE(b.chip.Running());
    EXPECT_EQ(b.chip.Cpu().pc, 0x50);
    b.Wait(1000);
    EXPECT_FALSE(b.chip.Ready(b.env)); // still burning
    b.Wait(1200);
    EXPECT_TRUE(b.chip.Ready(b.env));
    EXPECT_EQ(b.chip.Cell(0x800), 0x5A);
    EXPECT_EQ(b.chip.Taken(), std::vector<uint32_t>{0x800});
    EXPECT_TRUE(b.env.violations.empty()) << b.env.violations.front();
    // A byte sooner than the loader takes it is lost: the part stays silent.
    b.chip.HoldReset(b.env, true);
    b.chip.ReleaseReset(b.env);
    b.env.now += 200;
    b.chip.DownloadByte(b.env, 0xA6);
    b.env.now += 50;
    b.chip.DownloadByte(b.env, 0x04);
    EXPECT_TRUE(b.Saw("download byte 1 after 50 us"));
    EXPECT_FALSE(b.chip.Downloading());
}

TEST(Hc05BootChip, EpromNeedsTheLatchTheVoltageAndTheWholeTime) {
    {
        Bench b; // half the program time
        b.Boot(Burn(0x5A, 10));
        b.Wait(3000);
        EXPECT_TRUE(b.chip.Ready(b.env));
        EXPECT_EQ(b.chip.Cell(0x800), 0x00);
        EXPECT_TRUE(b.Saw("stopped after 10"));
    }
    {
        Bench b; // no programming voltage
        b.Vpp(false);
        b.Boot(Burn(0x5A, 20));
        b.Wait(3000);
        EXPECT_EQ(b.chip.Cell(0x800), 0x00);
        EXPECT_TRUE(b.Saw("without the programming voltage on pin 6"));
    }
    {
        Bench b; // the voltage goes half way
        b.Boot(Burn(0x5A, 20));
        b.Wait(1000);
        b.Vpp(false);
        b.Wait(2000);
        EXPECT_EQ(b.chip.Cell(0x800), 0x00);
        EXPECT_TRUE(b.Saw("programming voltage gone"));
    }
    for (auto [latch, program] : {std::pair<uint8_t, uint8_t>{0x00, 0x01}, {0x04, 0x02}, {0x01, 0x05}}) {
        Bench b; // EPGM without ELAT, the wrong bit, the latch set too late
        b.Boot(Burn(0x5A, 20, latch, program));
        b.Wait(3000);
        EXPECT_TRUE(b.chip.Ready(b.env));
        EXPECT_EQ(b.chip.Cell(0x800), 0x00) << int(latch) << " " << int(program);
        EXPECT_EQ(b.chip.Burns(), 0u);
    }
    {
        sim::Hc05BootFacts f = Facts(); // a blank-FFh EPROM: the byte clears bits
        f.blank = 0xFF;
        Bench b(f);
        b.chip.SetCell(0x800, 0xF0);
        b.Boot(Burn(0x5A, 20));
        b.Wait(3000);
        EXPECT_EQ(b.chip.Cell(0x800), 0x50);
    }
}

TEST(Hc05BootChip, EepromWritesClearBitsAndEraseSetsThem) {
    // EEPCR = E1LAT, 3Ch to 0120h, E1LAT+E1PGM, 10 ms, cleared; then the same
    // with E1ERA for 0121h; ready.
    const std::vector<uint8_t> program = {
        0xA6, 0x02, 0xB7, 0x07, 0xA6, 0x3C, 0xC7, 0x01, 0x20, 0xA6, 0x03, 0xB7, 0x07, 0xA6, 0x64, 0xAE,
        0x20, 0x5A, 0x26, 0xFD, 0x4A, 0x26, 0xF8, 0x3F, 0x07, // write 0120h
        0xA6, 0x06, 0xB7, 0x07, 0xC7, 0x01, 0x21, 0xA6, 0x07, 0xB7, 0x07, 0xA6, 0x64, 0xAE, 0x20, 0x5A,
        0x26, 0xFD, 0x4A, 0x26, 0xF8, 0x3F, 0x07, // erase 0121h
        0x12, 0x06, 0x12, 0x02, 0x20, 0xFE};
    Bench b;
    b.Vpp(false); // the EEPROM needs no programming voltage
    b.chip.SetCell(0x120, 0xF0);
    b.chip.SetCell(0x121, 0x00);
    b.Boot(program);
    b.Wait(15000);
    EXPECT_EQ(b.chip.Cell(0x120), 0x30);
    EXPECT_EQ(b.chip.Cell(0x121), 0x00);
    b.Wait(10000);
    EXPECT_TRUE(b.chip.Ready(b.env));
    EXPECT_EQ(b.chip.Cell(0x121), 0xFF);
    EXPECT_TRUE(b.env.violations.empty()) << b.env.violations.front();
}

// Ready is the PC1 latch where DDRC drives it; the strobe reads on PC0 and
// the port byte on PA; PB reaches the logic where DDRB drives it.
TEST(Hc05BootChip, PortsOfTheHandshake) {
    // bset 1,PORTC; wait PC0 low; lda PA; sta PB; bset 1,DDRC; lda #FFh;
    // sta DDRB; bra *
    const std::vector<uint8_t> program = {0x12, 0x02, 0x00, 0x02, 0xFD, 0xB6, 0x00, 0xB7, 0x01,
                                          0x12, 0x06, 0xA6, 0xFF, 0xB7, 0x05, 0x20, 0xFE};
    Bench b;
    b.Boot(program);
    b.Wait(100);
    EXPECT_FALSE(b.chip.Ready(b.env));
    EXPECT_EQ(b.chip.DataOut(b.env), 0xFF);
    b.Wait(1'000'000); // polling a steady port costs nothing
    b.chip.Strobe(b.env, 0x3C);
    b.Wait(20);
    EXPECT_TRUE(b.chip.Ready(b.env));
    EXPECT_EQ(b.chip.DataOut(b.env), 0x3C);
    b.chip.StrobeReleased(b.env);
}

// A part whose security bit left its erased state takes no download.
TEST(Hc05BootChip, SecuredPartTakesNoDownload) {
    Bench b;
    b.chip.SetCell(0x1FDF, 0x08);
    EXPECT_TRUE(b.chip.Secured());
    b.Boot(Burn(0x5A, 20));
    EXPECT_EQ(b.chip.Downloaded(), 0u);
    b.Wait(5000);
    EXPECT_FALSE(b.chip.Ready(b.env));
    EXPECT_EQ(b.chip.Cell(0x800), 0x00);
}

} // namespace
