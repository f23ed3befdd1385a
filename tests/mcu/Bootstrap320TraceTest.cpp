// Golden register traces of the 68HC711-type row written in its parallel
// EPROM mode: the pin groups and idle lines set from the part's pin-out, the
// bootstrap download with its pacing, the program pulses with their
// read-backs and the over-program pulse, the blank check's two reads, the
// read, and the power-down, each compared write for write with the row's
// expected steps replayed through the engine.
#include "GoldenStream.h"
#include "W78Fixture.h"

#include <functional>

#include "engine/Library.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "sim/BootBus.h"
#include "sim/Hc11BootChip.h"

namespace {

constexpr uint32_t kTr320DownloadCount = 512; // variant 1's record
constexpr uint32_t kTr320ReadEntry = 149, kTr320ProgramEntry = 150;

// The part's pin-out as groups 0 (A0-A8) and 1 (D0-D7), the data lines
// released and the program, read and test lines idle high.
void Tr320Groups(const sim::Hc11BootFacts& f) {
    for (size_t i = 0; i < f.parallelAddress.size(); ++i)
        PinGroupTable[0][i] = static_cast<uint8_t>(f.parallelAddress[i]);
    PinGroupTable[0][f.parallelAddress.size()] = 0;
    for (size_t i = 0; i < f.parallelData.size(); ++i)
        PinGroupTable[1][i] = static_cast<uint8_t>(f.parallelData[i]);
    PinGroupTable[1][f.parallelData.size()] = 0;
    FloatPinGroup(1, 0, 7);
    SetPin(30, 1);
    SetPin(31, 1);
    SetPin(33, 1);
}

// Bootstrap mode at 12.7 V on channels 1 and 2, FFh and the program sent
// 350 us + 2 ms apart.
void Tr320Load(int mode, uint32_t entry) {
    const int supply = mode == 1 ? static_cast<int>(Vccp / 10) : static_cast<int>(ReadVccInUse);
    SetVccRange(1, supply);
    SetAllDacVoltages(127, 127, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(3, 1);
    WriteRegister(0, 0xE8);
    SetDevicePower(1, supply);
    DelayMsSlot(100);
    WriteRegister(0, 0xE9);
    auto send = [](uint32_t v) {
        DelayShortUsSlot(350);
        WriteRegister(1, v);
        DelayMsSlot(2);
    };
    send(0xFF);
    OpenLibraryEntry(entry);
    for (uint32_t i = 0; i < kTr320DownloadCount; ++i)
        send(ReadLibraryByte(i));
}

void Tr320PowerDown() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

void Tr320Pulse(uint32_t value, uint32_t width) {
    WritePinGroup(1, 0, 7, value);
    PulsePinTimed(30, 2, width);
    FloatPinGroup(1, 0, 7);
}

void Tr320Read() {
    SetPin(31, 0);
    ReadPinGroup(1, 0, 7);
    SetPin(31, 1);
}

// One byte: pulses and read-backs until it reads back (after `takesAfter`
// pulses, 0 never, given at most Retry - 1), the over-program pulse, and a
// last read-back when no pulse took.
void Tr320Byte(uint32_t value, uint32_t takesAfter) {
    uint32_t n = 1;
    while (n < Retry) {
        Tr320Pulse(value, PulseWidth);
        Tr320Read();
        if (n == takesAfter) break;
        ++n;
    }
    if (OverPulseWidth != 0) Tr320Pulse(value, PulseMul != 0 ? n * OverPulseWidth : OverPulseWidth);
    if (takesAfter == 0 || takesAfter >= Retry) Tr320Read();
}

class Boot320TraceRun : public W78Run {
  protected:
    void SetUp() override {
        W78Run::SetUp();
        sim::RegisterBootBusPersonality();
    }
    sim::Hc11BootChip* Put320Traced() {
        sim::Hc11BootChip* chip =
            PutPart<sim::Hc11BootChip, sim::Hc11BootFacts>("GENERIC-ALGORITHM", "HC711PAR-V1", nullptr);
        // Groups as another module left them.
        for (int g = 0; g < 2; ++g) {
            for (int i = 0; i < 9; ++i)
                PinGroupTable[g][i] = static_cast<uint8_t>(2 + i + 9 * g);
            PinGroupTable[g][9] = 0;
        }
        return chip;
    }
    static const sim::Hc11BootFacts& Facts320(const sim::Hc11BootChip& chip) {
        return static_cast<const sim::Hc11BootFacts&>(chip.Facts());
    }
};

// Program: Vpp on pin 32 after the download; per byte the address on group
// 0, then pulses of PulseWidth with a read-back after each until the byte
// reads back, and the over-program pulse (n times its width with PulseMul).
// A byte that never takes gets Retry - 1 pulses, the over-program pulse and
// a last read-back, then -1 ends the loop at its address.
TEST_F(Boot320TraceRun, ProgramTrace) {
    for (uint32_t mul : {0u, 1u}) {
        SCOPED_TRACE(mul);
        sim::Hc11BootChip* chip = Put320Traced();
        const sim::Hc11BootFacts facts = Facts320(*chip);
        ASSERT_EQ(Retry, 25u);
        ASSERT_NE(OverPulseWidth, 0u);
        PulseMul = mul;
        DeviceStart = 0;
        DeviceEnd = 2;
        BufferWindow[0] = 0x3C, BufferWindow[1] = 0x00, BufferWindow[2] = 0xA5;
        if (mul == 1) chip->StickCell(facts.parallelBase + 2);
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[320].Program(), mul == 1 ? -1 : 1);
        EXPECT_EQ(ChipAddress, mul == 1 ? 2u : 3u);
        EXPECT_EQ(chip->Cell(facts.parallelBase + 1), 0x00);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectGoldenRun(
            simp, g,
            [&] {
                Tr320Groups(facts);
                Tr320Load(1, kTr320ProgramEntry);
                ApplyVppToPin(32, 1, static_cast<int>(Vpp / 10));
                for (uint32_t a = 0; a <= 2; ++a) {
                    WritePinGroup(0, 0, 8, a);
                    Tr320Byte(BufferWindow[a], mul == 1 && a == 2 ? 0 : 1);
                }
                ApplyVppToPin(32, 0, 50);
                Tr320PowerDown();
            },
            kTr320DownloadCount + 1);
        ResetProgrammerOutputs();
    }
}

// Blank check reads each cell twice with pins 32 and 33 low and Vpp on pin
// 30: FFh with pin 31 low, 00h with it high. Read takes one read per cell
// with Vpp on pin 32. Both load the read program at the read supply.
TEST_F(Boot320TraceRun, BlankCheckAndReadTraces) {
    sim::Hc11BootChip* chip = Put320Traced();
    const sim::Hc11BootFacts facts = Facts320(*chip);
    DeviceStart = 0x1FE;
    DeviceEnd = 0x1FF;
    {
        GoldenStream g(simp);
        EXPECT_EQ(AlgorithmTable[320].Read(ReadModeBlank), 1);
        ExpectGoldenRun(
            simp, g,
            [&] {
                Tr320Groups(facts);
                Tr320Load(2, kTr320ReadEntry);
                SetPin(32, 0);
                SetPin(33, 0);
                ApplyVppToPin(30, 1, static_cast<int>(Vpp / 10));
                for (uint32_t a = 0x1FE; a <= 0x1FF; ++a) {
                    WritePinGroup(0, 0, 8, a);
                    SetPin(31, 0);
                    ReadPinGroup(1, 0, 7);
                    SetPin(31, 1);
                    ReadPinGroup(1, 0, 7);
                }
                SetPin(32, 1);
                SetPin(33, 1);
                ApplyVppToPin(30, 0, 50);
                Tr320PowerDown();
            },
            kTr320DownloadCount + 1);
    }
    chip->SetCell(facts.parallelBase + 0x1FF, 0x5A);
    {
        ResetProgrammerOutputs();
        GoldenStream g(simp);
        BufferIndex = 0x1FE; // the buffer at the chip's addresses
        EXPECT_EQ(AlgorithmTable[320].Read(ReadModeRead), 1);
        EXPECT_EQ(BufferWindow[0x1FF], 0x5A);
        ExpectGoldenRun(
            simp, g,
            [&] {
                Tr320Groups(facts);
                Tr320Load(2, kTr320ReadEntry);
                ApplyVppToPin(32, 1, static_cast<int>(Vpp / 10));
                for (uint32_t a = 0x1FE; a <= 0x1FF; ++a) {
                    WritePinGroup(0, 0, 8, a);
                    Tr320Read();
                }
                ApplyVppToPin(32, 0, 50);
                Tr320PowerDown();
            },
            kTr320DownloadCount + 1);
    }
}

} // namespace
