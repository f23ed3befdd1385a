#include "memory/JtagMemory.h"

#include <algorithm>
#include <initializer_list>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Jtag.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/AlgorithmTable.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"

namespace {

// ---- row 62 ---------------------------------------------------------------------

constexpr int kTms62 = 33, kTck62 = 17, kTdi62 = 25, kTdo62 = 15;
constexpr int kIrLength62 = 10;
constexpr uint8_t kId62[4] = {0x01, 0x38, 0x39, 0x41};
constexpr uint32_t kBlock62 = 8;
constexpr uint32_t kFlagIndex62 = 3;
constexpr uint8_t kFlagBit62 = 0x20;
enum : uint32_t {
    kIdSelect62 = 0x44,
    kId62Instr = 0x42,
    kAddressReset62 = 0x10A,
    kReadStream62 = 0x122,
    kLoadData62 = 0x006,
    kProgram62 = 0x196,
    kErase62 = 0x192,
    kStatus62 = 0x03E,
    kEnd62 = 0x04A,
    kBypass62 = 0x3FF,
};
constexpr uint32_t kStatusDone = 0, kStatusBusy = 4;

void TmsSteps(std::initializer_list<int> levels) {
    for (int tms : levels) JtagStep(tms, 0);
}

// One block of eight bytes loaded, programmed at the device's address and
// polled (the address moves on by one block when it lands).
int ProgramBlock62(const uint8_t* block) {
    JtagLoadInstruction(kLoadData62);
    JtagShiftDrBytes(block, kBlock62);
    JtagLoadInstruction(kProgram62);
    JtagLoadInstruction(kStatus62);
    return WaitReady62(3, 100);
}

// The device has one address counter for reads and programs: reset to 0, and
// each read-stream capture moves it on by one block. Brings it to `block`
// with the read stream selected.
void Seek62(uint32_t block) {
    JtagLoadInstruction(kAddressReset62);
    JtagLoadInstruction(kReadStream62);
    for (uint32_t i = 0; i < block; ++i) TmsSteps({1, 0, 1, 1, 0}); // Capture-DR, Exit1-DR, Update-DR, Idle
}

// The eight bytes of the block at the counter, which moves on by one block.
void ReadBlock62(uint8_t* bytes) {
    TmsSteps({1, 0, 0}); // Select-DR, Capture-DR, Shift-DR
    for (uint32_t b = 0; b < kBlock62; ++b) {
        uint32_t value = 0;
        for (int i = 0; i < 8; ++i) {
            value |= static_cast<uint32_t>(GetPin(kTdo62) & 1) << i;
            JtagStep(0, 0);
        }
        bytes[b] = static_cast<uint8_t>(value);
    }
    TmsSteps({1, 1, 0}); // Exit1-DR, Update-DR, Run-Test/Idle
}

} // namespace

int Setup62(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(19, 0);
    SetPin(28, 0);
    JtagInit(kTms62, kTck62, kTdi62, kTdo62, kIrLength62);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(10);
    JtagReset();
    JtagStep(0, 0);
    JtagLoadInstruction(kIdSelect62);
    JtagLoadInstruction(kId62Instr);
    DelayMsSlot(200);
    uint8_t id[4] = {};
    JtagReadDrBytes(id, 4);
    for (int i = 0; i < 4; ++i) {
        if (id[i] != kId62[i]) return RefuseIdentity(false, " Invalid device ID");
    }
    return 1;
}

void PowerOff62() {
    JtagLoadInstruction(kEnd62);
    JtagLoadInstruction(kBypass62);
    SetPin(kTms62, 1);
    SetDeviceVpp(0, 0);
    DelayUs(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(50);
    SetDeviceGround(0);
}

uint32_t ReadStatus62() {
    TmsSteps({1, 0, 0}); // Select-DR, Capture-DR, Shift-DR
    uint32_t status = 0;
    for (int i = 0; i < 3; ++i) {
        status |= static_cast<uint32_t>(GetPin(kTdo62) & 1) << i;
        JtagStep(i == 2 ? 1 : 0, 0);
    }
    TmsSteps({1, 0}); // Update-DR, Run-Test/Idle
    return status;
}

int WaitReady62(uint32_t maxBusy, uint32_t us) {
    for (uint32_t busy = 0;;) {
        DelayUsSlot(us);
        const uint32_t status = ReadStatus62();
        if (status == kStatusDone) return 1;
        if (status != kStatusBusy || busy++ == maxBusy) return -1;
    }
}

// The flag bit is the device's own mark that programming finished, no data:
// a read shows it set (as on a blank part), and a compare takes the buffer's
// bit, so a file read from a part programs and verifies on another.
int ProcessReadByte62(int mode) {
    if (ChipAddress == kFlagIndex62) {
        ReadValue |= kFlagBit62;
        if (mode == 1 || mode == 3 || mode == 4)
            ReadValue = (ReadValue & ~uint32_t{kFlagBit62}) | (BufferWindow[BufferIndex & 0xFFFF] & kFlagBit62);
    }
    return ProcessReadByte(mode);
}

int Alg62Read(int mode) {
    int result = Setup62(mode);
    if (result == 1) {
        // From the block that holds the range's start; bytes outside the
        // range are shifted out and left alone.
        const uint32_t first = DeviceStart / kBlock62;
        Seek62(first);
        for (uint64_t block = uint64_t{first} * kBlock62; block <= DeviceEnd && result == 1; block += kBlock62) {
            result = StepProgress(static_cast<uint32_t>(std::max<uint64_t>(block, DeviceStart)));
            if (result != 1) break;
            uint8_t bytes[kBlock62];
            ReadBlock62(bytes);
            for (uint32_t b = 0; b < kBlock62 && result == 1; ++b) {
                const uint64_t a = block + b;
                if (a < DeviceStart || a > DeviceEnd) continue;
                ChipAddress = static_cast<uint32_t>(a);
                ReadValue = bytes[b];
                result = ProcessReadByte62(mode);
                if (result == 1 && BufferIndex > 0xFFFF && AdvanceToNextBankIf(mode) != 1) result = -1;
            }
        }
    }
    PowerOff62();
    return result;
}

int Alg62Program() {
    int result = Setup62(1);
    if (result != 1) {
        PowerOff62();
        return result;
    }
    // A block the range covers only in part keeps the device's bytes outside
    // the range (programming them again as they are changes nothing).
    const uint32_t first = DeviceStart / kBlock62, last = DeviceEnd / kBlock62;
    uint8_t head[kBlock62] = {}, tail[kBlock62] = {};
    if (DeviceStart % kBlock62 != 0) {
        Seek62(first);
        ReadBlock62(head);
    }
    if (DeviceEnd % kBlock62 != kBlock62 - 1) {
        if (last != first || DeviceStart % kBlock62 == 0) {
            Seek62(last);
            ReadBlock62(tail);
        } else {
            std::copy(head, head + kBlock62, tail);
        }
    }
    uint8_t flagBlock[kBlock62] = {};
    const bool flagInRange = DeviceStart <= kFlagIndex62 && DeviceEnd >= kFlagIndex62;
    Seek62(first);
    for (uint32_t block = first; block <= last && result == 1; ++block) {
        const uint64_t base = uint64_t{block} * kBlock62;
        ChipAddress = static_cast<uint32_t>(std::max<uint64_t>(base, DeviceStart));
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        uint8_t data[kBlock62];
        for (uint32_t i = 0; i < kBlock62 && result == 1; ++i) {
            const uint64_t a = base + i;
            if (a < DeviceStart) {
                data[i] = head[i];
            } else if (a > DeviceEnd) {
                data[i] = tail[i];
            } else {
                data[i] = BufferWindow[BufferIndex & 0xFFFF];
                // The flag bit stays unprogrammed until the last pass.
                if (a == kFlagIndex62) data[i] |= kFlagBit62;
                BufferIndex += AddressStep;
                if (BufferIndex > 0xFFFF && AdvanceToNextBankIf(1) != 1) result = -1;
            }
        }
        if (result != 1) break;
        if (block == 0) std::copy(data, data + kBlock62, flagBlock);
        result = ProgramBlock62(data);
    }
    if (result == 1 && flagInRange) {
        // The flag bit last: the first block again with it cleared.
        flagBlock[kFlagIndex62] = static_cast<uint8_t>(flagBlock[kFlagIndex62] & ~kFlagBit62);
        JtagLoadInstruction(kAddressReset62);
        result = ProgramBlock62(flagBlock);
    }
    PowerOff62();
    return result;
}

int Alg62Erase() {
    // The status tells done or busy, not whether every cell erased: the
    // operation driver blank-checks after the erase step.
    BlankCheckAfterErase = 1;
    int result = Setup62(1);
    if (result == 1) {
        JtagLoadInstruction(kErase62);
        JtagLoadInstruction(kStatus62);
        result = WaitReady62(290, 100000);
    }
    PowerOff62();
    return result;
}

// ---- row 96 ---------------------------------------------------------------------

uint8_t Usercode96[4] = {};
uint32_t ConfigMode96 = 0;
ShowOptXC18V00Fn ShowOptXC18V00Hook = nullptr;

namespace {

constexpr int kIrLength96 = 8;
constexpr uint32_t kBlock96 = 512;
constexpr uint32_t kIdMask96 = 0x0FFFFFFF; // the four version bits are not compared
constexpr uint32_t kId96[2] = {0x05025093, 0x05026093};
// Variants 0 and 1 compare the IDCODE; the others read none.
bool ChecksIdcode96() { return DeviceVariant < 2; }
enum : uint32_t {
    kIdcode96 = 0xFE,
    kLeave96 = 0xF0,
    kEnable96 = 0xE8,
    kAddress96 = 0xEB,
    kStatus96 = 0xE2,
    kData96 = 0xED,
    kProgram96 = 0xEA,
    kBlankRead96 = 0xE5,
    kRead96 = 0xF8,
    kErase96 = 0xEC,
    kControl96 = 0xF3,
    kUsercodeRead96 = 0xE6,
    kUsercodeLoad96 = 0xFD,
    kFinish96 = 0x0A,
};
constexpr uint32_t kControlRow96 = 0x8000;
constexpr uint32_t kNotProtected96 = 4, kSerial96 = 2;
constexpr uint32_t kSecureBits96 = 3, kParallelBits96 = 5;

// The pins of the last 20- or 44-pin package.
JtagSocketPins g_pins96{};

void Address96(uint32_t value) {
    JtagLoadInstruction(kAddress96);
    JtagShiftDr(value, 16);
    DelayShortUsSlot(1);
}

uint32_t Status96() {
    JtagLoadInstruction(kStatus96);
    DelayShortUsSlot(50);
    uint32_t status = 0;
    JtagReadDr(&status, 3);
    return status;
}

void ProgramControl96(uint32_t bits) {
    Address96(kControlRow96);
    JtagLoadInstruction(kControl96);
    JtagShiftDr(bits, 3);
    JtagLoadInstruction(kProgram96);
    DelayMsSlot(14);
}

uint32_t LittleEndian(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

} // namespace

int Setup96(int mode) {
    // Another package has no pins here: nothing is driven.
    if (!Row96Pins(PackageRow(PackageIndex).PinCount, g_pins96)) return -1;
    SupplyVoltage = mode == 1 || mode == 5 || mode == 99 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    JtagInit(g_pins96.tms, g_pins96.tck, g_pins96.tdi, g_pins96.tdo, kIrLength96);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    JtagReset();
    JtagStep(0, 0);
    JtagLoadInstruction(kIdcode96);
    uint8_t id[4] = {};
    JtagReadDrBytes(id, 4);
    if (ChecksIdcode96() && (LittleEndian(id) & kIdMask96) != (kId96[DeviceVariant] & kIdMask96)) {
        PowerOff96();
        return RefuseIdentity(false, " Incorrect device ID");
    }
    JtagLoadInstruction(kLeave96);
    DelayMsSlot(110);
    JtagLoadInstruction(kEnable96);
    JtagShiftDr(mode == 2 || mode == 3 ? 0x34 : 4, 6);
    if (mode == 5 || mode == 99) return 1;
    Address96(kControlRow96);
    if ((Status96() & kNotProtected96) == 0) {
        PowerOff96();
        ShowMessageLine(" Device secured!");
        ReadRefusedByDevice(); // nothing was compared: the walk ends at this line
        return -1;
    }
    return 1;
}

void PowerOff96() {
    JtagLoadInstruction(kLeave96);
    DelayMsSlot(110);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(50);
    SetDeviceGround(0);
    ResetProgrammerOutputs();
}

int Alg96Read(int mode) {
    int result = Setup96(mode);
    if (result != 1) return result;
    // From the block of the range's start; the bytes before it pass unread.
    Address96(DeviceStart / kBlock96);
    JtagLoadInstruction(mode == 0 ? kBlankRead96 : kRead96);
    DelayShortUsSlot(50);
    TmsSteps({1, 0, 0}); // Select-DR, Capture-DR, Shift-DR
    for (uint32_t i = 0; i < DeviceStart % kBlock96 * 8; ++i) JtagStep(0, 0);
    for (uint64_t a = DeviceStart; a <= DeviceEnd && result == 1; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        uint32_t value = 0;
        for (int i = 0; i < 8; ++i) {
            value |= static_cast<uint32_t>(GetPin(g_pins96.tdo) & 1) << i;
            JtagStep(0, 0);
        }
        ReadValue = value;
        result = ProcessReadByte(mode);
        // A blank check keeps to its bank (mode 0 never advances).
        if (result == 1 && BufferIndex > 0xFFFF && AdvanceToNextBankIf(mode) != 1) result = -1;
    }
    TmsSteps({1, 1, 0}); // Exit1-DR, Update-DR, Run-Test/Idle
    PowerOff96();
    return result;
}

int Alg96Program() {
    int result = Setup96(1);
    if (result != 1) return result;
    // Whole blocks from the one that holds the range's start. Bytes of a block
    // outside the range are loaded as FFh: programming only clears bits, so
    // those cells keep what they hold.
    const uint32_t first = DeviceStart / kBlock96;
    for (uint64_t base = uint64_t{first} * kBlock96; base <= DeviceEnd && result == 1; base += kBlock96) {
        ChipAddress = static_cast<uint32_t>(std::max<uint64_t>(base, DeviceStart));
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        uint8_t block[kBlock96];
        for (uint32_t i = 0; i < kBlock96 && result == 1; ++i) {
            const uint64_t a = base + i;
            if (a < DeviceStart || a > DeviceEnd) {
                block[i] = 0xFF;
                continue;
            }
            block[i] = BufferWindow[BufferIndex & 0xFFFF];
            BufferIndex += AddressStep;
            if (BufferIndex > 0xFFFF && AdvanceToNextBankIf(1) != 1) result = -1;
        }
        if (result != 1) break;
        JtagLoadInstruction(kData96);
        JtagShiftDrBytes(block, kBlock96);
        // The first block at the range's start (the status read left the
        // control row selected); the next ones follow on their own.
        if (base / kBlock96 == first) Address96(first);
        JtagLoadInstruction(kProgram96);
        DelayMsSlot(14);
    }
    if (result == 1) {
        Address96(1);
        JtagLoadInstruction(kFinish96);
        DelayMsSlot(37);
    }
    PowerOff96();
    return result;
}

int Alg96Erase() {
    // The erase reads nothing back: the operation driver blank-checks after
    // the erase step.
    BlankCheckAfterErase = 1;
    const int result = Setup96(5);
    if (result != 1) return result;
    Address96(1);
    JtagLoadInstruction(kErase96);
    DelayMsSlot(74);
    PowerOff96();
    return result;
}

int Alg96Secure() {
    int result = Setup96(1);
    if (result != 1) return result;
    ProgramControl96(kSecureBits96);
    if ((Status96() & kNotProtected96) != 0) result = -1;
    PowerOff96();
    return result;
}

int ReadUsercode96() {
    const int result = Setup96(2);
    if (result != 1) return result;
    Address96(kControlRow96);
    JtagLoadInstruction(kUsercodeRead96);
    DelayShortUsSlot(50);
    JtagReadDrBytes(Usercode96, 4);
    ConfigMode96 = (Status96() & kSerial96) == 0 ? 1 : 0;
    PowerOff96();
    return result;
}

int ProgramUsercode96() {
    int result = Setup96(99);
    if (result != 1) return result;
    Address96(kControlRow96);
    JtagLoadInstruction(kUsercodeLoad96);
    JtagShiftDrBytes(Usercode96, 4);
    JtagLoadInstruction(kProgram96);
    DelayMsSlot(14);
    JtagLoadInstruction(kUsercodeRead96);
    DelayShortUsSlot(50);
    uint8_t back[4] = {};
    JtagReadDrBytes(back, 4);
    for (int i = 0; i < 4; ++i) {
        if (back[i] != Usercode96[i]) result = -1;
    }
    if (result == 1 && ConfigMode96 == 1) ProgramControl96(kParallelBits96);
    const bool serial = (Status96() & kSerial96) != 0;
    if (serial != (ConfigMode96 == 0)) result = -1;
    ShowMessageLine(result == 1 ? "Program USERCODE, Control Bits ok!" : "Program USERCODE, Control Bits error!");
    PowerOff96();
    return result;
}

int Alg96Options() { return ShowOptXC18V00Hook != nullptr ? ShowOptXC18V00Hook() : 0; }

namespace {
std::string JtagPinsCheck(uint32_t row, const RowRecordFacts& r) {
    return JtagMemoryRecordRefusal(row, r.PackagePins);
}
} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 62, .Read = Alg62Read, .Program = Alg62Program, .Erase = Alg62Erase, .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 96,
     .Read = Alg96Read,
     .Program = Alg96Program,
     .Erase = Alg96Erase,
     .Secure = Alg96Secure,
     .Options = Alg96Options,
     .RecordCheck = JtagPinsCheck,
     .ChecksIdentity = ChecksIdcode96},
};

ROW_FAMILY("JtagMemory", Memory, 120, kAlgorithmRows);
