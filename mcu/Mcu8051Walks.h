// The 8051 family's shared pieces, for the family files in mcu/: socket
// layouts, mode lines, the address and data lines, the pulse train on
// ALE/PROG and the read and program walks that every row runs with its own
// power-up, read cycle and per-cell routine.
#pragma once
#include <cstdint>
#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/RowDef.h"
#include "engine/RowHooks.h"

namespace mcu8051 {

// Socket pins of a row's roles (0 = the layout has none).
struct Layout8051 {
    uint8_t address[16]; // A0 first
    uint8_t addressCount;
    uint8_t data[8]; // D0 first
    uint8_t rst, p26, strobe, p33, p36, p37, psen, ale, ea, xtal1;
    uint8_t control[8]; // C0 first: row 107's control code, or a row's mode group
};

// The layout in use.
extern const Layout8051* ActiveLayout;

// The layout by package pin count: nullptr, with a detail line, for a
// package of neither 40 nor 44 pins.
const Layout8051* LayoutByPinCount(const Layout8051 (&table)[2]);
// Fills McuPinMap and defines pin groups 0 (address), 1 (data) and 2 (the
// control pins up to the first 0).
void UseLayout(const Layout8051& l);

// Levels of P2.6, the strobe line (P2.7), P3.3, P3.6, P3.7; -1 leaves a line.
struct ModeLines {
    int8_t p26, strobe, p33, p36, p37;
};
// The port-mode rows' functions.
inline constexpr ModeLines kReadCode{0, -1, 0, 1, 1};
inline constexpr ModeLines kWriteCode{0, 1, 1, 1, 1};
inline constexpr ModeLines kLock1{1, 1, 1, 1, 1};
inline constexpr ModeLines kLock2{1, 1, 1, 0, 0};
inline constexpr ModeLines kLock3{1, 0, 1, 1, 0};
inline constexpr ModeLines kReadSignature{0, 0, 0, 0, 0};
inline constexpr ModeLines kNoLines{-1, -1, -1, -1, -1};
void SetLine(int pin, int level);
void SetModeLines(const ModeLines& m);
// Writes a value to the control group (pin group 2), bit 0 on its first pin.
void SetControl(uint32_t code);

// The high address lines at every 256-byte boundary and at the first address
// of a walk, then the low byte.
void DriveAddress(uint32_t a, bool first);
void DriveData(uint32_t v);

// DAC channel 1 (EA/VPP on supply A) at `tenths`, n low pulses of widthUs on
// ALE/PROG with 10 us after each, then back to 5.0 V.
void DacPulses(int tenths, int n, uint32_t widthUs);
// Up to `polls` times: wait intervalUs and read the ready pin; 1 when it
// reads high, -1 when it never did.
int WaitReady(int pin, int polls, uint32_t intervalUs);

// Vccp for programming phases, the read VCC for phase 2.
uint32_t PhaseSupply(int phase);

// What a row brings to the shared walks.
struct Row8051 {
    bool (*powerUp)(int phase);
    void (*powerDown)();
    void (*read)();                  // one code byte into ReadValue
    ModeLines readLines, writeLines; // -1 throughout: the row sets its modes itself
    int (*programByte)();            // ExpectedValue at ChipAddress: 1 or -1
    // Puts the chip at an address (default DriveAddress).
    void (*address)(uint32_t a, bool first) = nullptr;
    // Reads go through the encryption table when it is enabled.
    bool decodes = true;
    // Control-group values the walks write before reading or programming
    // (-1: none).
    int32_t readControl = -1, writeControl = -1;
    // An address of the range that the part gives to a register, not to a
    // code byte (the row handles the register after the range): Program
    // writes nothing there but hands the user's byte to `registerByte`;
    // Read stores what the part shows there, Verify and Compare check a
    // user's byte there against it (a blank FFh is nothing to check), blank
    // checks pass over it.
    bool (*registerAt)(uint32_t a) = nullptr;
    void (*registerByte)(uint8_t userByte) = nullptr;
};
int ReadRange(const Row8051& row, int mode);
int ProgramRange(const Row8051& row);

// Program with retry: the row's write function and the data set before every
// attempt, then the row's pulses and a read-back on every gang socket;
// `Attempts` attempts. A blank cell (FFh) gets no pulse.
template <void (*Prepare)(), void (*Pulse)(int), void (*Read)(), int (*Count)(), int Attempts = 25>
int ProgramByteWithRetry() {
    if (ExpectedValue == 0xFF) return 1;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        Prepare();
        DriveData(ExpectedValue);
        Pulse(Count());
        bool all = true;
        for (uint32_t s = 0; s <= LastSocketIndex && all; ++s) {
            Read();
            all = (ReadValue & 0xFF) == (ExpectedValue & 0xFF);
        }
        if (all) return 1;
    }
    return -1;
}
int RetryCount();
void NoPrepare();

// Lock bits 1 to `locks` in the lock-bit modes of the port-mode rows (lock
// bit 3 with the strobe line low), data lines FFh, one pulse(pulses) each;
// the strobe line ends high.
void WriteLocks(int locks, void (*pulse)(int), int pulses);
// The lock byte read back (a programmed bit reads 0: bit 7 lock bit 1, bit 6
// lock bit 2, bit 3 lock bit 3) as the " Device secured!" line of the
// highest level set; nothing when lock bit 1 is clear.
void ShowLockState(uint32_t lockByte);
// The same line from the lock bits as read (true: programmed).
void ShowLockBits(bool lb1, bool lb2, bool lb3);

// Record checks of the encryption-table rows: the pulse count in
// DeviceSubVariant bits 0-5 (rows that take Retry from it) and the
// encryption array's size as Page. Empty when the record is consistent.
std::string PulseCountCheck(uint32_t row, const RowRecordFacts& record);
std::string TableSizeCheck(uint32_t row, const RowRecordFacts& record);
std::string PulseAndTableCheck(uint32_t row, const RowRecordFacts& record);

} // namespace mcu8051
