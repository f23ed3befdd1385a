#include "memory/MemoryFrame.h"

#include "memory/Gang.h"

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"

FrameProfile ActiveFrame;

void FrameUse(const FrameProfile& profile) { ActiveFrame = profile; }

int RefuseVariant() {
    RefuseRun(" Algorithm variant %u is not supported.", static_cast<unsigned>(DeviceVariant));
    return -1;
}


void WriteSequence(const RegisterSequence& writes) {
    for (const RegisterWrite& w : writes) {
        if (w.Register < 0) break;
        WriteRegister(static_cast<uint32_t>(w.Register), w.Value);
    }
}

void ParkAndPowerOff(const RegisterSequence& park, bool resetOutputs) {
    WriteSequence(park);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
    if (resetOutputs) ResetProgrammerOutputs();
}

void WriteAddressLow(uint32_t address) { WriteRegister(0, address & 0xFF); }

void WriteAddress16(uint32_t address, uint32_t register1Bits) {
    WriteRegister(0, address & 0xFF);
    WriteRegister(1, ((address >> 8) & 0xFF) | register1Bits);
}

void WriteAddress(uint32_t address) {
    WriteRegister(0, address & 0xFF);
    WriteRegister(1, (address >> 8) & 0xFF);
    WriteRegister(2, (address >> 16) & 0xFF);
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

int GangCappedVccRange() {
    const int v = static_cast<int>(SupplyVoltage);
    return GangInUse() && v >= 34 ? 33 : v;
}

void PowerOnDevice(int mode) {
    const FrameProfile& f = ActiveFrame;
    if (f.BeforePowerUp != nullptr) f.BeforePowerUp();
    if (mode == 1) {
        SupplyVoltage = Vccp / 10;
        if (f.SlowPulseProgress && PulseWidth >= 10000) ProgressStep = 16;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    SetVccRange(0, f.VccRange != nullptr ? f.VccRange() : static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(f.Dac1, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    for (int r = 0; r < f.AddressLatches && r < 3; ++r) {
        const uint32_t bits = (DeviceStart >> (8 * r)) & 0xFF;
        WriteRegister(static_cast<uint32_t>(r), r == 2 ? bits | f.HighAddressFlag : bits);
    }
    WriteSequence(f.IdleWrites);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(f.SettleMs);
    WriteSequence(f.AfterPowerUp);
}

void PowerOffDevice() {
    WriteSequence(ActiveFrame.ParkWrites);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
    if (ActiveFrame.AfterPowerOff != nullptr) ActiveFrame.AfterPowerOff();
}

// ---- data -----------------------------------------------------------------

uint32_t ReadDataRegisters() {
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
    uint32_t w = RunBufferWord(index);
    if (ByteSwap) SwapBytes16(&w);
    return w;
}

uint8_t RunByteAt(uint32_t i) { return RunBufferByte(BufferIndex + uint64_t{i} * AddressStep); }

uint32_t RunWordAt(uint32_t i) { return BufferWordAt(static_cast<uint32_t>(BufferIndex + uint64_t{i} * AddressStep)); }

bool ReadBackMatches() {
    ReadDatum();
    return ReadValue == ExpectedValue;
}

bool ReadBackEverySocket(uint32_t maskAfter) {
    return OnEverySocket(GangPass{maskAfter}, [](uint32_t) {
        ReadDatum();
        return ReadValue == ExpectedValue;
    });
}

int ProgramDatum() {
    const FrameProfile& f = ActiveFrame;
    if (ExpectedValue == (f.Word ? BlankWord : BlankValue)) return 1;
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(1, (ChipAddress >> 8) & 0xFF);
    WriteDataRegisters(ExpectedValue);
    if (!f.ReadBack) {
        f.Pulse(PulseWidth);
        return 1;
    }
    return PulseVerify(f.Pulse, f.Verify, f.OverPulse, Retry);
}

// ---- loops ------------------------------------------------------------------

static uint32_t LastBufferIndex() { return ActiveFrame.Word ? 0x7FFF : 0xFFFF; }

// The page register of the paged parts at the first address and at every
// 16 KB page after it.
static void SelectPageIfDue(void (*select)(uint32_t page), bool first) {
    if (select != nullptr && (first || (ChipAddress & 0x3FFF) == 0)) select(ChipAddress >> 14);
}

int ReadRange(int mode) {
    const FrameProfile& f = ActiveFrame;
    PowerOnDevice(mode);
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
    if (f.ReadSetup != nullptr) f.ReadSetup();
    const int result = WalkAddresses(LastBufferIndex(), mode, [&](bool first) {
        WriteUpperAddress(f.ReadUpper, ChipAddress, first);
        SelectPageIfDue(f.ReadPage, first);
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
    WriteSequence(f.BeforeVpp);
    if (f.ProgramVpp) SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    WriteSequence(f.AfterVpp);
    if (f.ProgramSetup != nullptr) f.ProgramSetup();
    const int result = WalkAddresses(LastBufferIndex(), 1, [&](bool first) {
        WriteUpperAddress(f.ProgramUpper, ChipAddress, first);
        SelectPageIfDue(f.ProgramPage, first);
        ExpectedValue = zeroFill ? 0 : f.Word ? BufferWordAt(BufferIndex) : RunBufferByte(BufferIndex);
        if (f.Datum() != 1) return -1;
        BufferIndex += AddressStep;
        return 1;
    });
    WriteSequence(f.AfterLoop);
    if (f.ProgramVpp) SetDeviceVpp(0, 0);
    PowerOffDevice();
    return result;
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

// One erase pulse of pulseUs with the erase pin raised: variant 5 switches
// the programming voltage through vppSwitchPin, the others give their pulse.
void EpromErasePulse(const EpromEraseVariant& v, uint32_t pulseUs, int erasePin, int vppSwitchPin) {
    WriteRegister(0, 0);
    SetSupplyPinA(erasePin, 1);
    if (DeviceVariant == 5) {
        WriteRegister(3, 0xFF);
        WriteRegister(4, 0x15);
        SetSupplyPinA(vppSwitchPin, 1);
        DelayUsSlot(pulseUs);
        SetSupplyPinA(vppSwitchPin, 0);
        WriteRegister(3, 0);
    } else {
        v.Pulse(pulseUs);
    }
    SetSupplyPinA(erasePin, 0);
}

// The erase voltage e on the programming pin and DAC 2 (and DAC 1 where
// dac1), erase(), and power-down.
template <class Erase> int EraseAtVoltage(const EpromEraseVariant& v, int e, bool dac1, Erase&& erase) {
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
        if (r != 1) {
            // The cell that would not take 00h, with the datum it read.
            NameEraseFailAddress(ChipAddress);
            return -1;
        }
        ShowMessageLine(" Program all ok!");
        ClearProgress();
    }
    const bool pkg264 = PackageIndex == 264;
    const uint32_t pulseUs = m.PulseUs != 0 ? m.PulseUs : (ExpectedDeviceId == 145 ? 100000 : 50000);
    const int erasePin = pkg264 ? 36 : 34, vppSwitchPin = pkg264 ? 33 : 32;
    return EraseAtVoltage(v, m.Tenths != 0 ? m.Tenths : static_cast<int>(Vpp / 10), pkg264, [&] {
        return EraseWalk(m.MaxPulses, 0xFF, [&] { EpromErasePulse(v, pulseUs, erasePin, vppSwitchPin); });
    });
}

int EraseChipOnce(const EpromEraseVariant* table) {
    const EpromEraseVariant& v = EpromVariantOf(table);
    return EraseAtVoltage(v, 120, false, [&] {
        EpromErasePulse(v, 100000, 34, 32);
        return 1;
    });
}

void ResetMemoryFrameState() { ActiveFrame = FrameProfile{}; }
