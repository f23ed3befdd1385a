// Rows 283 and 284: serial PLDs programmed a column at a time through the
// column bus image. A column's data bits and its Gray-coded column address
// are clocked into one chain through register 1, register 2 loads a column
// for reading, register 4 gates the supply, programming voltage and pulse,
// and register 9 bit 0 is the data output. Which fuse each (column, bit)
// cell holds comes from a fuse-number map in the device library (entry 207
// for row 283, 209 for row 284): one little-endian word per cell, a word at
// or above the row's no-fuse limit naming no fuse.

#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Buffer.h"
#include "engine/Services.h"
#include "logic/FuseCells.h"

namespace {

// What the shared walks need of a member; the member's own routines do the
// register traffic.
struct ColumnMember {
    int Columns;
    int Stages;                 // data bits per column
    uint32_t NoFuse;            // map words at or above it name no fuse
    bool ClockAfterLastRead;    // one shift after the last bit read
    uint32_t (*ColumnAddress)(int column);
    uint32_t (*MapWord)(int column, int stage);
    int (*PowerUp)(int mode);
    void (*PowerDown)();
    void (*ShiftBit)(int bit);
    void (*ShiftAddress)(uint32_t code);
    void (*Pulse)(uint32_t ms);
};

uint32_t Gray(uint32_t n) {
    return n ^ (n >> 1);
}

// Opens a member's map. An entry shorter than the map reads as missing: a
// word past its end would read 0 and send the cell to fuse 0.
bool OpenMap(uint32_t entry, uint32_t words) {
    const uint32_t size = OpenLibraryEntry(entry);
    return size != 0 && size >= 2 * words;
}

void LoadColumn() {
    WriteRegister(2, 1);
    DelayShortUsSlot(10);
    WriteRegister(2, 0);
}

// ---- row 283: 84 columns in two halves of 42, 255 bits, map entry 207 ----

constexpr uint32_t kMap283Entry = 207, kMap283Words = 21930;
constexpr int kVpp283Pin = 3;

void Alg283ShiftBit(int bit) {
    const uint32_t v = bit ? 6 : 4;
    WriteRegister(1, v);
    WriteRegister(1, v + 1);
    WriteRegister(1, v);
    WriteRegister(1, 4);
}

void Alg283ShiftAddress(uint32_t code) {
    for (int k = 6; k >= 0; --k)
        Alg283ShiftBit(static_cast<int>((code >> k) & 1));
}

uint32_t Alg283ColumnAddress(int column) {
    return Gray(static_cast<uint32_t>(column % 42)) + (column >= 42 ? 64u : 0u);
}

uint32_t Alg283MapWord(int column, int stage) {
    return 10965u * static_cast<uint32_t>(column / 42) + 43u * static_cast<uint32_t>(stage) +
           static_cast<uint32_t>(column % 42);
}

int Alg283PowerUp(int mode) {
    if (!OpenMap(kMap283Entry, kMap283Words)) return -1;
    ReadBackAfterSecure = 0;
    if (mode == 1) {
        SupplyVoltage = 50;
        Vccp = 50;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    const int supply = static_cast<int>(SupplyVoltage);
    SetVccRange(0, supply);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(0, 0);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    WriteRegister(4, 6);
    SetDevicePower(1, supply);
    DelayShortUsSlot(500);
    ApplyVoltageToPin(1, kVpp283Pin, 1, 120);
    WriteRegister(4, 7);
    DelayShortUsSlot(500);
    WriteRegister(4, 5);
    return 1;
}

void Alg283PowerDown() {
    WriteRegister(4, 7);
    DelayShortUsSlot(100);
    ApplyVoltageToPin(1, kVpp283Pin, 0, 50);
    DelayShortUsSlot(100);
    WriteRegister(4, 6);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

void Alg283Pulse(uint32_t ms) {
    WriteRegister(0, 1);
    WriteRegister(4, 13);
    DelayMsSlot(ms);
    WriteRegister(4, 5);
    WriteRegister(0, 0);
}

constexpr ColumnMember kMember283 = {84,
                                     255,
                                     60000,
                                     false,
                                     Alg283ColumnAddress,
                                     Alg283MapWord,
                                     Alg283PowerUp,
                                     Alg283PowerDown,
                                     Alg283ShiftBit,
                                     Alg283ShiftAddress,
                                     Alg283Pulse};

// ---- row 284: 46 columns, 132 bits, map entry 209 ----

constexpr uint32_t kMap284Entry = 209, kMap284Words = 6072;
constexpr int kVpp284Pin = 13;

void Alg284ShiftBit(int bit) {
    if (bit) {
        WriteRegister(1, 2);
        WriteRegister(1, 3);
        WriteRegister(1, 2);
    } else {
        WriteRegister(1, 1);
        WriteRegister(1, 0);
    }
    WriteRegister(1, 0);
}

void Alg284ShiftAddress(uint32_t code) {
    for (int k = 5; k >= 0; --k)
        Alg284ShiftBit(static_cast<int>((code >> k) & 1));
}

uint32_t Alg284ColumnAddress(int column) {
    return Gray(static_cast<uint32_t>(column));
}

uint32_t Alg284MapWord(int column, int stage) {
    return 46u * static_cast<uint32_t>(stage) + static_cast<uint32_t>(column);
}

int Alg284PowerUp(int mode) {
    if (!OpenMap(kMap284Entry, kMap284Words)) return -1;
    ReadBackAfterSecure = 0;
    if (mode == 1) {
        SupplyVoltage = DeviceVariant == 0 ? 30 : 50;
        Vccp = SupplyVoltage;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    const int supply = static_cast<int>(SupplyVoltage);
    SetVccRange(0, supply);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(0, 0);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    WriteRegister(4, 2);
    SetDevicePower(1, supply);
    DelayShortUsSlot(500);
    ApplyVoltageToPin(1, kVpp284Pin, 1, 120);
    WriteRegister(4, 3);
    DelayShortUsSlot(500);
    return 1;
}

void Alg284PowerDown() {
    ApplyVoltageToPin(1, kVpp284Pin, 0, 50);
    DelayShortUsSlot(100);
    WriteRegister(4, 2);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

void Alg284Pulse(uint32_t ms) {
    WriteRegister(0, 1);
    WriteRegister(4, 11);
    DelayMsSlot(ms);
    WriteRegister(4, 3);
    WriteRegister(0, 0);
}

constexpr ColumnMember kMember284 = {46,
                                     132,
                                     9000,
                                     true,
                                     Alg284ColumnAddress,
                                     Alg284MapWord,
                                     Alg284PowerUp,
                                     Alg284PowerDown,
                                     Alg284ShiftBit,
                                     Alg284ShiftAddress,
                                     Alg284Pulse};

// ---- the walks both members share ----

int ColumnProgram(const ColumnMember& m) {
    if (m.PowerUp(1) == -1) return -1;
    for (int c = 0; c < m.Columns; ++c) {
        for (int p = m.Stages - 1; p >= 0; --p) {
            const uint32_t fuse = ReadLibraryWord(m.MapWord(c, p));
            FailAddress = fuse;
            int bit = 1;
            if (fuse < m.NoFuse) {
                StepProgressByAddress(fuse);
                bit = static_cast<int>(GetBufferBit(fuse) & 1);
            }
            m.ShiftBit(bit);
        }
        m.ShiftAddress(m.ColumnAddress(c));
        m.Pulse(10);
    }
    m.PowerDown();
    return 1;
}

int ColumnRead(const ColumnMember& m, int mode) {
    if (m.PowerUp(2) == -1) return -1;
    WriteRegister(0, 2);
    int result = 1;
    for (int c = 0; c < m.Columns && result != -1; ++c) {
        m.ShiftAddress(m.ColumnAddress(c));
        LoadColumn();
        for (int i = 0; i < m.Stages; ++i) {
            ReadValue = ReadRegister(9);
            if (i < m.Stages - 1 || m.ClockAfterLastRead) m.ShiftBit(0);
            const uint32_t fuse = ReadLibraryWord(m.MapWord(c, m.Stages - 1 - i));
            if (fuse >= m.NoFuse) continue;
            result = CheckFuseBit(static_cast<int>(fuse), 0, static_cast<int>(ReadValue), mode);
            if (result == -1) break;
        }
    }
    m.PowerDown();
    return result;
}

int ColumnErase(const ColumnMember& m, uint32_t pulseCode, uint32_t readyCode) {
    if (m.PowerUp(1) == -1) return -1;
    WriteRegister(4, pulseCode);
    DelayMsSlot(100);
    WriteRegister(4, readyCode);
    m.PowerDown();
    return 1;
}

// ---- slots ----

int Alg283Read(int mode) {
    return ColumnRead(kMember283, mode);
}
int Alg283Program() {
    return ColumnProgram(kMember283);
}
int Alg283Erase() {
    return ColumnErase(kMember283, 13, 5);
}

int Alg283ProgramSecurityBit() {
    if (Alg283PowerUp(1) == -1) return -1;
    WriteRegister(0, 0);
    for (int i = 0; i < 254; ++i)
        Alg283ShiftBit(1);
    Alg283ShiftBit(0);
    Alg283ShiftAddress(124);
    Alg283Pulse(10);
    Alg283PowerDown();
    return 1;
}

// The security cell as read at its own address: 1 clear, 0 set; -1 when
// the part cannot be powered.
int Alg283ReadSecurityBit() {
    if (Alg283PowerUp(2) == -1) return -1;
    WriteRegister(0, 2);
    for (int i = 0; i < 255; ++i)
        Alg283ShiftBit(0);
    Alg283ShiftAddress(62);
    LoadColumn();
    Alg283ShiftBit(0);
    ReadValue = ReadRegister(9) & 1u;
    Alg283PowerDown();
    return static_cast<int>(ReadValue);
}

// Secure's result from the security cell read back (0 set, 1 clear, -1 no
// read): a cell still clear did not take.
int SecurityBitResult(int bit) {
    if (bit == 0) return 1;
    if (bit == 1) LockNotTaken(" Security bit not programmed.");
    return -1;
}

int Alg283Secure() {
    if (Alg283ProgramSecurityBit() == -1) return -1;
    return SecurityBitResult(Alg283ReadSecurityBit());
}

int Alg284Read(int mode) {
    return ColumnRead(kMember284, mode);
}
int Alg284Program() {
    return ColumnProgram(kMember284);
}
int Alg284Erase() {
    return ColumnErase(kMember284, 11, 3);
}

int Alg284ProgramSecurityBit() {
    if (Alg284PowerUp(1) == -1) return -1;
    WriteRegister(0, 0);
    Alg284ShiftBit(0);
    for (int i = 0; i < 131; ++i)
        Alg284ShiftBit(1);
    Alg284ShiftAddress(59);
    Alg284Pulse(10);
    Alg284PowerDown();
    return 1;
}

// The security cell as read at its own address: 1 clear, 0 set; -1 when
// the part cannot be powered.
int Alg284ReadSecurityBit() {
    if (Alg284PowerUp(2) == -1) return -1;
    WriteRegister(0, 2);
    for (int i = 0; i < 132; ++i)
        Alg284ShiftBit(0);
    Alg284ShiftAddress(47);
    LoadColumn();
    Alg284ShiftBit(0);
    ReadValue = ReadRegister(9) & 1u;
    Alg284PowerDown();
    return static_cast<int>(ReadValue);
}

int Alg284Secure() {
    if (Alg284ProgramSecurityBit() == -1) return -1;
    return SecurityBitResult(Alg284ReadSecurityBit());
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 283, .Read = Alg283Read, .Program = Alg283Program, .Erase = Alg283Erase, .Secure = Alg283Secure},
    {.Row = 284, .Read = Alg284Read, .Program = Alg284Program, .Erase = Alg284Erase, .Secure = Alg284Secure},
};

} // namespace

ROW_FAMILY("ColumnPld", Logic, 320, kAlgorithmRows);
