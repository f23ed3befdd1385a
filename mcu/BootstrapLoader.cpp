// Microcontrollers that take a loader program into RAM at every power-up
// (row 146): 128 bytes of a library entry are clocked in through register 5,
// then the loader exchanges addresses and data over a byte handshake on
// registers 0, 1, 3 and 4.

#include <array>
#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

// ---- row 146 ----

constexpr uint32_t kLoaderBytes146 = 128;
constexpr uint32_t kReadEntry146 = 199;
constexpr uint32_t kProgramEntry146 = 200;

// Socket pins of the supplies by variant: 10.0 V on DAC channel 1, 5.0 V on
// channel 2, and a second 5.0 V on channel 3 (0: none).
struct LoaderPins146 {
    int high, supply, supply2;
};
constexpr uint32_t kPinTableCount146 = 2;
constexpr LoaderPins146 kPinTable146[kPinTableCount146] = {{11, 8, 0}, {21, 18, 41}};

const LoaderPins146& Pins146() {
    return kPinTable146[DeviceVariant < kPinTableCount146 ? DeviceVariant : 0];
}

bool InWindow146(uint32_t a) {
    return (a >= 0xFFF && a <= 0x1EFF) || (a >= 0x1FF4 && a <= 0x1FFF);
}

// Every loader opens with the same start-up: "lds #00AFh; ldx #0100h" (its
// stack, its ports).
constexpr std::array<uint8_t, 6> kLoaderHead146 = {0x8E, 0x00, 0xAF, 0xCE, 0x01, 0x00};

// Opens the loader of the purpose (1 programming, else a read mode). A
// missing or short entry would be clocked into the chip as zeros, and one
// that holds no loader would leave the part running what serves no
// handshake: both are refused before anything is powered.
bool OpenLoader146(int purpose) {
    const uint32_t entry = purpose == 1 ? kProgramEntry146 : kReadEntry146;
    const uint32_t size = OpenLibraryEntry(entry);
    if (size < kLoaderBytes146) {
        RefuseRun(" Loader entry %u holds %u of its %u bytes!", entry, size, kLoaderBytes146);
        return false;
    }
    bool ours = true;
    for (uint32_t i = 0; i < kLoaderHead146.size(); ++i) ours = ours && ReadLibraryByte(i) == kLoaderHead146[i];
    if (!ours) {
        RefuseRun(" Library entry %u holds no chip-side loader!", entry);
        return false;
    }
    return true;
}

// Supplies on, reset released into bootstrap mode, the open loader sent.
void PowerUp146() {
    const LoaderPins146& pins = Pins146();
    SetVccRange(0, 50);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(3, 1);
    WriteRegister(2, 0x0D);
    WriteRegister(1, 0xD6);
    ApplyVoltageToPin(2, pins.supply, 1, 50);
    DelayMsSlot(10);
    if (pins.supply2 != 0) {
        ApplyVoltageToPin(3, pins.supply2, 1, 50);
        DelayMsSlot(10);
    }
    ApplyVoltageToPin(1, pins.high, 1, 100);
    DelayMsSlot(10);
    WriteRegister(1, 0xF7);
    DelayUsSlot(100);
    for (uint32_t i = 0; i < kLoaderBytes146; ++i) {
        DelayUsSlot(200);
        WriteRegister(5, ReadLibraryByte(i));
        DelayMsSlot(3);
    }
}

void PowerDown146() {
    const LoaderPins146& pins = Pins146();
    ApplyVoltageToPin(1, pins.high, 0, 50);
    DelayUsSlot(100);
    ApplyVoltageToPin(2, pins.supply, 0, 0);
    DelayUsSlot(100);
    if (pins.supply2 != 0) ApplyVoltageToPin(3, pins.supply2, 0, 0);
    DelayUsSlot(100);
    WriteRegister(1, 0);
}

int WaitReady146() {
    for (int i = 0; i < 100000; ++i) {
        if ((ReadRegister(1) & 1) == 0) return 1;
        DelayUsSlot(100);
    }
    return -1;
}

int SendByte146(uint32_t v) {
    if (WaitReady146() == -1) return -1;
    WriteRegister(0, v & 0xFF);
    DelayUsSlot(20);
    WriteRegister(3, 0);
    DelayUsSlot(30);
    WriteRegister(3, 1);
    return 1;
}

int ReadByte146() {
    if (WaitReady146() == -1) return -1;
    WriteRegister(1, 0xF7);
    WriteRegister(3, 0);
    DelayUsSlot(30);
    ReadValue = ReadRegister(0);
    WriteRegister(3, 1);
    return 1;
}

int WriteByte146() {
    if (WaitReady146() == -1) return -1;
    WriteRegister(1, 0xE7);
    WriteRegister(4, ExpectedValue & 0xFF);
    DelayUsSlot(10);
    WriteRegister(3, 0);
    DelayUsSlot(30);
    WriteRegister(3, 1);
    return 1;
}

int Alg146Program() {
    if (!OpenLoader146(1)) return -1;
    PowerUp146();
    int r = 1;
    bool ended = true;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) {
            r = 3;
            ended = false;
            break;
        }
        if (!InWindow146(ChipAddress)) continue;
        BufferIndex = ChipAddress;
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if (SendByte146(ChipAddress >> 8) == -1 || SendByte146(ChipAddress & 0xFF) == -1 ||
            WriteByte146() == -1) {
            r = -1;
            ended = false;
            break;
        }
    }
    // The last byte is taken once the loader is ready again.
    if (ended) r = WaitReady146();
    PowerDown146();
    return r;
}

int Alg146Read(int mode) {
    if (!OpenLoader146(mode)) return -1;
    PowerUp146();
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        if (StepProgress(ChipAddress) == 3) {
            r = 3;
            break;
        }
        if (!InWindow146(ChipAddress)) continue;
        BufferIndex = ChipAddress;
        BlankValue = ChipAddress == 0xFFF ? 0 : 0xFF;
        if (SendByte146(ChipAddress >> 8) == -1 || SendByte146(ChipAddress & 0xFF) == -1 ||
            ReadByte146() == -1) {
            r = -1;
            break;
        }
        if ((r = ProcessReadByte(mode)) == -1) break;
    }
    PowerDown146();
    return r;
}

} // namespace

// The rows of this family. The loader takes each byte at the buffer
// address of its chip address.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 146,
     .Read = Alg146Read,
     .Program = Alg146Program,
     .VariantCount = kPinTableCount146,
     .VariantTable = "pin table",
     .DataAtChipAddresses = true},
};

ROW_FAMILY("BootstrapLoader", Mcu, 340, kAlgorithmRows);
