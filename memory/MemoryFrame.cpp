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

uint32_t NotSocket(uint32_t s) { return ~(1u << (s & 7)) & 0xFF; }

static void WriteSequence(const RegisterWrite* writes, int count) {
    for (int k = 0; k < count && writes[k].Register >= 0; ++k) {
        WriteRegister(static_cast<uint32_t>(writes[k].Register), writes[k].Value);
    }
}

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
    // An erase of one socket outside auto is followed by the driver's blank check.
    if (f.BlankCheckAfterEraseRule && !GangInUse() && CurrentOperation != 10) BlankCheckAfterErase = 1;
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
    WriteSequence(f.IdleWrites, 4);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(f.SettleMs);
    if (f.ExtraRegister >= 0) WriteRegister(static_cast<uint32_t>(f.ExtraRegister), f.ExtraValue);
}

void PowerOffDevice() {
    WriteSequence(ActiveFrame.ParkWrites, 3);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
    if (ActiveFrame.ResetOutputsAfterPowerOff) ResetProgrammerOutputs();
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

void WriteUpperAddress(const UpperLatches& u, uint32_t address, bool first) {
    const bool atFirst = first && u.AtFirst;
    if (u.Register1Every != 0 && (atFirst || address % u.Register1Every == 0)) WriteRegister(1, (address >> 8) & 0xFF);
    if (u.Register2Every != 0 && (atFirst || address % u.Register2Every == 0)) {
        WriteRegister(2, ((address >> 16) & 0xFF) | ActiveFrame.HighAddressFlag);
    }
}

uint32_t BufferWordAt(uint32_t index) {
    uint32_t w = BufferWords[index & 0x7FFF];
    if (ByteSwap) SwapBytes16(&w);
    return w;
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

int PulseVerify(PulseRoutine pulse, bool (*matches)(), bool overPulse, uint32_t limit) {
    uint32_t n = 1;
    for (; n < limit; ++n) {
        pulse(PulseWidth);
        if (matches()) {
            if (overPulse && OverPulseWidth != 0) pulse(PulseMul ? n * OverPulseWidth : OverPulseWidth);
            break;
        }
    }
    return n >= limit ? -1 : 1;
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
    return PulseVerify(f.Pulse, ReadBackMatches, f.OverPulse, f.RetryInclusive ? Retry + 1 : Retry);
}

// ---- loops ------------------------------------------------------------------

static uint32_t LastBufferIndex() { return ActiveFrame.Word ? 0x7FFF : 0xFFFF; }

int ReadRange(int mode) {
    const FrameProfile& f = ActiveFrame;
    PowerOnDevice(f.ReadAtProgramSupply ? 1 : mode);
    if (f.ReadVpp) SetDeviceVpp(1, f.ReadVppTenths >= 0 ? f.ReadVppTenths : static_cast<int>(SupplyVoltage));
    if (f.ReadBusMode >= 0) {
        WriteRegister(5, static_cast<uint32_t>(f.ReadBusMode));
        if (f.ReadMaskThroughLatch) {
            WriteRegister3(NotSocket(CurrentSocket));
        } else {
            WriteRegister(3, NotSocket(CurrentSocket));
        }
    }
    if (f.ReadStrobeFirst) WriteRegister(4, 0x0F);
    if (f.RestoreUpperAfterStrobe) {
        WriteRegister(1, 0xFF);
        WriteRegister(1, 0);
        // The strobe above clears the upper address; a range that starts at
        // 100h or above needs it back.
        if (((DeviceStart >> 8) & 0xFF) != 0) WriteRegister(1, (DeviceStart >> 8) & 0xFF);
    }
    const int result = WalkAddresses(LastBufferIndex(), mode, [&](bool first) {
        WriteUpperAddress(f.ReadUpper, ChipAddress, first);
        if (f.ReadPage != nullptr && (ChipAddress & 0x3FFF) == 0) f.ReadPage(ChipAddress >> 14);
        if (f.Read != nullptr) {
            f.Read();
        } else {
            ReadValue = ReadDataRegisters();
        }
        return f.Word ? ProcessReadWord(mode) : ProcessReadByte(mode);
    });
    if (f.ReadVpp) SetDeviceVpp(0, f.ReadVppOffTenths);
    PowerOffDevice();
    return result;
}

int ProgramRange(int zeroFill) {
    const FrameProfile& f = ActiveFrame;
    PowerOnDevice(1);
    if (f.MaskAllBeforeVpp) WriteRegister(3, 0);
    if (f.ProgramVpp) SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    if (f.ProgramStrobe != 0) WriteRegister(4, f.ProgramStrobe);
    if (f.MaskAllAfterVpp) WriteRegister(3, 0);
    const int result = WalkAddresses(LastBufferIndex(), 1, [&](bool first) {
        WriteUpperAddress(f.ProgramUpper, ChipAddress, first);
        if (f.ProgramPage != nullptr && (ChipAddress & 0x3FFF) == 0) f.ProgramPage(ChipAddress >> 14);
        ExpectedValue = zeroFill ? 0 : f.Word ? BufferWordAt(BufferIndex) : BufferWindow[BufferIndex & 0xFFFF];
        if (f.Datum() != 1) return -1;
        BufferIndex += AddressStep;
        return 1;
    });
    if (f.MaskOffAfterLoop) WriteRegister(3, 0xFF);
    if (f.ProgramVpp) SetDeviceVpp(0, 0);
    PowerOffDevice();
    return result;
}

int EraseWalk(uint32_t maxPulses, uint32_t blank, void (*erasePulse)()) {
    uint32_t pulses = 0;
    bool dirty = true; // no datum read yet: the first address is always pulsed
    return WalkAddresses(0xFFFFFFFFu, 0, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, false}, ChipAddress, first);
        // Stay on the address until it reads blank or the pulses are used up;
        // the datum after the last pulse is checked too.
        for (;;) {
            if (dirty) {
                if (pulses >= maxPulses) return -1;
                erasePulse();
                ++pulses;
            }
            WriteRegister(0, ChipAddress & 0xFF);
            ReadDatum();
            dirty = ReadValue != blank;
            if (!dirty) return 1;
        }
    });
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
    uint32_t MaxPulses = 0;
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

int EraseWalkAll() { return EraseWalk(g_erase.MaxPulses, 0xFF, EpromErasePulse); }

int ErasePulseOnce() {
    EpromErasePulse();
    return 1;
}

// The erase voltage e on the programming pin and DAC 2 (and DAC 1 where
// dac1), the erase, and power-down.
int EraseAtVoltage(const EpromEraseVariant& v, int e, bool dac1, int (*erase)()) {
    PowerOnDevice(1);
    if (!v.PulseSwitchesVpp) SetDeviceVpp(1, e);
    if (dac1) SetDacVoltage(1, e);
    SetDacVoltage(2, e);
    DelayShortUsSlot(50);
    if (v.AllSocketsDuringProgram) WriteRegister(3, 0);
    const int result = erase();
    if (dac1) SetDacVoltage(1, 0);
    if (!v.PulseSwitchesVpp) SetDeviceVpp(0, 50);
    PowerOffDevice();
    return result;
}

} // namespace

int EraseChip(const EpromEraseVariant* table) {
    const EpromEraseVariant& v = EpromVariantOf(table);
    const MakerErase& m = MakerEraseOf(MakerIndex);
    if (m.ProgramZerosFirst) {
        const int r = ProgramRange(1);
        if (r == 3) return 3;
        if (r != 1) return -1;
        ShowMessageLine(" Program all ok!");
        ClearProgress();
    }
    const bool pkg264 = PackageIndex == 264;
    g_erase.PulseUs = m.PulseUs != 0 ? m.PulseUs : (ExpectedDeviceId == 145 ? 100000 : 50000);
    g_erase.Variant = &v;
    g_erase.ErasePin = pkg264 ? 36 : 34;
    g_erase.VppSwitchPin = pkg264 ? 33 : 32;
    g_erase.MaxPulses = m.MaxPulses;
    return EraseAtVoltage(v, m.Tenths != 0 ? m.Tenths : static_cast<int>(Vpp / 10), pkg264, EraseWalkAll);
}

int EraseChipOnce(const EpromEraseVariant* table) {
    const EpromEraseVariant& v = EpromVariantOf(table);
    g_erase = ErasePulseSetup{100000, &v, 34, 32, 0};
    return EraseAtVoltage(v, 120, false, ErasePulseOnce);
}

void ResetMemoryFrameState() {
    ActiveFrame = FrameProfile{};
    g_erase = ErasePulseSetup{};
}
