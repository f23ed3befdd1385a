// The parallel PIC members. Row 110 (PIC16C5x): the 12-bit word on 12 socket
// pins, a program-pulse pin, an increment clock; the counter starts on the
// configuration word. Row 113 (PIC17C4x): the 16-bit word on two byte groups,
// a clock and a program-pulse pin; the start address is loaded at power-up.

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "mcu/Pic.h"
#include "mcu/PicShared.h"

namespace {

uint32_t PackagePins() { return PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0; }

// ---- row 110 ---------------------------------------------------------------------------------

struct Pins110 {
    int Data[12];
    int Pulse, Clock, High;
};
constexpr Pins110 k18Pins = {{32, 33, 16, 17, 21, 22, 23, 24, 25, 26, 27, 28}, 18, 31, 30};
constexpr Pins110 k28Pins = {{16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}, 11, 37, 36};
const Pins110* P = &k18Pins;

void PowerUp110(int phase) {
    P = PackagePins() == 28 ? &k28Pins : &k18Pins;
    const int* d = P->Data;
    DefinePinGroup("data", 0, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11], 0);
    BlankWord = 0xFFF;
    ProgressStep = 16;
    PicSocketReady(phase);
    SetPin(P->Pulse, 1);
    SetPin(P->Clock, 0);
    SetPin(P->High, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayShortUsSlot(100);
}

void PowerDown110() {
    PicSupplyOff(0);
    ResetProgrammerOutputs();
}

void Increment110() {
    SetPin(P->Clock, 1);
    SetPin(P->Clock, 0);
}

// The word at the counter; the cycle also advances the counter.
void ReadCycle110() {
    SetPin(P->Clock, 1);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 11));
    SetPin(P->Clock, 0);
}

// Program pulse of `width` us with ExpectedValue, then the verify read.
void ProgramCycle110(uint32_t width) {
    WritePinGroup(0, 0, 11, ExpectedValue);
    SetPin(P->Pulse, 0);
    DelayUsSlot(width);
    SetPin(P->Pulse, 1);
    FloatPinGroup(0, 0, 11);
    SetPin(P->Pulse, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 11));
    SetPin(P->Pulse, 1);
}

// Up to 8 pulses; the attempt n that verifies gets one of 11 x n x PulseWidth.
int ProgramWord110() {
    for (uint32_t n = 1; n <= 8; ++n) {
        ProgramCycle110(PulseWidth);
        if (ReadValue == ExpectedValue) {
            ProgramCycle110(11 * n * PulseWidth);
            return 1;
        }
    }
    return -1;
}

// After power-up the counter is on the configuration word: one increment
// reaches word 0, DeviceStart more the loop's first word.
void ToFirstWord110() {
    for (uint32_t a = 0; a <= DeviceStart; ++a) Increment110();
}

// ---- row 113 ---------------------------------------------------------------------------------

constexpr int kClock113 = 29;
constexpr int kPulse113 = 30;

void Clock113() {
    SetPin(kClock113, 1);
    DelayShortUsSlot(10);
    SetPin(kClock113, 0);
}

void PowerUp113(uint32_t address, int phase) {
    if (PackagePins() == 44) {
        DefinePinGroup("high", 0, 15, 16, 17, 18, 19, 20, 21, 22, 0);
        DefinePinGroup("low", 1, 5, 6, 7, 8, 9, 10, 11, 12, 0);
        DefinePinGroup("word", 2, 5, 6, 7, 8, 9, 10, 11, 12, 15, 16, 17, 18, 19, 20, 21, 22, 0);
    } else {
        DefinePinGroup("high", 0, 15, 16, 17, 18, 19, 20, 21, 22, 0);
        DefinePinGroup("low", 1, 6, 7, 8, 9, 10, 11, 12, 13, 0);
        DefinePinGroup("word", 2, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16, 17, 18, 19, 20, 21, 22, 0);
    }
    BlankWord = 0xFFFF;
    PicSocketReady(phase);
    for (int pin : {30, 29, 26, 31, 23}) SetPin(pin, 0);
    WriteRegister(12, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetPin(28, 0);
    SetPin(27, 0);
    SetPin(26, 1);
    SetPin(31, 1);
    WritePinGroup(0, 0, 7, 0xE1);
    DelayShortUsSlot(100);
    SetDeviceVpp(1, phase == 1 ? static_cast<int>(Vpp / 10) : 50);
    WritePinGroup(2, 0, 15, address);
    Clock113();
    FloatPinGroup(2, 0, 15);
}

void PowerDown113() {
    PicSupplyOff(12);
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

void ReadWord113() {
    Clock113();
    ReadValue = static_cast<uint32_t>(ReadPinGroup(2, 0, 15));
    Clock113();
}

// n program pulses with ExpectedValue on the bus, then the verify read.
int ProgramWord113(uint32_t n) {
    WritePinGroup(2, 0, 15, ExpectedValue);
    for (uint32_t k = 0; k < n; ++k) PulsePinTimed(kPulse113, 3, PulseWidth);
    SetPin(kPulse113, 1);
    DelayShortUsSlot(10);
    SetPin(kClock113, 1);
    DelayShortUsSlot(10);
    SetPin(kPulse113, 0);
    DelayShortUsSlot(10);
    SetPin(kClock113, 0);
    FloatPinGroup(2, 0, 15);
    ReadWord113();
    return ReadValue == ExpectedValue ? 1 : -1;
}

// Single pulses until the word verifies, then 3 x n more. Every word gets
// at least one attempt whatever Retry says, and only a match gives 1.
int ProgramWithRetry113() {
    const uint32_t attempts = Retry > 2 ? Retry - 1 : 1;
    for (uint32_t n = 1; n <= attempts; ++n) {
        if (ProgramWord113(1) == 1) return ProgramWord113(3 * n);
    }
    return -1;
}

// The configuration: FE00h-FE07h give its low byte, FE08h-FE0Fh its high
// byte. Every location is a cycle of three clocks, the read word two of
// them: one more ends FE00h's cycle, seven whole cycles reach FE08h.
uint32_t ReadConfigBytes113() {
    PowerUp113(0xFE00, 2);
    ReadWord113();
    const uint32_t a = ReadValue;
    for (int i = 0; i < 1 + 7 * 3; ++i) Clock113();
    ReadWord113();
    const uint32_t b = ReadValue;
    PowerDown113();
    return (a & 0xFF) | ((b & 0xFF) << 8);
}

} // namespace

int Alg110Read(int mode) {
    PowerUp110(2);
    ToFirstWord110();
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        ReadCycle110();
        r = ProcessReadPicWord(mode);
        if (r == -1) break;
    }
    PowerDown110();
    if (mode == 2) {
        ReadPicConfig110();
        LogPicConfiguration();
    }
    NotePicCodeProtection(mode, r);
    return r;
}

int Alg110Program() {
    PowerUp110(1);
    ToFirstWord110();
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        ExpectedValue = PicWord(BufferIndex) & 0xFFFu;
        if (ExpectedValue != 0xFFF && ProgramWord110() != 1) {
            PowerDown110();
            return -1;
        }
        BufferIndex += AddressStep;
        Increment110();
    }
    PowerDown110();
    return r;
}

void ReadPicConfig110() {
    PowerUp110(2);
    ReadCycle110();
    PicConfigWord = ReadValue;
    PicFixedWord(0xFFF) = static_cast<uint16_t>(ReadValue);
    // The ID words follow the part's last program word, wherever Chip End is.
    for (uint32_t i = 0; i < DeviceSize; ++i) Increment110();
    for (uint32_t i = 0; i < 4; ++i) {
        ReadCycle110();
        PicIdWords[i] = ReadValue;
        PicFixedWord(DeviceSize + i) = static_cast<uint16_t>(ReadValue);
    }
    PowerDown110();
}

int ProgramPicConfig110() {
    const bool otp = CurrentDeviceName.find("OTP") != std::string::npos;
    const uint32_t c = otp ? PicConfigWord | 3 : PicConfigWord;
    const uint32_t w = (DeviceVariant & 1) != 0 && (c & 8) == 0 ? c & 0x0F : c | 0xFF0;
    PowerUp110(1);
    ExpectedValue = w;
    ProgramCycle110(10000);
    const uint32_t mask = otp ? 0xFFF : 0x0F;
    if ((ReadValue & mask) != (w & mask)) {
        PowerDown110();
        return -1;
    }
    // To the ID words after the part's last program word: a Chip End below
    // it must not put the ID nibbles into program words of a one-time part.
    for (uint32_t i = 0; i <= DeviceSize; ++i) Increment110();
    for (uint32_t i = 0; i < 4; ++i) {
        ExpectedValue = PicIdWords[i] & 0xFFFu;
        ProgramCycle110(PulseWidth);
        if (ReadValue != ExpectedValue) {
            PowerDown110();
            return -1;
        }
        Increment110();
    }
    PowerDown110();
    return 1;
}

int Alg113Read(int mode) {
    // The loop starts at DeviceStart: the chip's address is loaded there.
    PowerUp113(DeviceStart, mode);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        ReadWord113();
        Clock113();
        r = ProcessReadWord(mode);
        if (r == -1) break;
    }
    PowerDown113();
    if (mode == 2) {
        SelectBank(0x10000, 1);
        ReadPicConfig113();
        SelectBank(0, 1);
        LogPicConfiguration();
    }
    NotePicCodeProtection(mode, r);
    return r;
}

int Alg113Program() {
    PowerUp113(DeviceStart, 1);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        // The word as Verify expects it (ProcessReadWord swaps under the
        // byte-swap option).
        uint32_t w = PicWord(BufferIndex);
        if (ByteSwap) SwapBytes16(&w);
        ExpectedValue = w;
        Clock113();
        Clock113();
        if (ExpectedValue != 0xFFFF) {
            r = ProgramWithRetry113();
            if (r == -1) break;
        }
        Clock113();
        BufferIndex += AddressStep;
    }
    PowerDown113();
    return r;
}

// The caller has selected the buffer's second bank (word 0FE00h at 7E00h).
// Each byte comes from its own location's low byte: the high byte FE00h reads
// with is not the configuration's.
void ReadPicConfig113() {
    PicConfigWord = ReadConfigBytes113();
    PicFixedWord(0x7E00) = static_cast<uint16_t>(PicConfigWord);
}

int ProgramPicConfig113() {
    const uint32_t c = PicConfigWord;
    auto programmed = [c](uint32_t i) {
        const bool zero = ((c >> i) & 1) == 0;
        if (i <= 4 || i == 6) return zero;
        if (i == 14) return DeviceVariant == 2 && zero;
        if (i == 15) return (DeviceVariant == 1 || DeviceVariant == 2) && (c & 0x50) == 0;
        return false;
    };
    PowerUp113(0xFE00, 1);
    for (uint32_t i = 0; i < 16; ++i) {
        ReadWord113();
        if (programmed(i)) {
            ExpectedValue = 0xFF00;
            ProgramWord113(100);
        }
        Clock113();
    }
    PowerDown113();
    DelayMsSlot(500);
    const uint32_t v = ReadConfigBytes113();
    // Every location the writer decides on must read as it decided: 0 where
    // programmed, 1 where left. PM2 (location 15) is decided with PM1:PM0 on
    // variants 1 and 2: the code-protected mode needs all three.
    uint32_t m = 0x5F;
    if (DeviceVariant == 2) m |= 0x4000;
    if (DeviceVariant == 1 || DeviceVariant == 2) m |= 0x8000;
    uint32_t w = 0;
    for (uint32_t i = 0; i < 16; ++i)
        if (!programmed(i)) w |= 1u << i;
    return (v & m) == (w & m) ? 1 : -1;
}
