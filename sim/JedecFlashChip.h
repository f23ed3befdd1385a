// Pin-level models of JEDEC command-set NOR flash and of static RAM, as the
// datasheets of these parts describe them, and the pinouts the flash-bus
// images and adapters present to the socket.
//
// JEDEC flash:
// - Supply (every ground pin held low): from the lockout supply up the part
//   takes write cycles and keeps its modes; it drives its outputs from VccMin
//   (below that it is a diode network). Below the lockout supply writes are
//   ignored and every mode is forgotten (read mode after power-up).
// - Bus cycles: a write is the rising edge of /WE while /CE is low and /OE high
//   (address and data taken at that edge). A read cycle starts when /CE and
//   /OE are both low; the part drives its data pins while they are.
// - Commands decode the address on 11 or 15 bits (555h/2AAh or 5555h/2AAAh; in
//   byte mode of a 16-bit part on the byte address, AAAh/555h). Unlock AAh,
//   55h, then: 90h autoselect (maker at 0, device at 1, sector protection at 2,
//   die code at 3 where the part has one), A0h (A5h where configured) program,
//   80h AAh 55h 10h chip erase or 30h at a sector, 20h unlock bypass (A0h then
//   the datum programs; 90h 00h leaves it), 80h AAh 55h A0h fast program mode
//   where the part has it (each write programs; F0h or power-off leaves it).
//   F0h resets; a wrong cycle returns to read mode; plain writes are ignored.
// - Program clears bits only. While an embedded operation runs, reads give
//   DQ7 the complement of the datum (0 while erasing), DQ6 toggling with every
//   read cycle, DQ3 set while erasing, and on a word-wide part in word mode
//   DQ15-DQ8 the complement of the datum's high byte (00h while erasing); a
//   cell that did not take the datum leaves the part busy with DQ5 set until
//   F0h.
// - 12 V on A9 with /OE low gives the autoselect codes without a command.
// - Protected sectors ignore program and erase; protection outlasts power-off.
// - In-system protection (where the part has it), RESET# at VID: 60h at a
//   sector address with A1 set and A6 clear protects the sector, 60h with A6
//   set unprotects the whole chip; the following 40h at such an address
//   ends the pulse (in effect when it lasted 100 us, 10 ms for the
//   unprotect, which needs every sector protected first: a violation
//   otherwise) and the part then reads 1 or 0 in DQ0 for the sector addressed.
// - Equipment protection (where the part has it), A9 and /OE at VID, /CE
//   low: a /WE pulse at a sector address with A1 set and A6 clear protects
//   the sector (when it lasts 100 us), with A6 set it unprotects the chip
//   (10 ms, every sector protected first); no command is taken meanwhile.
//   With A9 at VID and /OE low the part reads the sector's state at A1 set
//   (A6 either way).
//   Parts whose chip unprotect wants /CE at VID too: a /WE pulse with /CE at
//   VID unprotects (A6 either way), one with /CE low protects.
// - Page-mode parts (pageBytes set; FlashPageMode.cpp) take single-cycle
//   commands instead of the unlock sequences: 41h then the bytes of one page
//   (the first byte picks the page, each byte lands at its low address bits
//   within it; the load ends when no byte follows within the load window,
//   and the page then programs), A7h D0h erases every unprotected sector,
//   70h reads the status byte, 50h clears its error bits, FFh reads the
//   array. After a page program or an erase reads give the status byte:
//   bit 7 ready, bit 5 erase error, bit 4 program error (a byte that did not
//   take its datum or lies in a protected sector; A7h followed by anything
//   but D0h sets both). The status byte is lost at power-off.
// - VID is sensed from vidMinTenths to vidMaxTenths: outside that range a
//   pin has no such effect (above the pin's limit the electrical model
//   reports a violation).
//
// - Software protection schemes (where the part has one; FlashLockout.cpp):
//   after the five cycles AAh 55h 80h AAh 55h, 40h at the first command
//   address turns the boot-block lockout on (for good; a switchable part
//   turns it off with 20h), the boot block then refusing program and erase
//   unless the override pin is at 12 V; autoselect address 2 reads it in
//   DQ0. 70h at the first (second) command address protects the bottom
//   (top) block for good; 95h after the unlock reads both in DQ1-DQ0. The
//   sector-command parts protect a sector with 40h at its address (A0 set)
//   and unprotect the chip with 60h, each taking effect with the /WE pulse
//   held after it (100 us, 10 ms; every sector protected first), then
//   reading the addressed sector's state in DQ0 (A1 set). The lockdown
//   parts lock a sector with 40h at its address for good, 12 V on the
//   override pin lifting it for program and erase. The seven-read parts
//   take single-cycle commands (10h or 40h then the datum programs, 30h 30h
//   erases the chip, 90h the identifier, FFh reads) and ignore program and
//   erase while protected; reads of 1823h, 1820h, 1822h, 0418h, 041Bh,
//   0419h, then 041Ah switch the protection off, 040Ah on. Every state
//   outlasts power-off.
//
// Faults: a stuck cell, a weak cell that takes its datum only at the n-th
// program command (JedecFlashConfig::programCommandsNeeded), a part that
// never ends an embedded operation, a part whose protect or unprotect never
// works or leaves a sector protected.
#pragma once
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/PageLoad.h"
#include "sim/ProbeChip.h"

namespace sim {

// A footprint the socket sees (chip pins 1-based; 0 = none).
struct FlashPinout {
    int pinCount = 32;
    std::vector<int> address; // A0 first
    std::vector<int> data;    // D0 first
    int ce = 0, oe = 0, we = 0;
    int ce2 = 0, ce3 = 0; // the further /CE lines of a module (second die or the SRAM, third die)
    int reset = 0;
    int byteMode = 0;     // BYTE#: low = byte mode, D15 becomes A-1
    int vpp = 0;          // WP#/ACC
    std::vector<int> vcc;
    std::vector<int> gnd;
};

enum FlashPinoutId : int {
    kPinoutDip28 = 1,  // 28-pin JEDEC SRAM
    kPinoutDip32 = 2,  // 32-pin JEDEC byte-wide flash and SRAM
    kPinoutByte40 = 3, // 40-pin byte-wide flash as its adapter presents it
    kPinoutTsop48 = 4, // 48-pin 16-bit flash, pin n on socket pin n (/CE2 13, /CE3 10)
    kPinoutWord40 = 5, // 40-pin 16-bit SRAM module
    kPinoutSo44 = 6,   // 44-pin SO 16-bit flash (on a 48-pin socket: pins 1-22 on 3-24)
    kPinoutFbga48 = 7, // 48-ball FBGA 16-bit flash through its adapter
    kPinoutTsop48Byte = 8, // the 48-pin 16-bit part in byte mode: DQ15/A-1 the lowest address line
    kPinoutDip32P = 9,     // 32-pin part through adapter 'P': A9 on 7, /OE on 31, A10 on 32, /CE on 45
    kPinoutTsop40Acc = 10, // 40-pin byte-wide part with RESET# on pin 10 and ACC on pin 11
    kPinoutDip32Reset = 11, // 32-pin 2 Mbit part with RESET# on pin 1 (A17 the highest line)
};
// An unknown id gives the 32-pin pinout.
FlashPinout FlashPinoutById(int id);

enum class FlashLockoutScheme { None, BootBlock, SwitchableBootBlock, TopBottomBlocks, SectorCommand, SectorLockdown, SevenReads };

// Sector protection by command (FlashProtectCommands.cpp): after the erase
// prefix AAh 55h 80h AAh 55h, 20h at the first command address and then 00h
// at an address with A9 set and A1 clear protects the addressed sector (A6
// clear, busy 100 us) or unprotects the chip (A6 set, busy 10 ms; every
// sector protected first), DQ6 toggling meanwhile; reads then give the
// addressed sector's state in DQ0 until F0h. Or, with /OE at VID, 24h after
// AAh 55h enters a protection mode (kept until 90h 00h or power-off): 60h at
// an address with A1 set and A0 clear starts a sector protect (A6 clear) or
// the chip unprotect (A6 set), 40h at such an address ends it (in effect
// after 100 us or 10 ms) and reads then give the addressed sector's state.
enum class FlashProtectCommands { None, AfterErasePrefix, OeEntry };

struct JedecFlashConfig {
    std::string name = "flash";
    int pinout = kPinoutDip32;
    int width = 8;
    uint32_t words = 0x20000;
    std::vector<uint32_t> sectorWords{0x4000}; // sector sizes from address 0; the last repeats
    uint16_t makerId = 0x01;
    uint16_t deviceId = 0x20;
    int dieCode = -1;             // the code at autoselect address 3; -1 none
    int commandBits = 11;         // 11: 555h/2AAh, 15: 5555h/2AAAh
    bool programA0 = true;
    bool programA5 = false;
    bool unlockBypass = false;
    bool fastMode = false;
    int ceChipPin = 0;            // the /CE this die answers (0: the pinout's)
    uint32_t programUs = 20;
    uint64_t sectorEraseUs = 1000000;
    uint64_t chipEraseUs = 8000000;
    int vccMinTenths = 45;
    int lockoutTenths = 32;
    int a9HighTenths = 115;       // autoselect by high voltage on A9
    bool inSystemProtect = false; // sector protect and chip unprotect with RESET# at VID
    int vidMinTenths = 115;       // RESET# (A9, /OE) from this voltage up is at VID
    bool equipmentProtect = false; // sector protect and chip unprotect with A9 and /OE at VID
    FlashLockoutScheme lockout = FlashLockoutScheme::None;
    bool bootAtTop = false; // the boot block is the last sector
    int overridePin = 0;    // the chip pin whose 12 V lifts the lockout (0: RESET#)
    bool fastUntilReset = false; // the fast program mode ends only with RESET# or power-off (F0h programs)
    int vidMaxTenths = 125;        // above this a VID pin is out of range: no effect
    bool unprotectCeVid = false;   // the chip unprotect wants /CE at VID too (A6 either way)
    // The address lines the chip unprotect pulse wants (bits in the mask must
    // equal want): A1 high and A0 low unless the datasheet names others.
    uint32_t unprotectAddressMask = 3, unprotectAddressWant = 2;
    // The address bits that must read 02h for a sector's protection state in
    // the autoselect mode and at the high-voltage protection verify (A6
    // either way unless the datasheet fixes or frees more).
    uint32_t protectStatusMask = 0xBF;
    FlashProtectCommands protectCommands = FlashProtectCommands::None;
    // The chip unprotect with /OE and /WE at VID (no A9): two /CE pulses of
    // at least 5 ms each within one such period (every sector protected first).
    bool unprotectByCePulses = false;
    // Weak cells (word address: program commands it takes): the embedded
    // program ends on time without setting DQ5, yet the cell keeps its old
    // value until the n-th program command reaches it.
    std::map<uint32_t, int> programCommandsNeeded;
    // Page mode (0: the JEDEC command set): the page length in bytes, the
    // byte-load window that ends a load, the page program time.
    uint32_t pageBytes = 0;
    uint32_t pageLoadWindowUs = 150;
    uint32_t pageProgramUs = 5000;
};

class JedecFlashChip : public ProbeChip {
public:
    explicit JedecFlashChip(JedecFlashConfig config);

    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

    const JedecFlashConfig& Config() const { return cfg_; }
    ChipPinLimits Limits() const;

    uint16_t Cell(uint32_t a) const { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) {
        if (a < cells_.size()) cells_[a] = v;
    }
    bool IsBlank() const;
    size_t Words() const { return cells_.size(); }
    uint32_t SectorOf(uint32_t wordAddress) const;
    uint32_t SectorCount() const;
    // First word of a sector and its size.
    uint32_t SectorStart(uint32_t sector) const;
    uint32_t SectorSize(uint32_t sector) const;

    // Faults and states.
    void StickCell(uint32_t a) { stuck_.insert(a); }
    void NeverReady(bool on) { neverReady_ = on; }
    void Protect(uint32_t sector) { protected_.insert(sector); }
    bool IsProtected(uint32_t sector) const { return protected_.count(sector) != 0; }
    bool LockoutOn() const { return lockoutOn_; }
    void SetLockout(bool on) { lockoutOn_ = on; }
    int ProtectedBlocks() const { return blocks_; } // bit 0 bottom, bit 1 top
    bool DataProtected() const { return dataProtected_; }
    void SetDataProtected(bool on) { dataProtected_ = on; }
    void NeverUnprotect(bool on) { neverUnprotect_ = on; }
    // The chip unprotect takes only from its n-th pulse on.
    void UnprotectFromPulse(int n) { unprotectPulsesNeeded_ = n; }
    void NeverProtect(bool on) { neverProtect_ = on; }
    // A sector the chip unprotect leaves protected.
    void KeepProtected(uint32_t sector) { keptProtected_.insert(sector); }
    // Chip unprotects that took effect since the part was made.
    uint32_t ChipUnprotects() const { return chipUnprotects_; }

    // The write cycles the part saw (address on its pins, data), for traces.
    struct Write {
        uint32_t address;
        uint16_t data;
    };
    const std::vector<Write>& Writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }
    bool Busy(const PinEnvironment& env) const;
    uint32_t ChipErases() const { return chipErases_; }

private:
    enum class State { Read, Unlock1, Unlock2, Autoselect, Program, Erase80, Erase1, Erase2, Bypass, BypassProgram,
                       BypassExit, Fast, IspVerify, BlockRead, LockPulse, LockVerify, SdpProgram, SdpErase,
                       PageLoading, EraseSetup, ProtectSetup };
    int Socket(int chipPin) const { return chipPin >= 1 && chipPin <= kSocketPins ? seatOf_[chipPin] : 0; }
    int Level(const PinEnvironment& env, int chipPin) const;
    int Volts(const PinEnvironment& env, int chipPin) const;
    bool SuppliedFrom(const PinEnvironment& env, int tenths) const;
    // SuppliedFrom the lockout supply and from VccMin, kept while the
    // environment's supply revision stays and the supply and ground pins are
    // held by switches (a logic driver on them may move).
    void CheckSupply(const PinEnvironment& env) const {
        const uint64_t revision = env.SupplyRevision();
        if (revision == 0 || revision != supplyRevision_) RefreshSupply(env);
    }
    void RefreshSupply(const PinEnvironment& env) const;
    bool AboveLockout(const PinEnvironment& env) const {
        CheckSupply(env);
        return supplyAboveLockout_;
    }
    bool Powered(const PinEnvironment& env) const {
        CheckSupply(env);
        return supplyPowered_;
    }
    // The voltage a supply or ground switch holds a chip pin at, -1 for a
    // pin the logic driver holds or leaves to a pull: what the high-voltage
    // checks (all above the logic high) need. Kept per supply revision with
    // the supply checks for the pins in vidPins_.
    int SwitchedVolts(const PinEnvironment& env, int chipPin) const;
    // Levels of the /CE, /OE and /WE pins as bits 0-2.
    unsigned ControlLevels(const PinEnvironment& env) const;
    bool ByteMode(const PinEnvironment& env) const;
    uint32_t AddressNow(const PinEnvironment& env) const; // word address (byte address in byte mode)
    uint16_t DataNow(const PinEnvironment& env) const;
    uint16_t OutputWord(const PinEnvironment& env) const;
    uint16_t AutoselectWord(uint32_t address) const;
    void OnWriteCycle(const PinEnvironment& env, uint32_t address, uint16_t data);
    void StartProgram(const PinEnvironment& env, uint32_t address, uint16_t data);
    void StartErase(const PinEnvironment& env, int sector); // -1 whole chip
    bool IsCommandAddress(uint32_t address, int which, bool byteMode) const;
    void PowerLost();
    // RESET# at VID (parts with in-system protection).
    bool AtVid(const PinEnvironment& env) const {
        if (!vidAboveLogic_) return AtVidNow(env);
        CheckSupply(env);
        return atVid_;
    }
    // A9 and /OE at VID (parts with equipment protection).
    bool EquipmentMode(const PinEnvironment& env) const {
        if (!vidAboveLogic_) return EquipmentModeNow(env);
        CheckSupply(env);
        return equipmentMode_;
    }
    bool AtVidNow(const PinEnvironment& env) const;
    bool EquipmentModeNow(const PinEnvironment& env) const;
    bool InVidRange(const PinEnvironment& env, int chipPin) const;
    void EndUnprotect(const PinEnvironment& env);
    void OnIspWriteCycle(const PinEnvironment& env, uint32_t address, uint8_t data);
    // The software protection schemes (FlashLockout.cpp).
    bool Locked(const PinEnvironment& env, uint32_t sector) const;
    bool Overridden(const PinEnvironment& env) const;
    void OnReadStart(const PinEnvironment& env);
    void OnSevenReadsWrite(const PinEnvironment& env, uint32_t address, uint8_t data);
    State OnLockoutCommand(uint32_t address, uint8_t data);
    void OnLockoutPulse(const PinEnvironment& env);
    bool LockoutWord(uint32_t address, uint16_t& word) const;
    // Protection by command (FlashProtectCommands.cpp).
    void OnProtectSetupWrite(const PinEnvironment& env, uint32_t address, uint8_t data);
    void OnProtectModeWrite(const PinEnvironment& env, uint32_t address, uint8_t data);
    // The /CE pulses of the chip unprotect with /OE and /WE at VID.
    void OnCeUnprotectPulse(const PinEnvironment& env, bool ce);
    // The page mode (FlashPageMode.cpp).
    void OnPageModeWrite(const PinEnvironment& env, uint32_t address, uint8_t data);
    void EndPageLoad(const PinEnvironment& env);
    bool PageLoadLapsed(const PinEnvironment& env) const {
        return page_.loading && page_.Lapsed(env.NowUs(), cfg_.pageLoadWindowUs);
    }

    JedecFlashConfig cfg_;
    FlashPinout pins_;
    int cePin_;
    std::vector<uint16_t> cells_;
    // Socket pins of the bus lines, worked out once (the chip never moves):
    // address lines, data lines, and /CE, /OE, /WE. direct_ is false when a
    // line is off the socket; the pin-by-pin reads then serve.
    int seatOf_[kSocketPins + 1] = {}; // socket pin of each chip pin (0: none)
    bool direct_ = false;
    int addressZ_[32] = {};
    size_t addressLines_ = 0;
    int dataZ_[16] = {};
    int controlZ_[3] = {};
    uint32_t addressMask_ = 0; // cells - 1 for a power-of-two array, else 0
    // The data bit each socket pin carries (-1 none), as Output finds it.
    int8_t dataBitOf_[kSocketPins + 1] = {};
    mutable uint64_t supplyRevision_ = 0;
    mutable bool supplyAboveLockout_ = false, supplyPowered_ = false;
    // The chip pins whose high voltage the part senses (A9, /OE, RESET#, /CE,
    // the lockout override), their switched voltages as of supplyRevision_
    // (by chip pin), and whether every such check lies above the logic high
    // (else the checks read the pins each time).
    std::vector<int> vidPins_;
    mutable int16_t switchedTenths_[kSocketPins + 1] = {};
    bool vidAboveLogic_ = false;
    // EquipmentMode and AtVid as of supplyRevision_ (with vidAboveLogic_).
    mutable bool equipmentMode_ = false, atVid_ = false;
    std::set<uint32_t> stuck_;
    std::map<uint32_t, int> commandsLeft_; // weak cells: program commands still to come
    std::set<uint32_t> protected_;
    bool neverReady_ = false;
    bool neverUnprotect_ = false;
    int unprotectPulsesNeeded_ = 1, unprotectPulses_ = 0;
    bool neverProtect_ = false;
    std::set<uint32_t> keptProtected_;
    bool unprotecting_ = false; // a chip unprotect began; cleared by a protect
    uint32_t chipUnprotects_ = 0;
    // The protection mode entered with 24h (/OE at VID), a pending 90h of its
    // exit, and whether reads give the addressed sector's state.
    bool protectMode_ = false, protectExit_ = false, protectVerify_ = false;
    // The /CE pulses of the chip unprotect with /OE and /WE at VID.
    bool ceVidPeriod_ = false, cePulse_ = false;
    int cePulses_ = 0;
    uint64_t ceFallUs_ = 0;
    void ProtectSector(uint32_t sector) {
        unprotecting_ = false;
        if (!neverProtect_) protected_.insert(sector);
    }

    State state_ = State::Read;
    bool inBypass_ = false;
    bool wasPowered_ = false;
    bool prevWrite_ = false;
    bool prevRead_ = false;
    uint64_t toggles_ = 0;
    // The embedded operation: busy until busyEnd_; failed leaves DQ5 set.
    bool busy_ = false;
    bool erasing_ = false;
    bool failed_ = false;
    uint64_t busyEnd_ = 0;
    uint16_t busyDatum_ = 0;
    std::vector<Write> writes_;
    uint32_t chipErases_ = 0;
    // The in-system pulse started by 60h: 0 none, 1 protect ispSector_, 2 unprotect.
    int ispPulse_ = 0;
    uint32_t ispSector_ = 0;
    uint64_t ispStart_ = 0;
    // The /WE pulse of equipment protection and the address it started at.
    bool equipPulse_ = false;
    uint32_t equipAddress_ = 0;
    uint64_t equipStart_ = 0;
    // The software protection: lockout, protected blocks, data protection,
    // the pending sector command (1 protect lockSector_, 2 unprotect) and its
    // /WE pulse, the last read addresses.
    bool lockoutOn_ = false;
    int blocks_ = 0;
    bool dataProtected_ = true;
    int lockCommand_ = 0;
    uint32_t lockSector_ = 0;
    uint64_t weFallUs_ = 0;
    uint32_t lastReads_[7] = {};
    bool equipCeVid_ = false;
    // Page mode: the page being loaded, whether reads give the status byte,
    // its error bits (4 program, 5 erase).
    PageLoad page_;
    bool statusOut_ = false;
    uint8_t statusErrors_ = 0;
};

// A static RAM (or a non-volatile SRAM module): written at the rising edge of
// /WE while /CE is low, read while /CE and /OE are low. Writes are inhibited
// below the write-protect supply; a non-volatile part keeps its data without
// power. Fault: a bit stuck at a level.
struct SramConfig {
    std::string name = "SRAM";
    int pinout = kPinoutDip28;
    int width = 8;
    uint32_t words = 0x8000;
    bool nonVolatile = true;
    int ceChipPin = 0; // the /CE it answers (0: the pinout's)
    int vccMinTenths = 45;
    int writeProtectTenths = 43;
};

class SramChip : public ProbeChip {
public:
    explicit SramChip(SramConfig config);

    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    // Output of every pin asked, with the supply, the controls and the datum
    // worked out once.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;
    ChipPinLimits Limits() const;

    uint16_t Cell(uint32_t a) const { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) {
        if (a < cells_.size()) cells_[a] = v;
    }
    size_t Words() const { return cells_.size(); }
    void Fill(uint16_t v) { cells_.assign(cells_.size(), v); }
    void StickBit(uint32_t a, int bit, int level) { stuck_[a] = {bit, level}; }
    uint32_t WriteCount() const { return writes_; }

private:
    // The level on a socket pin; a chip line off the socket (0) floats.
    static int LevelAt(const PinEnvironment& env, int socketPin) {
        return socketPin == 0 ? env.FloatingLevel() : env.InputLevel(socketPin);
    }
    bool Powered(const PinEnvironment& env) const;
    uint32_t AddressNow(const PinEnvironment& env) const;
    uint16_t Stored(uint32_t a) const;

    SramConfig cfg_;
    FlashPinout pins_;
    // The socket pins of the part's lines (0: off the socket), fixed once the
    // part is built: /CE, /OE, /WE, supplies, grounds, address and data lines
    // (data up to the part's width).
    int ceSocket_ = 0, oeSocket_ = 0, weSocket_ = 0;
    std::vector<int> vccSockets_, gndSockets_, addressSockets_, dataSockets_;
    // Every address line on the socket and at most 32 of them: read in one go.
    bool addressOnSocket_ = false;
    // The data bit each socket pin carries, -1 for none.
    int8_t dataBitAt_[kSocketPins + 1];
    std::vector<uint16_t> cells_;
    std::map<uint32_t, std::pair<int, int>> stuck_;
    bool prevWrite_ = false;
    bool wasPowered_ = false;
    uint32_t writes_ = 0;
};

} // namespace sim
