// An ST62-type microcontroller in its serial EPROM mode, at pin level.
//
// No public datasheet of the serial protocol was found: the model follows
// the chip side of the algorithm row (frames, replies, window) and keeps its
// own tables of them; every part of the family is flagged followsRow.
//
// Behaviour: with VCC in its window, the mode is armed when the enable pin
// rises while the hold and mode pins are high, and lasts while all three stay
// high. The part then counts resetClocks falling clock edges, ignoring its
// serial input. After that, a falling edge with a 1 on the input opens a
// frame; frames are 52 clocks long and follow each other. Bits are taken LSB
// first at the falling clock edge (inverted on parts whose input is active
// low); the part's output bit for that position is on its data-out pin from
// the same edge until the next one, and released in the gaps.
//   clocks 0-7   command: 0Dh write, 1Fh read; reply FFh in the first frame
//                after arming, 00h afterwards
//   clocks 8-12  gap
//   clocks 13-20 data-space address; reply from the handshake table
//                (00h, 03h, 06h for the first three frames, 00h after)
//   write to a window address 40h-7Fh (an EPROM program cycle):
//     clocks 26-33 data; clocks 34-38 gap; then a pause; the cell takes the
//     byte's 1 bits (blank is 00h) at the next rising clock edge only when
//     the pause lasted programUs and TEST/VPP stayed in its programming
//     window from the data's first bit to that edge; 13 clocks close.
//   other writes: clocks 39-46 data, echoed bit by bit; stored in the data
//     space; 5 clocks close.
//   read: clocks 39-46 the location's byte on data-out; 5 clocks close.
// The window register C9h selects the 64-byte page seen at 40h-7Fh. The
// window only works while the EPROM control register C5h holds the part's
// control value (reads give FFh, program cycles do nothing otherwise).
// Violations: an unknown command, a program cycle into the reserved areas
// (FA0h-FEFh, FF8h-FFBh) or below the part's EPROM, the programming voltage
// on TEST/VPP without VCC.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct St62SerialFacts : PartFacts {
    std::string maker;
    std::string note;
    // Chip pins: clock, enable, serial input, serial output, hold, mode
    // select, TEST/VPP.
    int clockPin = 1, enablePin = 2, dataInPin = 3, dataOutPin = 4, holdPin = 5, modePin = 6, vppPin = 7;
    bool inputActiveLow = true;
    uint8_t controlValue = 0x80;
    int vppMinTenths = 120, vppLimitTenths = 135;
    uint32_t programUs = 1000;
    uint32_t resetClocks = 2048;
    // The program EPROM is epromFirst..words - 1 of the program space, less
    // the reserved areas; the cells below it are no EPROM.
    uint32_t epromFirst = 0;
};

class St62SerialChip : public CatalogChip {
public:
    struct Frame {
        int command = 0, address = 0, data = 0;
        bool vpp = false; // TEST/VPP in its programming window at the frame's end
    };

    explicit St62SerialChip(const St62SerialFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return facts_.words; }
    uint16_t Cell(uint32_t a) const override { return a < facts_.words ? cells_[a] : 0; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < facts_.words) cells_[a] = static_cast<uint8_t>(v);
    }

    static bool ReservedAddress(uint32_t a);
    // A cell of the part's program EPROM (outside the reserved areas).
    static bool EpromCell(const St62SerialFacts& facts, uint32_t a) {
        return a >= facts.epromFirst && a < facts.words && !ReservedAddress(a);
    }
    uint8_t DataSpace(int a) const { return space_[static_cast<size_t>(a & 0xFF)]; }
    // Completed frames and the times the mode was armed, since ClearFrames.
    const std::vector<Frame>& Frames() const { return frames_; }
    int Arms() const { return arms_; }
    void ClearFrames() {
        frames_.clear();
        arms_ = 0;
    }
    // Faults: bits of a cell that never take; a wrong first reply from the
    // n-th arming on (1-based).
    void StickBits(uint32_t a, uint8_t bits) {
        stuckAt_ = static_cast<int64_t>(a);
        stuckBits_ = bits;
    }
    void FailArmFrom(int n) { failArm_ = n; }

private:
    enum class Kind { None, Write, Program, Read };
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool VppOn(const PinEnvironment& env) const;
    uint32_t WindowCell(int address) const;
    void Disarm();
    void FallingEdge(const PinEnvironment& env);
    void RisingEdge(const PinEnvironment& env);
    void EndFrame(const PinEnvironment& env);

    St62SerialFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    uint8_t space_[256] = {};
    bool powered_ = false, enable_ = false, clock_ = false, armed_ = false;
    bool vppWithoutVcc_ = false;
    uint32_t resetCount_ = 0;
    int framesSinceArm_ = 0;
    bool inFrame_ = false;
    int k_ = 0;
    Kind kind_ = Kind::None;
    uint32_t command_ = 0, address_ = 0, data_ = 0;
    // The level on data-out (-1 released).
    int drive_ = -1;
    // A program cycle: TEST/VPP held since the data's first bit; the pause's start.
    bool vppHeld_ = false, pausing_ = false;
    uint64_t pauseFrom_ = 0;
    std::vector<Frame> frames_;
    int arms_ = 0, failArm_ = 0;
    int64_t stuckAt_ = -1;
    uint8_t stuckBits_ = 0;
};

} // namespace sim
