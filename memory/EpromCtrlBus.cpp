#include "memory/EpromCtrlBus.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"

const Row302Variant Row302VariantTable[Row302VariantCount] = {
    {1, 30, 0, {0, 0}}, // 0
    {0, 0, 0, {0, 0}},  // 1
    {1, 30, 0, {0, 0}}, // 2
    {0, 0, 0, {0, 0}},  // 3
    {0, 0, 1, {0, 0}},  // 4
    {0, 0, 2, {0, 0}},  // 5
    {0, 0, 3, {0, 0}},  // 6
};

namespace {

// ---- row 301: 16-bit, blank word 0000h -------------------------------------------

void SupplyByMode(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
}

void PowerOn301(int mode) {
    BlankWord = 0;
    SupplyByMode(mode);
    WriteRegister(3, 3);
    WriteRegister(4, 3);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
}

void PowerOff301() {
    SetDeviceVpp(0, 0);
    WriteRegister(4, 3);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

void Pulse301(uint32_t widthUs) {
    WriteRegister(4, 5);
    DelayUsSlot(widthUs);
}

void ReadDatum301() {
    WriteRegister(4, 3);
    WriteRegister(3, 1);
    ReadValue = ReadRegister(6) | (static_cast<uint32_t>(ReadRegister(7)) << 8);
    WriteRegister(3, 3);
}

void WriteData301(uint32_t v) {
    WriteRegister(6, v & 0xFF);
    WriteRegister(7, (v >> 8) & 0xFF);
}

int ProgramDatum301() {
    WriteData301(ExpectedValue);
    uint32_t n = 1;
    for (; n < Retry; ++n) {
        Pulse301(PulseWidth);
        ReadDatum301();
        if (ReadValue == ExpectedValue) {
            if (OverPulseWidth != 0) Pulse301(PulseMul ? n * OverPulseWidth : OverPulseWidth);
            break;
        }
    }
    return n >= Retry ? -1 : 1;
}

uint32_t BufferWordSwapped(uint32_t index) {
    uint32_t w = BufferWords[index & 0x7FFF];
    if (ByteSwap) SwapBytes16(&w);
    return w;
}

// Program (mode 1) and every read mode share the walk.
int Walk301(int mode) {
    const bool program = mode == 1;
    PowerOn301(1);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFF) == 0 || a == DeviceStart) WriteRegister(1, (ChipAddress >> 8) & 0xFF);
        WriteRegister(0, ChipAddress & 0xFF);
        if (program) {
            ExpectedValue = BufferWordSwapped(BufferIndex);
            if (ExpectedValue != 0 && ProgramDatum301() != 1) {
                result = -1;
                break;
            }
            BufferIndex += AddressStep;
        } else {
            ReadDatum301();
            result = ProcessReadWord(mode);
            if (result != 1) break;
        }
        if (BufferIndex > 0x7FFF && AdvanceToNextBankIf(mode) != 1) {
            result = -1;
            break;
        }
    }
    if (result == 1) {
        // The hidden word, selected by raising socket pin 28.
        SetSupplyPinA(28, 1);
        BufferIndex = 0x4000;
        ExpectedValue = BufferWordSwapped(BufferIndex);
        if (program) {
            WriteData301(ExpectedValue);
            Pulse301(10000);
            ReadDatum301();
            if (ReadValue != ExpectedValue) result = -1;
        } else {
            ReadDatum301();
            result = ProcessReadWord(mode);
        }
        SetSupplyPinA(28, 0);
    }
    PowerOff301();
    return result;
}

// ---- row 302: bytes ------------------------------------------------------------------

const Row302Variant& Variant302() { return Row302VariantTable[DeviceVariant < Row302VariantCount ? DeviceVariant : 1]; }

bool PinBlankCheck(int mode) { return Variant302().BlankCheckWithVppPin != 0 && mode == 0; }

void ProgrammingVoltage302(int mode, int state) {
    const Row302Variant& v = Variant302();
    if (PinBlankCheck(mode)) {
        ApplyVoltageToPin(v.VppPin % 2 != 0 ? 1 : 2, v.VppPin, state, state == 1 ? static_cast<int>(Vpp / 10) : 0);
    } else if (state == 1) {
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    } else {
        SetDeviceVpp(0, 0);
    }
}

void PowerOn302(int mode) {
    BlankValue = DeviceSubVariant == 1 ? 0xFF : 0x00;
    SupplyByMode(mode);
    WriteRegister(4, 3);
    WriteRegister(5, 3);
    if (Variant302().AddressMode == 0) WriteRegister(6, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    ProgrammingVoltage302(mode, 1);
}

void PowerOff302(int mode) {
    ProgrammingVoltage302(mode, 0);
    WriteRegister(5, 3);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
}

void LatchStrobe() {
    WriteRegister(6, 1);
    WriteRegister(6, 0);
}

// The upper address bits at a 256-byte boundary (or the first address).
void UpperAddress302(uint32_t a, bool first) {
    if (!first && (a & 0xFF) != 0) return;
    switch (Variant302().AddressMode) {
    case 1:
        WriteRegister(0, (a >> 8) & 0xFF);
        LatchStrobe();
        break;
    case 2:
        if (first || (a & 0x3FFF) == 0) {
            WriteRegister(1, (a >> 10) & 0xFF);
            LatchStrobe();
        }
        WriteRegister(1, (a >> 8) & 0xFF);
        break;
    case 3:
        if (first || (a & 0x3FF) == 0) {
            WriteRegister(1, (((a >> 10) & 1) << 1) | ((a >> 11) & 1));
            LatchStrobe();
        }
        WriteRegister(1, (a >> 8) & 0xFF);
        break;
    default:
        WriteRegister(1, (a >> 8) & 0xFF);
        break;
    }
}

void Pulse302(uint32_t widthUs) {
    WriteRegister(5, 5);
    DelayUsSlot(widthUs);
}

void ReadDatum302() {
    WriteRegister(5, 3);
    WriteRegister(4, 1);
    ReadValue = ReadRegister(3);
    WriteRegister(4, 3);
}

int ProgramDatum302() {
    WriteRegister(3, ExpectedValue & 0xFF);
    for (uint32_t n = 1; n <= Retry; ++n) {
        Pulse302(PulseWidth);
        ReadDatum302();
        if (ReadValue == ExpectedValue) {
            if (OverPulseWidth != 0) Pulse302(PulseMul ? n * OverPulseWidth : OverPulseWidth);
            return 1;
        }
    }
    return -1;
}

} // namespace

int Alg301Read(int mode) { return Walk301(mode == 1 ? 3 : mode); }

int Alg301Program() { return Walk301(1); }

int Alg302Program() {
    PowerOn302(1);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        UpperAddress302(ChipAddress, a == DeviceStart);
        WriteRegister(0, ChipAddress & 0xFF);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if (ProgramDatum302() != 1) {
            result = -1;
            break;
        }
        BufferIndex += AddressStep;
        if (BufferIndex > 0xFFFF && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    PowerOff302(1);
    return result;
}

int Alg302Read(int mode) {
    int result = 1;
    if (PinBlankCheck(mode)) {
        PowerOn302(0);
        if (Variant302().AddressMode == 0) WriteRegister(6, 0);
        for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
            ChipAddress = static_cast<uint32_t>(a);
            result = StepProgress(ChipAddress);
            if (result != 1) break;
            UpperAddress302(ChipAddress, a == DeviceStart);
            WriteRegister(0, ChipAddress & 0xFF);
            WriteRegister(4, 1);
            const uint32_t first = ReadRegister(3);
            WriteRegister(4, 3);
            ReadValue = ReadRegister(3);
            if (first != 0xFF || ReadValue != 0x00) {
                if (first != 0xFF) ReadValue = first;
                result = -1;
                break;
            }
            // The fail address is taken from BufferIndex: move it per address.
            BufferIndex += 1;
        }
        PowerOff302(0);
        return result;
    }
    PowerOn302(1);
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        UpperAddress302(ChipAddress, a == DeviceStart);
        WriteRegister(0, ChipAddress & 0xFF);
        ReadDatum302();
        result = ProcessReadByte(mode);
        if (result != 1) break;
        if (BufferIndex > 0xFFFF && AdvanceToNextBankIf(mode) != 1) {
            result = -1;
            break;
        }
    }
    PowerOff302(mode);
    return result;
}
