// Microcontrollers behind a nibble handshake of their logic image (rows 171
// and 174): commands on register 1 with busy on register 3 bit 7, 10-bit
// addresses in 5-bit halves and bytes in nibbles through register 3, every
// byte bit-reversed on the chip's data lines, and a lock bit.

#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

enum RegisterNib : uint32_t { RegCycle = 0, RegCommand = 1, RegHalf = 3, RegLines = 4, RegPins = 5 };
enum : uint32_t { CycleAddress = 0, CycleWrite = 8, CycleRead = 13, CyclePulse = 14 };
enum : uint32_t { ModeMemory = 6, ModeLock = 4, ModeCheck = 5 };
constexpr uint32_t kAttempts = 25;
// The logic's busy wait gives up after this many reads.
constexpr int kBusyReads = 1000;

// The command codes of one row.
struct NibbleCodes {
    uint32_t row;
    uint32_t pins;        // register 5 at power-up
    uint32_t beforeVpp;   // power-up, before the programming voltage
    uint32_t afterVpp;    // power-up, after it
    uint32_t shift;       // after each address half and data nibble
    uint32_t endWrite;    // end of a data write
    uint32_t startRead;   // start of a read
    uint32_t nextNibble;  // between the read nibbles
    uint32_t endRead;     // after them
    uint32_t pulse;       // program pulse
    uint32_t pulses;      // pulses per attempt
    uint32_t pulseWaitUs; // wait before each pulse
};

constexpr NibbleCodes kCodes171{171, 2, 12, 13, 8, 16, 37, 8, 3, 24, 40, 0};
constexpr NibbleCodes kCodes174{174, 3, 6, 15, 1, 2, 4, 1, 1, 6, 10, 10};

uint32_t Reverse(uint32_t v) {
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i) r |= (v >> i & 1) << (7 - i);
    return r;
}

// The command, then register 3 read while its bit 7 reports busy, at most
// kBusyReads times; a busy bit that never clears is not reported.
void Command(uint32_t c) {
    WriteRegister(RegCommand, c);
    for (int i = 0; i < kBusyReads && (ReadRegister(RegHalf) & 0x80) != 0; ++i) {
    }
}

// purpose 1 programs, 2 reads; mode 6 memory, 4 lock programming, 5 lock check.
void PowerUp(const NibbleCodes& k, int purpose, uint32_t mode) {
    ReadBackAfterSecure = 0;
    ProgressStep = 16;
    SupplyVoltage = purpose == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    WriteRegister(RegCycle, mode);
    WriteRegister(RegCommand, 0);
    WriteRegister(RegLines, 5);
    WriteRegister(RegPins, k.pins);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    Command(k.beforeVpp);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    WriteRegister(RegLines, 1);
    Command(k.afterVpp);
    DelayMsSlot(10);
}

void PowerDown() {
    WriteRegister(RegLines, 5);
    SetDeviceVpp(0, 50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(RegLines, 0);
    ResetProgrammerOutputs();
    DelayMsSlot(500);
}

// Addresses are 10 bits wide: higher ones wrap (the librarian keeps records
// of these rows within 1 KB).
void LoadAddress(const NibbleCodes& k, uint32_t a) {
    WriteRegister(RegLines, 1);
    WriteRegister(RegCycle, CycleAddress);
    WriteRegister(RegHalf, a >> 5 & 0x1F);
    Command(k.shift);
    WriteRegister(RegHalf, a & 0x1F);
    Command(k.shift);
}

void WriteData(const NibbleCodes& k, uint32_t d) {
    WriteRegister(RegCycle, CycleWrite);
    WriteRegister(RegHalf, d >> 4 & 0x0F);
    Command(k.shift);
    WriteRegister(RegHalf, d & 0x0F);
    Command(k.shift);
    WriteRegister(RegLines, 3);
    Command(k.endWrite);
}

// The two nibbles of the byte the chip drives after `start`, into ReadValue.
void ReadNibbles(const NibbleCodes& k, uint32_t start) {
    WriteRegister(RegCycle, CycleRead);
    Command(start);
    const uint32_t high = ReadRegister(RegHalf) & 0x0F;
    Command(k.nextNibble);
    const uint32_t low = ReadRegister(RegHalf) & 0x0F;
    Command(k.endRead);
    ReadValue = high * 16 + low;
}

// One attempt at ChipAddress with r (already reversed): 1 when it reads back.
int ProgramAttempt(const NibbleCodes& k, uint32_t r) {
    LoadAddress(k, ChipAddress);
    WriteData(k, r);
    WriteRegister(RegCycle, CyclePulse);
    for (uint32_t i = 0; i < k.pulses; ++i) {
        if (k.pulseWaitUs != 0) DelayUsSlot(k.pulseWaitUs);
        Command(k.pulse);
    }
    ReadNibbles(k, k.startRead);
    return ReadValue == r ? 1 : -1;
}

// Blank bytes (FFh) get no attempt.
int ProgramWithRetry(const NibbleCodes& k) {
    if (ExpectedValue == 0xFF) return 1;
    const uint32_t r = Reverse(ExpectedValue);
    for (uint32_t n = 0; n < kAttempts; ++n) {
        if (ProgramAttempt(k, r) == 1) return 1;
    }
    return -1;
}

int ProgramRow(const NibbleCodes& k) {
    PowerUp(k, 1, ModeMemory);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if ((r = ProgramWithRetry(k)) == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) == -1) break;
    }
    PowerDown();
    return r;
}

int ReadRow(const NibbleCodes& k, int mode) {
    PowerUp(k, 2, ModeMemory);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        LoadAddress(k, ChipAddress);
        if (k.row == 171) {
            WriteData(k, 0xFF);
            ReadNibbles(k, k.startRead);
        } else {
            WriteRegister(RegLines, 3);
            ReadNibbles(k, k.endWrite);
        }
        ReadValue = Reverse(ReadValue);
        r = ProcessReadByte(mode);
        if (r == -1) break;
        if (BufferIndex >= 0x10000 && mode != 0 && (r = AdvanceToNextBank()) != 1) break;
    }
    PowerDown();
    return r;
}

// 1 when the lock reads set (bit 5 low), else -1.
int LockCheck(const NibbleCodes& k) {
    PowerUp(k, 1, ModeCheck);
    if (k.row == 171) {
        Command(4);
        ReadValue = ReadRegister(RegHalf) & 0x20;
    } else {
        WriteRegister(RegCycle, CycleRead);
        Command(24);
        ReadValue = ReadRegister(RegHalf) & 0x20;
        Command(24);
    }
    PowerDown();
    return ReadValue == 0 ? 1 : -1;
}

int Alg171Read(int mode) { return ReadRow(kCodes171, mode); }
int Alg171Program() { return ProgramRow(kCodes171); }
int Alg174Read(int mode) { return ReadRow(kCodes174, mode); }
int Alg174Program() { return ProgramRow(kCodes174); }

int Alg171Secure() {
    PowerUp(kCodes171, 1, ModeLock);
    WriteRegister(RegCycle, CycleAddress);
    Command(6);
    WriteRegister(RegCycle, CyclePulse);
    for (int i = 0; i < 10; ++i) Command(6);
    PowerDown();
    return LockCheck(kCodes171);
}

// The lock takes one program attempt of FFh at whatever address ChipAddress
// holds; the attempt's own result does not count.
int Alg174Secure() {
    PowerUp(kCodes174, 1, ModeLock);
    ProgramAttempt(kCodes174, 0xFF);
    PowerDown();
    return LockCheck(kCodes174);
}

// The rows send addresses modulo 1024: a larger record would write over its
// first kilobyte.
std::string NibbleSizeCheck(uint32_t row, const RowRecordFacts& record) {
    if (record.DeviceSize > 0x400)
        return "size " + std::to_string(record.DeviceSize) + " past algorithm " + std::to_string(row) +
               "'s 10-bit addresses (1024 bytes)";
    return {};
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 171, .Read = Alg171Read, .Program = Alg171Program, .Secure = Alg171Secure, .RecordCheck = NibbleSizeCheck},
    {.Row = 174, .Read = Alg174Read, .Program = Alg174Program, .Secure = Alg174Secure, .RecordCheck = NibbleSizeCheck},
};

ROW_FAMILY("NibbleMcu", Mcu, 240, kAlgorithmRows);
