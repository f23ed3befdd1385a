// A pin-level model of flash that takes single-cycle commands and reports
// through a status register, as the datasheets of the boot-block and
// uniform-block byte-wide parts describe it.
//
// - Powered: VCC at or above vccMin with every ground pin held low. Losing
//   power (or RP# low) resets the part: read-array mode, status 80h.
// - Bus cycles: a write is the rising edge of /WE while /CE is low and /OE
//   high; a read drives the data pins while /CE and /OE are low.
// - Commands: FFh read array; 90h identifier (maker at 0, device at 1); 70h
//   status; 50h clears status bits 5, 4, 3; 40h or 10h, then the datum,
//   programs (only clears bits); 20h then D0h erases the block of the
//   address; A7h then D0h (where the part has it) erases the whole array. A
//   wrong second cycle sets bits 4 and 5. Any other code, and a lone D0h,
//   changes nothing.
// - Status: bit 7 ready once the busy time has passed in virtual time; bits 5
//   (erase error), 4 (program error), 3 (VPP low) stay set until 50h. After a
//   program or erase command the part reads its status.
// - Below vppMin on VPP nothing is programmed or erased and bit 3 sets with
//   the operation's error bit.
// - Where the part has them: 30h then D0h erases the whole array (of the
//   selected chip of a two-chip part); E8h write to buffer (reads then give
//   bit 7 = a buffer free; then the word count less one, more than the
//   buffer holds being a sequence error, the words and D0h); block locks set
//   at power-up, 60h then D0h unlocking the block of the address at once,
//   a locked block refusing program and erase with bit 1 and the
//   operation's error bit. The boot block takes program and erase only
//   with RP# at rpHigh (12 V); without it the operation's error bit sets.
//
// The older command sets, by scheme:
// - Pulse: no status register and no write state machine. 40h then the datum
//   programs for as long as the next command is not written (a pulse shorter
//   than programUs leaves the cell); C0h program verify and A0h erase verify
//   read the cell at the address; 20h then 20h erases the whole array for as
//   long as the next command is not written (eraseUs); a cell reads erased
//   after erasePulses such pulses. Below vppMin every write is ignored.
// - DataPolling: 40h (or 10h) then the datum, and 30h then 30h for the whole
//   array, run on their own; while busy bit 7 reads the complement of the
//   datum (00h for the erase), afterwards the array.
//
// - The 16-bit parts with BYTE# tied low (byteLane): eight data lines and
//   the footprint's first address line is A-1, the byte of the word (0 the
//   low one). Reads give that byte; 40h/10h program it; FBh takes two byte
//   cycles (the low byte on lane 0, the high one on lane 1) and programs the
//   word; the E8h count is in bytes less one, of twice the word buffer.
// - dieWords: the part is two dies of that many words, each with its own
//   command state; A7h/D0h erases the die of the address only.
// - pageWords: 41h loads up to that many words at their addresses; the
//   program starts at the last of them or at the first read cycle after the
//   load (the words not loaded stay as they were).
// - lockBits: non-volatile lock bits: 77h then D0h sets the bit of the
//   block of the address; 71h reads the block status of the address, bit 6
//   set while the block is unlocked (bit 7 ready). A locked block refuses
//   program and erase with the operation's error bit and bit 1, and the
//   chip erase passes it by.
//
// Faults: a cell that never programs (or only on its nth pulse), a block that
// fails erase, cells that need more erase pulses, a part that never becomes
// ready, a wrong identifier.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/JedecFlashChip.h"
#include "sim/ProbeChip.h"

namespace sim {

// The footprints the parts present in the socket: 0 the 40-pin boot-block
// adapters' (RP# on ZIF 35, VPP on ZIF 36, VCC on 44, grounds on 15 and 34);
// 1 the 40-pin latched-bus parts' (VPP on chip pin 1, RP# left open, which
// reads high); 2 the 32-pin JEDEC 12 V parts' (VPP on pin 1, A17 on pin 30);
// 3 as 2 with RP# on pin 30 (the four-block parts); 4 the 32-pin JEDEC
// single-supply parts' (A18 on pin 1).
FlashPinout CommandFlashPinout(int footprint = 0);
constexpr int kCommandFootprintJedec12V = 2;
constexpr int kCommandFootprintResetPin30 = 3;
constexpr int kCommandFootprintJedec = 4;
constexpr int kCommandFootprintWord40 = 5;
// 6: the 48-pin TSOP of the 16-bit boot-block and uniform-block parts (A0-A21,
// A22 on 14, VPP on 13, RP# on 12, VCC on 37, grounds on 27 and 46); a two-chip module
// has the second chip's /CE on pin 47.
constexpr int kCommandFootprintTsop48 = 6;
// 7: the 16-bit parts as the adapter of the rows that power ZIF 44 and ground
// ZIF 15 and 34 presents them: A0-A21 on 1-4, 6-12, 14, 16-25; DQ0-DQ15 on
// 26-33, 35-42; A22 on 48; /CE 43, /OE 45, /WE 46, /CE2 47; VPP on 13; 8:
// VPP on 5.
constexpr int kCommandFootprintAdapter48 = 7;
constexpr int kCommandFootprintAdapter48Vpp5 = 8;
// 9: the 16-bit parts with BYTE# tied low on that adapter: A-1 on 42 (DQ15),
// A0-A20 on its first 21 address pins, DQ0-DQ7 on 26-33, VPP on 5.
constexpr int kCommandFootprintByteLane48 = 9;
// 10: the 16-bit parts on the adapter that powers ZIF 25: as 7 with VCC on
// 25 and that address line on 44.
constexpr int kCommandFootprintAdapter48Vcc25 = 10;
// 11: the byte-wide (x8) 40-pin TSOP parts as the adapter with VPP on ZIF 5
// presents them: A0-A20 on the first 21 address pins of 8, DQ0-DQ7 on 26-33,
// /CE 43, /OE 45, /WE 46, VCC on 44, grounds on 15 and 34.
constexpr int kCommandFootprintByte40Adapter = 11;

enum class CommandScheme { Status, Pulse, DataPolling };

struct CommandFlashConfig {
    std::string name = "flash";
    int footprint = 0;
    uint32_t bytes = 0x40000;              // cells (words on a 16-bit part)
    int width = 8;                         // 8 or 16 data lines; commands on DQ0-DQ7
    std::vector<uint32_t> blockStarts{0};  // first byte of each block, ascending
    int bootBlock = -1;                    // block index locked without 12 V on RP#; -1 none
    uint8_t makerId = 0x89;
    uint16_t deviceId = 0x7C;              // 16 bits on the 16-bit parts
    bool chipErase = false;                // A7h/D0h
    CommandScheme scheme = CommandScheme::Status;
    uint32_t programUs = 9;
    uint64_t eraseUs = 10000;              // one erase pulse (Pulse)
    int erasePulses = 1;                   // pulses until a cell reads erased (Pulse)
    uint64_t blockEraseUs = 600000;
    uint64_t chipEraseUs = 2000000;
    int vccMinTenths = 45;
    int vppMinTenths = 114;                // 0: the part needs no programming voltage
    int rpHighTenths = 114;
    bool chipErase30 = false;              // 30h/D0h erases the whole array
    // Block locks: every block locked at power-up, 60h/D0h unlocks the
    // block of the address; a locked block refuses program (bit 4) and
    // erase (bit 5) and sets bit 1.
    bool lockedAtPowerUp = false;
    // Two chips in one package, the second on /CE2; each holds half the
    // cells and has its own state.
    bool twoChips = false;
    // E8h write to buffer: E8h (reads then give bit 7 = buffer free), the
    // word count less one, the words, D0h. 0: no buffer.
    uint32_t bufferWords = 0;
    bool byteLane = false;     // BYTE# low: DQ0-DQ7, A-1 the first address line
    uint32_t dieWords = 0;     // two dies of this many words (A7h per die)
    bool twoByteWrite = false; // FBh
    uint32_t pageWords = 0;    // 41h page load; 0 none
    bool lockBits = false;     // 77h/D0h, 71h; non-volatile
    // Read-sequence entry (DataPolling): after power-up every write is
    // ignored until eight read cycles, at the word addresses of
    // kReadSequenceEntry in this order, have ended; 20h then D0h erases the
    // block (sector) of the address, reads showing bit 7 low until it ends.
    bool readSequenceEntry = false;
};

// The read cycles, in order, that open a readSequenceEntry part for program
// and erase (address bits 0-15 at the end of each read).
constexpr uint32_t kReadSequenceEntry[8] = {0x1823, 0x1820, 0x1822, 0x0418, 0x041B, 0x0419, 0x041A, 0x0000};

class CommandFlashChip : public ProbeChip {
public:
    explicit CommandFlashChip(CommandFlashConfig config);

    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;
    ChipPinLimits Limits() const;
    const CommandFlashConfig& Config() const { return cfg_; }

    uint16_t Cell(uint32_t a) const { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) {
        ++serial_;
        if (a < cells_.size()) cells_[a] = v;
    }
    size_t Bytes() const { return cells_.size(); }
    bool IsBlank() const;
    uint32_t BlockOf(uint32_t a) const;
    uint32_t BlockEnd(uint32_t block) const; // one past its last byte
    uint8_t Status() const { return status_; }
    // A program or erase still running (its status would read bit 7 clear).
    bool Busy(const PinEnvironment& env) const { return !Ready(env); }
    // A read gives a status byte (bit 7 ready, the others error and state
    // bits) rather than cells or an identifier.
    bool AnswersStatus() const;
    // The block erases the part started, in order (the block index).
    const std::vector<uint32_t>& Erases() const { return erases_; }
    // The erases of the whole array (or of a die) the part started.
    int WholeErases() const { return wholeErases_; }
    // The write cycles it saw (address, data).
    struct Write {
        uint32_t address;
        uint16_t data;
    };
    const std::vector<Write>& Writes() const { return writes_; }

    // Faults.
    void StickCell(uint32_t a) { ++serial_, stuck_.insert(a); }
    // The cell programs only on its nth pulse (Pulse).
    void SlowCell(uint32_t a, int n) { ++serial_, programPulses_[a] = n; }
    // The cell reads erased only after n erase pulses (Pulse).
    void SlowErase(uint32_t a, int n) { ++serial_, erasePulsesOf_[a] = n; }
    // Program pulses long enough to count; erase pulses started.
    int ProgramPulses() const { return programPulseCount_; }
    int ErasePulses() const { return eraseStarts_; }
    void FailBlock(uint32_t block) { ++serial_, failing_.insert(block); }
    void NeverReady(bool on) { ++serial_, neverReady_ = on; }
    // An erase of this block never ends.
    void NeverReadyBlock(uint32_t block) { ++serial_, hangingBlocks_.insert(block); }
    void WrongId(uint8_t device) { ++serial_, wrongId_ = device; }
    // Keeps the block locked whatever unlocks it.
    void JamLock(uint32_t block) { ++serial_, jammed_.insert(block); }
    bool BlockLocked(uint32_t block) const { return block < locks_.size() && locks_[block]; }
    // The unlock commands (60h/D0h) the part took, by block.
    const std::vector<uint32_t>& Unlocks() const { return unlocks_; }
    // Sets or clears a lock bit (lockBits) as if written before.
    void SetLock(uint32_t block, bool on) {
        ++serial_;
        if (block < locks_.size()) locks_[block] = on;
    }
    // The lock commands (77h/D0h) the part took, by block.
    const std::vector<uint32_t>& LockWrites() const { return lockWrites_; }
    // Reports every block status as unlocked (bit 6) whatever its bit.
    void ReportUnlocked(bool on) { ++serial_, reportUnlocked_ = on; }
    // readSequenceEntry: whether the entry sequence opened the part since
    // power-up; the fault keeps it shut whatever is read.
    bool EntryOpen() const { return entryOpen_; }
    void RefuseEntry(bool on) { ++serial_, refuseEntry_ = on; }

private:
    enum class Mode { Array, Id, Status, ProgramSetup, EraseSetup, ChipEraseSetup, Programming, Erasing, Verify, LockSetup, BufferCount, BufferData, BufferConfirm, TwoByte, PageLoad, LockBitSetup, BlockStatus };
    // What each chip of a two-chip package keeps for itself.
    struct ChipState {
        int mode = 0;
        uint8_t status = 0x80;
        uint64_t busyEnd = 0;
        int pollByte = -1;
    };
    // The chip its /CE lines (or the die its address) select (0 without a
    // second one); each keeps its own command state.
    int SelectedChip(const PinEnvironment& env) const;
    bool Enabled(const PinEnvironment& env) const;
    void SwitchChip(int chip);
    uint32_t ChipBase() const { return cfg_.twoChips ? chip_ * static_cast<uint32_t>(cells_.size() / 2) : 0; }
    int Socket(int chipPin) const;
    int Level(const PinEnvironment& env, int chipPin) const;
    int Volts(const PinEnvironment& env, int chipPin) const;
    bool Powered(const PinEnvironment& env) const;
    // Powered, kept while the environment's supply revision stays and the
    // supply and ground pins are held by switches.
    bool PoweredNow(const PinEnvironment& env) const;
    // Whether the part drives its data lines now: /CE (or the second chip's)
    // and /OE low, /WE high.
    bool Driving(const PinEnvironment& env) const;
    uint32_t AddressNow(const PinEnvironment& env) const;
    uint16_t DataNow(const PinEnvironment& env) const;
    uint16_t OutputWord(const PinEnvironment& env) const;
    bool Ready(const PinEnvironment& env) const;
    // When an operation started now for us ends (never with the fault).
    uint64_t BusyUntil(const PinEnvironment& env, uint64_t us) const;
    void Reset();
    void OnWrite(const PinEnvironment& env, uint32_t address, uint16_t data);
    void OnPulseWrite(const PinEnvironment& env, uint32_t address, uint16_t data);
    // Ends a program or erase pulse of the Pulse scheme at the next write.
    void EndPulse(const PinEnvironment& env);
    bool Command(uint8_t code);
    void Program(const PinEnvironment& env, uint32_t address, uint16_t data);
    // Erases blocks first..last; sets the error bits it must.
    void Erase(const PinEnvironment& env, uint32_t first, uint32_t last, uint64_t us);
    bool Locked(const PinEnvironment& env, uint32_t block) const;
    bool VppLow(const PinEnvironment& env) const;

    CommandFlashConfig cfg_;
    FlashPinout pins_;
    std::vector<uint16_t> cells_;
    // Socket pins of the address and data lines, worked out once (the chip
    // never moves); direct_ is false when one is off the socket, and the
    // pin-by-pin reads serve then.
    bool direct_ = false;
    int addressZ_[32] = {};
    int dataZ_[16] = {};
    // The data bit each socket pin carries (-1 none), as Output finds it.
    int8_t dataBitOf_[kSocketPins + 1] = {};
    mutable uint64_t supplyRevision_ = 0;
    mutable bool supplyPowered_ = false;
    int seatOf_[kSocketPins + 1] = {}; // socket pin of each chip pin (0: none)
    // Output's answer for one moment: whether the part drives, and the datum
    // once worked out. It holds while the supply revision (not 0), the time
    // and serial_ (bumped by every update and every change from outside)
    // stay: the pins change only with an update.
    uint64_t serial_ = 0;
    struct OutputMemo {
        uint64_t revision = 0, now = 0, serial = 0;
        bool driving = false, wordKnown = false;
        uint16_t word = 0;
    };
    mutable OutputMemo memo_;
    uint16_t erased_;
    std::set<uint32_t> stuck_;
    std::set<uint32_t> failing_;
    std::set<uint32_t> hangingBlocks_;
    bool neverReady_ = false;
    int wrongId_ = -1;
    std::map<uint32_t, int> programPulses_, erasePulsesOf_, pulsesGiven_;
    int programPulseCount_ = 0, erasePulseCount_ = 0, eraseStarts_ = 0, wholeErases_ = 0;
    uint32_t pulseAddress_ = 0;
    uint16_t pulseData_ = 0;
    uint64_t pulseStart_ = 0;
    int pollByte_ = -1; // DataPolling: the datum being written, 0 for the erase
    bool bufferRefused_ = false; // a buffer request came while busy: XSR reads 00h until the next write

    Mode mode_ = Mode::Array;
    uint8_t status_ = 0x80;
    uint64_t busyEnd_ = 0;
    bool wasPowered_ = false;
    bool prevWrite_ = false;
    std::vector<uint32_t> erases_;
    std::vector<Write> writes_;
    std::vector<bool> locks_;
    std::set<uint32_t> jammed_;
    std::vector<uint32_t> unlocks_;
    std::vector<Write> buffer_;
    std::vector<uint32_t> lockWrites_;
    bool reportUnlocked_ = false;
    uint32_t lane_ = 0;       // A-1 of the current cycle (byteLane)
    bool prevRead_ = false;
    // readSequenceEntry: the entry reads matched so far, the part open.
    void OnReadEnd(uint32_t address);
    uint32_t entryMatched_ = 0;
    bool entryOpen_ = false, refuseEntry_ = false;
    // Merges a byte cycle into the word it belongs to (byteLane).
    uint16_t LaneWord(uint16_t d) const {
        return static_cast<uint16_t>(lane_ ? (d & 0xFF) << 8 | 0xFF : 0xFF00 | (d & 0xFF));
    }
    // Programs the words of a buffer or page load; the part reads its status.
    void ProgramLoaded(const PinEnvironment& env);
    // The confirm cycle (D0h) of a two-cycle command: else a sequence error.
    bool Confirmed(uint16_t d);
    bool chipErasing_ = false;
    uint32_t bufferLeft_ = 0;
    int chip_ = 0;
    ChipState other_; // the state of the chip not selected
};

} // namespace sim
