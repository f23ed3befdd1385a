#include "memory/EpromCtrlBus.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/Eprom.h"

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

// The buffer word of the part's hidden word (bytes 8000h-8001h).
constexpr uint32_t kHiddenWord301 = 0x4000;

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

bool ReadBack301() {
    ReadDatum301();
    return ReadValue == ExpectedValue;
}

void WriteData301(uint32_t v) {
    WriteRegister(6, v & 0xFF);
    WriteRegister(7, (v >> 8) & 0xFF);
}

void Upper301(uint32_t a, bool first) { WriteUpperAddress(UpperLatches{0x100, 0, true}, a, first); }

int ProgramDatum301() {
    if (ExpectedValue == 0) return 1;
    WriteData301(ExpectedValue);
    return PulseVerify(Pulse301, ReadBack301, true, Retry);
}

// Power-up with the programming supply and voltage in every mode.
FrameProfile Row301Profile() {
    FrameProfile f;
    f.Word = true;
    f.Dac1 = 0;
    f.AddressLatches = 0;
    f.IdleWrites = {{{3, 3}, {4, 3}, {}, {}}};
    f.ParkWrites = {{{4, 3}, {}, {}, {}}};
    return f;
}

// ---- row 302: bytes ------------------------------------------------------------------

// The library refuses variants past the table; one that got past reads as variant 1.
const Row302Variant& Variant302() { return Row302VariantTable[DeviceVariant < Row302VariantCount ? DeviceVariant : 1]; }

bool PinBlankCheck(int mode) { return Variant302().BlankCheckWithVppPin != 0 && mode == 0; }

FrameProfile Row302Profile() {
    FrameProfile f = Row301Profile();
    f.Word = false;
    f.IdleWrites = {{{4, 3}, {5, 3}, {}, {}}};
    if (Variant302().AddressMode == 0) f.IdleWrites[2] = {6, 1};
    f.ParkWrites = {{{5, 3}, {}, {}, {}}};
    return f;
}

void LatchStrobe() {
    WriteRegister(6, 1);
    WriteRegister(6, 0);
}

// The upper address bits at a 256-byte boundary (or the first address).
void Upper302(uint32_t a, bool first) {
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

bool ReadBack302() {
    ReadDatum302();
    return ReadValue == ExpectedValue;
}

int ProgramDatum302() {
    WriteRegister(3, ExpectedValue & 0xFF);
    return PulseVerify(Pulse302, ReadBack302, true, Retry + 1);
}

// ---- the walk of both rows ----------------------------------------------------------

struct CtrlRow {
    void (*Upper)(uint32_t a, bool first);
    void (*Read)();
    int (*Program)();
};
constexpr CtrlRow kRow301{Upper301, ReadDatum301, ProgramDatum301};
constexpr CtrlRow kRow302{Upper302, ReadDatum302, ProgramDatum302};

// Program (program set) or read in a read mode, with the programming
// supply and voltage on; each address is written in full.
int CtrlWalk(const CtrlRow& row, int mode, bool program) {
    const bool word = ActiveFrame.Word;
    return WalkAddresses(word ? 0x7FFF : 0xFFFF, program ? 1 : mode, [&](bool first) {
        row.Upper(ChipAddress, first);
        WriteRegister(0, ChipAddress & 0xFF);
        if (program) {
            ExpectedValue = word ? BufferWordAt(BufferIndex) : BufferWindow[BufferIndex & 0xFFFF];
            if (row.Program() != 1) return -1;
            BufferIndex += AddressStep;
            return 1;
        }
        row.Read();
        return word ? ProcessReadWord(mode) : ProcessReadByte(mode);
    });
}

// Program (mode 1) and every read mode share the walk.
int Walk301(int mode) {
    const bool program = mode == 1;
    FrameUse(Row301Profile());
    BlankWord = 0;
    PowerOnDevice(1);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    int result = CtrlWalk(kRow301, mode, program);
    if (result == 1) {
        // The hidden word, selected by raising socket pin 28. Its datum is
        // buffer word 4000h of the first bank whatever bank the range ended
        // in (the row declares the place, so no range's words meet it).
        SetSupplyPinA(28, 1);
        SelectBank(0, 1);
        BufferIndex = kHiddenWord301;
        ExpectedValue = BufferWordAt(BufferIndex);
        if (program) {
            WriteData301(ExpectedValue);
            Pulse301(10000);
            if (!ReadBack301()) result = -1;
        } else {
            ReadDatum301();
            CellAtPlace(kHiddenWord301);
            result = ProcessReadWord(mode);
        }
        SetSupplyPinA(28, 0);
    }
    SetDeviceVpp(0, 0);
    PowerOffDevice();
    return result;
}

// The programming voltage of row 302: on the variant's pin for the pin
// blank check, else the device's.
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
    FrameUse(Row302Profile());
    BlankValue = DeviceSubVariant == 1 ? 0xFF : 0x00;
    PowerOnDevice(mode);
    ProgrammingVoltage302(mode, 1);
}

void PowerOff302(int mode) {
    ProgrammingVoltage302(mode, 0);
    PowerOffDevice();
}

// The blank check with the programming voltage on the variant's pin: a
// blank cell reads FFh, then 00h with the outputs idle.
int PinBlankCheck302() {
    PowerOn302(0);
    if (Variant302().AddressMode == 0) WriteRegister(6, 0);
    const int result = WalkAddresses(0xFFFFFFFFu, 0, [](bool first) {
        Upper302(ChipAddress, first);
        WriteRegister(0, ChipAddress & 0xFF);
        WriteRegister(4, 1);
        const uint32_t firstRead = ReadRegister(3);
        WriteRegister(4, 3);
        ReadValue = ReadRegister(3);
        if (firstRead != 0xFF || ReadValue != 0x00) {
            if (firstRead != 0xFF) ReadValue = firstRead;
            return -1;
        }
        // The fail address is taken from BufferIndex: move it per address.
        BufferIndex += 1;
        return 1;
    });
    PowerOff302(0);
    return result;
}

int Alg301Read(int mode) { return Walk301(mode == 1 ? 3 : mode); }

int Alg301Program() { return Walk301(1); }

int Alg302Program() {
    PowerOn302(1);
    const int result = CtrlWalk(kRow302, 1, true);
    PowerOff302(1);
    return result;
}

int Alg302Read(int mode) {
    if (PinBlankCheck(mode)) return PinBlankCheck302();
    PowerOn302(1);
    const int result = CtrlWalk(kRow302, mode, false);
    PowerOff302(mode);
    return result;
}

// The hidden word's buffer word, one place for every range.
std::vector<FixedBufferPlace> HiddenWordPlace301() {
    return {{.First = kHiddenWord301, .Last = kHiddenWord301, .Chip = 0, .Memory = "hidden word"}};
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 301, .Read = Alg301Read, .Program = Alg301Program, .LeastPage = 2, .FixedPlaces = HiddenWordPlace301},
    {.Row = 302,
     .Read = Alg302Read,
     .Program = Alg302Program,
     .VariantCount = Row302VariantCount,
     .VariantTable = "Row302VariantTable",
     .LeastPage = 1},
};

ROW_FAMILY("CtrlBusEprom", Memory, 30, kAlgorithmRows);
