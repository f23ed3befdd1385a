#include "mcu/Mcu8051.h"

#include <algorithm>
#include <initializer_list>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowHooks.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "mcu/Mcu8051Walks.h"
#include "mcu/McuFrame.h"

int OptionRegister = 0xFF;
int ConfigBytes[2] = {0xFF, 0xFF};
uint32_t EraseVppLevel = 120;

const Config107Entry Config107[Config107Count] = {
    {5, 25, 0x0080},
    {1, 1, 0xFFF8},
    {1, 1, 0x0080},
};

using namespace mcu8051;

namespace {

// ---- socket layouts -------------------------------------------------------

constexpr Layout8051 kLayout100[2] = {
    // 40-pin DIP
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 18, 19}, 16,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17, 20, 21, 33, 34, 35, 23, {}},
    // 44-pin PLCC adapter ('R')
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 18, 19}, 16,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 20, 21, 34, 35, 37, 23, {}},
};

constexpr Layout8051 kLayout123[3] = {
    // not 'R'
    {{14, 15, 16, 17, 18, 19, 20, 21, 25, 26, 27, 28, 29}, 13,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 0, 7, 8, 33, 34, 35, 23, {}},
    // 'R', DeviceFlags 100h clear
    {{16, 17, 18, 19, 20, 21, 22, 23, 27, 28, 29, 30, 31}, 13,
     {45, 44, 43, 42, 41, 40, 39, 38}, 15, 33, 34, 0, 7, 8, 35, 36, 37, 25, {}},
    // 'R', DeviceFlags 100h set
    {{13, 15, 16, 17, 18, 19, 20, 21, 26, 27, 28, 29, 30}, 13,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 0, 6, 7, 34, 35, 37, 23, {}},
};

constexpr Layout8051 kLayout196[2] = {
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29}, 13,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 0, 20, 21, 33, 34, 35, 23, {}},
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30}, 13,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 0, 20, 21, 34, 35, 37, 23, {}},
};

constexpr Layout8051 kLayout107[2] = {
    {{14, 15, 16, 17, 18, 19, 20, 21, 5, 6, 7, 8, 9, 10, 11, 12}, 16,
     {25, 26, 27, 28, 29, 30, 31, 32}, 13, 0, 0, 0, 0, 0, 33, 34, 35, 23,
     {43, 42, 41, 40, 39, 38, 37, 36}},
    {{13, 15, 16, 17, 18, 19, 20, 21, 4, 5, 6, 7, 8, 9, 10, 11}, 16,
     {26, 27, 28, 29, 30, 31, 32, 33}, 12, 0, 0, 0, 0, 0, 34, 35, 37, 23,
     {45, 44, 43, 42, 41, 40, 39, 38}},
};

} // namespace

namespace mcu8051 {

const Layout8051* ActiveLayout = &kLayout100[0];

const Layout8051* LayoutByPinCount(const Layout8051 (&table)[2]) {
    const int pins = PackageRow(PackageIndex).PinCount;
    if (pins == 40) return &table[0];
    if (pins == 44) return &table[1];
    RefuseRun(" Package of %d pins not supported (40 or 44 pins).", pins);
    return nullptr;
}

void UseLayout(const Layout8051& l) {
    ActiveLayout = &l;
    for (uint32_t r = 0; r < McuPinRoleCount; ++r) McuPinMap[r] = 0;
    for (int i = 0; i < 8; ++i) McuPinMap[McuP1_0 + i] = l.address[i];
    for (int i = 0; i < 6 && 8 + i < l.addressCount; ++i) McuPinMap[McuP2_0 + i] = l.address[8 + i];
    for (int i = 0; i < 8; ++i) McuPinMap[McuP0_0 + i] = l.data[i];
    McuPinMap[McuRst] = l.rst;
    McuPinMap[McuEaVpp] = l.ea;
    auto define = [](int group, const uint8_t* pins, int n) {
        uint8_t* row = PinGroupTable[group];
        for (int i = 0; i < n; ++i) row[i] = pins[i];
        row[n] = 0;
    };
    define(0, l.address, l.addressCount);
    define(1, l.data, 8);
    int controls = 0;
    while (controls < 8 && l.control[controls] != 0) ++controls;
    define(2, l.control, controls);
}

void SetLine(int pin, int level) {
    if (pin != 0 && level >= 0) SetPin(pin, level);
}

void SetModeLines(const ModeLines& m) {
    SetLine(ActiveLayout->p37, m.p37);
    SetLine(ActiveLayout->p36, m.p36);
    SetLine(ActiveLayout->p33, m.p33);
    SetLine(ActiveLayout->p26, m.p26);
    SetLine(ActiveLayout->strobe, m.strobe);
}

void SetControl(uint32_t code) { WritePinGroup(2, 0, 7, code); }

void DriveAddress(uint32_t a, bool first) {
    if (first || (a & 0xFF) == 0) WritePinGroup(0, 8, ActiveLayout->addressCount - 1, a >> 8);
    WritePinGroup(0, 0, 7, a & 0xFF);
}

void DriveData(uint32_t v) { WritePinGroup(1, 0, 7, v & 0xFF); }

void DacPulses(int tenths, int n, uint32_t widthUs) {
    SetDacVoltage(1, tenths);
    DelayUsSlot(10);
    for (int i = 0; i < n; ++i) {
        PulsePinTimed(ActiveLayout->ale, 2, widthUs);
        DelayUsSlot(10);
    }
    SetDacVoltage(1, 50);
    DelayUsSlot(10);
}

int WaitReady(int pin, int polls, uint32_t intervalUs) {
    for (int i = 0; i < polls; ++i) {
        DelayUsSlot(intervalUs);
        if (GetPin(pin) == 1) return 1;
    }
    return -1;
}

uint32_t PhaseSupply(int phase) { return phase == 2 ? ReadVccInUse : Vccp / 10; }

} // namespace mcu8051

namespace {

// ---- mode lines -------------------------------------------------------------

constexpr ModeLines kWriteTable{0, 1, 1, 0, 1};
constexpr ModeLines kWriteOption{0, 1, 1, 0, 0};
constexpr ModeLines kReadLock195{0, -1, 0, 0, 1};
constexpr ModeLines kErase196{1, 0, -1, 0, 0};
constexpr ModeLines kLocks[3] = {kLock1, kLock2, kLock3};

// Row 107's control codes.
enum : uint32_t {
    CtrlReadCode = 0x28,
    CtrlProgramCode = 0x68,
    CtrlProgramTable = 0x6C,
    CtrlProgramLock = 0x6B,
    CtrlReadSignature = 0x29,
    CtrlReadLock = 0x2B,
    CtrlProgramConfig = 0x69,
};
// ---- read cycle ------------------------------------------------------------------

void ReadCycle() {
    SetLine(ActiveLayout->p33, 0);
    SetLine(ActiveLayout->strobe, 0);
    DelayUsSlot(20);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetLine(ActiveLayout->strobe, 1);
    SetLine(ActiveLayout->p33, 1);
    DelayUsSlot(10);
}

void ReadCycle107() {
    DelayUsSlot(1);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
}

// The part gives each code byte XNORed with the entry of its whole array at
// the address modulo the array's size; entries a shorter table left erased
// (FFh) give the byte as it is. Where the record gives no array size, the
// bytes go through the table as the dialog set it, modulo its size.
void DecodeRead(uint32_t address) {
    if (EncryptionEnable != 1) return;
    if (const uint32_t array = EncryptionArraySize(); array != 0) {
        ReadValue = ~(EncryptionArrayEntry(address % array) ^ ReadValue) & 0xFF;
        return;
    }
    const uint32_t size = std::clamp<uint32_t>(EncryptionTableSize, 1, EncryptionTableCapacity);
    ReadValue = ~(EncryptionTable[address % size] ^ ReadValue) & 0xFF;
}

// ---- pulses -----------------------------------------------------------------------

void AlePulses(int n) {
    for (int i = 0; i < n; ++i) {
        PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
        DelayUsSlot(10);
    }
}

// Rows 100, 123, 195: EA/VPP raised on DAC channel 1, n pulses, back to
// 5.0 V, data lines floated for the read-back.
void PulseProgram100(int n) {
    DacPulses(static_cast<int>(Vpp / 10), n, PulseWidth);
    FloatPinGroup(1, 0, 7);
}

void Pulse196(int n) {
    DacPulses(static_cast<int>(EraseVppLevel), n, PulseWidth);
}

void Pulse107(int n) {
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    AlePulses(n);
    FloatPinGroup(1, 0, 7);
    SetDeviceVpp(0, 50);
}

// ---- power ------------------------------------------------------------------------

void RaiseLowSupply() {
    if (SupplyVoltage < 36) SupplyVoltage += 4;
}

void McuPowerUp100(int phase) {
    UseLayout(kLayout100[AdapterCode == 'R' ? 1 : 0]);
    SupplyVoltage = PhaseSupply(phase);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(50, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(ActiveLayout->strobe, 1);
    SetPin(ActiveLayout->rst, (DeviceFlags & 0x200) != 0 ? 0 : 1);
    SetPin(ActiveLayout->ale, 1);
    SetPin(ActiveLayout->psen, 1);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    DelayMsSlot(100);
    RaiseLowSupply();
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    SetSupplyPinA(ActiveLayout->ea, 1);
    DelayMsSlot(100);
}

void McuPowerDown100() {
    SetSupplyPinA(ActiveLayout->ea, 0);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    SkipIdCheck = 1;
    ResetProgrammerOutputs();
}

void PowerUp123(int phase) {
    const int layout = AdapterCode != 'R' ? 0 : (DeviceFlags & 0x100) != 0 ? 2 : 1;
    UseLayout(kLayout123[layout]);
    SupplyVoltage = PhaseSupply(phase);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(50, 0, 0, 0);
    FloatPinRange(1, 48);
    SetPin(ActiveLayout->strobe, 1);
    SetPin(ActiveLayout->rst, (DeviceFlags & 0x200) != 0 ? 0 : 1);
    SetPin(ActiveLayout->psen, 1);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    DelayMsSlot(100);
    RaiseLowSupply();
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(ActiveLayout->ale, 1);
    DelayMsSlot(100);
    SetGroundPin(ActiveLayout->psen, 1);
    SetSupplyPinA(ActiveLayout->ea, 1);
    DelayMsSlot(100);
}

// Row 195: the lock byte, read at power-up and after securing; a programmed
// lock bit reads 0 (bit 7 lock bit 1, bit 6 lock bit 2, bit 3 lock bit 3).
uint32_t ReadLockByte195() {
    SetModeLines(kReadLock195);
    DriveAddress(0, true);
    ReadCycle();
    return ReadValue;
}

uint32_t PowerUp195(int phase) {
    UseLayout(kLayout100[AdapterCode == 'R' ? 1 : 0]);
    ReadBackAfterSecure = 0;
    SupplyVoltage = PhaseSupply(phase);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(50, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(ActiveLayout->strobe, 1);
    SetPin(ActiveLayout->rst, 1);
    SetPin(ActiveLayout->ale, 1);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    DelayMsSlot(100);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    RaiseLowSupply();
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetSupplyPinA(ActiveLayout->ea, 1);
    DelayUsSlot(20);
    const uint32_t lock = ReadLockByte195();
    if (phase != 6) ShowLockState(lock);
    return lock;
}

void PowerDown195() {
    SetSupplyPinA(ActiveLayout->ea, 0);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    DelayMsSlot(100);
}

// Row 196's EA/VPP level comes from Identify's signature for the rest of the
// run; until Identify chose, the device's Vpp.
bool g_vppChosen = false;

bool PowerUp196(int phase) {
    const Layout8051* l = LayoutByPinCount(kLayout196);
    if (l == nullptr) return false;
    UseLayout(*l);
    BlankCheckAfterErase = 1;
    if (!g_vppChosen) EraseVppLevel = Vpp / 10;
    SupplyVoltage = PhaseSupply(phase);
    SetVccRange(1, phase == 1 ? 30 : static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(50, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(ActiveLayout->strobe, 1);
    SetPin(ActiveLayout->ale, 1);
    SetPin(ActiveLayout->rst, 1);
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    DelayMsSlot(1);
    SetSupplyPinA(ActiveLayout->ea, 1);
    DelayUsSlot(100);
    return true;
}

void PowerDown196() {
    SetPin(ActiveLayout->strobe, 1);
    SetSupplyPinA(ActiveLayout->ea, 0);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    for (int p = 1; p <= 48; ++p) SetPin(p, 0);
    DelayMsSlot(10);
    ResetProgrammerOutputs();
}

const Config107Entry& Config107Now() { return Config107[DeviceVariant < Config107Count ? DeviceVariant : 0]; }

void PowerDown107();

// Row 107's lock read (control 2Bh at address 0): bit n-1 set when lock bit
// n is programmed.
uint32_t ReadLock107() {
    SetControl(CtrlReadLock);
    DriveAddress(0, true);
    DelayUsSlot(10);
    return static_cast<uint32_t>(ReadPinGroup(1, 0, 7)) & 7;
}

// Phase 7: a read of the signature, configuration and lock bytes, which
// a secured part still answers.
constexpr int kPhaseReadInfo107 = 7;

bool PowerUp107(int phase) {
    const Layout8051* l = LayoutByPinCount(kLayout107);
    if (l == nullptr) return false;
    UseLayout(*l);
    ReadBackAfterSecure = 0;
    SupplyVoltage = PhaseSupply(phase == kPhaseReadInfo107 ? 2 : phase);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
    DriveAddress(0, true);
    SetControl(CtrlReadCode);
    SetPin(ActiveLayout->rst, 1);
    SetPin(ActiveLayout->psen, 1);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    DelayMsSlot(10);
    SetPin(ActiveLayout->ea, 1);
    // Reads of a part with lock bit 2 (or 3) programmed give no code: they
    // end after the secured line.
    if (phase == 2) {
        const uint32_t lock = ReadLock107();
        ShowLockBits((lock & 1) != 0, (lock & 2) != 0, (lock & 4) != 0);
        if ((lock & 6) != 0) {
            PowerDown107();
            ReadRefusedByDevice();
            return false;
        }
        SetControl(CtrlReadCode);
    }
    return true;
}

void PowerDown107() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    ResetProgrammerOutputs();
}

// ---- the rows' differences as data ---------------------------------------------------

bool Up100(int phase) {
    McuPowerUp100(phase);
    return true;
}
bool Up123(int phase) {
    PowerUp123(phase);
    return true;
}
// Read, Blank check and Verify of a part whose lock bit 2 (or 3) is
// programmed end after the secured line: the part returns no code then.
bool Up195(int phase) {
    const uint32_t lock = PowerUp195(phase);
    if (phase == 2 && (lock & 0x48) != 0x48) {
        PowerDown195();
        ReadRefusedByDevice();
        return false;
    }
    return true;
}

int OnePulse() { return 1; }

void Pulse196Float(int n) {
    Pulse196(n);
    FloatPinGroup(1, 0, 7);
}

void Prepare107() { SetControl(CtrlProgramCode); }
void Pulse107Code(int n) {
    Pulse107(n);
    SetControl(CtrlReadCode);
}
int Code107Pulses() { return Config107Now().CodePulses; }

int ProgramByte100() { return ProgramByteWithRetry<NoPrepare, PulseProgram100, ReadCycle, RetryCount>(); }
int ProgramByte196() { return ProgramByteWithRetry<NoPrepare, Pulse196Float, ReadCycle, OnePulse>(); }
int ProgramByte107() { return ProgramByteWithRetry<Prepare107, Pulse107Code, ReadCycle107, Code107Pulses>(); }

const Row8051 kRow100{Up100, McuPowerDown100, ReadCycle, kReadCode, kWriteCode, ProgramByte100};
const Row8051 kRow123{Up123, McuPowerDown100, ReadCycle, kReadCode, kWriteCode, ProgramByte100};
const Row8051 kRow195{Up195, PowerDown195, ReadCycle, kReadCode, kWriteCode, ProgramByte100};
const Row8051 kRow196{PowerUp196, PowerDown196, ReadCycle, kReadCode, kWriteCode, ProgramByte196};
const Row8051 kRow107{PowerUp107, PowerDown107, ReadCycle107, {-1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1},
                      ProgramByte107};

} // namespace

// ---- the walks ----------------------------------------------------------------------

namespace mcu8051 {

int ReadRange(const Row8051& row, int mode) {
    if (!row.powerUp(2)) return -1;
    SetModeLines(row.readLines);
    if (row.readControl >= 0) SetControl(static_cast<uint32_t>(row.readControl));
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        (row.address ? row.address : DriveAddress)(ChipAddress, a == DeviceStart);
        row.read();
        if (row.decodes) DecodeRead(ChipAddress);
        const bool atRegister = row.registerAt != nullptr && row.registerAt(ChipAddress);
        if (atRegister && (mode == 0 || mode == 6 || (mode != 2 && BufferWindow[BufferIndex & 0xFFFF] == 0xFF)))
            BufferIndex += mode == 0 || mode == 6 ? 1 : AddressStep;
        else
            r = ProcessReadByte(mode);
        if (r == -1) break;
        if (mode != 0 && BufferIndex > 0xFFFF) {
            r = AdvanceToNextBank();
            if (r == -1) break;
        }
    }
    row.powerDown();
    return r;
}

// Every row steps the buffer by AddressStep, so a split mode programs its own
// lane, and changes bank past FFFFh.
int ProgramRange(const Row8051& row) {
    if (!row.powerUp(1)) return -1;
    SetModeLines(row.writeLines);
    if (row.writeControl >= 0) SetControl(static_cast<uint32_t>(row.writeControl));
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        (row.address ? row.address : DriveAddress)(ChipAddress, a == DeviceStart);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if (row.registerAt != nullptr && row.registerAt(ChipAddress)) {
            if (row.registerByte != nullptr) row.registerByte(static_cast<uint8_t>(ExpectedValue));
            r = 1;
        } else {
            r = row.programByte();
        }
        if (r != 1) break;
        BufferIndex += AddressStep;
        if (BufferIndex > 0xFFFF && AdvanceToNextBank() == -1) {
            r = -1;
            break;
        }
    }
    row.powerDown();
    return r;
}

int RetryCount() { return static_cast<int>(Retry); }
void NoPrepare() {}

void WriteLocks(int locks, void (*pulse)(int), int pulses) {
    for (int b = 0; b < locks; ++b) {
        SetModeLines(kLocks[b]);
        DriveData(0xFF);
        pulse(pulses);
    }
    SetLine(ActiveLayout->strobe, 1);
}

void ShowLockBits(bool lb1, bool lb2, bool lb3) {
    if (lb1 && lb2 && lb3) {
        ShowMessageLine(" Device secured!(Lock Bits 1,2,3)");
    } else if (lb1 && lb2) {
        ShowMessageLine(" Device secured!(Lock Bits 1,2)");
    } else if (lb1) {
        ShowMessageLine(" Device secured!(Lock Bit 1)");
    }
}

void ShowLockState(uint32_t lock) { ShowLockBits((lock & 0x80) == 0, (lock & 0x40) == 0, (lock & 0x08) == 0); }

} // namespace mcu8051

namespace {

// The encryption table: its entries up to the part's array, each not FFh
// pulsed; the rest of the array stays erased.
void WriteTable(void (*pulse)(int), int pulses) {
    for (uint32_t i = 0; i < EncryptionEntriesWritten(); ++i) {
        StepProgressByAddress(i);
        DriveAddress(i, true);
        ExpectedValue = EncryptionTable[i];
        DriveData(ExpectedValue);
        if (ExpectedValue != 0xFF) pulse(pulses);
    }
}

// What the log says where the part cannot read the table back.
constexpr const char* kTableNotReadBack = " Encryption table written; this part cannot read it back.";

// Lock bits 1, then 2 unless SecurityMode is 0, then 3 when it is 2.
int LocksOfMode() { return SecurityMode == 0 ? 1 : SecurityMode == 1 ? 2 : 3; }

// Reads the signature bytes at the addresses, through the row's read.
void ReadSignatureBytes(std::initializer_list<uint32_t> addresses, uint32_t* out) {
    for (uint32_t a : addresses) {
        DriveAddress(a, true);
        ReadCycle();
        *out++ = ReadValue & 0xFF;
    }
}

// The encryption writers of the mode-line rows: the table in write-table
// mode, each entry not FFh with the row's pulses; no read-back.
int ProgramTableOf(const Row8051& row, void (*pulse)(int), int pulses) {
    if (!row.powerUp(1)) return -1;
    SetModeLines(kWriteTable);
    WriteTable(pulse, pulses);
    row.powerDown();
    ShowMessageLine(kTableNotReadBack);
    return 1;
}

// The Secure entries without a read-back: the lock bits, no verification.
int SecureOf(const Row8051& row, int locks, void (*pulse)(int), int pulses) {
    ReadBackAfterSecure = 0;
    SecureCheckValue = 0xFF;
    ExpectedValue = 0xFF;
    if (!row.powerUp(1)) return -1;
    WriteLocks(locks, pulse, pulses);
    row.powerDown();
    ShowLocksNotReadBack();
    return 1;
}

} // namespace

// ---- row 100 ------------------------------------------------------------------------

int Alg100Read(int mode) { return ReadRange(kRow100, mode); }
int Alg100Program() { return ProgramRange(kRow100); }

int Alg100Secure() { return SecureOf(kRow100, LocksOfMode(), PulseProgram100, 25); }
int ProgramEncryptionTable100() { return ProgramTableOf(kRow100, PulseProgram100, 25); }

int ReadOptionRegister100() {
    McuPowerUp100(2);
    SetModeLines(kReadSignature);
    static const char* const formats[4] = {"Manufacturer    : %02X", "Model           : %02X",
                                           "Extension       : %02X", "Option Register : %02X"};
    const uint32_t addresses[4] = {0x30, 0x31, 0x60, 0xFC};
    for (int i = 0; i < 4; ++i) {
        DriveAddress(addresses[i], true);
        ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
        ShowMessageLine(formats[i], ReadValue & 0xFF);
        if (addresses[i] == 0xFC) OptionRegister = static_cast<int>(ReadValue & 0xFF);
    }
    SetLine(ActiveLayout->strobe, 1);
    McuPowerDown100();
    return 1;
}

int ProgramOptionRegister100() {
    McuPowerUp100(1);
    SetModeLines(kWriteOption);
    DriveData(static_cast<uint32_t>(OptionRegister));
    DriveAddress(0xFC, true);
    PulseProgram100(25);
    McuPowerDown100();
    ShowMessageLine("Program Option Register ok!");
    return 1;
}

// ---- row 123 ------------------------------------------------------------------------

int Alg123Read(int mode) { return ReadRange(kRow123, mode); }
int Alg123Program() { return ProgramRange(kRow123); }

int Alg123Secure() { return SecureOf(kRow123, SecurityMode == 0 ? 1 : 2, PulseProgram100, 25); }
int ProgramEncryptionTable123() { return ProgramTableOf(kRow123, PulseProgram100, 25); }

// ---- row 195 ------------------------------------------------------------------------

int Alg195Identify() {
    PowerUp195(6);
    SetModeLines(kReadSignature);
    uint32_t id[3] = {};
    ReadSignatureBytes({0x30, 0x31, 0x60}, id);
    ChipMakerId = id[0];
    ChipDeviceId = id[1];
    PowerDown195();
    return 1;
}

int Alg195Read(int mode) { return ReadRange(kRow195, mode); }
int Alg195Program() { return ProgramRange(kRow195); }

int Alg195Secure() {
    PowerUp195(6);
    const int locks = LocksOfMode();
    WriteLocks(locks, PulseProgram100, static_cast<int>(Retry));
    FloatPinGroup(1, 0, 7);
    const uint32_t lock = ReadLockByte195();
    PowerDown195();
    // Every lock bit written must read programmed (0).
    static constexpr uint32_t kLockBit195[3] = {0x80, 0x40, 0x08};
    return LockBitsTook(lock, LockBitsAsked(kLockBit195, locks)) ? 1 : -1;
}

int ProgramEncryptionTable195() { return ProgramTableOf(kRow195, PulseProgram100, 25); }

// ---- row 196 ------------------------------------------------------------------------

int Alg196Identify() {
    if (!PowerUp196(2)) return 1;
    SetModeLines(kReadSignature);
    uint32_t id[3] = {};
    ReadSignatureBytes({0x30, 0x31, 0x32}, id);
    ChipMakerId = id[0];
    ChipDeviceId = id[1];
    PowerDown196();
    EraseVppLevel = id[2] == 0x05 ? 50 : Vpp / 10;
    g_vppChosen = true;
    return 1;
}

int Alg196Read(int mode) { return ReadRange(kRow196, mode); }
int Alg196Program() { return ProgramRange(kRow196); }

int Alg196Secure() { return SecureOf(kRow196, LocksOfMode(), Pulse196, 10); }
int ProgramEncryptionTable196() { return ProgramTableOf(kRow196, Pulse196, 10); }

namespace {

void ErasePulse196(uint32_t widthUs) {
    SetModeLines(kErase196);
    SetDacVoltage(1, static_cast<int>(EraseVppLevel));
    DelayUsSlot(20);
    PulsePinTimed(ActiveLayout->ale, 2, widthUs);
    SetDacVoltage(1, 50);
    DelayUsSlot(10);
}

// Program everything to 00h, erase, then erase and scan until blank.
int Erase196() {
    if (!PowerUp196(1)) return -1;
    ErasePulse196(80000);
    SetModeLines(kWriteCode);
    DriveData(0);
    for (uint64_t a = DeviceStart; a <= 0x1FFF; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if (StepProgress(ChipAddress) == 3) {
            PowerDown196();
            return 3;
        }
        DriveAddress(ChipAddress, a == DeviceStart);
        Pulse196(1);
    }
    SetModeLines(kWriteTable);
    DriveData(0);
    for (uint32_t i = 0; i < 32; ++i) {
        DriveAddress(i, true);
        Pulse196(10);
    }
    WriteLocks(3, Pulse196, 10);
    ShowMessageLine(" Program all ok!");
    ClearProgress();
    ErasePulse196(80000);
    bool blank = false;
    uint64_t from = DeviceStart;
    for (int pass = 0; pass < 50 && !blank; ++pass) {
        ErasePulse196(80000);
        PowerDown196();
        PowerUp196(5);
        SetModeLines(kReadCode);
        uint64_t a = from;
        for (; a <= DeviceEnd; ++a) {
            ChipAddress = static_cast<uint32_t>(a);
            if (StepProgress(ChipAddress) == 3) {
                PowerDown196();
                return 3;
            }
            DriveAddress(ChipAddress, a == from);
            ReadCycle();
            if ((ReadValue & 0xFF) != 0xFF) break;
        }
        from = a;
        blank = a > DeviceEnd;
    }
    ErasePulse196(240000);
    PowerDown196();
    return blank ? 1 : -1;
}

} // namespace

int Alg196Erase() { return Erase196(); }

// ---- row 107 ------------------------------------------------------------------------

int Alg107Read(int mode) { return ReadRange(kRow107, mode); }
int Alg107Program() { return ProgramRange(kRow107); }

int Alg107Secure() {
    if (!PowerUp107(1)) return -1;
    SetControl(CtrlProgramLock);
    DriveData(0xFF);
    const int locks = LocksOfMode();
    for (int b = 1; b <= locks; ++b) {
        DriveAddress(static_cast<uint32_t>(b), true);
        DriveData(0xFF);
        Pulse107(Config107Now().TablePulses);
    }
    // The lock bits read back: each one written must read programmed (1).
    static constexpr uint32_t kLockBit107[3] = {0x1, 0x2, 0x4};
    const bool took = LockBitsTook(ReadLock107(), LockBitsAsked(kLockBit107, locks), true);
    PowerDown107();
    return took ? 1 : -1;
}

int ProgramEncryptionTable107() {
    if (!PowerUp107(1)) return -1;
    SetControl(CtrlProgramTable);
    WriteTable(Pulse107, Config107Now().TablePulses);
    PowerDown107();
    ShowMessageLine(kTableNotReadBack);
    return 1;
}

int ReadConfigBytes107() {
    if (!PowerUp107(kPhaseReadInfo107)) return -1;
    SetControl(CtrlReadSignature);
    static const char* const formats[3] = {"Manufacturer : %02Xh", "Model        : %02Xh", "Extension    : %02Xh"};
    const uint32_t addresses[3] = {0x30, 0x31, 0x60};
    for (int i = 0; i < 3; ++i) {
        DriveAddress(addresses[i], true);
        DelayUsSlot(10);
        ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
        ShowMessageLine(formats[i], ReadValue & 0xFF);
    }
    const uint32_t base = Config107Now().ConfigAddress;
    for (int i = 0; i < 2; ++i) {
        DriveAddress(base + static_cast<uint32_t>(i), true);
        DelayUsSlot(10);
        ConfigBytes[i] = static_cast<int>(ReadPinGroup(1, 0, 7) & 0xFF);
        ShowMessageLine("Config %d     : %02Xh", i, ConfigBytes[i]);
    }
    switch (ReadLock107()) {
    case 0:
        ShowMessageLine("Lock Bits    : Device not secured.");
        break;
    case 1:
        ShowMessageLine("Lock Bits    : Lock Bit 1 Locked");
        break;
    case 3:
        ShowMessageLine("Lock Bits    : Lock Bits 1 and 2 Locked");
        break;
    case 7:
        ShowMessageLine("Lock Bits    : Lock Bit 1,2 and 3 Locked");
        break;
    default:
        break;
    }
    PowerDown107();
    return 1;
}

int ProgramConfigBytes107() {
    if (!PowerUp107(1)) return -1;
    SetControl(CtrlProgramConfig);
    const uint32_t base = Config107Now().ConfigAddress;
    for (int i = 0; i < 2; ++i) {
        DriveAddress(base + static_cast<uint32_t>(i), true);
        DriveData(static_cast<uint32_t>(ConfigBytes[i]));
        Pulse107(Config107Now().TablePulses);
    }
    PowerDown107();
    ShowMessageLine("Configuration Bytes Program ok!");
    return 1;
}

// ---- installation -------------------------------------------------------------------

std::string mcu8051::PulseCountCheck(uint32_t row, const RowRecordFacts& record) {
    if ((record.SubVariant & SubVariantPulseMask) != 0) return "";
    return "subvariant gives algorithm " + std::to_string(row) + " a pulse count of 0";
}

std::string mcu8051::TableSizeCheck(uint32_t, const RowRecordFacts& record) {
    const uint32_t page = record.Page;
    if (page == 16 || page == 32 || page == 64 || page == 128) return "";
    return "page of " + std::to_string(page) + " is no encryption table size (16, 32, 64 or 128)";
}

std::string mcu8051::PulseAndTableCheck(uint32_t row, const RowRecordFacts& record) {
    const std::string why = PulseCountCheck(row, record);
    return why.empty() ? TableSizeCheck(row, record) : why;
}

namespace {

void ForgetVppChoice() { g_vppChosen = false; }

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 100,
     .Read = Alg100Read,
     .Program = Alg100Program,
     .Secure = Alg100Secure,
     .Options = Alg100Options,
     .EncryptionWriter = ProgramEncryptionTable100,
     .SelectionDefaults = ForgetVppChoice,
     .RecordCheck = PulseAndTableCheck},
    {.Row = 123,
     .Read = Alg123Read,
     .Program = Alg123Program,
     .Secure = Alg123Secure,
     .Options = Alg100Options,
     .EncryptionWriter = ProgramEncryptionTable123,
     .SelectionDefaults = ForgetVppChoice,
     .RecordCheck = TableSizeCheck},
    {.Row = 195,
     .Identify = Alg195Identify,
     .Read = Alg195Read,
     .Program = Alg195Program,
     .Secure = Alg195Secure,
     .Options = Alg100Options,
     .EncryptionWriter = ProgramEncryptionTable195,
     .SelectionDefaults = ForgetVppChoice,
     .RecordCheck = PulseAndTableCheck},
    {.Row = 196,
     .Identify = Alg196Identify,
     .Read = Alg196Read,
     .Program = Alg196Program,
     .Erase = Alg196Erase,
     .Secure = Alg196Secure,
     .Options = Alg100Options,
     .EncryptionWriter = ProgramEncryptionTable196,
     .SelectionDefaults = ForgetVppChoice,
     .RecordCheck = PulseAndTableCheck},
    {.Row = 107,
     .Read = Alg107Read,
     .Program = Alg107Program,
     .Secure = Alg107Secure,
     .Options = Alg107Options,
     .EncryptionWriter = ProgramEncryptionTable107,
     .SelectionDefaults = ForgetVppChoice,
     .VariantCount = Config107Count,
     .RecordCheck = TableSizeCheck},
};

ROW_FAMILY("Mcu8051", Mcu, 10, kAlgorithmRows);

void ResetMcu8051State() {
    OptionRegister = 0xFF;
    ConfigBytes[0] = ConfigBytes[1] = 0xFF;
    EraseVppLevel = 120;
    g_vppChosen = false;
    ActiveLayout = &kLayout100[0];
}
