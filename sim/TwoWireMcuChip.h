// A microcontroller programmed over a data and a clock pin, at pin level.
//
// Behaviour: the programming mode is entered when VCC comes into its window
// while the entry pin is held low and the programming pin is not yet at its
// voltage, and lasts while VCC stays in it and the
// programming pin holds at least vppMinTenths. A transfer opens with the data
// line rising while the clock is high and closes with it falling while the
// clock is high. Bytes go most significant bit first, each bit taken on the
// rising clock edge, and every byte is followed by one more clock with the
// data line unchanged. The first byte of a transfer is a command: 61h read
// and 60h write, each followed by the address high and low byte that load
// the address counter; E0h followed by 0Eh 3Fh 00h secures the part (every
// byte then reads 00h), and, on an erasable part, E0h 55h 5Ah AAh erases it
// to FFh with its security in eraseUs.
// Read: the part shifts the addressed byte out from the end of the byte
// before, one bit after each falling clock edge, releases the line for the
// extra clock and moves to the next address. Its output only holds the line
// while the programmer's driver is off it (the driver wins).
// Write: each byte clears bits (1 -> 0) of the addressed cell once the clock
// has stayed quiet for writeUs after the byte; a clock edge or the closing
// sequence before then leaves the cell as it was. Secured, writes are
// ignored.
// An unknown command or a byte without its extra clock is a violation.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct TwoWireMcuFacts : PartFacts {
    std::string maker;
    std::string note;
    int dataPin = 8, clockPin = 7, entryPin = 6, vppPin = 4;
    // The clock input has a pull-up: with the programmer's driver off it and
    // no ground on it, it reads high.
    bool clockPullUp = false;
    bool erasable = false;
    int vppMinTenths = 110, vppLimitTenths = 135;
    uint32_t writeUs = 1000, eraseUs = 10000;
};

class TwoWireMcuChip : public CatalogChip {
public:
    // What the part saw of the transfers: Start, Stop, a byte taken from the
    // line (its value), or a byte it shifted out (0x100 | value).
    enum : int { Start = -1, Stop = -2, Sent = 0x100 };

    explicit TwoWireMcuChip(const TwoWireMcuFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    // The entry pin is sampled as the supply comes up.
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return facts_.words; }
    uint16_t Cell(uint32_t a) const override { return a < facts_.words ? cells_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < facts_.words) cells_[a] = static_cast<uint8_t>(v);
    }

    bool Secured() const { return secured_; }
    const std::vector<int>& Events() const { return events_; }
    // Clock and data levels as the part saw them change, while in the mode:
    // "C1", "C0", "D1", "D0".
    const std::vector<std::string>& Edges() const { return edges_; }
    void ClearEvents() {
        events_.clear();
        edges_.clear();
    }
    // A cell that never takes a write; a secure sequence without effect.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    void IgnoreSecure() { ignoreSecure_ = true; }

private:
    enum class Phase { Idle, Command, Address, Special, Write, Read, Done };
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool ClockLevel(const PinEnvironment& env) const;
    uint8_t ReadCell(uint32_t a) const;
    void Settle(const PinEnvironment& env, bool interrupted);
    void EndTransfer();
    void ByteIn(const PinEnvironment& env, uint8_t b);

    TwoWireMcuFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    bool powered_ = false, entered_ = false, inMode_ = false;
    bool clock_ = false, data_ = false;
    Phase phase_ = Phase::Idle;
    uint32_t bits_ = 0, shift_ = 0;
    int lastBit_ = 0;
    uint32_t counter_ = 0, addressBytes_ = 0;
    bool readCommand_ = false;
    std::vector<uint8_t> special_;
    // Read: the byte being shifted out and the bit on the line (8: released).
    uint8_t out_ = 0;
    uint32_t outBit_ = 0;
    bool lineTaken_ = false;
    // A write or erase waiting for its time.
    bool pending_ = false, pendingErase_ = false;
    uint32_t pendingAt_ = 0;
    uint8_t pendingValue_ = 0;
    uint64_t pendingFrom_ = 0;
    bool secured_ = false, ignoreSecure_ = false;
    int64_t stuck_ = -1;
    std::vector<int> events_;
    std::vector<std::string> edges_;
};

} // namespace sim
