// The programmer's ID memory: a Microwire serial EEPROM organised in 16-bit
// words (93C46-type with 6 address bits, 93C86-type with 10), wired to the
// register core on register 13: write bit 0x40 clock (SK), 0x20 chip select
// (CS), 0x10 data into the memory (DI); read bit 0 is its data output (DO).
//
// Instructions, after a start bit 1 and a 2-bit opcode, MSB first on rising SK:
//   10 READ  address        -> a dummy 0, then D15..D0, then the next words
//   01 WRITE address data   -> programs the word (erase/write enabled only)
//   11 ERASE address        -> word to FFFFh (enabled only)
//   00 11xx.. EWEN, 00 00xx.. EWDS, 00 10xx.. ERAL, 00 01xx.. WRAL data
// Dropping CS ends any instruction and returns the memory to standby.
//
// The factory contents are the ID block: words 0-63, little-endian, bytes
// 0-3 tag "QLX ", 4-9 serial number, 11-14 hardware revision, 24-27 checksum
// (four hex digits of the sum of bytes 0-23 and 28-127), 28-127 the DAC
// calibration (channel c 1-4, whole volt v 1-25 at byte 2 + 25c + v).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/MicrowireDecoder.h"
#include "sim/SimProgrammer.h"

namespace sim {

// The DAC of this programmer: every channel outputs 0 V at code
// kDacZeroCode and rises by kDacStepMicrovolts[channel - 1] per code, so
//   volts(code) = (code - kDacZeroCode) * step.
// The steps sit a little above 0.1 V, so 25.9 V still fits an 8-bit code
// (25.0 V on channel 2 is code 244; 25.9 V on channel 1 is code 255). The
// calibration table holds, per channel and whole volt v, the code nearest to v volts; the
// engine adds one code per 0.1 V above the whole volt.
constexpr int kDacZeroCode = 8;
constexpr std::array<int, 4> kDacStepMicrovolts = {105000, 106000, 105000, 106000};

// Output of DAC channel 1-4 for a code, in millivolts (0 below the zero code).
constexpr int DacCodeToMillivolts(int channel, int code) {
    if (channel < 1 || channel > 4 || code <= kDacZeroCode) return 0;
    return static_cast<int>(static_cast<int64_t>(code - kDacZeroCode) * kDacStepMicrovolts[channel - 1] /
                            1000);
}

// The code nearest to `volts` whole volts on channel 1-4.
constexpr uint8_t DacCodeForVolts(int channel, int volts) {
    const int64_t step = kDacStepMicrovolts[channel - 1];
    return static_cast<uint8_t>(kDacZeroCode + (volts * 1000000LL + step / 2) / step);
}

// kDefaultDacCalibration[c - 1][v - 1]: the factory calibration of channel c
// at v volts.
using DacCalibration = std::array<std::array<uint8_t, 25>, 4>;
constexpr DacCalibration MakeDefaultDacCalibration() {
    DacCalibration t{};
    for (int c = 1; c <= 4; ++c) {
        for (int v = 1; v <= 25; ++v)
            t[c - 1][v - 1] = DacCodeForVolts(c, v);
    }
    return t;
}
inline constexpr DacCalibration kDefaultDacCalibration = MakeDefaultDacCalibration();

constexpr int kIdBlockBytes = 128;
using IdBlock = std::array<uint8_t, kIdBlockBytes>;

enum class IdChecksum {
    Right,     // upper-case hex digits of the right sum
    LowerCase, // lower-case hex digits of the right sum
    Wrong,     // digits of another sum
};

struct IdMemoryOptions {
    bool present = true;           // false: no memory fitted (DO floats low)
    int addressBits = 6;           // 6 (64 words) or 10 (1024 words)
    std::string tag = "QLX ";      // first four bytes
    std::string serial = "QX4207"; // six characters
    std::string revision = "2.1C"; // four characters
    DacCalibration calibration = kDefaultDacCalibration;
    IdChecksum checksum = IdChecksum::Right;
};

// The ID block the options describe.
IdBlock BuildIdBlock(const IdMemoryOptions& options);
// Sum of bytes 0-23 and 28-127.
uint16_t IdBlockSum(const IdBlock& block);

class IdMemory : public SimComponent {
  public:
    explicit IdMemory(const IdMemoryOptions& options = {});

    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    // The ID lines are register 13's.
    uint32_t HeardWrites(const SimProgrammer&) const override { return uint32_t{1} << 13; }
    uint32_t HeardReads(const SimProgrammer&) const override { return uint32_t{1} << 13; }
    void OnUnconfigure(SimProgrammer& p) override;

    int AddressBits() const { return addressBits_; }
    uint16_t Word(uint32_t address) const { return words_.at(address); }
    size_t WordCount() const { return words_.size(); }
    // READ instructions taken (a sequential read counts once).
    uint32_t ReadCount() const { return decoder_.ReadCount(); }

  private:
    void Execute(const MicrowireDecoder::Command& c);

    bool present_;
    int addressBits_;
    std::vector<uint16_t> words_;

    MicrowireDecoder decoder_;
    bool sk_ = false;
    bool writeEnabled_ = false;
};

// Fits an ID memory with these options to a simulated programmer.
IdMemory* AddIdMemory(SimProgrammer& programmer, const IdMemoryOptions& options = {});

} // namespace sim
