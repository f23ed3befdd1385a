// Base of the electrically erasable logic parts: an array of fuse cells in the
// part's JEDEC numbering, erased to 1. A row write can only clear cells (the
// cell keeps the AND of its value and the bit written); only an erase sets
// them back to 1 and clears the security cell. A secured part reads its
// array as all ones.
//
// Powered means VCC at 4.5 V (a low-voltage part: its own minimum) or more and every ground pin held low; without
// that, the part is a diode network to the insertion probe (ProbeChip).
// Pins the programmer leaves undriven read the environment's FloatingLevel().
//
// Helpers for the derived models: levels and voltages of chip pins, voltage
// windows, pulse widths in virtual time, and a cell that never programs.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/ProbeChip.h"

namespace sim {

class CellArrayChip : public ProbeChip {
public:
    CellArrayChip(std::string name, int pinCount, uint32_t cells, int vccChipPin, std::vector<int> gndChipPins);
    // A part whose pins reach the socket through an adapter (socketPins as
    // ProbeChip takes them), powered from vccMinTenths on.
    CellArrayChip(std::string name, std::vector<int> socketPins, uint32_t cells, int vccChipPin,
                  std::vector<int> gndChipPins, int vccMinTenths);

    ChipDrive Output(const PinEnvironment& env, int socketPin) const final;
    // Output of every pin asked, with the supply worked out once.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const final;

    uint32_t CellCount() const { return static_cast<uint32_t>(cells_.size()); }
    // Cell n (1 erased); cells outside the array read 1.
    int Cell(uint32_t n) const { return n < cells_.size() ? cells_[n] : 1; }
    void SetCell(uint32_t n, int value);
    bool Secured() const { return secured_; }
    bool Blank() const;
    // Fault: the cell never programs.
    void StickCell(uint32_t n) { stuck_.insert(n); }

    // The footprint for the electrical model: 7.0 V on every pin but the
    // ones raised with AllowPin.
    ChipPinLimits Limits() const;

protected:
    // Powered from this supply up (4.5 V unless a low-voltage part says less).
    void SetMinimumVcc(int tenths) { vccMinTenths_ = tenths; }
    // Chip pin with a higher rating (the edit-voltage pin).
    void AllowPin(int chipPin, int tenths) { raised_.emplace_back(chipPin, tenths); }

    int SocketOf(int chipPin) const;
    int Level(const PinEnvironment& env, int chipPin) const;
    int Volts(const PinEnvironment& env, int chipPin) const;
    bool Powered(const PinEnvironment& env) const;
    static bool Within(int tenths, int centre, int tolerance) {
        return tenths >= centre - tolerance && tenths <= centre + tolerance;
    }

    // Row writes clear the cells written 0 (not a stuck cell); erase and
    // security as above.
    void WriteCell(uint32_t n, int bit);
    void EraseAll();
    void Secure() { secured_ = true; }

    // The edit-mode parts' gate for a clock or strobe edge: true with the
    // edit pin at editOnTenths or more and the part powered; an edge at edit
    // voltage without power is recorded as a violation.
    bool InEditMode(const PinEnvironment& env, int editChipPin, int editOnTenths) const;

    // What the powered part drives on one of its socket pins.
    virtual ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const = 0;
    // PoweredOutput of the socket pins pins[0..n-1] into out (None on a pin
    // the part does not occupy); by default pin by pin.
    virtual void PoweredOutputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const;

private:
    int vccPin_;
    std::vector<int> gndPins_;
    int vccMinTenths_ = 45;
    // Powered() of the current microsecond: pin conditions change only with
    // a port access, and every access costs a microsecond.
    mutable uint64_t poweredAtUs_ = UINT64_MAX;
    mutable bool powered_ = false;
    std::vector<uint8_t> cells_;
    std::set<uint32_t> stuck_;
    std::vector<std::pair<int, int>> raised_;
    bool secured_ = false;
};

// The clock and strobe pins of an edit-mode part: the edges of each update.
class ClockStrobeEdges {
public:
    // Takes the levels of this update; true when either pin changed as counted.
    bool Take(bool clockHigh, bool strobeHigh) {
        clockRise = clockHigh && !clockHigh_;
        strobeEdge = strobeHigh != strobeHigh_;
        this->strobeHigh = strobeHigh;
        clockHigh_ = clockHigh;
        strobeHigh_ = strobeHigh;
        return clockRise || strobeEdge;
    }
    bool clockRise = false;
    bool strobeEdge = false;
    bool strobeHigh = false;

private:
    bool clockHigh_ = false;
    bool strobeHigh_ = false;
};

// A pulse measured in virtual time from its start edge to its end edge.
class PulseTimer {
public:
    void Start(uint64_t nowUs) {
        running_ = true;
        startUs_ = nowUs;
    }
    // Width of the pulse ended now; 0 when none was running.
    uint64_t Stop(uint64_t nowUs) {
        const uint64_t w = running_ ? nowUs - startUs_ : 0;
        running_ = false;
        return w;
    }
    bool Running() const { return running_; }

private:
    bool running_ = false;
    uint64_t startUs_ = 0;
};

} // namespace sim
