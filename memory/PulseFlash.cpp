// Rows 2 and 7 on the command bus's pulse vocabulary: address latches 0-2,
// socket mask 3 (FFh none, 0 all, ~(1 << s) one), line patterns 4 (9Fh
// powered, 9Dh command mode, 8Fh strobed read, 0Fh read loop, 1Fh released),
// bus mode 5 (9 sequential read), data 6.
//
// By variant: 0 programs by timed pulses with a program verify and erases
// the whole chip by pulses after programming every byte to 00h; 1 and 2
// program with 40h and erase four fixed blocks, both checked on a status of
// exactly 80h; 3 programs and erases the whole chip (30h/30h) on its own,
// polled by its data.
#include "memory/PulseFlash.h"

#include <array>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "memory/MemoryFrame.h"

namespace {

constexpr std::array<std::array<uint32_t, 4>, 2> kFourBlocks = {{
    {0x00000, 0x02000, 0x03000, 0x04000},
    {0x00000, 0x1C000, 0x1D000, 0x1E000},
}};

// The byte every socket is compared with.
uint32_t g_expected = 0;

void SetAddress(uint32_t a) {
    WriteRegister(0, a & 0xFF);
    WriteRegister(1, (a >> 8) & 0xFF);
    WriteRegister(2, (a >> 16) & 0xFF);
}

void PowerUp(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, HardwareKind == 3 || DeviceVariant == 0 ? 33 : static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    SetAddress(DeviceStart);
    WriteRegister(3, 0xFF);
    WriteRegister(4, 0x9F);
    WriteRegister(5, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
}

void PowerDown() {
    WriteRegister(4, 0x1F);
    WriteRegister(3, 0xFF);
    DelayShortUs(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

// The programming voltage and, with sub-variant 1, the second one on ZIF 38
// (RP# of the four-block parts).
void ProgrammingVoltages(int state, int tenths) {
    if (state == 1) SetDeviceVpp(1, tenths);
    if (DeviceSubVariant == 1) ApplyVoltageToPin(2, 38, state, tenths);
    if (state == 0) SetDeviceVpp(0, tenths);
}

uint32_t StrobedRead() {
    WriteRegister(4, 0x8F);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 0x9D);
    return ReadValue;
}

// Every socket reads the expected byte; the first that does not ends the
// compare. All sockets selected afterwards.
bool EverySocketReads() {
    bool all = true;
    for (uint32_t s = 0; s <= LastSocketIndex && all; ++s) {
        WriteRegister(3, NotSocket(s));
        all = StrobedRead() == g_expected;
    }
    WriteRegister(3, 0);
    return all;
}

bool EverySocketReadsWithin(uint32_t compares) {
    for (uint32_t n = 0; n < compares; ++n) {
        if (EverySocketReads()) return true;
    }
    return false;
}

// Programs `data` at ChipAddress as the variant does: 1 or -1.
int ProgramByte(uint32_t data) {
    WriteRegister(0, ChipAddress & 0xFF);
    if (DeviceVariant == 0) {
        g_expected = data;
        for (uint32_t pulse = 0; pulse < Retry; ++pulse) {
            WriteRegister(6, 0x40);
            WriteRegister(6, data);
            DelayShortUs(PulseWidth);
            WriteRegister(6, 0xC0);
            if (EverySocketReads()) return 1;
        }
        return -1;
    }
    g_expected = DeviceVariant == 3 ? data : 0x80;
    WriteRegister(6, 0x40);
    WriteRegister(6, data);
    return EverySocketReadsWithin(DeviceVariant == 3 ? 1000 : 100) ? 1 : -1;
}

// The variants the module serves; others fail before power-up (the library
// refuses them).
bool VariantServed() { return DeviceVariant <= 3; }

int RefuseVariant() {
    ShowMessageLine(" Algorithm variant %u is not supported.", static_cast<unsigned>(DeviceVariant));
    return -1;
}

int Alg2Program() {
    if (!VariantServed()) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp(1);
    ProgrammingVoltages(1, static_cast<int>(Vpp / 10));
    WriteRegister(3, 0);
    WriteRegister(4, 0x9D);
    const int r = WalkAddresses(0xFFFF, 1, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        const int result = ExpectedValue == 0xFF ? 1 : ProgramByte(ExpectedValue);
        if (result == 1) BufferIndex += AddressStep; // a failure reports its own address
        return result;
    });
    ProgrammingVoltages(0, 50);
    PowerDown();
    return r;
}

// Reads at the supply of the mode asked for.
int Alg2Read(int mode) {
    if (!VariantServed()) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp(mode);
    ProgrammingVoltages(1, 50);
    WriteRegister(5, 9);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x0F);
    const int r = WalkAddresses(0xFFFF, mode != 0, [&](bool) {
        if ((ChipAddress & 0xFFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        ReadValue = ReadRegister(6);
        return ProcessReadByte(mode);
    });
    ProgrammingVoltages(0, 0);
    PowerDown();
    return r;
}

// Variant 0: every byte to 00h, then erase pulses of the whole chip until
// each address verifies erased. An address stays in the pass until it
// verifies (the last one too); more than 1000 pulses before one fail.
int PulseErase() {
    const int zero = WalkAddresses(0xFFFFFFFFu, 0, [&](bool first) {
        if (first || ChipAddress % 0x100 == 0) {
            WriteRegister(1, (ChipAddress >> 8) & 0xFF);
            DelayShortUs(100);
        }
        if (first || ChipAddress % 0x10000 == 0) {
            WriteRegister(2, (ChipAddress >> 16) & 0xFF);
            DelayShortUs(100);
        }
        return ProgramByte(0);
    });
    if (zero != 1) return zero;
    ShowMessageLine(" Program all ok!");
    g_expected = 0xFF;
    ClearProgress();
    uint32_t pulses = 0;
    return WalkAddresses(0xFFFFFFFFu, 0, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        for (;;) {
            WriteRegister(0, ChipAddress & 0xFF);
            WriteRegister(6, 0xA0);
            StrobedRead();
            if (EverySocketReads()) return 1;
            WriteRegister(6, 0x20);
            WriteRegister(6, 0x20);
            DelayMsSlot(10);
            if (pulses++ > 1000) return -1;
        }
    });
}

// Variants 1 and 2: the four blocks in order; a block not ready in 3000 ms
// ends the erase.
int BlockErase() {
    g_expected = 0x80;
    for (uint32_t block : kFourBlocks[DeviceVariant - 1]) {
        SetAddress(block);
        WriteRegister(6, 0x20);
        WriteRegister(6, 0xD0);
        bool ready = false;
        for (int n = 0; n < 3000 && !ready; ++n) {
            DelayMsSlot(1);
            WriteRegister(6, 0x70);
            ready = EverySocketReads();
        }
        if (!ready) return -1;
    }
    return 1;
}

// Variant 3: the chip erases on its own; polled until it reads FFh.
int PolledErase() {
    g_expected = 0xFF;
    WriteRegister(6, 0x30);
    WriteRegister(6, 0x30);
    for (int n = 0; n < 100; ++n) {
        DelayMsSlot(100);
        if (EverySocketReads()) return 1;
    }
    return -1;
}

int Alg2Erase() {
    if (!VariantServed()) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp(1);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(1);
    if (DeviceSubVariant == 1) ApplyVoltageToPin(2, 38, 1, static_cast<int>(Vpp / 10));
    WriteRegister(3, 0);
    WriteRegister(4, 0x9D);
    int r = 1;
    switch (DeviceVariant) {
    case 0: r = PulseErase(); break;
    case 3: r = PolledErase(); break;
    default: r = BlockErase(); break;
    }
    ProgrammingVoltages(0, 50);
    PowerDown();
    return r;
}

} // namespace

void InstallPulseFlashRows() {
    for (uint32_t row : {2u, 7u}) InstallRow(row, Alg2Read, Alg2Program, Alg2Erase);
}
