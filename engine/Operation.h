// The operation driver: one OperationCode becomes a run on the programmer.
// It checks the link, checks the chip's identity where the section asks for
// it, runs the operation's steps through the current AlgorithmTable row (once
// per gang socket or once for all), rewrites each step's log line with its
// result, and closes the run with the pass lamps, the beep, the fail address,
// the elapsed time and the counters.
#pragma once
#include <cstdint>
#include <string>

#include "engine/OperationState.h"

// What the user asked for.
enum OperationCode : int {
    OpBlankCheck = 0,
    OpProgram = 1,
    OpRead = 2,
    OpVerify = 3,
    OpCompare = 4,
    OpErase = 5,
    OpSecurity = 6,
    OpEncryption = 7,
    OpAuto = 10,
};

// Results of runs, steps and entries.
enum OperationResult : int { ResultOk = 1, ResultFailed = -1, ResultUserBreak = 3 };

// How a Read entry treats each datum (ProcessReadByte, ProcessReadWord).
enum ReadMode : int {
    ReadModeBlank = 0,
    ReadModeVerifyAtVccp = 1,
    ReadModeRead = 2,
    ReadModeVerify = 3,
    ReadModeCompare = 4,
    ReadModeSecureCheck = 6,
};

// Bits of SupportedOperationMask.
enum : uint32_t {
    OpMaskBlankCheck = 1u << 0,
    OpMaskProgram = 1u << 1,
    OpMaskRead = 1u << 2,
    OpMaskVerify = 1u << 3,
    OpMaskCompare = 1u << 4,
    OpMaskErase = 1u << 5,
    OpMaskSecurity = 1u << 6,
    OpMaskEncryption = 1u << 7,
    OpMaskOption = 1u << 8,
    OpMaskAuto = 1u << 10,
};

// The main window's counters (shown through the UI bridge).
struct OperationCounters {
    uint32_t Count = 0;
    uint32_t Success = 0;
    uint32_t Failure = 0;
    uint32_t DevicesPerHour = 0;
};
extern OperationCounters MainCounters;

// The one engine object passed to every step.
extern OperationEngine MainEngine;

// The compare report written by a data compare, in the current directory.
extern const char* const CompareFileName; // "COMPARE.TXT"
// The start of the line logged when a row that takes its data at the chip's
// own addresses is given a Buffer Start apart from Chip Start.
extern const char* const BufferStartRefusal; // " Buffer Start "
// The start of the line logged when a range would put the datum of one chip
// address on a buffer place the row keeps for another (RowDef::FixedPlaces).
extern const char* const FixedPlaceRefusal; // " Buffer addr "
// The start of the line logged when a range's buffer bytes run past the
// buffer's last byte.
extern const char* const BufferEndRefusal; // " Buffer End "
// The last buffer byte of the range (the Config Option dialog's Buffer End:
// Buffer Start counts a 16-bit device's words, a split mode's lanes take
// 2 or 4 bytes a datum), without wrapping.
uint64_t RangeBufferEnd();
// The last buffer byte a run over the range takes: the range's, or the
// last of a row's second image (a data EEPROM's) from byte Chip End + 1.
uint64_t RunBufferEnd();
// "Buffer End <end>h past the buffer's last byte <last>h (buffer size <n> MB)."
std::string BufferEndPastText(uint64_t end);
// The buffer's size in bytes (256 MB; bank 0 alone when the image could not
// be reserved).
uint64_t BufferCapacityBytes();

// Millisecond tick source of the elapsed time (a monotonic clock; tests may
// replace it).
using TickSourceFn = uint64_t (*)();
extern TickSourceFn OperationTickMs;

// The whole run; 1, -1 or 3. Only the operation thread calls it.
int RunOperation(OperationEngine& engine, int op);
// 1 when the programmer is reached and set up for the device, else -1.
int CheckCommunication(OperationEngine& engine);
// Powers the socket down and resets the operation state for one entry call.
void PrepareOperation(OperationEngine& engine);
void ClearSocketResults(OperationEngine& engine);

// Steps: each returns 1 without doing anything when its operation is not
// offered by the device.
int BlankCheckDevice(OperationEngine& engine);
int ProgramDevice(OperationEngine& engine);
int ReadDevice(OperationEngine& engine, int mode, int show);
int VerifyDevice(OperationEngine& engine);
int CompareDevice(OperationEngine& engine);
int EraseDevice(OperationEngine& engine);
int SecureDevice(OperationEngine& engine, int confirm);
int EncryptDevice(OperationEngine& engine);
int ProgramConfigurationFuses(OperationEngine& engine);

// Identity check of the microcontroller section: 1 to go on, -1 to stop.
int CheckDeviceId(OperationEngine& engine);
// The fail-address lines after a failed single-socket run.
void ReportFailAddress(OperationEngine& engine, int op);
// An Erase entry that failed on a block it can name gives the block's chip
// address here, with what the part reads there in ReadValue; the fail-address
// line of the erase then shows both. Cleared by PrepareOperation.
void NameEraseFailAddress(uint32_t chipAddress);
// An entry that fails without an address to name (a part that answers one
// pass bit for its whole image) calls this; its fail-address lines are then
// left out. Cleared by PrepareOperation.
void FailWithoutAddress();
// An entry whose part gave no datum for the cell it failed on (a ready wait
// that ran out, a missing acknowledge) calls this with what happened: the
// chip line names the walk's address with `why` in place of a datum. Cleared
// by PrepareOperation.
void FailWithoutDatum(const char* why);
// An entry about to take the cell its row keeps at a buffer place
// (RowDef::FixedPlaces) calls this with the place's unit (a 16-bit device's
// word; in a split mode the place's own unit, before the lane): a failure on
// that cell, the walk's bank and index left where they stood, is named by
// the place (another memory's address, the single word, the place's chip
// address) in every walk, a blank check's included. Cleared by
// PrepareOperation.
void CellAtPlace(uint64_t unit);
// A read the part refused (a secured part that returns no code) calls this
// after its own line: nothing was compared, so neither the fail-address
// lines nor a verify level's line follow. Cleared by PrepareOperation.
void ReadRefusedByDevice();
// An entry that refuses the run before the part is touched (a range or a
// page its layout cannot serve) logs its line through this: nothing was
// read or compared, so, as with ReadRefusedByDevice, neither the
// fail-address lines nor a verify level's line follow.
void RefuseRun(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A Secure whose read-back shows the lock did not take logs what it read
// through this: the lock has no address to name, so no fail-address line
// follows. Returns -1, the entry's result.
int LockNotTaken(const char* format, ...) __attribute__((format(printf, 1, 2)));
// An identity check that found another part (a signature, ID code or ID
// text that is not the device's) logs its line through this. With `ask`, the
// user is then asked "Device Signature dose not match. Continue?": Yes
// returns 1 and the row goes on. Otherwise the run ends at the line, as with
// ReadRefusedByDevice (nothing of the part was read or compared, so neither
// fail-address lines nor a verify level's line follow), and it returns -1.
int RefuseIdentity(bool ask, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The identity line the current run (RunOperation) ended at through
// RefuseIdentity; empty when none did.
const std::string& IdentityRefusalLine();
// One line of the compare report for the current datum (differences only); 1.
int WriteCompareLine(OperationEngine& engine);
// Logs "Cannot support Gang Socket!" and drops to one socket.
void RejectGang(OperationEngine& engine);

// Back to the start-up state of this area (counters zero, no compare file).
void ResetOperationDriverState();
