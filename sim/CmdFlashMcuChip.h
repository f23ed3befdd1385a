// A flash microcontroller in its programming mode written with command bytes,
// at pin level (40-pin DIP, chip pin n on socket pin n + 4).
//
// Pins (socket): A0-A7 on 26-33, A8-A12 on 38-42, D0-D7 on 12-19, /CE 20,
// /OE 21, /WE 22, /MODE 23; the programming voltage on 35; GND 24, VCC 44.
//
// Behaviour: with VCC in its window the part reads: /CE and /OE low drive the
// complement of the addressed cell (an erased cell, FFh inside, reads 00h).
// With the programming voltage on pin 35 and /MODE low, /WE rising with /CE
// low takes a command byte: 40h makes the next write the datum for its
// address, stored as sent (it clears the cell's bits that are 0), and 30h
// twice erases every cell. While a write lasts (the part's write time) reads
// give bit 7 complemented; while an erase lasts (its erase time) they read
// 80h. Any other command, and a write while one runs, are violations.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct CmdFlashMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    int vppMinTenths = 115, vppLimitTenths = 135;
    uint32_t writeUs = 40;
    uint32_t eraseUs = 1500000;
};

class CmdFlashMcuChip : public CatalogChip {
public:
    explicit CmdFlashMcuChip(const CmdFlashMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // Cells as read (the complement of what is stored).
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? static_cast<uint8_t>(~cells_[a]) : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(~v);
    }

    uint32_t Writes() const { return writes_; }
    uint32_t Erases() const { return erases_; }
    // A cell that never takes a write; a part whose erase never ends.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    void NeverFinishErase() { eraseForever_ = true; }

private:
    uint32_t Address(const PinEnvironment& env) const;
    bool Busy(const PinEnvironment& env) const { return env.NowUs() < busyUntil_; }
    void TakeWrite(const PinEnvironment& env);

    CmdFlashMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    enum class State { Idle, Datum, Erase1 } state_ = State::Idle;
    bool weLow_ = false, erasing_ = false, eraseForever_ = false;
    uint64_t busyUntil_ = 0;
    uint8_t busyRead_ = 0; // the value a read gives while busy
    uint32_t writes_ = 0, erases_ = 0;
    int64_t stuck_ = -1;
};

} // namespace sim
