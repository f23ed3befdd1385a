#include "mcu/Avr.h"

#include <cstring>
#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "mcu/McuFrame.h"

int AvrFuseSpien = 0;
int AvrFuseFstr = 0;
int AvrLockMode = 1;
int AvrFuses125[AvrFuse125Count] = {};
int AvrLockMode125 = 1;
int AvrFuseResult = 0;

namespace {

constexpr uint32_t kAvrEepromSizes[AvrEepromSizeCount] = {64, 128, 256, 512};

// Commands loaded with XA1:XA0 = 10.
enum : uint32_t {
    kAvrChipErase = 0x80,
    kAvrWriteFuses = 0x40,
    kAvrWriteLocks = 0x20,
    kAvrWriteFlash = 0x10,
    kAvrWriteEeprom = 0x11,
    kAvrReadSignature = 0x08,
    kAvrReadFuseLock = 0x04,
    kAvrReadFlash = 0x02,
    kAvrReadEeprom = 0x03,
};
enum : int { kAvrLoadAddress = 0, kAvrLoadData = 1, kAvrLoadCommand = 2 };

// Power-up phases.
enum : int { kAvrProgram = 1, kAvrRead = 2, kAvrIdentify = 5 };

// The chip's erase and fuse writes are timed by the WR low time (tWLWH_CE
// 5-15 ms, tWLWH_PFB 1.0-1.8 ms): WR is held low that long.
constexpr uint32_t kAvrEraseLowMs = 10;
constexpr uint32_t kAvrFuseLowUs = 1200;
constexpr int kAvrReadyPolls = 100;

// Socket pins of the parallel mode.
struct AvrParallelPins {
    int data[8];
    int reset, rdy, oe, wr, bs, xa0, xa1, xtal1;
};
constexpr AvrParallelPins kAvrPins20 = {{26, 27, 28, 29, 30, 31, 32, 33}, 15, 17, 20, 21, 22, 23, 25, 19};
constexpr AvrParallelPins kAvrPins28 = {{24, 25, 26, 27, 28, 29, 33, 34}, 11, 13, 14, 15, 16, 21, 22, 19};
constexpr AvrParallelPins kAvrPins40Vcc40 = {{5, 6, 7, 8, 9, 10, 11, 12}, 13, 15, 16, 17, 18, 19, 20, 23};
constexpr AvrParallelPins kAvrPins40 = {{5, 6, 7, 8, 9, 10, 11, 12}, 13, 19, 20, 21, 22, 23, 24, 17};
constexpr AvrParallelPins kAvrPins44Vcc44 = {{4, 5, 6, 7, 8, 9, 10, 11}, 12, 15, 16, 17, 18, 19, 20, 23};
constexpr AvrParallelPins kAvrPins44 = {{4, 5, 6, 7, 8, 9, 10, 11}, 12, 18, 19, 20, 21, 22, 23, 16};

// What rows 117 and 125 differ in.
struct AvrParallelRow {
    uint32_t row;
    bool fixed28;            // always the 28-pin layout
    bool programmerRegister; // register 13 or 25 at power-up
    bool settleAtPowerDown;  // 100 ms after VCC off
    bool eraseDac;           // DAC channel 4 for variant 0, sub-variant 1
    bool fuseByte;           // a fuse byte and a lock byte apart
    int* lockMode;
};
constexpr AvrParallelRow kAvrRow117 = {117, false, true, true, true, false, &AvrLockMode};
constexpr AvrParallelRow kAvrRow125 = {125, true, false, false, false, true, &AvrLockMode125};

// What the last Identify of each row read.
struct AvrIdentity {
    uint8_t signature[3];
    uint32_t lockFuse;
};
AvrIdentity g_id117{}, g_id119{}, g_id125{};

const AvrParallelRow* g_row = &kAvrRow117;
const AvrParallelPins* g_pins = &kAvrPins20;
uint32_t g_eepromSize = 64;
OptionDialogLauncher g_launcher = nullptr;

AvrIdentity& IdentityOf(const AvrParallelRow& row) { return row.row == 125 ? g_id125 : g_id117; }

uint32_t PackagePinsAvr() { return PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0; }

const AvrParallelPins* LayoutFor(uint32_t pins, const char* vcc) {
    const bool own = vcc != nullptr && std::strcmp(vcc, pins == 40 ? "40" : "44") == 0;
    switch (pins) {
    case 20:
        return &kAvrPins20;
    case 28:
        return &kAvrPins28;
    case 40:
        return own ? &kAvrPins40Vcc40 : &kAvrPins40;
    case 44:
        return own ? &kAvrPins44Vcc44 : &kAvrPins44;
    default:
        return nullptr;
    }
}

// " Device Secured!" with -1 when the last Identify saw lock bit 1
// programmed, else 1. A refused read compared nothing: a Blank check or
// Verify ends at that line.
int CheckLockBits(bool lb1, bool lb2) {
    if (!lb1) return 1;
    ShowMessageLine(lb2 ? " Device Secured!(Lock bit 1 and 2)" : " Device Secured!(Lock bit 1)");
    ReadRefusedByDevice();
    return -1;
}

// The lock bits of the identity word that lock mode 0 (lock bit 1) or 1
// (lock bits 1 and 2) programs: bits 7 and 6, or bits 9 and 10 where the
// word carries the fuse byte below the lock byte.
uint32_t AvrLocksAsked(bool fuseByte, int lockMode) {
    static constexpr uint32_t kLockBits[2][2] = {{0x80, 0x40}, {0x200, 0x400}};
    return LockBitsAsked(kLockBits[fuseByte ? 1 : 0], lockMode == 0 ? 1 : 2);
}

int CheckLock(const AvrParallelRow& row) {
    const uint32_t v = IdentityOf(row).lockFuse;
    if (row.fuseByte) return CheckLockBits((v & 0x200) == 0, (v & 0x400) == 0);
    return CheckLockBits((v & 0x80) == 0, (v & 0x40) == 0);
}

// Chooses the layout and EEPROM size; a device the row cannot serve is
// refused before any supply is switched.
bool SelectLayout(const AvrParallelRow& row) {
    g_row = &row;
    if (DeviceSubVariant >= AvrEepromSizeCount) {
        RefuseRun(" Sub-variant %u has no EEPROM size (0-3).", DeviceSubVariant);
        return false;
    }
    g_eepromSize = kAvrEepromSizes[DeviceSubVariant];
    const PackageEntry* pkg = PackageIndex < PackageRowCount ? &PackageTable[PackageIndex] : nullptr;
    g_pins = row.fixed28 ? &kAvrPins28 : LayoutFor(PackagePinsAvr(), pkg != nullptr ? pkg->VccPins : nullptr);
    if (g_pins == nullptr) {
        RefuseRun(" Package of %u pins not supported.", PackagePinsAvr());
        return false;
    }
    return true;
}

// 1, or -1 (nothing powered when the device cannot be served; the socket
// powered and a detail line for a locked chip, which the caller powers down).
int PowerUpAvr(const AvrParallelRow& row, int phase) {
    if (!SelectLayout(row)) return -2;
    if (row.programmerRegister) {
        if (HardwareKind == 1) {
            WriteRegister(13, 0x80);
        } else {
            WriteRegister(25, 15);
        }
    }
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 1;
    const AvrParallelPins& p = *g_pins;
    DefinePinGroup("DATA", 0, p.data[0], p.data[1], p.data[2], p.data[3], p.data[4], p.data[5], p.data[6],
                   p.data[7], 0);
    DefinePinGroup("XA", 1, p.xa0, p.xa1, 0);
    SupplyVoltage = phase == kAvrRead ? ReadVccInUse : Vccp / 10;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(p.reset, 0);
    SetPin(p.bs, 0);
    SetPin(p.wr, 1);
    SetPin(p.oe, 1);
    SetPin(p.xtal1, 0);
    WritePinGroup(1, 0, 1, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    FloatPinRange(p.reset, p.reset);
    WritePinGroup(0, 0, 7, 0xFF);
    if (phase == kAvrIdentify) return 1;
    return CheckLock(row);
}

void PowerDownAvr() {
    SetDeviceVpp(0, 50);
    FloatPinRange(g_pins->reset, g_pins->reset);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    if (g_row->settleAtPowerDown) DelayMsSlot(100);
    ResetProgrammerOutputs();
}

void PulseXtal1() {
    SetPin(g_pins->xtal1, 1);
    SetPin(g_pins->xtal1, 0);
}

void AvrLoad(int xa, uint32_t value) {
    WritePinGroup(0, 0, 7, value & 0xFF);
    WritePinGroup(1, 0, 1, static_cast<uint64_t>(xa));
    PulseXtal1();
    WritePinGroup(1, 0, 1, 0);
}

void AvrLoadAddress(uint32_t a) {
    WritePinGroup(0, 0, 7, a & 0xFF);
    PulseXtal1();
    SetPin(g_pins->bs, 1);
    WritePinGroup(0, 0, 7, (a >> 8) & 0xFF);
    PulseXtal1();
    SetPin(g_pins->bs, 0);
}

void AvrReadByte() {
    FloatPinGroup(0, 0, 7);
    SetPin(g_pins->oe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetPin(g_pins->oe, 1);
}

void AvrReadWord() {
    FloatPinGroup(0, 0, 7);
    SetPin(g_pins->oe, 0);
    const uint32_t low = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetPin(g_pins->bs, 1);
    const uint32_t high = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetPin(g_pins->oe, 1);
    SetPin(g_pins->bs, 0);
    ReadValue = low | high << 8;
}

// A WR pulse, then up to 100 polls of RDY/BSY 10 us apart: 1 when it reads
// high, -1 when it never does.
int AvrWritePulse(bool high) {
    if (high) SetPin(g_pins->bs, 1);
    SetPin(g_pins->wr, 0);
    SetPin(g_pins->wr, 1);
    int r = -1;
    for (int i = 0; i < kAvrReadyPolls; ++i) {
        if (GetPin(g_pins->rdy) == 1) {
            r = 1;
            break;
        }
        DelayShortUsSlot(10);
    }
    SetPin(g_pins->bs, 0);
    return r;
}

// WR held low for `us`: the writes the chip times by the pulse itself.
void AvrTimedWritePulse(uint32_t us) {
    SetPin(g_pins->wr, 0);
    DelayShortUsSlot(us);
    SetPin(g_pins->wr, 1);
}

int AvrProgramByte(bool high) {
    if ((ExpectedValue & 0xFF) == 0xFF) return 1;
    AvrLoad(kAvrLoadData, ExpectedValue);
    return AvrWritePulse(high);
}

uint8_t BufferByteAt(uint32_t index) { return RunBufferByte(index); }

// Read and Verify take the flash bytes at Program's buffer byte, low byte
// first, whatever the byte-swap option, so the three agree at any start.
// Only the bytes of the word that lie in the range count: from an odd start
// the first word gives its high byte, to an even end the last its low byte.
int ProcessFlashWord(int mode) {
    const uint32_t word = ReadValue;
    const uint32_t low = ChipAddress & ~1u;
    int r = 1;
    for (uint32_t a = low; a <= low + 1 && r != -1; ++a) {
        if (a < DeviceStart || a > DeviceEnd) continue;
        ReadValue = a & 1 ? word >> 8 & 0xFF : word & 0xFF;
        r = ProcessReadByte(mode);
    }
    return r;
}

// The next word's first byte address of the flash loops.
uint32_t NextFlashWord(uint32_t a) { return (a & ~1u) + 2; }

int IdentifyParallel(const AvrParallelRow& row) {
    if (PowerUpAvr(row, kAvrIdentify) == -2) return -1;
    AvrIdentity& id = IdentityOf(row);
    AvrLoad(kAvrLoadCommand, kAvrReadSignature);
    for (uint32_t i = 0; i < 3; ++i) {
        AvrLoadAddress(i);
        AvrReadByte();
        id.signature[i] = static_cast<uint8_t>(ReadValue);
    }
    AvrLoad(kAvrLoadCommand, kAvrReadFuseLock);
    AvrReadWord();
    id.lockFuse = row.fuseByte ? ReadValue : ReadValue >> 8;
    PowerDownAvr();
    ChipMakerId = id.signature[0];
    ChipDeviceId = id.signature[1];
    return 1;
}

// The data EEPROM's image lies from buffer byte Chip End + 1, in whichever
// bank holds it: a range whose own bytes crossed a bank end must not carry
// the image into the bank it ended in.
void StartEepromImage() {
    SelectBank(DeviceEnd + 1, 1);
    BufferIndex = (DeviceEnd + 1) % BankSize;
}

int ReadParallel(const AvrParallelRow& row, int mode) {
    int r = PowerUpAvr(row, kAvrRead);
    if (r == -2) return -1;
    if (r == 1) {
        AvrLoad(kAvrLoadCommand, kAvrReadFlash);
        for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ChipAddress = NextFlashWord(ChipAddress)) {
            if ((r = StepProgress(ChipAddress)) != 1) break;
            AvrLoadAddress(ChipAddress / 2);
            AvrReadWord();
            if ((r = ProcessFlashWord(mode)) != 1) break;
        }
    }
    if (r == 1) {
        StartEepromImage();
        AvrLoad(kAvrLoadCommand, kAvrReadEeprom);
        for (uint32_t a = 0; a < g_eepromSize; ++a) {
            AvrLoadAddress(a);
            AvrReadByte();
            CellAtPlace(uint64_t{DeviceEnd} + 1 + a);
            if ((r = ProcessReadByte(mode)) != 1) break;
        }
    }
    PowerDownAvr();
    return r;
}

int ProgramParallel(const AvrParallelRow& row) {
    int r = PowerUpAvr(row, kAvrProgram);
    if (r == -2) return -1;
    if (r == 1) {
        AvrLoad(kAvrLoadCommand, kAvrWriteFlash);
        // A byte at a time, the low byte of a word with BS low and the high
        // byte with BS high: a range from an odd address starts with the
        // high byte of its word, one to an even address ends with a low byte.
        for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
            const bool high = (ChipAddress & 1) != 0;
            if (!high || ChipAddress == DeviceStart) {
                if ((r = StepProgress(ChipAddress)) != 1) break;
                AvrLoadAddress(ChipAddress / 2);
            }
            ExpectedValue = BufferByteAt(BufferIndex);
            if ((r = AvrProgramByte(high)) != 1) break;
            BufferIndex += 1;
        }
    }
    if (r == 1) {
        StartEepromImage();
        AvrLoad(kAvrLoadCommand, kAvrWriteEeprom);
        for (ChipAddress = 0; ChipAddress < g_eepromSize; ++ChipAddress) {
            AvrLoadAddress(ChipAddress);
            ExpectedValue = BufferByteAt(BufferIndex);
            if ((r = AvrProgramByte(false)) != 1) break;
            BufferIndex += 1;
        }
    }
    PowerDownAvr();
    return r;
}

int EraseParallel(const AvrParallelRow& row) {
    if (PowerUpAvr(row, kAvrIdentify) == -2) return -1;
    // Channel 4 feeds VCC through the strong path, which adds 1.1 V: the
    // erase of these parts runs 1 V lower, and channel 4 is brought back in
    // steps before the power-down ramps it from there.
    const bool lowered = row.eraseDac && DeviceVariant == 0 && DeviceSubVariant == 1;
    const int strong = static_cast<int>(SupplyVoltage) - 11;
    if (lowered) SetDacVoltage(4, static_cast<int>(SupplyVoltage) - 21);
    AvrLoad(kAvrLoadCommand, kAvrChipErase);
    AvrTimedWritePulse(kAvrEraseLowMs * 1000);
    if (lowered) RampVoltageUp(4, strong - 10, strong, 1, 10);
    PowerDownAvr();
    IdentifyParallel(row);
    return 1;
}

int SecureParallel(const AvrParallelRow& row) {
    ExpectedValue = *row.lockMode == 0 ? 0xFD : 0xF9;
    int r = PowerUpAvr(row, kAvrProgram);
    if (r == -2) return -1;
    if (r == 1) {
        AvrLoad(kAvrLoadCommand, kAvrWriteLocks);
        AvrLoad(kAvrLoadData, ExpectedValue);
        r = AvrWritePulse(false);
    }
    PowerDownAvr();
    if (r != 1) return r;
    // The lock bits read back: every bit chosen must read programmed.
    IdentifyParallel(row);
    return LockBitsTook(IdentityOf(row).lockFuse, AvrLocksAsked(row.fuseByte, *row.lockMode)) ? 1 : -1;
}

// Writes the fuse bits (data pins carry the low byte of `value`), then
// re-identifies: 1 when the bits in `mask` read back as written.
int WriteFusesParallel(const AvrParallelRow& row, uint32_t value, uint32_t mask) {
    ExpectedValue = value;
    if (PowerUpAvr(row, kAvrIdentify) == -2) return -1;
    AvrLoad(kAvrLoadCommand, kAvrWriteFuses);
    AvrLoad(kAvrLoadData, ExpectedValue);
    AvrTimedWritePulse(kAvrFuseLowUs);
    const int r = GetPin(g_pins->rdy) == 1 ? 1 : -1;
    PowerDownAvr();
    if (r != 1) return r;
    IdentifyParallel(row);
    return (IdentityOf(row).lockFuse & mask) == (value & mask) ? 1 : -1;
}

// ---- row 119: the serial modes on the 8-pin socket ----------------------------------

constexpr int kAvrSerReset = 21, kAvrSerXtal1 = 22, kAvrSerMosi = 25, kAvrSerMiso = 26, kAvrSerSck = 27;
constexpr uint32_t kAvrSerialEeprom = 128;
constexpr uint32_t kAvrSerialWriteMs = 4;
constexpr uint32_t kAvrSerialEraseMs = 20;

// One byte out on MOSI, bit 7 first, one SCK pulse a bit; what MISO carried,
// sampled before each pulse.
uint32_t AvrSpiByte(uint32_t value) {
    uint32_t in = 0;
    for (int bit = 7; bit >= 0; --bit) {
        SetPin(kAvrSerMosi, static_cast<int>(value >> bit & 1));
        in = in << 1 | (GetPin(kAvrSerMiso) == 1 ? 1u : 0u);
        SetPin(kAvrSerSck, 1);
        SetPin(kAvrSerSck, 0);
    }
    return in;
}

// A four-byte instruction; the bytes MISO returned, the first in bits 31-24.
uint32_t AvrSpiInstruction(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3) {
    uint32_t r = AvrSpiByte(b0 & 0xFF) << 24;
    r |= AvrSpiByte(b1 & 0xFF) << 16;
    r |= AvrSpiByte(b2 & 0xFF) << 8;
    return r | AvrSpiByte(b3 & 0xFF);
}

// Programming Enable: a part in step returns its second byte (53h) while
// the third goes out; 1, or -1 with a detail line when it does not.
int AvrSpiEnable() {
    const uint32_t echo = AvrSpiInstruction(0xAC, 0x53, 0x00, 0x00) >> 8 & 0xFF;
    if (echo == 0x53) return 1;
    ShowMessageLine(" Serial programming enable not answered (%02Xh)!", echo);
    return -1;
}

int AvrSpiPowerUp(int phase) {
    ProgressStep = 16;
    ReadBackAfterSecure = 0;
    BlankCheckAfterErase = 1;
    SupplyVoltage = phase == kAvrRead ? ReadVccInUse : Vccp / 10;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(kAvrSerSck, 0);
    SetPin(kAvrSerXtal1, 0);
    WriteRegister(12, 2);
    SetPin(kAvrSerReset, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(20);
    return AvrSpiEnable();
}

void AvrSpiPowerDown() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
}

uint32_t AvrSpiRead(uint32_t op, uint32_t address) {
    return AvrSpiInstruction(op, address >> 8 & 0xFF, address & 0xFF, 0x00) & 0xFF;
}

// Writes ExpectedValue as the flash word's low byte (kind 0), its high byte
// (1) or the EEPROM byte at ChipAddress (2), waits the write time and reads
// it back: 1 when it took, -1 when not. Blank bytes are not written.
int AvrSpiProgramByte(int kind) {
    const uint32_t value = ExpectedValue & 0xFF;
    if (value == 0xFF) return 1;
    static constexpr uint32_t kWrite[3] = {0x40, 0x48, 0xC0};
    const uint32_t address = kind == 2 ? ChipAddress & 0xFF : ChipAddress / 2;
    AvrSpiInstruction(kWrite[kind], address >> 8 & 0xFF, address & 0xFF, value);
    DelayMsSlot(kAvrSerialWriteMs);
    ReadValue = AvrSpiRead(kWrite[kind] - 0x20, address);
    return ReadValue == value ? 1 : -1;
}

int CheckAvrLock119() {
    return CheckLockBits((g_id119.lockFuse & 0x80) == 0, (g_id119.lockFuse & 0x40) == 0);
}

void AvrHvClocks(int n) {
    for (int i = 0; i < n; ++i) {
        SetPin(kAvrSerXtal1, 1);
        SetPin(kAvrSerXtal1, 0);
    }
}

// High-voltage entry: VCC with RESET and SDI low, XTAL1 clocks, then 12 V
// on RESET.
void AvrHvPowerUp() {
    WriteRegister(25, 15);
    SetVccRange(0, static_cast<int>(Vccp / 10));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(kAvrSerMosi, 0);
    SetPin(kAvrSerXtal1, 0);
    SetPin(kAvrSerReset, 0);
    SetDevicePower(1, 50);
    DelayMsSlot(20);
    AvrHvClocks(20);
    SetDeviceVpp(1, 120);
    FloatPinRange(kAvrSerReset, kAvrSerReset);
}

void AvrHvPowerDown() {
    SetDeviceVpp(0, 50);
    FloatPinRange(kAvrSerReset, kAvrSerReset);
    SetDevicePower(0, 50);
    ResetProgrammerOutputs();
}

// One high-voltage instruction frame: a 0 start bit, SDI and SII bit 7
// first, two 0 stop bits, a clock each. Returns SDO sampled before each of
// the first eight clocks: what the previous frame's OE low latched.
uint32_t AvrHvFrame(uint32_t sdi, uint32_t sii) {
    uint32_t out = 0;
    for (int k = 0; k < 11; ++k) {
        const bool data = k >= 1 && k <= 8;
        SetPin(kAvrSerMosi, data ? static_cast<int>(sdi >> (8 - k) & 1) : 0);
        SetPin(kAvrSerMiso, data ? static_cast<int>(sii >> (8 - k) & 1) : 0);
        if (k < 8) out = out << 1 | (GetPin(kAvrSerSck) == 1 ? 1u : 0u);
        AvrHvClocks(1);
    }
    return out;
}

int Alg119Identify() {
    AvrHvPowerUp();
    AvrHvFrame(0x08, 0x4C); // read signature
    for (uint32_t i = 0; i < 3; ++i) {
        AvrHvFrame(i, 0x0C);
        AvrHvFrame(0x00, 0x68);
        g_id119.signature[i] = static_cast<uint8_t>(AvrHvFrame(0x00, 0x6C));
    }
    AvrHvFrame(0x04, 0x4C); // read fuse and lock bits
    AvrHvFrame(0x00, 0x78);
    g_id119.lockFuse = AvrHvFrame(0x00, 0x7C);
    AvrHvPowerDown();
    ChipMakerId = g_id119.signature[0];
    ChipDeviceId = g_id119.signature[1];
    return 1;
}

int Alg119Read(int mode) {
    if (CheckAvrLock119() != 1) return -1;
    int r = AvrSpiPowerUp(kAvrRead);
    if (r == 1) {
        for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ChipAddress = NextFlashWord(ChipAddress)) {
            if ((r = StepProgress(ChipAddress)) != 1) break;
            const uint32_t w = ChipAddress / 2;
            ReadValue = AvrSpiRead(0x20, w) | AvrSpiRead(0x28, w) << 8;
            if ((r = ProcessFlashWord(mode)) != 1) break;
        }
    }
    if (r == 1) {
        StartEepromImage();
        for (ChipAddress = 0; ChipAddress < kAvrSerialEeprom; ++ChipAddress) {
            ReadValue = AvrSpiRead(0xA0, ChipAddress);
            CellAtPlace(uint64_t{DeviceEnd} + 1 + ChipAddress);
            if ((r = ProcessReadByte(mode)) != 1) break;
        }
    }
    AvrSpiPowerDown();
    return r;
}

int Alg119Program() {
    if (CheckAvrLock119() != 1) return -1;
    int r = AvrSpiPowerUp(kAvrProgram);
    if (r == 1) r = AvrSpiEnable();
    if (r == 1) {
        // Low and high bytes have instructions of their own, so a range may
        // start and end inside a word.
        for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
            const int high = ChipAddress & 1;
            if ((high == 0 || ChipAddress == DeviceStart) && (r = StepProgress(ChipAddress)) != 1) break;
            ExpectedValue = BufferByteAt(BufferIndex);
            if ((r = AvrSpiProgramByte(high)) != 1) break;
            BufferIndex += 1;
        }
    }
    if (r == 1) {
        StartEepromImage();
        for (ChipAddress = 0; ChipAddress < kAvrSerialEeprom; ++ChipAddress) {
            ExpectedValue = BufferByteAt(BufferIndex);
            if ((r = AvrSpiProgramByte(2)) != 1) break;
            BufferIndex += 1;
        }
    }
    AvrSpiPowerDown();
    return r;
}

int Alg119Erase() {
    int r = AvrSpiPowerUp(kAvrProgram);
    if (r == 1) {
        AvrSpiInstruction(0xAC, 0x80, 0x00, 0x00);
        DelayMsSlot(kAvrSerialEraseMs);
    }
    AvrSpiPowerDown();
    Alg119Identify();
    return r;
}

int Alg119Secure() {
    if (CheckAvrLock119() != 1) return -1;
    int r = AvrSpiPowerUp(kAvrProgram);
    if (r == 1) {
        ExpectedValue = AvrLockMode == 0 ? 0xFD : 0xF9;
        AvrSpiInstruction(0xAC, ExpectedValue, 0x00, 0x00);
        DelayMsSlot(kAvrSerialWriteMs);
    }
    AvrSpiPowerDown();
    if (r != 1) return r;
    // Every lock bit the mode asks for must read programmed.
    Alg119Identify();
    return LockBitsTook(g_id119.lockFuse, AvrLocksAsked(false, AvrLockMode)) ? 1 : -1;
}

int Alg117Identify() { return IdentifyParallel(kAvrRow117); }
int Alg117Read(int mode) { return ReadParallel(kAvrRow117, mode); }
int Alg117Program() { return ProgramParallel(kAvrRow117); }
int Alg117Erase() { return EraseParallel(kAvrRow117); }
int Alg117Secure() { return SecureParallel(kAvrRow117); }
int Alg125Identify() { return IdentifyParallel(kAvrRow125); }
int Alg125Read(int mode) { return ReadParallel(kAvrRow125, mode); }
int Alg125Program() { return ProgramParallel(kAvrRow125); }
int Alg125Erase() { return EraseParallel(kAvrRow125); }
int Alg125Secure() { return SecureParallel(kAvrRow125); }

int Alg117Options() {
    if (g_launcher != nullptr) g_launcher();
    return AvrFuseResult;
}
int Alg125Options() { return Alg117Options(); }

// The EEPROM image's bytes after the flash range: by sub-variant on the
// parallel rows (none past the table, which the row refuses), 128 on row 119.
uint32_t ParallelEepromBytes() {
    return DeviceSubVariant < AvrEepromSizeCount ? kAvrEepromSizes[DeviceSubVariant] : 0;
}
uint32_t SerialEepromBytes() { return kAvrSerialEeprom; }

// The EEPROM image's buffer bytes, from Chip End + 1 whatever Buffer Start
// says: a range whose own buffer bytes met them would program flash data
// into the EEPROM, and a read would overwrite one with the other.
std::vector<FixedBufferPlace> EepromPlace(uint32_t bytes) {
    if (bytes == 0) return {};
    return {{.First = DeviceEnd + 1, .Last = DeviceEnd + bytes, .Chip = 0, .Memory = "EEPROM"}};
}
std::vector<FixedBufferPlace> ParallelEepromPlace() { return EepromPlace(ParallelEepromBytes()); }
std::vector<FixedBufferPlace> SerialEepromPlace() { return EepromPlace(SerialEepromBytes()); }

std::string AvrParallelRecordCheck(uint32_t row, const RowRecordFacts& record) {
    if (row == 117 && LayoutFor(record.PackagePins, nullptr) == nullptr)
        return "package of " + std::to_string(record.PackagePins) + " pins (20, 28, 40 or 44)";
    if (row == 125 && record.PackagePins != 28) return "package of " + std::to_string(record.PackagePins) + " pins (28)";
    if (row == 119 && record.PackagePins != 8)
        return "package of " + std::to_string(record.PackagePins) + " pins (8)";
    return {};
}

} // namespace

const uint8_t* AvrSignature(uint32_t row) {
    return row == 125 ? g_id125.signature : row == 119 ? g_id119.signature : g_id117.signature;
}

uint32_t AvrLockFuseByte(uint32_t row) {
    return row == 125 ? g_id125.lockFuse : row == 119 ? g_id119.lockFuse : g_id117.lockFuse;
}

void ReadAvrFuses117() {
    Alg117Identify();
    AvrFuseSpien = static_cast<int>(g_id117.lockFuse >> 5 & 1);
    AvrFuseFstr = static_cast<int>(g_id117.lockFuse & 1);
}

void ReadAvrFuses125() {
    Alg125Identify();
    for (int i = 0; i < AvrFuse125Count; ++i) AvrFuses125[i] = static_cast<int>(g_id125.lockFuse >> (5 - i) & 1);
}

int WriteAvrFuses117() {
    const uint32_t value = static_cast<uint32_t>((AvrFuseSpien & 1) << 5 | (AvrFuseFstr & 1)) | 0xDE;
    return WriteFusesParallel(kAvrRow117, value, 0x21);
}

int WriteAvrFuses125() {
    uint32_t value = 0xFFC0;
    for (int i = 0; i < AvrFuse125Count; ++i) value |= static_cast<uint32_t>(AvrFuses125[i] & 1) << (5 - i);
    return WriteFusesParallel(kAvrRow125, value, 0x3F);
}

void ReadAvrFuses119() {
    Alg119Identify();
    AvrFuseSpien = static_cast<int>(g_id119.lockFuse >> 5 & 1);
    AvrFuseFstr = static_cast<int>(g_id119.lockFuse & 1);
}

// Programs SPIEN and RCEN (or FSTRT) through the high-voltage interface, the
// WR low time the fuse write takes, then reads them back.
int WriteAvrFuses119() {
    const int spien = AvrFuseSpien & 1, rcen = AvrFuseFstr & 1;
    ExpectedValue = static_cast<uint32_t>(spien << 5 | rcen);
    Alg119Identify();
    AvrHvPowerUp();
    AvrHvFrame(0x40, 0x4C); // write fuse bits
    AvrHvFrame(ExpectedValue, 0x2C);
    AvrHvFrame(0x00, 0x64); // WR low
    DelayMsSlot(1);
    AvrHvFrame(0x00, 0x6C);
    AvrHvPowerDown();
    Alg119Identify();
    return static_cast<int>(g_id119.lockFuse >> 5 & 1) == spien &&
                   static_cast<int>(g_id119.lockFuse & 1) == rcen
               ? 1
               : -1;
}

void InstallAvrDialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

// The rows of this family. Program takes the flash bytes and the EEPROM
// image from consecutive buffer bytes whatever the split mode: no byte lanes.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 117,
     .Identify = Alg117Identify,
     .Read = Alg117Read,
     .Program = Alg117Program,
     .Erase = Alg117Erase,
     .Secure = Alg117Secure,
     .Options = Alg117Options,
     .SubVariantCount = AvrEepromSizeCount,
     .SubVariantTable = "EEPROM size table",
     .RecordCheck = AvrParallelRecordCheck,
     .ImageAfterRange = ParallelEepromBytes,
     .NoByteLanes = true,
     .FixedPlaces = ParallelEepromPlace},
    {.Row = 119,
     .Identify = Alg119Identify,
     .Read = Alg119Read,
     .Program = Alg119Program,
     .Erase = Alg119Erase,
     .Secure = Alg119Secure,
     .Options = Alg117Options,
     .RecordCheck = AvrParallelRecordCheck,
     .ImageAfterRange = SerialEepromBytes,
     .NoByteLanes = true,
     .FixedPlaces = SerialEepromPlace},
    {.Row = 125,
     .Identify = Alg125Identify,
     .Read = Alg125Read,
     .Program = Alg125Program,
     .Erase = Alg125Erase,
     .Secure = Alg125Secure,
     .Options = Alg125Options,
     .SubVariantCount = AvrEepromSizeCount,
     .SubVariantTable = "EEPROM size table",
     .RecordCheck = AvrParallelRecordCheck,
     .ImageAfterRange = ParallelEepromBytes,
     .NoByteLanes = true,
     .FixedPlaces = ParallelEepromPlace},
};

ROW_FAMILY("Avr", Mcu, 320, kAlgorithmRows);

void ResetAvrState() {
    AvrFuseSpien = AvrFuseFstr = 0;
    AvrLockMode = AvrLockMode125 = 1;
    for (int& f : AvrFuses125) f = 0;
    AvrFuseResult = 0;
    g_id117 = g_id119 = g_id125 = AvrIdentity{};
}
