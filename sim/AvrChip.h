// An AVR microcontroller of the AT90S kind in its parallel programming mode,
// at pin level.
//
// Entry: VCC in its window, RESET and BS held low, then 11.5-12.5 V on RESET;
// 12 V reaching RESET in any other order is a violation and enters nothing.
// Leaving the window or taking the 12 V off leaves the mode.
//
// The XTAL1 rising edge loads by XA1:XA0 (group of two pins): 00 an address
// byte (BS low the low byte, BS high the high byte), 01 the data byte, 10 the
// command. A WR low pulse executes the command: write flash (BS selects the
// byte of the addressed word), write EEPROM and write lock bits are
// self-timed, RDY/BSY low from WR until the write time has passed; chip erase
// and write fuse bits are timed by the WR low time itself (the datasheet's
// tWLWH_CE and tWLWH_PFB windows; outside them a violation and no change).
// OE low drives DATA with what the read command selects: signature byte,
// fuse and lock bits (BS high; on the fuse-byte kind BS low the fuse byte and
// BS high the lock byte), the flash word's byte chosen by BS, the EEPROM
// byte. Lock bit 1 blocks flash and EEPROM writes, both lock bits also their
// reads (FFh). Chip erase clears flash, EEPROM and lock bits, never fuses.
// Any load, WR or OE while a write runs, and OE low with WR low, are
// violations.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/AvrCells.h"
#include "sim/PartFacts.h"

namespace sim {

enum class AvrFuseKind : uint8_t {
    LockAndFuse, // one byte: bit 7 lock bit 1, bit 6 lock bit 2, bit 5 SPIEN, bit 0 FSTR/RCEN
    FuseByte,    // a fuse byte (SPIEN, BODLEVEL, BODEN, CKSEL2-0) and a lock byte (bits 1, 2)
};

struct AvrFacts : PartFacts {
    std::string maker;
    std::string note;
    uint8_t signature[3] = {0x1E, 0x90, 0x01};
    uint32_t flashBytes = 1024;
    uint32_t eepromBytes = 64;
    AvrFuseKind fuseKind = AvrFuseKind::LockAndFuse;
    // Fuse bits as shipped (bits of the fuse half only; 0 programmed).
    uint8_t fuses = 0xDF;
    // Chip pins of the parallel mode: DATA bits 0-7, RESET, RDY/BSY, OE, WR,
    // BS, XA0, XA1, XTAL1.
    int data[8] = {};
    int resetPin = 1, rdyPin = 0, oePin = 0, wrPin = 0, bsPin = 0, xa0Pin = 0, xa1Pin = 0, xtal1Pin = 0;
    VoltageWindow vpp{115, 125};
    int vppLimitTenths = 130;
    // Self-timed write (tWLRH), chip-erase and fuse WR low windows, in us.
    uint32_t writeUs = 700;
    uint32_t eraseMinUs = 5000, eraseMaxUs = 15000;
    uint32_t fuseMinUs = 1000, fuseMaxUs = 1800;
};

class AvrChip : public CatalogChip, public AvrCells {
public:
    explicit AvrChip(const AvrFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Track(env); }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // The flash bytes (word n: bytes 2n low, 2n+1 high), the size the device
    // record gives; Cell and SetCell also reach the EEPROM after them.
    size_t Words() const override { return facts_.flashBytes; }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    const AvrFacts& Part() const { return facts_; }
    uint8_t Eeprom(uint32_t a) const { return Cell(facts_.flashBytes + a); }
    bool InMode() const { return inMode_; }

private:
    int Sock(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool High(const PinEnvironment& env, int chipPin) const { return env.InputLevel(Sock(chipPin)) == 1; }
    bool VccUp(const PinEnvironment& env) const;
    void Track(const PinEnvironment& env);
    uint8_t DataIn(const PinEnvironment& env) const;
    bool Busy(const PinEnvironment& env) const { return env.NowUs() < busyUntil_; }
    uint8_t ReadOut(bool bs) const;
    uint8_t LockFuseByte() const;
    void WrFell(const PinEnvironment& env);
    void WrRose(const PinEnvironment& env);
    void Write(uint32_t at, uint8_t value);

    AvrFacts facts_;
    std::vector<int> pins_;
    int dataBit_[64] = {}; // chip pin -> DATA bit + 1 (0: none)
    bool armed_ = false, inMode_ = false;
    bool xtalHigh_ = false, wrLow_ = false, oeLow_ = false;
    int lastReset_ = -1;
    uint8_t command_ = 0, data_ = 0;
    uint16_t address_ = 0;
    uint64_t wrFellUs_ = 0, busyUntil_ = 0;
};

} // namespace sim
