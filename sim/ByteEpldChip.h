// Erasable PLDs addressed a byte at a time (24-pin DIP): a select code and a
// 6-bit address pick one byte of eight cells (erased 1), moved over an 8-bit
// bus. Four pin-outs (ByteEpldKind).
//
// The part answers only while powered with the bias pin at its level (the
// part's biasTenths, within 0.2 V). The rising strobe latches the select
// code and the address: bus bits 1-6 (Bus311, Bus312), bits 0-5 of the bus
// (Bus200) or of the address pins, which share the low data pins (Bus201,
// Bus203). Mode lines: 1 read, 3 program, 0 and 2 erase.
// - Read: the latched byte is driven on the data pins while the cell pulse
//   pin is at high voltage (Bus200: after its read-enable pin went high
//   since the strobe) or, on Bus201/Bus203, while the pulse pin is high.
// - Program: a pulse of 10 ms or more (high voltage, or a logic high on
//   Bus201/Bus203) writes the bus into the latched byte when the pulse ends:
//   each cell keeps the AND of itself and its bit; Bus200 clears the cells
//   whose bit is 1.
// - Erase: Bus311/Bus312 one pulse of 10 ms with the strobe at high voltage
//   too and the mode lines 0; the others three pulses in turn: mode 0 for
//   100 ms, mode 2 for 100 ms, mode 0 for the last erase pulse (Bus200 with
//   its strobe at high voltage in mode 0). Erase sets every cell to 1.
// - Security: any of bits 2-7 of the byte at select 11, address 44 cleared
//   (Bus311, Bus312), bit 0 at select 27, address 44 cleared (Bus201,
//   Bus203), or on Bus200 a 300 ms program-mode pulse with high voltage on
//   the read-enable pin too. A secured part reads 00h; erase clears it.
// High voltage is the part's level within 0.3 V (16.0 V on Bus311/Bus312,
// 14.7 V on Bus200); a level off it neither reads, writes nor erases.
// High voltage on the pulse pin of an unpowered part is a violation; the
// electrical model checks the pins' voltage limits.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class ByteEpldKind : uint8_t { Bus311, Bus312, Bus200, Bus201, Bus203 };

struct ByteEpldFacts {
    const char* maker;
    const char* name;
    ByteEpldKind kind;
    uint32_t fuses;      // the JEDEC fuse count of the part
    int biasTenths;      // level of the bias pin
    uint32_t lastEraseMs; // the last of the three erase pulses
};

class ByteEpldChip : public CellArrayChip {
public:
    explicit ByteEpldChip(const ByteEpldFacts& facts);

    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }

    static constexpr int kSelects = 32, kAddresses = 64;
    // The byte at (select, address), as stored (erased FFh).
    uint8_t Byte(int select, int address) const;
    void SetByte(int select, int address, uint8_t value);
    // Cell of bit `bit` of the byte at (select, address), for StickCell.
    static uint32_t CellOf(int select, int address, int bit) {
        return static_cast<uint32_t>((select * kAddresses + address) * 8 + bit);
    }
    bool Locked() const;
    // Faults: the part ignores the erase pulses.
    void IgnoreErase() { ignoreErase_ = true; }
    // Every program pulse: select, address and data.
    struct Write {
        int select, address, data;
    };
    const std::vector<Write>& Writes() const { return writes_; }
    // Every pulse on the cell pulse pin but the reads': mode lines and width.
    struct Pulse {
        int mode;
        uint64_t widthUs;
    };
    const std::vector<Pulse>& Pulses() const { return pulses_; }
    void ClearLog() {
        writes_.clear();
        pulses_.clear();
    }

    struct Pins {
        int data[8], select[5], mode[2], strobe, pulse, bias, readEnable;
        int selectBits, addressShift;
        bool logicPulse;
    };

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    const Pins& PinsOfPart() const;
    int Mode(const PinEnvironment& env) const;
    int Bus(const PinEnvironment& env) const;
    bool BiasOn(const PinEnvironment& env) const;
    bool PulseOn(const PinEnvironment& env) const;
    bool HighVoltage(const PinEnvironment& env, int chipPin) const;
    void PulseEnded(const PinEnvironment& env, uint64_t width);
    void EraseStep(int mode, uint64_t width, bool strobeHigh);

    ByteEpldFacts part_;
    bool strobeHigh_ = false;
    bool pulseHigh_ = false;
    bool readArmed_ = false;
    bool secureHigh_ = false; // Bus200: the read-enable pin at high voltage during the pulse
    PulseTimer pulse_;
    int select_ = -1, address_ = -1;
    int eraseStep_ = 0;
    bool locked_ = false;
    bool ignoreErase_ = false;
    std::vector<Write> writes_;
    std::vector<Pulse> pulses_;
};

} // namespace sim
