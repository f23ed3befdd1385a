// Electrically erasable PLDs programmed a byte (a 10-bit word on the 22V10
// type) at a time through a command interface, keeping a program/erase
// cycle record of their own in two rows.
//
// Interface: a 2-bit command bus selects what the serial data pin feeds on
// each rising clock edge: 0 the mode (1 erase, 2 program, 3 read), 1 the
// row address, 2 the byte index, 3 the data. A register takes its value
// only when exactly its bit count was clocked in (most significant bit
// first); any other count leaves it invalid. Registers keep their value
// until the next command of their kind (the index in particular).
// - Read mode: the strobe rising with command 3 loads the addressed byte;
//   every following clock puts its next bit, the most significant first, on
//   the data-out pin.
// - Program mode: the strobe held high 2000 us or more with 12.0 V on the
//   edit pin and VCC at 5.0 V ORs the data into the addressed cells. The
//   data-out pin then gives the write status (0: the cells do not hold the
//   data; bits without a cell must be sent as 1 on the word type), on the
//   byte types only while the verify-enable pin is high.
// - Erase mode: the strobe held high 1 s or more clears every cell, the
//   cycle record too, and the security cell (the word type with code 65
//   only while row 56 is addressed).
// Rows: the array and the architecture rows in the part's JEDEC numbering;
// the record rows (43/44, 45/46 on the word type), kept least significant
// bit first in shift order; row 56 sets the security cell, which hides the
// array rows only (they read 0); row 63 gives the identification code, its
// least significant bit first (bit 6 flipped while answering another
// identity).
// A clock or strobe with the edit voltage on and the part unpowered is a
// violation.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class CycleRecordKind : uint8_t { Byte16V8, Byte20V8, Word22V10 };

struct CycleRecordFacts {
    const char* maker;
    const char* name;
    CycleRecordKind kind;
    uint16_t idCode; // row 63 (0: the part has none)
    uint32_t fuses;  // JEDEC fuse count
};

class CycleRecordChip : public CellArrayChip {
public:
    explicit CycleRecordChip(const CycleRecordFacts& facts);

    void Update(const PinEnvironment& env) override;

    const CycleRecordFacts& Part() const { return part_; }
    // JEDEC fuse n as programmed (1) or erased (0).
    int Fuse(uint32_t n) const { return n < part_.fuses ? 1 - Cell(n) : 0; }
    void SetFuse(uint32_t n, int value) { SetCell(n, value ? 0 : 1); }
    bool FusesBlank() const;
    // Unit k of the cycle record (byte 0-15, word 0-37), as the part keeps it.
    uint32_t RecordUnit(int k) const;
    void SetRecordUnit(int k, uint32_t value);
    // Faults: the part ignores the erase pulse.
    void IgnoreErase() { ignoreErase_ = true; }
    // Fault: the security cell never programs (the write status says so).
    void StickSecurity() { securityStuck_ = true; }
    // The unit at (row, index) as a read would give it (the byte types' row
    // 41 index 3 and 4 hold two record bits each).
    uint32_t UnitAt(int row, int index) const { return Unit(row, index); }
    // The fuse value (as Fuse) held behind value bit `bit` of the unit at
    // (row, index), -1 where there is none.
    int FuseAtPlace(int row, int index, int bit) const {
        const int c = CellAt(row, index, UnitWidth() - 1 - bit);
        return c < 0 ? -1 : 1 - Cell(static_cast<uint32_t>(c));
    }
    int UnitWidth() const { return part_.kind == CycleRecordKind::Word22V10 ? 10 : 8; }

    // Every command register load with its value (-1 for a wrong bit count).
    struct Load {
        int command, value;
    };
    const std::vector<Load>& Loads() const { return loads_; }
    // Every program-mode write: row, index and the data word.
    struct Write {
        int row, index, data;
    };
    const std::vector<Write>& Writes() const { return writes_; }
    void ClearLog() {
        loads_.clear();
        writes_.clear();
    }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    struct Pins {
        int data, clock, bus0, bus1, strobe, out, verify, edit, vcc, gnd;
    };
    static const Pins& PinsOf(CycleRecordKind k);
    int Bits(int command) const;
    // Cell of bit p (register position, most significant first = 0) of the
    // addressed unit; -1 where there is none.
    int CellAt(int row, int index, int p) const;
    bool ArrayRow(int row) const;
    bool RecordRow(int row) const;
    uint32_t Unit(int row, int index) const; // register value read from the cells
    void Commit();
    void Strobe(const PinEnvironment& env, bool rising);
    bool EditOn(const PinEnvironment& env) const;
    bool WriteConditions(const PinEnvironment& env) const;

    CycleRecordFacts part_;
    uint32_t recordBase_;
    uint32_t extraBase_;
    int reg_[4] = {-1, -1, -1, -1};
    int active_ = -1;
    uint32_t shifting_ = 0;
    int shifted_ = 0;
    ClockStrobeEdges edges_;
    PulseTimer strobe_;
    uint32_t out_ = 0;
    int outBit_ = -1;
    bool status_ = false;
    bool statusValid_ = false;
    bool ignoreErase_ = false;
    bool securityStuck_ = false;
    std::vector<Load> loads_;
    std::vector<Write> writes_;
};

} // namespace sim
