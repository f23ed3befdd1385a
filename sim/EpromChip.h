// A pulse-programmed parallel EPROM at pin level, configurable for the family:
// byte-wide and 16-bit parts, parts blank at FFh or at 00h, paged parts with
// an internal page register, electrically erasable parts, byte-write parts
// and parts with a hidden word.
//
// Behaviour, as the datasheets of these parts describe it:
// - Powered: VCC inside the part's window, every ground pin held low. Until
//   VCC has been steady there for the power-up time the part floats its
//   outputs and ignores strobes; /CE low before then is a violation.
// - Read: /CE and /OE low, no programming condition: the chip drives its data
//   pins with the cell at the address (plus the page register, or the hidden
//   word while the hidden-word pin carries a supply). Parts verifying with
//   /CE high drive them as well with /OE low and Vpp at programming level.
// - Program pulse: programming voltage on the Vpp pin at or above the Vpp
//   window's bottom (above its top: a violation),
//   /CE low, /OE high (or /OE is the Vpp pin) and /PGM low where the part has
//   one. At the end of the pulse, a pulse at least MinPulseUs long counts for
//   the cell latched at its start; when the cell has had the pulses it needs,
//   its bits move from the blank value towards the datum (never back).
//   Address or data changing inside a pulse ends the pulse on the old cell
//   and starts one on the new.
// - Margin reads: a cell holds its datum at every read supply only once it
//   has had FullProgramUs of counted pulse time since its erase; before that
//   it is weakly programmed and reads its datum only at the nominal supply
//   (VCC inside nominalVcc), blank at VCC low or high.
// - Supply order: the programming voltage goes on after VCC and off before
//   it; Vpp above VCC's window while VCC is outside it is a violation.
// - Paged parts: the page register takes the low data bits on the rising
//   edge of the page-write pin while /CE is low and /OE high; at programming
//   voltage that edge is a violation (the page write needs Vpp at VCC level).
// - Byte-write parts: the datum is written on the rising edge of /PGM (/WE)
//   while /CE is low and /OE high, without a programming voltage.
// - Electrical erase: the erase pin and the Vpp pin at EraseMin or above and
//   the erase strobe pin low; erasure accumulates over the pulses, and each
//   ErasePulseUs of it clears the array (a cell set to need n periods stays
//   until it had them).
//   Parts that must be programmed to 00h first record a violation otherwise.
// - High-voltage blank check (where configured): programming voltage on /CE
//   and /OE low: FFh for a blank cell, 00h for any other.
// - Over-voltage: more than VppMax on the Vpp or erase pin, or more than
//   7.0 V on any other pin, is a violation.
//
// Fault injection: a stuck cell (never programs), a cell needing N pulses,
// a weak cell (needing more pulse time to hold at the margins), a cell
// needing N erase pulses.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/PartFacts.h"
#include "sim/Socket.h"

namespace sim {

// The facts of one EPROM part (see PartFacts for the common ones).
struct EpromConfig : PartFacts {
    int rowsUp = 0; // seated this many rows too high (a fault)
    // Chip pins (1-based); 0 = the part has none.
    int cePin = 20;
    int oePin = 22;
    int pgmPin = 0;
    int vppPin = 1;
    std::vector<int> addressPins; // A0 first
    std::vector<int> dataPins;    // D0 first
    // Programming: the Vpp window a program pulse needs, the pin's absolute
    // maximum rating, the shortest pulse that counts and how many a cell needs.
    VoltageWindow vpp{115, 140};
    int vppMaxTenths = 140;
    uint32_t minPulseUs = 80;
    int pulsesNeeded = 1;
    // Counted pulse time a cell needs to read right at the margin supplies
    // (0: the pulses it needs are enough), and the supply at which a weakly
    // programmed cell still reads its datum.
    uint32_t fullProgramUs = 0;
    VoltageWindow nominalVcc{48, 52};
    // Paged parts: words per page and the page-write pin (0 = not paged).
    uint32_t pageWords = 0;
    int pageWritePin = 0;
    // Byte-write part: /PGM is a write strobe, no programming voltage.
    bool byteWrite = false;
    // Electrical erase (erasePin 0 = none).
    int erasePin = 0;
    int eraseStrobePin = 0; // 0 = /CE
    int eraseMinTenths = 115;
    uint32_t erasePulseUs = 50000;
    bool eraseNeedsZeros = false;
    // Hidden word: selected while a supply holds this chip pin high.
    int hiddenPin = 0;
    // Blank check at high voltage: with the programming voltage on /CE and
    // /OE low the part answers FFh for a blank cell and 00h otherwise.
    bool hvBlankCheck = false;
    // The erase strobe pin is active high.
    bool eraseStrobeHigh = false;
    // Program verify as the 27256-type parts give it: /OE low with /CE high
    // while the Vpp pin is at programming level reads the cell.
    bool verifyWithCeHigh = false;
    // The program pulse is the programming voltage itself, switched on and
    // off with /CE low and /OE high: the part acts on supply changes too.
    bool vppTimedPulse = false;
    // A further pin rated for the programming voltage (a test pin; 0: none).
    int testVoltagePin = 0;
};

// A DIP pinout of the family (chip pins, 1-based; 0 = none): the Vpp pin
// moves to largeVppPin above largeAbove words, /PGM exists up to pgmUpTo
// words, at most mostAddressBits address lines.
struct DipPinout {
    int pinCount;
    int width;
    uint16_t blank;
    int vccPin;
    std::vector<int> gndPins;
    int cePin, oePin, vppPin, largeVppPin;
    uint32_t largeAbove;
    int pgmPin;
    uint32_t pgmUpTo;
    int hiddenPin;
    std::vector<int> addressPins; // A0 first
    std::vector<int> dataPins;    // D0 first
    int mostAddressBits;
    int vppMaxTenths;
};
EpromConfig EpromFromPinout(const DipPinout& pinout, const std::string& name, uint32_t words);

// Standard JEDEC pinouts (chip pins of A0.., D0..).
EpromConfig Jedec24(const std::string& name, uint32_t words);  // 2732A: /OE-Vpp on 20
EpromConfig Jedec28(const std::string& name, uint32_t words);  // 2764..27512
EpromConfig Jedec32(const std::string& name, uint32_t words);  // 27C010..27C080
EpromConfig Word40(const std::string& name, uint32_t words);   // 27C1024, 27C2048, 27C4096 (16-bit)

struct PulseRecord {
    uint32_t address;
    uint16_t data;
    uint64_t widthUs;
    bool erase;
};

class EpromChip : public CatalogChip {
public:
    explicit EpromChip(EpromConfig config);

    std::string Name() const override { return cfg_.name; }
    const std::vector<int>& SocketPins() const override { return socketPins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

    const EpromConfig& Config() const { return cfg_; }
    const PartFacts& Facts() const override { return cfg_; }
    ChipPinLimits Limits() const override;

    uint16_t Cell(uint32_t address) const override { return address < cells_.size() ? cells_[address] : 0; }
    void SetCell(uint32_t address, uint16_t value) override;
    void Fill(uint16_t value);
    uint16_t HiddenWord() const { return hidden_; }
    uint32_t Page() const { return page_; }
    bool IsBlank() const;
    size_t Words() const override { return cells_.size(); }

    // Faults.
    void StickCell(uint32_t address) { stuck_[address] = true; }
    void SetPulsesNeeded(uint32_t address, int pulses) { needed_[address] = pulses; }
    // The cell needs this much counted pulse time to hold at the margins.
    void SetFullProgramUs(uint32_t address, uint64_t us) { fullNeeded_[address] = us; }
    // Programmed, but not yet enough to read right at VCC low or high.
    bool IsWeak(uint32_t address) const { return weak_.count(address) != 0; }
    void SetErasePeriodsNeeded(uint32_t address, int periods) { eraseNeeded_[address] = periods; }

    // What happened.
    const std::vector<PulseRecord>& Pulses() const { return pulses_; }
    uint32_t ProgramPulseCount() const;
    uint32_t ErasePulseCount() const;
    void ClearPulseLog() { pulses_.clear(); }
    // Pulses counted on one cell since it was last erased.
    int PulsesOn(uint32_t address) const;

private:
    int Socket(int chipPin) const {
        if (chipPin < 1 || chipPin > static_cast<int>(socketPins_.size())) return 0;
        return socketPins_[static_cast<size_t>(chipPin - 1)];
    }
    bool Low(const PinEnvironment& env, int chipPin) const {
        const int s = Socket(chipPin);
        return s != 0 && env.InputLevel(s) == 0;
    }
    bool High(const PinEnvironment& env, int chipPin) const {
        const int s = Socket(chipPin);
        return s == 0 || env.InputLevel(s) == 1;
    }
    int Volts(const PinEnvironment& env, int chipPin) const {
        const int s = Socket(chipPin);
        return s == 0 ? -1 : env.VoltageTenths(s);
    }
    bool Powered(const PinEnvironment& env) const;
    // Powered (as the caller found), and the supply steady for the part's
    // power-up time.
    bool Ready(const PinEnvironment& env, bool powered) const;
    // The time from which the part is ready (its supply steady for the
    // power-up time), UINT64_MAX when its supply pin is off the socket.
    uint64_t ReadyFromUs(const PinEnvironment& env) const;
    // Powered, and ReadyFromUs, for env's supplies: from the memo of the
    // supply checks when it covers them, else worked out.
    bool PoweredNow(const PinEnvironment& env, uint64_t& readyFromUs) const;
    // Whether the supply checks of an update (voltages, powered, supply
    // order) were made under env's supply revision and would find nothing
    // new while only logic levels move.
    bool SuppliesChecked(const PinEnvironment& env) const {
        const uint64_t revision = env.SupplyRevision();
        return revision != 0 && revision == suppliesChecked_.revision && env.SupplyTable() == suppliesChecked_.table;
    }
    // After the supply checks under env's supply revision: remembers their
    // outcome where logic levels cannot change it.
    void RememberSupplyChecks(const PinEnvironment& env, bool powered);
    void EarlyAccess(const PinEnvironment& env) const;
    uint32_t AddressNow(const PinEnvironment& env) const;
    uint16_t DataNow(const PinEnvironment& env) const;
    bool HiddenSelected(const PinEnvironment& env) const;
    void EndProgramPulse(uint64_t now);
    void EndErasePulse(uint64_t now);
    void CheckVoltages(const PinEnvironment& env);
    void CheckSupplyOrder(const PinEnvironment& env, bool powered);
    // The word the array answers at the address under the present supply.
    uint16_t ReadCell(const PinEnvironment& env, uint32_t address) const;
    // Works out whether the chip drives its data pins now, and the word
    // (memoDrive_, memoWord_).
    void DriveNow(const PinEnvironment& env) const;
    ChipDrive DataDrive(int socketPin) const;

    EpromConfig cfg_;
    std::vector<int> socketPins_;
    // Socket pins of the address and data lines (A0, D0 first; 0 off the socket).
    std::vector<int> addressSockets_, dataSockets_;
    std::vector<uint16_t> cells_;
    uint16_t hidden_;
    uint16_t mask_;
    uint32_t page_ = 0;

    bool programming_ = false;
    bool erasing_ = false;
    uint64_t pulseStart_ = 0;
    uint32_t pulseAddress_ = 0;
    uint16_t pulseData_ = 0;
    bool pulseHidden_ = false;
    bool pageWriteLow_ = false;
    bool writeLow_ = false;
    bool zerosAtEraseStart_ = true;
    uint64_t eraseAccumUs_ = 0;
    mutable bool earlyReported_ = false;
    bool vppHighReported_ = false;
    bool wasPowered_ = false;
    bool vppWithoutVcc_ = false;

    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, int> needed_;
    std::map<uint32_t, int> eraseNeeded_;
    // Counted pulses and their time on each cell since its erase (empty
    // until the first counted pulse after an erase).
    struct Counted {
        uint32_t pulses = 0;
        uint32_t us = 0; // stops at its largest value
    };
    std::vector<Counted> counted_;
    // The data bit on each socket pin, -1 where none.
    int8_t dataBitAt_[kSocketPins + 1];
    std::map<uint32_t, uint64_t> fullNeeded_;
    std::set<uint32_t> weak_;
    std::vector<PulseRecord> pulses_;
    std::vector<bool> overReported_;
    uint64_t checkedRevision_ = 0; // supply revision CheckVoltages last saw
    // Powered() as of a supply revision (0: none), kept while switches hold
    // VCC and every ground pin (a logic driver may move within a revision).
    mutable uint64_t poweredRevision_ = 0;
    mutable const void* poweredTable_ = nullptr; // the supply table of that revision
    // The socket pins of VCC and the grounds (bit p: socket pin p; bit 0 for
    // a pin off the socket, which no move names).
    uint64_t powerPins_ = 0;
    // The conditions revision of the last update that found the part powered
    // and ready (0: none): an update under it again changes nothing.
    uint64_t quietRevision_ = 0;
    mutable bool powered_ = false;
    // The supply checks as made under one supply revision (0: none).
    struct SupplyChecks {
        uint64_t revision = 0;
        const void* table = nullptr;
        bool powered = false;
        uint64_t readyFromUs = 0;
    } suppliesChecked_;
    const void* checkedTable_ = nullptr; // and the environment's supply table
    // Chip pin (1-based) on each socket pin, 0 none; valid when every chip
    // pin sits on its own socket pin (uniqueSeats_).
    uint8_t chipPinAt_[kSocketPins + 1] = {};
    bool uniqueSeats_ = true;
    mutable const PinEnvironment* memoEnv_ = nullptr;
    mutable uint64_t memoUs_ = 0;
    mutable size_t memoPulses_ = 0;
    mutable bool memoDrive_ = false;
    mutable uint16_t memoWord_ = 0;
};

} // namespace sim
