// A static or dynamic RAM of the RAM test, at the level of its locations: the
// RAM-test image (RamTestBus.h) runs its address counter, data lines and
// strobes. Powered only with a supply inside the part's window on its VCC pin
// and its VSS pin grounded; unpowered it is its protection diodes to the
// insertion probe (ProbeChip). Faults: a bit stuck at a level, a dead row
// (its cells keep nothing and read 0), a coupled bit (a rising or falling
// write of one bit sets, clears or flips another), a disturbed location (a
// write of another location, or of any in a range, clears it), an address
// line tied low (every location with that bit set reaches the cell with it
// clear), two address lines shorted (the low driver wins: both read as the
// AND of the two), an open location (its decoder selects no cell: writes are
// lost and the data lines float, read high), a weak cell (a DRAM cell that
// keeps its datum for less than the refresh period), a decoder that selects
// a second cell on a write (one location, or every location with an address
// bit at one level, also writing its partner), a decoder that sends one
// location to another's cell, a stuck-open cell (its write is lost and a
// read gives the data outputs' last value, the datum read before it), and
// two data lines shorted (the low driver wins: both bits take their AND).
// A dynamic RAM keeps a row's data only for its refresh period after the
// row's last cycle: every read or write cycle refreshes the row it reaches,
// and a row left longer reads 0 from then on.
#pragma once
#include <cstdint>
#include <set>
#include <vector>

#include "sim/Electrical.h"
#include "sim/ProbeChip.h"
#include "sim/RamParts.h"

namespace sim {

class RamChip : public ProbeChip {
public:
    explicit RamChip(const RamPartFacts& part);

    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;

    const RamPartFacts& Part() const { return part_; }
    bool Powered(const Electrical& e) const;
    // Location index wraps at the part's size; values keep `width` bits.
    // `nowUs`: the virtual time of the cycle (the refresh of a DRAM row).
    void Write(uint32_t location, uint8_t value, uint64_t nowUs = 0);
    uint8_t Read(uint32_t location, uint64_t nowUs = 0);
    uint32_t Writes() const { return writes_; }
    // Cells a write has reached at least once.
    uint32_t CellsWritten() const { return cellsWritten_; }

    void StickBit(uint32_t location, int bit, int level);
    void KillRow(uint32_t row) { deadRows_.insert(row); }
    // The transition of an aggressor bit that disturbs a victim, and what it
    // does to the victim bit.
    enum class Edge : uint8_t { Rise, Fall };
    enum class Effect : uint8_t { Set, Clear, Flip };
    // A write that takes bit `aggressorBit` of `aggressor` through `edge`
    // also sets, clears or flips bit `victimBit` of `victim` (by default a
    // rise setting it: an idempotent coupling fault).
    void CoupleBits(uint32_t aggressor, int aggressorBit, uint32_t victim, int victimBit, Edge edge = Edge::Rise,
                    Effect effect = Effect::Set);
    void OpenLocation(uint32_t location) { openLocations_.insert(location % part_.words); }
    // Address bit `bit` of the location (for a DRAM: row x columns + column)
    // held low by a short.
    void TieAddressLow(int bit) { tiedLow_ |= 1u << bit; }
    // Address bits `a` and `b` shorted together: each reads as their AND.
    void ShortAddressLines(int a, int b) { shorts_.push_back({1u << a, 1u << b}); }
    // A write of any of the `aggressors` locations from `aggressor` on loses
    // the datum of `victim` (its cells read 0).
    void LoseOnWrite(uint32_t victim, uint32_t aggressor, uint32_t aggressors = 1);
    // A DRAM cell that loses its datum (reads 0) when its row goes `holdUs`
    // without a cycle.
    void WeakCell(uint32_t location, uint32_t holdUs) { weakCells_.push_back({location % part_.words, holdUs}); }
    // Reads of a cell whose datum a lapsed refresh cleared.
    uint32_t LostReads() const { return lostReads_; }
    // A write of `location` also writes `other`.
    void AlsoWrite(uint32_t location, uint32_t other);
    // Every write of a location whose address bit `bit` is `level` also
    // writes its partner, the location with that bit the other way.
    void AlsoWriteAcross(int bit, int level);
    // The decoder sends `location` to the cell of `other`: its own cell is
    // never reached.
    void SendTo(uint32_t location, uint32_t other) { sent_.push_back({location % part_.words, other % part_.words}); }
    void StuckOpen(uint32_t location) { stuckOpen_.insert(location % part_.words); }
    // Data lines `a` and `b` shorted: each carries the AND of the two.
    void ShortDataLines(int a, int b) { dataShorts_.push_back(static_cast<uint8_t>((1u << a) | (1u << b))); }

private:
    int SocketOf(int chipPin) const;
    // The cell a location reaches through the address lines.
    uint32_t Decode(uint32_t location) const;
    // The cell a location reaches; a DRAM cycle on its row (refresh).
    uint32_t Cycle(uint32_t location, uint64_t nowUs);
    // What shorted data lines make of a datum.
    uint8_t OnDataLines(uint8_t value) const;
    void Store(uint32_t cell, uint8_t value);

    RamPartFacts part_;
    std::vector<uint8_t> cells_;
    uint32_t writes_ = 0;
    std::vector<bool> written_;
    uint32_t cellsWritten_ = 0;
    struct Stuck {
        uint32_t location;
        uint8_t mask;
        uint8_t level;
    };
    std::vector<Stuck> stuck_;
    std::set<uint32_t> deadRows_;
    struct Coupling {
        uint32_t aggressor;
        uint8_t aggressorMask;
        uint32_t victim;
        uint8_t victimMask;
        Edge edge;
        Effect effect;
    };
    std::vector<Coupling> couplings_;
    std::set<uint32_t> openLocations_;
    uint32_t tiedLow_ = 0;
    struct Short {
        uint32_t a, b;
    };
    std::vector<Short> shorts_;
    struct Disturb {
        uint32_t victim;
        uint32_t aggressor;
        uint32_t aggressors;
    };
    std::vector<Disturb> disturbs_;
    struct Weak {
        uint32_t location;
        uint32_t holdUs;
    };
    std::vector<Weak> weakCells_;
    // Per DRAM row, the time of its last cycle plus one (0: never cycled).
    std::vector<uint64_t> rowCycled_;
    std::vector<bool> lost_; // per cell: cleared by a lapsed refresh, not written since
    uint32_t lostReads_ = 0;
    // A write of a cell c with (c & mask) == match also writes c ^ flip.
    struct Echo {
        uint32_t mask, match, flip;
    };
    std::vector<Echo> echoes_;
    struct Sent {
        uint32_t location, cell;
    };
    std::vector<Sent> sent_;
    std::set<uint32_t> stuckOpen_;
    std::vector<uint8_t> dataShorts_; // the two lines' bits of each short
    uint8_t lastRead_ = 0;            // the data outputs' last value
};

} // namespace sim
