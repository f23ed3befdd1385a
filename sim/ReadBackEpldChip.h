// Erasable PLDs addressed a byte at a time with four mode lines and an 8-bit
// address (ReadBackEpldKind): a 24-pin part (select S0-S3, the address on
// the data bus), a 28-pin part (address lines of their own beside the data
// bus, supply on the centre pins 7 and 21) and a 40/44-pin part (a 7-bit
// address, four select lines and two array-half lines; D7 shares S0's pin).
// Bytes of eight cells, erased 1. No public datasheet gives these
// interfaces: the pin-outs, levels and times are the algorithm rows' view of
// the chip.
//
// The part answers only while powered with its bias pin at 14.7 V (within
// 0.2 V). The strobe's rising edge latches select, half and address.
// Mode lines (M0 = bit 0 .. M3 = bit 3), sampled when the pulse pin rises:
// - 3: program. A pulse of 10 ms or more writes the data bus into the
//   latched byte when it ends (each cell keeps the AND of itself and its bit).
// - 1: read. While the pulse pin (the read enable) is high the latched byte
//   is driven on the data pins, 00h on a secured part.
// - 0, 2, 0: erase, three pulses of 100 ms or more in this order; the third
//   sets every cell to 1 (and so clears the security bit).
// Violations, which program and erase nothing: a pulse with mode lines
// other than 0-3 (unknown command), a program pulse shorter than 10 ms or
// without the bias level, an erase pulse shorter than 100 ms, a program pulse
// with nothing latched, and the bias pin raised on an unpowered part.
// Security bit (a 0 makes every read 00h): bit 0 of select 2, address 218
// (24-pin); bit 4 of select 0, address C5h (28-pin); bit 0 of half 3,
// select 0, address 15 (40/44-pin).
#pragma once
#include <cstdint>
#include <vector>

#include "sim/CellArrayChip.h"

namespace sim {

enum class ReadBackEpldKind : uint8_t { Dip24, Dip28, Dip40, Plcc44 };

struct ReadBackEpldFacts {
    const char* maker;
    const char* name;
    ReadBackEpldKind kind;
    uint32_t fuses; // the JEDEC fuse count of the part
};

class ReadBackEpldChip : public CellArrayChip {
public:
    explicit ReadBackEpldChip(const ReadBackEpldFacts& facts);

    void Update(const PinEnvironment& env) override;
    void SuppliesChanged(const PinEnvironment& env) override { Update(env); }

    static constexpr int kHalves = 4, kSelects = 16, kAddresses = 256;
    static uint32_t CellOf(int half, int select, int address, int bit) {
        return static_cast<uint32_t>(((half * kSelects + select) * kAddresses + address) * 8 + bit);
    }
    uint8_t Byte(int half, int select, int address) const;
    void SetByte(int half, int select, int address, uint8_t value);
    bool Locked() const;
    // Fault: the security bit never programs.
    void RefuseSecurity();

    // Every program pulse that wrote: half, select, address and data.
    struct Write {
        int half, select, address, data;
    };
    const std::vector<Write>& Writes() const { return writes_; }
    // Every pulse but the reads': mode lines and width.
    struct Pulse {
        int mode;
        uint64_t widthUs;
    };
    const std::vector<Pulse>& Pulses() const { return pulses_; }
    // Whether VCC and ground ever reached the part since the last ClearLog.
    bool EverPowered() const { return everPowered_; }
    void ClearLog() {
        writes_.clear();
        pulses_.clear();
        everPowered_ = false;
    }

    // Socket pins of a pin-out (0: none).
    struct Pins {
        int data[8], address[8], select[4], half[2], mode[4], strobe, pulse, bias;
        int pinCount, vcc, gnd; // package pin count, chip pins of the supply
    };
    static const Pins& PinsOf(ReadBackEpldKind kind);

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    int At(const PinEnvironment& env, int socketPin) const;
    int Lines(const PinEnvironment& env, const int* pins, int count) const;
    bool BiasOn(const PinEnvironment& env) const;
    void PulseEnded(const PinEnvironment& env, uint64_t width);

    ReadBackEpldFacts part_;
    const Pins& pins_;
    int offset_; // socket pin of chip pin n: n + offset_
    bool strobeHigh_ = false;
    bool pulseHigh_ = false;
    int pulseMode_ = -1;
    PulseTimer pulse_;
    int half_ = -1, select_ = -1, address_ = -1;
    int eraseStep_ = 0;
    bool everPowered_ = false;
    std::vector<Write> writes_;
    std::vector<Pulse> pulses_;
};

} // namespace sim
