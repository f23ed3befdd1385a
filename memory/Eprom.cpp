#include "memory/Eprom.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"

const EpromEraseVariant EpromEraseVariantTable[EpromEraseVariantCount] = {
    {0, 0, 1, 0, PulseWithSocketMask}, // 0
    {1, 1, 0, 0, PulseWithVpp},        // 1
    {0, 1, 1, 0, PulseStrobe},         // 2
    {0, 1, 1, 0, PulseStrobe},         // 3
    {0, 0, 0, 0, PulseStrobe},         // 4
    {1, 1, 0, 0, PulseWithVpp},        // 5
    {1, 1, 0, 0, PulseWithVpp},        // 6
    {0, 1, 1, 0, PulseStrobe},         // 7
    {0, 1, 0, 0, PulseStrobe},         // 8
    {0, 1, 1, 0, PulseStrobe},         // 9
    {0, 0, 0, 0, PulseStrobe},         // 10
    {1, 1, 0, 0, PulseWithVpp},        // 11
    {0, 0, 0, 0, PulseStrobe},         // 12
};

namespace {

// ---- profiles ---------------------------------------------------------------

FrameProfile Row0Profile() {
    const EpromEraseVariant& v = EpromVariantOf(EpromEraseVariantTable);
    FrameProfile f;
    f.CypressBlankRule = true;
    f.SlowPulseProgress = true;
    f.GangSupplyCap = true;
    f.Pulse = v.Pulse;
    f.ReadBackEverySocket = v.GangReadBack != 0;
    return f;
}

FrameProfile Row90Profile() {
    FrameProfile f = Row0Profile();
    f.CypressBlankRule = false;
    f.ReadBack = false;
    return f;
}

FrameProfile Row67Profile() {
    FrameProfile f;
    f.SlowPulseProgress = true;
    f.ExtraRegister = 7;
    f.ExtraValue = 3;
    f.ReadBackEverySocket = true;
    return f;
}

void PulseRow68(uint32_t widthUs) {
    WriteRegister(3, 0xFF);
    WriteRegister(4, 0x1D);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    WriteRegister(3, 0);
    DelayUsSlot(widthUs);
    WriteRegister(3, 0xFF);
    SetDeviceVpp(0, 0);
}

FrameProfile Row68Profile() {
    FrameProfile f = Row67Profile();
    f.WriteUpperLatch = false;
    f.Pulse = PulseRow68;
    f.ReadBackStrobe = 0x1F;
    f.ReadBackEverySocketAlways = true;
    f.MaskAfterEverySocket = 0xFF;
    return f;
}

FrameProfile Row76Profile() {
    FrameProfile f;
    f.BusModeRegister = 7;
    f.BusModeValue = 1;
    f.PowerOffOrder = 1;
    f.ReadBack = false;
    return f;
}

FrameProfile Row60Profile() {
    FrameProfile f;
    f.Dac1 = 0;
    f.WriteAddressLatches = false;
    f.BusModeValue = 0;
    f.PreSupplyRegister = 1;
    f.PreSupplyValue = 0xA0;
    f.SettleMs = 20;
    f.PowerOffOrder = 2;
    return f;
}

FrameProfile WordProfile() {
    FrameProfile f;
    f.Word = true;
    f.Dac1 = 0;
    f.SettleMs = 10;
    return f;
}

void PulseRow75(uint32_t widthUs) {
    WriteRegister(4, 0x95);
    DelayUsSlot(widthUs);
}

void PulseRow69(uint32_t widthUs) {
    WriteRegister(4, 0x15);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayUsSlot(widthUs);
    SetDeviceVpp(0, 0);
}

FrameProfile Row75Profile() {
    FrameProfile f = WordProfile();
    if (DeviceVariant == 1) f.FixedVccRange = 33;
    f.HighAddressFlag = 0x10;
    f.Pulse = PulseRow75;
    f.ReadBackStrobe = 0x97;
    f.OverPulse = false;
    return f;
}

FrameProfile Row69Profile() {
    FrameProfile f = WordProfile();
    f.Pulse = PulseRow69;
    f.ReadBackStrobe = 0x1F;
    f.ReadBackWithSocketMask = true;
    return f;
}

FrameProfile Row84Profile() {
    FrameProfile f = WordProfile();
    f.ReadBack = false;
    return f;
}

FrameProfile Row3Profile() {
    FrameProfile f = WordProfile();
    if (DeviceVariant == 1) {
        f.UpperFlagRegister8 = 1;
    } else {
        f.HighAddressFlag = 0x10;
    }
    f.ReadBackStrobe = 0x1F;
    return f;
}

uint32_t NotSocket(uint32_t s) { return ~(1u << (s & 7)) & 0xFF; }

// ---- rows 0 and 90 ------------------------------------------------------------

int ReadRow0(int mode, bool twin) {
    const EpromEraseVariant& v = EpromVariantOf(EpromEraseVariantTable);
    PowerOnDevice(mode);
    if (!v.PulseSwitchesVpp) SetDeviceVpp(1, 50);
    const bool sequential = twin || DeviceSubVariant == 0;
    WriteRegister(5, sequential ? 9 : 1);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x0F);
    if (!twin && DeviceVariant <= 1) {
        WriteRegister(1, 0xFF);
        WriteRegister(1, 0);
        // The strobe above clears the upper address; a range that starts at
        // 100h or above needs it back.
        WriteRegister(1, (DeviceStart >> 8) & 0xFF);
    }
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        if (sequential) {
            ReadValue = ReadRegister(6);
        } else {
            WriteRegister(4, 0x0F);
            WriteRegister(4, 0x0F);
            ReadValue = ReadRegister(6);
            WriteRegister(4, 0x1F);
        }
        result = ProcessReadByte(mode);
        if (result != 1) break;
        if (BufferIndex > 0xFFFF && mode != 0 && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    if (!v.PulseSwitchesVpp) SetDeviceVpp(0, 50);
    PowerOffDevice();
    return result;
}

} // namespace

int Alg0Read(int mode) {
    FrameUse(Row0Profile());
    return ReadRow0(mode, false);
}

int Alg0Program() {
    FrameUse(Row0Profile());
    return ProgramRange(0, &EpromVariantOf(EpromEraseVariantTable));
}

int Alg0Erase() {
    FrameUse(Row0Profile());
    return EraseChip(EpromEraseVariantTable);
}

int Alg90Read(int mode) {
    FrameUse(Row90Profile());
    return ReadRow0(mode, true);
}

int Alg90Program() {
    FrameUse(Row90Profile());
    return ProgramRange(0, &EpromVariantOf(EpromEraseVariantTable));
}

int Alg90Erase() {
    FrameUse(Row90Profile());
    const EpromEraseVariant& v = EpromVariantOf(EpromEraseVariantTable);
    PowerOnDevice(1);
    if (!v.PulseSwitchesVpp) SetDeviceVpp(1, 120);
    SetDacVoltage(2, 120);
    DelayShortUsSlot(50);
    if (v.AllSocketsDuringProgram) WriteRegister(3, 0);
    WriteRegister(0, 0);
    SetSupplyPinA(34, 1);
    if (DeviceVariant == 5) {
        WriteRegister(3, 0xFF);
        WriteRegister(4, 0x15);
        SetSupplyPinA(32, 1);
        DelayUsSlot(100000);
        SetSupplyPinA(32, 0);
        WriteRegister(3, 0);
    } else {
        v.Pulse(100000);
    }
    SetSupplyPinA(34, 0);
    if (!v.PulseSwitchesVpp) SetDeviceVpp(0, 50);
    PowerOffDevice();
    return 1;
}

// ---- rows 67 and 68: paged EPROMs ------------------------------------------------

namespace {

void SelectPage67(uint32_t page) {
    WriteRegister(6, page & 0xFF);
    WriteRegister(4, 0x11);
    WriteRegister(4, 0x15);
    WriteRegister(4, 0x1F);
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(1, (ChipAddress >> 8) & 0xFF);
}

void SelectPage68(uint32_t page) {
    WriteRegister(6, page & 0xFF);
    WriteRegister(4, 0x1D);
    WriteRegister(3, 0);
    WriteRegister(4, 0x11);
    WriteRegister(4, 0x1D);
    WriteRegister(4, 0x1F);
    WriteRegister(3, 0xFF);
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(1, (ChipAddress >> 8) & 0xFF);
}

int ProgramPaged(bool row68) {
    PowerOnDevice(1);
    if (!row68) {
        WriteRegister(3, 0);
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    }
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if (!row68 && (ChipAddress & 0xFFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        if ((ChipAddress & 0x3FFF) == 0) {
            if (row68) {
                SelectPage68(ChipAddress >> 14);
            } else {
                // The page register is written with the programming pin at 5.0 V.
                SetDacVoltage(1, 50);
                DelayUsSlot(100);
                SelectPage67(ChipAddress >> 14);
                SetDacVoltage(1, static_cast<int>(Vpp / 10));
                DelayUsSlot(100);
            }
        }
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
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
    if (!row68) SetDeviceVpp(0, 0);
    PowerOffDevice();
    return result;
}

int ReadPaged(int mode, bool row68) {
    PowerOnDevice(mode);
    WriteRegister(5, 9);
    WriteRegister(3, NotSocket(CurrentSocket));
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        if ((ChipAddress & 0x3FFF) == 0) {
            if (row68) {
                SelectPage68(ChipAddress >> 14);
                WriteRegister(3, NotSocket(CurrentSocket));
            } else {
                SelectPage67(ChipAddress >> 14);
            }
        }
        ReadValue = ReadRegister(6);
        result = ProcessReadByte(mode);
        if (result != 1) break;
        if (BufferIndex > 0xFFFF && mode != 0 && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    PowerOffDevice();
    return result;
}

} // namespace

int Alg67Read(int mode) {
    FrameUse(Row67Profile());
    return ReadPaged(mode, false);
}

int Alg67Program() {
    FrameUse(Row67Profile());
    return ProgramPaged(false);
}

int Alg68Read(int mode) {
    FrameUse(Row68Profile());
    return ReadPaged(mode, true);
}

int Alg68Program() {
    FrameUse(Row68Profile());
    return ProgramPaged(true);
}

// ---- row 76: electrically erasable, timed writes ------------------------------

namespace {

void PowerOnRow76(int mode) {
    // An erase of one socket outside auto is followed by the driver's blank check.
    if (!GangInUse() && CurrentOperation != 10) BlankCheckAfterErase = 1;
    PowerOnDevice(mode);
}

} // namespace

int Alg76Read(int mode) {
    FrameUse(Row76Profile());
    PowerOnRow76(mode);
    WriteRegister(5, 9);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x0F);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        ReadValue = ReadRegister(6);
        result = ProcessReadByte(mode);
        if (result != 1) break;
        if (BufferIndex > 0xFFFF && mode != 0 && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    PowerOffDevice();
    return result;
}

int Alg76Program() {
    FrameUse(Row76Profile());
    PowerOnRow76(1);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    WriteRegister(4, 0x15);
    WriteRegister(3, 0);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        WriteUpperAddress(ChipAddress, false);
        const uint32_t datum = BufferWindow[BufferIndex & 0xFFFF];
        if (datum != 0xFF) {
            WriteRegister(0, ChipAddress & 0xFF);
            WriteRegister(6, datum);
            DelayUsSlot(PulseWidth);
        }
        BufferIndex += AddressStep;
        if (BufferIndex > 0xFFFF && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    WriteRegister(3, 0xFF);
    SetDeviceVpp(0, 0);
    PowerOffDevice();
    return result;
}

int Alg76Erase() {
    FrameUse(Row76Profile());
    PowerOnRow76(1);
    SetDeviceVpp(1, 120);
    WriteRegister(3, 0);
    SetSupplyPinA(34, 1);
    WriteRegister(4, 0x13);
    DelayMsSlot(100);
    WriteRegister(4, 0x1F);
    SetSupplyPinA(34, 0);
    WriteRegister(3, 0xFF);
    SetDeviceVpp(0, 50);
    PowerOffDevice();
    return 1;
}

// ---- row 60: byte-write part ------------------------------------------------------

namespace {

void ReadDatum60() {
    WriteRegister(4, 0x0F);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 0x1F);
}

void WriteDatum60(uint32_t v) {
    WriteRegister(4, 0x15);
    WriteRegister(6, v & 0xFF);
    WriteRegister(4, 0x11);
    WriteRegister(4, 0x1D);
}

} // namespace

int Alg60Read(int mode) {
    FrameUse(Row60Profile());
    PowerOnDevice(mode);
    WriteRegister(5, 1);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x0F);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        ReadValue = ReadRegister(6);
        result = ProcessReadByte(mode);
        if (result != 1) break;
        if (BufferIndex > 0xFFFF && mode != 0 && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    PowerOffDevice();
    return result;
}

int Alg60Program() {
    FrameUse(Row60Profile());
    PowerOnDevice(1);
    WriteRegister(3, 0);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        WriteRegister(0, ChipAddress & 0xFF);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        WriteDatum60(ExpectedValue);
        ReadDatum60();
        if (ReadValue != ExpectedValue) {
            result = -1;
            break;
        }
        BufferIndex += AddressStep;
        if (BufferIndex > 0xFFFF && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    PowerOffDevice();
    return result;
}

// ---- 16-bit EPROMs: rows 3/4, 69, 75, 84 -------------------------------------------

namespace {

enum class WordRow { R3, R69, R75, R84 };

uint32_t BufferWord() {
    uint32_t w = BufferWords[BufferIndex & 0x7FFF];
    if (ByteSwap) SwapBytes16(&w);
    return w;
}

int ProgramWords(WordRow row) {
    PowerOnDevice(1);
    const bool vppForLoop = row != WordRow::R69;
    if (vppForLoop) SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    if (row == WordRow::R75) WriteRegister(4, 0x9F);
    if (row == WordRow::R3 && DeviceSubVariant == 0) WriteRegister(3, 0);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFF) == 0 || a == DeviceStart) {
            WriteRegister(1, (ChipAddress >> 8) & 0xFF);
            WriteRegister(2, ((ChipAddress >> 16) & 0xFF) | ActiveFrame.HighAddressFlag);
        }
        ExpectedValue = BufferWord();
        if (ExpectedValue != BlankWord && ProgramDatum() != 1) {
            result = -1;
            break;
        }
        BufferIndex += AddressStep;
        if (BufferIndex > 0x7FFF && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    if (vppForLoop) SetDeviceVpp(0, 0);
    PowerOffDevice();
    return result;
}

int ReadWords(int mode, WordRow row) {
    PowerOnDevice(mode);
    const bool vppOnPin = row != WordRow::R69;
    if (vppOnPin) SetDeviceVpp(1, static_cast<int>(SupplyVoltage));
    WriteRegister(5, 9);
    if (row == WordRow::R75 || row == WordRow::R84) {
        WriteRegister3(NotSocket(CurrentSocket));
    } else {
        WriteRegister(3, NotSocket(CurrentSocket));
    }
    WriteRegister(4, 0x0F);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFFFF) == 0) WriteRegister(2, ((ChipAddress >> 16) & 0xFF) | ActiveFrame.HighAddressFlag);
        ReadValue = ReadRegister(6);
        ReadValue |= static_cast<uint32_t>(ReadRegister(7)) << 8;
        result = ProcessReadWord(mode);
        if (result != 1) break;
        if (BufferIndex > 0x7FFF && mode != 0 && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    if (vppOnPin) SetDeviceVpp(0, 0);
    PowerOffDevice();
    return result;
}

int g_erasePin3 = 37;

void ErasePulseRow3() {
    WriteRegister(0, 0);
    SetSupplyPinA(g_erasePin3, 1);
    PulseStrobe(50000);
    SetSupplyPinA(g_erasePin3, 0);
}

} // namespace

int Alg3Read(int mode) {
    FrameUse(Row3Profile());
    return ReadWords(mode, WordRow::R3);
}

int Alg3Program() {
    FrameUse(Row3Profile());
    return ProgramWords(WordRow::R3);
}

int Alg3Erase() {
    FrameUse(Row3Profile());
    const bool forty = PackageRow(PackageIndex).PinCount == 40;
    g_erasePin3 = forty ? 35 : 37;
    const int channel = forty ? 1 : 2;
    PowerOnDevice(1);
    SetDeviceVpp(1, 140);
    SetDacVoltage(channel, 140);
    DelayShortUsSlot(50);
    if (DeviceSubVariant == 0) WriteRegister(3, 0);
    const int result = EraseWalk(20, 0xFFFF, ErasePulseRow3);
    SetDeviceVpp(0, 50);
    PowerOffDevice();
    return result;
}

int Alg69Read(int mode) {
    FrameUse(Row69Profile());
    return ReadWords(mode, WordRow::R69);
}

int Alg69Program() {
    FrameUse(Row69Profile());
    return ProgramWords(WordRow::R69);
}

int Alg75Read(int mode) {
    FrameUse(Row75Profile());
    return ReadWords(mode, WordRow::R75);
}

int Alg75Program() {
    FrameUse(Row75Profile());
    return ProgramWords(WordRow::R75);
}

int Alg84Read(int mode) {
    FrameUse(Row84Profile());
    return ReadWords(mode, WordRow::R84);
}

int Alg84Program() {
    FrameUse(Row84Profile());
    return ProgramWords(WordRow::R84);
}
