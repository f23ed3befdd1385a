#include "memory/MemoryFrame.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"

FrameProfile ActiveFrame;

void FrameUse(const FrameProfile& profile) { ActiveFrame = profile; }

bool GangInUse() { return LastSocketIndex != 0; }

const EpromEraseVariant& EpromVariantOf(const EpromEraseVariant* table) {
    return table[DeviceVariant < EpromEraseVariantCount ? DeviceVariant : 0];
}

// ---- pulses ---------------------------------------------------------------

void PulseWithSocketMask(uint32_t widthUs) {
    WriteRegister(4, 0x15);
    WriteRegister(3, 0xFF);
    DelayUsSlot(widthUs);
    WriteRegister(3, 0);
}

void PulseWithVpp(uint32_t widthUs) {
    WriteRegister(3, 0xFF);
    WriteRegister(4, 0x15);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayUsSlot(widthUs);
    SetDeviceVpp(0, 0);
    WriteRegister(3, 0);
}

void PulseStrobe(uint32_t widthUs) {
    WriteRegister(4, 0x15);
    DelayUsSlot(widthUs);
}

// ---- power ----------------------------------------------------------------

void PowerOnDevice(int mode) {
    const FrameProfile& f = ActiveFrame;
    if (f.CypressBlankRule && CurrentMakerName == "CYPRESS" &&
        (CurrentDeviceName == "CY27C128" || CurrentDeviceName == "CY27C256")) {
        BlankValue = 0;
    }
    if (mode == 1) {
        SupplyVoltage = Vccp / 10;
        if (f.SlowPulseProgress && PulseWidth >= 10000) ProgressStep = 16;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    int range = static_cast<int>(SupplyVoltage);
    if (f.GangSupplyCap && GangInUse() && SupplyVoltage >= 34) range = 33;
    if (f.FixedVccRange != 0) range = f.FixedVccRange;
    SetVccRange(0, range);
    SetAllDacVoltages(f.Dac1, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    if (f.WriteAddressLatches) {
        WriteRegister(0, DeviceStart & 0xFF);
        WriteRegister(1, (DeviceStart >> 8) & 0xFF);
        if (f.WriteUpperLatch) WriteRegister(2, ((DeviceStart >> 16) & 0xFF) | f.HighAddressFlag);
    }
    if (f.UpperFlagRegister8 != 0) WriteRegister(8, f.UpperFlagRegister8);
    WriteRegister(3, 0xFF);
    WriteRegister(4, 0x1F);
    WriteRegister(static_cast<uint32_t>(f.BusModeRegister), f.BusModeValue);
    if (f.PreSupplyRegister >= 0) WriteRegister(static_cast<uint32_t>(f.PreSupplyRegister), f.PreSupplyValue);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(f.SettleMs);
    if (f.ExtraRegister >= 0) WriteRegister(static_cast<uint32_t>(f.ExtraRegister), f.ExtraValue);
}

void PowerOffDevice() {
    switch (ActiveFrame.PowerOffOrder) {
    case 1:
        WriteRegister(3, 0xFF);
        WriteRegister(4, 0x1F);
        break;
    case 2:
        WriteRegister(4, 0x1F);
        WriteRegister(5, 0);
        WriteRegister(3, 0xFF);
        break;
    default:
        WriteRegister(4, 0x1F);
        WriteRegister(3, 0xFF);
        break;
    }
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
    if (ActiveFrame.PowerOffOrder == 2) ResetProgrammerOutputs();
}

// ---- data -----------------------------------------------------------------

static uint32_t ReadDataRegisters() {
    uint32_t v = ReadRegister(6);
    if (ActiveFrame.Word) v |= static_cast<uint32_t>(ReadRegister(7)) << 8;
    return v;
}

void ReadDatum() {
    WriteRegister(4, ActiveFrame.ReadBackStrobe);
    ReadValue = ReadDataRegisters();
}

void WriteDataRegisters(uint32_t value) {
    WriteRegister(6, value & 0xFF);
    if (ActiveFrame.Word) WriteRegister(7, (value >> 8) & 0xFF);
}

void WriteUpperAddress(uint32_t address, bool force) {
    if (force || (address & 0xFF) == 0) WriteRegister(1, (address >> 8) & 0xFF);
    if (force || (address & 0xFFFF) == 0) WriteRegister(2, ((address >> 16) & 0xFF) | ActiveFrame.HighAddressFlag);
}

// The datum read back after a pulse equals ExpectedValue (in every socket
// where the profile reads them all).
static bool ReadBackMatches() {
    const FrameProfile& f = ActiveFrame;
    if (f.ReadBackWithSocketMask) {
        WriteRegister(4, f.ReadBackStrobe);
        WriteRegister(3, 0);
        ReadValue = ReadDataRegisters();
        WriteRegister(3, 0xFF);
        return ReadValue == ExpectedValue;
    }
    const bool everySocket = f.ReadBackEverySocketAlways || (f.ReadBackEverySocket && GangInUse());
    if (!everySocket) {
        ReadDatum();
        return ReadValue == ExpectedValue;
    }
    bool all = true;
    for (uint32_t s = 0; s <= LastSocketIndex && s < 8; ++s) {
        WriteRegister(3, ~(1u << s) & 0xFF);
        ReadDatum();
        if (ReadValue != ExpectedValue) all = false;
    }
    WriteRegister(3, f.MaskAfterEverySocket);
    return all;
}

int ProgramDatum() {
    const FrameProfile& f = ActiveFrame;
    const uint32_t blank = f.Word ? BlankWord : BlankValue;
    if (f.SkipBlank && ExpectedValue == blank) return 1;
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(1, (ChipAddress >> 8) & 0xFF);
    WriteDataRegisters(ExpectedValue);
    if (!f.ReadBack) {
        f.Pulse(PulseWidth);
        return 1;
    }
    const uint32_t limit = f.RetryInclusive ? Retry + 1 : Retry;
    uint32_t n = 1;
    for (; n < limit; ++n) {
        f.Pulse(PulseWidth);
        if (ReadBackMatches()) {
            if (f.OverPulse && OverPulseWidth != 0) f.Pulse(PulseMul ? n * OverPulseWidth : OverPulseWidth);
            break;
        }
    }
    return n >= limit ? -1 : 1;
}

int ProgramRange(int zeroFill, const EpromEraseVariant* variant) {
    const bool switchesVpp = variant != nullptr && variant->PulseSwitchesVpp;
    PowerOnDevice(1);
    if (variant != nullptr && variant->AllSocketsDuringProgram) WriteRegister(3, 0);
    if (!switchesVpp) SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        WriteUpperAddress(ChipAddress, false);
        ExpectedValue = zeroFill ? 0 : BufferWindow[BufferIndex & 0xFFFF];
        if (ProgramDatum() != 1) {
            result = -1;
            break;
        }
        BufferIndex += AddressStep;
        if (BufferIndex > 0xFFFF && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    if (!switchesVpp) SetDeviceVpp(0, 0);
    PowerOffDevice();
    return result;
}

int EraseWalk(uint32_t maxPulses, uint32_t blank, void (*erasePulse)()) {
    uint32_t pulses = 1;
    erasePulse();
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        const int r = StepProgress(ChipAddress);
        if (r != 1) return r;
        WriteUpperAddress(ChipAddress, a == DeviceStart);
        // Stay on the address until it reads blank or the pulses are used up.
        for (;;) {
            WriteRegister(0, ChipAddress & 0xFF);
            ReadDatum();
            if (ReadValue == blank) break;
            if (pulses >= maxPulses) return -1;
            erasePulse();
            ++pulses;
        }
    }
    return 1;
}

// ---- erase of the electrically erasable EPROMs ------------------------------

namespace {

struct MakerErase {
    uint32_t Maker;   // MakerNameTable row; 0xFFFF = any other
    bool ProgramZerosFirst;
    int Tenths;       // 0 = Vpp / 10
    uint32_t PulseUs; // 0 = by device id: 100000 for 145, else 50000
    uint32_t MaxPulses;
};

// The maker erase table: voltage, pulse and pulse limit by maker.
constexpr MakerErase kMakerEraseTable[3] = {
    {MakerMacronix, true, 0, 500000, 200},
    {MakerSst, false, 120, 100000, 2},
    {0xFFFF, false, 140, 0, 20},
};

const MakerErase& MakerEraseOf(uint32_t maker) {
    for (const MakerErase& m : kMakerEraseTable) {
        if (m.Maker == maker) return m;
    }
    return kMakerEraseTable[2];
}

struct ErasePulseSetup {
    uint32_t PulseUs = 0;
    const EpromEraseVariant* Variant = nullptr;
    int ErasePin = 34;
    int VppSwitchPin = 32;
};
ErasePulseSetup g_erase;

void EpromErasePulse() {
    WriteRegister(0, 0);
    SetSupplyPinA(g_erase.ErasePin, 1);
    if (DeviceVariant == 5) {
        WriteRegister(3, 0xFF);
        WriteRegister(4, 0x15);
        SetSupplyPinA(g_erase.VppSwitchPin, 1);
        DelayUsSlot(g_erase.PulseUs);
        SetSupplyPinA(g_erase.VppSwitchPin, 0);
        WriteRegister(3, 0);
    } else {
        g_erase.Variant->Pulse(g_erase.PulseUs);
    }
    SetSupplyPinA(g_erase.ErasePin, 0);
}

} // namespace

int EraseChip(const EpromEraseVariant* table) {
    const EpromEraseVariant& v = EpromVariantOf(table);
    const MakerErase& m = MakerEraseOf(MakerIndex);
    if (m.ProgramZerosFirst) {
        const int r = ProgramRange(1, &v);
        if (r == 3) return 3;
        if (r != 1) return -1;
        ShowMessageLine(" Program all ok!");
        ClearProgress();
    }
    const int e = m.Tenths != 0 ? m.Tenths : static_cast<int>(Vpp / 10);
    const bool pkg264 = PackageIndex == 264;
    g_erase.PulseUs = m.PulseUs != 0 ? m.PulseUs : (ExpectedDeviceId == 145 ? 100000 : 50000);
    g_erase.Variant = &v;
    g_erase.ErasePin = pkg264 ? 36 : 34;
    g_erase.VppSwitchPin = pkg264 ? 33 : 32;

    PowerOnDevice(1);
    if (!v.PulseSwitchesVpp) SetDeviceVpp(1, e);
    if (pkg264) SetDacVoltage(1, e);
    SetDacVoltage(2, e);
    DelayShortUsSlot(50);
    if (v.AllSocketsDuringProgram) WriteRegister(3, 0);
    const int result = EraseWalk(m.MaxPulses, 0xFF, EpromErasePulse);
    if (pkg264) SetDacVoltage(1, 0);
    if (!v.PulseSwitchesVpp) SetDeviceVpp(0, 50);
    PowerOffDevice();
    return result;
}

void ResetMemoryFrameState() {
    ActiveFrame = FrameProfile{};
    g_erase = ErasePulseSetup{};
}
