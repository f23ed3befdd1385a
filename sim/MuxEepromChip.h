// 8 KB page-write EEPROMs for microcontroller buses with multiplexed
// address and data lines, at pin level.
//
// Behaviour, as the parts' datasheets describe it:
// - Addressing: the address latch strobe (ALE of the Intel-bus part, AS of
//   the Motorola-bus part) is transparent while high; its falling edge keeps
//   A0-A7 from the AD lines and A8-A12 from their own pins.
// - Read: Intel bus /CE and /OE low; Motorola bus /CE low, R/W high and DS
//   high. The part drives AD0-AD7 with the latched address's byte.
// - Write: Intel bus the rising edge of /WE with /CE low; Motorola bus the
//   falling edge of DS with /CE low and R/W low. The data are taken then.
// - Page write: bytes written one after the other, each within the byte-load
//   window of the one before, fill one page (the page of the first byte;
//   later bytes keep their low address bits within it). When the window
//   runs out, the internal write cycle programs the loaded bytes; until it
//   ends the part takes no writes and a read shows bit 7 inverted from the
//   last byte loaded and bit 6 toggling from one read to the next.
// - Software data protection: the cycles AAh at x555h, 55h at xAAAh
//   (address bits 0-11 compared) and A0h at x555h switch protection on and
//   open a page load; while protection is on, a byte written without that
//   prefix is ignored. AAh, 55h, 80h, AAh, 55h, 20h switch it off. Parts are
//   shipped with protection off.
// - Block protection: the prefix, then AAh at x555h, C0h at xAAAh, and the
//   next write's datum is the block protect register: bit n set protects the
//   1 KB block n (n x 400h .. n x 400h + 3FFh) from page writes. It is
//   nonvolatile.
//
// Faults: a byte that never programs (it keeps its old value). Every write
// cycle's page address is recorded, and every command cycle.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "sim/PageLoad.h"
#include "sim/PartFacts.h"

namespace sim {

// Chip pins of the parts' 28-pin DIP. Both buses use the same positions:
// AD lines where a byte-wide memory has its data, A8-A12 on its address
// pins, the latch strobe on pin 3, /CE 20, the read strobe (/OE or DS) 22,
// the write line (/WE or R/W) 27.
struct MuxEepromPinout {
    int ad[8] = {11, 12, 13, 15, 16, 17, 18, 19};
    int high[5] = {25, 24, 21, 23, 2}; // A8-A12
    int latch = 3, ce = 20, read = 22, write = 27;
};

struct MuxEepromFacts : PartFacts {
    std::string maker;
    bool motorola = false; // AS, DS, R/W instead of ALE, /OE, /WE
    MuxEepromPinout pins;
    uint32_t pageBytes = 16;
    uint32_t byteLoadUs = 100; // the window for the next byte of a page load
    uint32_t writeUs = 5000;   // the internal write cycle
};

class MuxEepromChip : public CatalogChip {
public:
    explicit MuxEepromChip(const MuxEepromFacts& facts);

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

    bool Protected() const { return sdp_; }
    void SetProtected(bool on) { sdp_ = on; }
    uint8_t BlockProtect() const { return blockProtect_; }
    void StickByte(uint32_t a) { stuck_.insert(a); }
    // Page addresses of the write cycles, and every cycle written (address,
    // datum).
    const std::vector<uint32_t>& WriteCycles() const { return writeCycles_; }
    struct Cycle {
        uint32_t address;
        uint8_t data;
    };
    const std::vector<Cycle>& Cycles() const { return cycles_; }

private:
    bool Powered(const PinEnvironment& env) const;
    // Powered, kept while the environment's supply revision stays and the
    // supply and ground pins are held by switches.
    bool PoweredNow(const PinEnvironment& env) const;
    int Level(const PinEnvironment& env, int chipPin) const;
    bool ReadStrobe(const PinEnvironment& env) const;
    bool WriteStrobe(const PinEnvironment& env) const;
    void Settle(uint64_t now);
    void Commit(uint64_t startUs);
    void Write(uint32_t a, uint8_t d, uint64_t now);
    uint8_t ReadByte(uint64_t now) const;

    MuxEepromFacts facts_;
    std::vector<int> pins_;
    // Socket pins of AD0-AD7 then A8-A12, and of the latch, /CE, read and
    // write pins, worked out once (the chip never moves); direct_ is false
    // when one is off the socket.
    bool direct_ = false;
    int addressZ_[13] = {};
    int controlZ_[4] = {};
    mutable uint64_t supplyRevision_ = 0;
    mutable bool supplyPowered_ = false;
    // The AD bit each socket pin carries (-1 none), worked out once.
    int8_t adBitOf_[kSocketPins + 1] = {};
    std::vector<uint8_t> memory_;
    std::set<uint32_t> stuck_;
    bool sdp_ = false;
    uint8_t blockProtect_ = 0;
    // Command state: cycles of a sequence matched so far.
    int step_ = 0;
    bool armed_ = false; // the prefix opened a page load
    // Page load and write cycle.
    PageLoad load_;
    uint64_t busyUntil_ = 0;
    mutable int toggles_ = 0;
    // Pins.
    uint32_t address_ = 0;
    bool powered_ = false, latchHigh_ = false, writeActive_ = false, readActive_ = false;
    std::vector<uint32_t> writeCycles_;
    std::vector<Cycle> cycles_;
};

} // namespace sim
