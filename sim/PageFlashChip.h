// Page-write flash and EEPROM with JEDEC command cycles at 5555h/2AAAh, at
// pin level (/CE, /OE, /WE, address and data lines).
//
// Behaviour, as the parts' datasheets describe it:
// - Write cycles are taken at the rising edge of /WE with /CE low and /OE
//   high. Command cycles compare address bits 0-14 and the datum (the 16-bit
//   parts take each command byte doubled into a word: AAh as AAAAh).
// - Page write: words written one after the other, each within the load
//   window of the one before, fill one page (the page of the first word;
//   later words keep their low address bits within it). When the window runs
//   out, or /OE goes low, the internal write cycle programs the page; on the
//   sector parts a word of the page that was not loaded is erased. Until the
//   cycle ends the part takes no writes and a read shows bit 7 inverted from
//   the last datum loaded and bit 6 toggling from one read to the next.
// - Software data protection (SDP): AAh, 55h, A0h switch it on and open a
//   page load; while it is on, a word written without that prefix is
//   ignored. AAh, 55h, 80h, AAh, 55h, 20h switch it off.
// - Chip erase: AAh, 55h, 80h, AAh, 55h, 10h erases every word not in a
//   locked boot block.
// - Identification: AAh, 55h, 90h enters it, AAh, 55h, F0h leaves it. Then
//   address 0 reads the maker code, 1 the device code, 2 the lower boot
//   block's state and the address 14 below the top the upper one's (FEh
//   open, FFh locked out).
// - Boot-block lockout: AAh, 55h, 80h, AAh, 55h, 40h, then 00h at address
//   0 locks the lower block, FFh at the top address the upper block. A
//   lockout is one-way; a locked block takes no page write and no erase.
//
// Faults: a word that never programs. Every write cycle is recorded.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "sim/JedecFlashChip.h"
#include "sim/PageLoad.h"
#include "sim/PartFacts.h"

namespace sim {

struct PageFlashFacts : PartFacts {
    std::string maker;
    FlashPinout pins;           // chip pins
    uint32_t pageWords = 128;
    uint32_t loadWindowUs = 150; // the window for the next word of a page load
    uint32_t writeUs = 10000;    // the internal write cycle
    uint32_t eraseUs = 20000;    // the chip erase
    bool sectorErase = true;     // a page write erases the words not loaded
    bool chipErase = true;
    bool idMode = true;
    uint32_t bootBlockWords = 0; // 0: no boot-block lockout
    bool shippedProtected = false;
};

// The 40-pin 16-bit part as the programmer's adapter presents it: the
// 27C1024 positions with /WE on pin 39.
FlashPinout PageFlashWord40Pinout();

class PageFlashChip : public CatalogChip {
public:
    explicit PageFlashChip(const PageFlashFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return memory_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < memory_.size() ? memory_[a] : Blank(); }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < memory_.size()) memory_[a] = static_cast<uint16_t>(v & Blank());
    }

    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

    bool Protected() const { return sdp_; }
    void SetProtected(bool on) { sdp_ = on; }
    // Boot-block lockout: 0 lower, 1 upper.
    bool LockedOut(int block) const { return locked_[block]; }
    void StickWord(uint32_t a) { stuck_.insert(a); }
    // Page write cycles (page addresses) and every write cycle seen.
    const std::vector<uint32_t>& PageWrites() const { return pageWrites_; }
    struct Cycle {
        uint32_t address;
        uint16_t data;
    };
    const std::vector<Cycle>& Cycles() const { return cycles_; }
    int ChipErases() const { return chipErases_; }

private:
    uint16_t Blank() const { return facts_.width > 8 ? 0xFFFF : 0xFF; }
    bool Powered(const PinEnvironment& env) const;
    // Powered, kept while the environment's supply revision stays and the
    // supply and ground pins are held by switches.
    bool PoweredNow(const PinEnvironment& env) const;
    int Level(const PinEnvironment& env, int chipPin) const;
    uint32_t Bits(const PinEnvironment& env, const std::vector<int>& chipPins, size_t n) const;
    bool InLockedBlock(uint32_t a) const;
    void Settle(uint64_t now);
    void Commit(uint64_t startUs);
    void Write(uint32_t a, uint16_t d, uint64_t now);
    uint16_t ReadWord(uint64_t now) const;

    PageFlashFacts facts_;
    std::vector<int> pins_;
    // Socket pins of the address and data lines and of /CE, /OE, /WE, worked
    // out once (the chip never moves); direct_ is false when one is off the
    // socket.
    bool direct_ = false;
    int addressZ_[32] = {};
    int dataZ_[16] = {};
    int controlZ_[3] = {};
    mutable uint64_t supplyRevision_ = 0;
    mutable bool supplyPowered_ = false;
    std::vector<uint16_t> memory_;
    std::set<uint32_t> stuck_;
    bool sdp_ = false;
    bool locked_[2] = {false, false};
    bool idMode_ = false;
    int step_ = 0;          // command cycles matched so far
    bool armed_ = false;    // the SDP prefix opened a page load
    bool lockout_ = false;  // the next cycle names the block to lock
    PageLoad load_;
    uint64_t busyUntil_ = 0;
    mutable int toggles_ = 0;
    uint32_t address_ = 0;
    bool powered_ = false, writeActive_ = false, readActive_ = false;
    std::vector<uint32_t> pageWrites_;
    std::vector<Cycle> cycles_;
    int chipErases_ = 0;
};

} // namespace sim
