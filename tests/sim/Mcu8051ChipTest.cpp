// The 8051 programming-mode model at its pins, and register 12 of the
// universal image.
#include <gtest/gtest.h>

#include "SimTestBus.h"
#include "sim/Catalog.h"
#include "sim/Mcu8051Chip.h"
#include "sim/Universal.h"

#include "PinBench.h"

namespace {

using sim::McuFunction;

class ChipAtPins : public ::testing::Test {
protected:
    Env env;
    std::unique_ptr<sim::Mcu8051Chip> chip;
    const sim::McuPinout* pin = nullptr;
    std::vector<int> s;

    void Seat(const std::string& maker, const std::string& name) {
        chip = std::make_unique<sim::Mcu8051Chip>(*sim::FindFacts<sim::Mcu8051Facts>(maker, name));
        pin = &chip->Pinout();
        s = chip->SocketPins();
    }
    int S(int chipPin) const { return s[static_cast<size_t>(chipPin - 1)]; }
    void Drive(int chipPin, bool high) {
        env.pins[S(chipPin)].driven = true;
        env.pins[S(chipPin)].drivenHigh = high;
    }
    void Supply(int chipPin, int tenths) { env.pins[S(chipPin)].supplyTenths = tenths; }
    void PowerUp() {
        Supply(pin->vcc, 50);
        for (int g : pin->gnd) env.pins[S(g)].grounded = true;
        Drive(pin->rst, true);
        Drive(pin->psen, false);
        Drive(pin->ale, true);
        Supply(pin->ea, 50);
        chip->Update(env);
    }
    void Bits(const std::vector<int>& pins, uint32_t v) {
        for (size_t i = 0; i < pins.size(); ++i) Drive(pins[i], (v >> i) & 1);
    }
    // A program pulse of the function's mode value on ALE/PROG.
    void Pulse(uint32_t mode, uint32_t address, uint8_t data, int eaTenths, uint64_t widthUs = 100) {
        Bits(pin->mode, mode);
        Bits(pin->address, address);
        Bits(pin->data, data);
        Supply(pin->ea, eaTenths);
        Drive(pin->ale, false);
        chip->Update(env);
        env.now += widthUs;
        Drive(pin->ale, true);
        chip->Update(env);
        Supply(pin->ea, 50);
    }
    uint32_t Read(uint32_t mode, uint32_t address) {
        for (int d : pin->data) env.pins[S(d)] = {};
        Bits(pin->mode, mode);
        Bits(pin->address, address);
        chip->Update(env);
        uint32_t v = 0;
        for (size_t i = 0; i < pin->data.size(); ++i)
            if (chip->Output(env, S(pin->data[i])) == sim::ChipDrive::High) v |= 1u << i;
        return v;
    }
};

constexpr uint32_t kWriteCode = 0b1110, kReadCode = 0b1100, kReadSig = 0, kLock1 = 0b1111, kLock2 = 0b0011,
                   kErase = 0b0001, kWriteTable = 0b1010;

TEST_F(ChipAtPins, ProgramPulsesClearBitsOnlyInsideTheWindow) {
    Seat("INTEL", "87C51");
    PowerUp();
    struct Case {
        int ea;
        bool programs, violation;
    };
    uint32_t a = 0x10;
    for (const Case c : {Case{127, true, false}, Case{50, false, false}, Case{140, false, true}, Case{110, false, true}}) {
        SCOPED_TRACE(c.ea);
        env.violations.clear();
        for (int i = 0; i < 5; ++i) Pulse(kWriteCode, a, 0x5A, c.ea);
        EXPECT_EQ(chip->Cell(a), c.programs ? 0x5A : 0xFF);
        EXPECT_EQ(env.violations.empty(), !c.violation);
        ++a;
    }
    // Four of the five pulses a cell needs leave it unchanged; a short pulse
    // does not count.
    for (int i = 0; i < 4; ++i) Pulse(kWriteCode, 0x20, 0x00, 127);
    Pulse(kWriteCode, 0x20, 0x00, 127, 50);
    EXPECT_EQ(chip->Cell(0x20), 0xFF);
    Pulse(kWriteCode, 0x20, 0x00, 127);
    EXPECT_EQ(chip->Cell(0x20), 0x00);
    EXPECT_EQ(Read(kReadCode, 0x10), 0x5Au);
    EXPECT_EQ(Read(kReadSig, 0x31), 0x58u);
    EXPECT_EQ(Read(kReadSig, 0x60), 0x51u);
}

TEST_F(ChipAtPins, EncryptionLocksAndUvErase) {
    Seat("INTEL", "87C51");
    PowerUp();
    for (int i = 0; i < 5; ++i) Pulse(kWriteCode, 0x41, 0x3C, 127);
    for (int i = 0; i < 25; ++i) Pulse(kWriteTable, 1, 0x0F, 127);
    EXPECT_EQ(Read(kReadCode, 0x41), static_cast<uint8_t>(~(0x3C ^ 0x0F))); // 0x41 mod 64 = 1
    Pulse(kLock1, 0, 0xFF, 127);
    for (int i = 0; i < 5; ++i) Pulse(kWriteCode, 0x42, 0x00, 127);
    EXPECT_EQ(chip->Cell(0x42), 0xFF); // lock bit 1 refuses programming
    Pulse(kLock2, 0, 0xFF, 127);
    EXPECT_EQ(Read(kReadCode, 0x41), chip->Facts().securedPattern);
    Pulse(kErase, 0, 0xFF, 127, 100000); // an EPROM has no electrical erase
    EXPECT_TRUE(chip->Locked(1));
    chip->UvErase();
    EXPECT_TRUE(chip->IsBlank());
}

TEST_F(ChipAtPins, FlashErasesOnlyByItsEraseFunctionAndPulse) {
    Seat("ATMEL", "AT89C52-12");
    PowerUp();
    Pulse(kWriteCode, 0x100, 0x12, 120, 2);
    ASSERT_EQ(chip->Cell(0x100), 0x12);
    Pulse(kErase, 0, 0xFF, 120, 5000); // shorter than the erase time
    EXPECT_EQ(chip->Cell(0x100), 0x12);
    chip->SetErasePulsesNeeded(2);
    Pulse(kErase, 0, 0xFF, 120, 10000);
    EXPECT_EQ(chip->Cell(0x100), 0x12);
    Pulse(kErase, 0, 0xFF, 120, 10000);
    EXPECT_TRUE(chip->IsBlank());
}

TEST_F(ChipAtPins, VoltageFaultsAreViolationsAndChangeNothing) {
    Seat("ATMEL", "AT89C52-5");
    // EA/VPP raised before VCC.
    Supply(pin->ea, 120);
    chip->Update(env);
    EXPECT_EQ(env.violations.size(), 1u);
    PowerUp();
    env.violations.clear();
    Pulse(kWriteCode, 0x30, 0x00, 120, 2); // 12 V on the 5 V part
    EXPECT_EQ(chip->Cell(0x30), 0xFF);
    EXPECT_EQ(env.violations.size(), 1u);
    Pulse(kWriteCode, 0x30, 0x00, 50, 2);
    EXPECT_EQ(chip->Cell(0x30), 0x00);
    EXPECT_EQ(Read(kReadSig, 0x32), 0x05u);
    // Out of the programming mode (PSEN high) the chip neither drives nor programs.
    Drive(pin->psen, true);
    Pulse(kWriteCode, 0x31, 0x00, 50, 2);
    EXPECT_EQ(chip->Cell(0x31), 0xFF);
    EXPECT_EQ(chip->Output(env, S(pin->data[0])), sim::ChipDrive::None);
}

// The data byte the part drives, asked for all socket pins at once, is what
// each pin gives alone: unpowered, reading code and signature, pulsing.
TEST_F(ChipAtPins, AllPinsAtOnceMatchEachPinAlone) {
    for (const char* name : {"87C51", "87C51FB"}) {
        SCOPED_TRACE(name);
        env = Env{};
        Seat("INTEL", name);
        auto same = [&] {
            int pins[sim::kSocketPins + 2];
            for (int i = 0; i < sim::kSocketPins + 2; ++i) pins[i] = i; // 0 and 49 are off the socket
            sim::ChipDrive all[sim::kSocketPins + 2];
            chip->Outputs(env, pins, sim::kSocketPins + 2, all);
            int driven = 0;
            for (int i = 0; i < sim::kSocketPins + 2; ++i) {
                const sim::ChipDrive one = i >= 1 && i <= sim::kSocketPins && chip->ChipPinAt(i) != 0 ? chip->Output(env, i) : sim::ChipDrive::None;
                EXPECT_EQ(all[i], one) << "socket pin " << i;
                driven += one == sim::ChipDrive::High || one == sim::ChipDrive::Low;
            }
            return driven;
        };
        EXPECT_EQ(same(), 0); // unpowered
        PowerUp();
        for (int i = 0; i < 5; ++i) Pulse(kWriteCode, 0x12, 0x5A, 127);
        Read(kReadCode, 0x12);
        EXPECT_GE(same(), 8);
        Read(kReadSig, 0x31);
        EXPECT_GE(same(), 8);
        Bits(pin->mode, kWriteCode);
        Drive(pin->ale, false);
        chip->Update(env);
        EXPECT_EQ(same(), 0); // pulsing
    }
}

TEST(UniversalImage, Register12IsIdleOrAMicrocontrollerMode) {
    sim::RegisterUniversalPersonalities();
    for (uint8_t v : {0, 1, 2, 3, 0xFF}) {
        sim::SimProgrammer p;
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalityUniversal;
        p.ConfigureDirect(h);
        WriteReg(p, 12, v);
        EXPECT_EQ(p.Violations().empty(), v <= 2) << int(v);
        EXPECT_EQ(sim::FindPinDriver(p)->McuMode(), v <= 2 ? v : 0);
    }
}

} // namespace
