// Page-program flash with a status register and hardware sector protection
// (the 16-Mbit parts organised 2M x 8 / 1M x 16, seated in byte mode), at pin
// level: /CE, /OE, /WE, BYTE#, address lines (A-1 lowest) and DQ0-7.
//
// Behaviour, as the datasheets describe it:
// - A write cycle is taken at the rising edge of /WE with /CE low and /OE
//   high. Command cycles go to the first and second command addresses (the
//   word addresses 5555h/2AAAh, on the byte address AAAAh/5554h in byte
//   mode); AAh, 55h, then at the first: 90h identification, F0h read array,
//   70h read status, 50h clear status, A0h page program, 80h AAh 55h 10h chip
//   erase, 60h AAh 55h then 20h (protect) or 40h (unprotect) at an address of
//   the sector. A wrong cycle returns to the state before the sequence.
// - Page program: the bytes written after A0h, each within the load window
//   of the one before, fill the 128-byte page of the first; when the window
//   runs out the page is programmed (bits cleared only). A page in a
//   protected sector, or a byte that does not take its datum, ends the cycle
//   with the program-error bit set.
// - Status register (read on every address after program, erase, protect
//   and 70h until F0h or 90h): bit 7 ready, bit 5 erase error, bit 4 program
//   error; 50h clears the error bits.
// - Identification (90h, or 12 V on the protect pin): the maker code at word
//   address 0, the device code at 1; a word address of a sector with A1 high
//   and A0 low reads C2h when the sector is protected, else 00h. While busy a read gives the status.
// - Sector protect and unprotect need 12 V on the protect pin; without it
//   the command ends with the program-error bit set and nothing changes.
//   Protection outlasts power-off; protected sectors are skipped by the chip
//   erase.
//
// Faults: a byte that never programs, a byte that does not erase, an erase
// that never ends. Every write
// cycle is recorded.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "sim/JedecFlashChip.h"
#include "sim/PageLoad.h"
#include "sim/PartFacts.h"

namespace sim {

struct StatusPageFlashFacts : PartFacts {
    std::string maker;
    FlashPinout pins;                   // chip pins
    uint32_t pageBytes = 128;
    uint32_t sectorBytes = 0x20000;
    uint32_t loadWindowUs = 100;
    uint32_t writeUs = 900;             // a page program
    uint32_t eraseUs = 16 * 1300000;    // the chip erase, 1.3 s a sector
    uint32_t protectUs = 100;
    uint32_t firstCommand = 0xAAAA, secondCommand = 0x5554; // byte addresses
    int addressShift = 1;               // identification: word address << shift
    int protectPin = 0;                 // chip pin taking 12 V for protect commands
};

class StatusPageFlashChip : public CatalogChip {
public:
    explicit StatusPageFlashChip(const StatusPageFlashFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return memory_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < memory_.size() ? memory_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < memory_.size()) memory_[a] = static_cast<uint8_t>(v);
    }

    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

    bool SectorProtected(uint32_t sector) const { return protected_.count(sector) != 0; }
    void SetSectorProtected(uint32_t sector, bool on) {
        if (on) protected_.insert(sector);
        else protected_.erase(sector);
    }
    void StickByte(uint32_t a) { stuck_.insert(a); }
    void NeverFinishErase() { eraseHangs_ = true; }
    // A byte the chip erase leaves with its datum: the erase ends with the
    // erase-error bit set.
    void KeepThroughErase(uint32_t a) { unerased_.insert(a); }
    struct Cycle {
        uint32_t address;
        uint8_t data;
    };
    const std::vector<Cycle>& Cycles() const { return cycles_; }
    const std::vector<uint32_t>& PageWrites() const { return pageWrites_; }
    int ChipErases() const { return chipErases_; }

private:
    bool PoweredNow(const PinEnvironment& env) const;
    int Level(const PinEnvironment& env, int chipPin) const;
    void Settle(uint64_t now);
    void Commit(uint64_t start);
    void Write(uint32_t a, uint8_t d, uint64_t now, bool highVoltage);
    uint8_t ReadByte(uint64_t now) const;

    StatusPageFlashFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> memory_;
    std::set<uint32_t> protected_; // sector numbers
    std::set<uint32_t> stuck_;
    bool eraseHangs_ = false;
    std::set<uint32_t> unerased_;
    enum class Mode { Array, Id, Status } mode_ = Mode::Array;
    int step_ = 0;          // command cycles matched so far
    bool erasePrefix_ = false, protectPrefix_ = false;
    bool armed_ = false;    // A0h opened a page load
    PageLoad load_;
    uint64_t busyUntil_ = 0;
    uint8_t status_ = 0x80;
    uint32_t address_ = 0;
    bool powered_ = false, writeActive_ = false, readActive_ = false;
    bool highVoltage_ = false; // 12 V on the protect pin
    std::vector<uint32_t> pageWrites_;
    std::vector<Cycle> cycles_;
    int chipErases_ = 0;
};

} // namespace sim
