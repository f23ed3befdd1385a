// A flash 8051 of the SST89 kind in its programming mode, at pin level.
//
// Behaviour: VCC on, RST high and PSEN low enter the mode. The function is a
// 4-bit code on P3.7 (bit 0), P3.6, P2.7, P2.6 (bit 3); P2.7 doubles as the
// read strobe, so a read (P2.7 low) sees the code with bit 2 clear: 0 the
// identity bytes (30h maker, 31h device), 3 the array when P2.7 fell from
// code 7. A low pulse on
// ALE/PROG of at least the part's width starts, by code: 7 a byte write, the
// part's erase code a chip erase, on a part with flag bits Fh, Ch, Ah the
// security flags SFST7, SFST6, SFST5 and 3, 9 the re-map bits RB0, RB1. The
// ready line (P3.3) reads low while the write or erase runs. The security
// byte at FFFFh (blank FFh) stops array writes once programmed. A pulse
// while busy, too short or under an unknown code is a violation.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

struct Sst89Facts : PartFacts {
    std::string maker;
    std::string note;
    bool plcc = false;
    bool flagBits = false; // SFST[7:5] and RB[1:0] instead of a security byte
    uint32_t eraseCode = 0xE;
    uint32_t minPulseUs = 5;
    uint32_t writeUs = 40;
    uint32_t eraseUs = 100000;
};

class Sst89Chip : public CatalogChip {
public:
    explicit Sst89Chip(const Sst89Facts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    // The rack keeps the user array; block 1 and the security byte are not kept.
    size_t Words() const override { return facts_.words; }
    uint16_t Cell(uint32_t a) const override { return a < code_.size() ? code_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < code_.size()) code_[a] = static_cast<uint8_t>(v);
    }

    uint8_t SecurityByte() const { return code_[0xFFFF]; }
    // SFST7, SFST6, SFST5 as bits 0-2; RB0, RB1 as bits 0-1.
    uint32_t Flags() const { return flags_; }
    // Secured: the security byte programmed, or on a part with flag bits any
    // security flag programmed.
    bool Secured() const { return facts_.flagBits ? flags_ != 0 : SecurityByte() != 0xFF; }
    uint32_t Remap() const { return remap_; }
    uint32_t Writes() const { return writes_; }
    uint32_t WritesAt(uint32_t a) const {
        auto it = writesAt_.find(a);
        return it == writesAt_.end() ? 0 : it->second;
    }
    void StickReady() { readyStuck_ = true; }
    void ClearCounts() {
        writes_ = 0;
        writesAt_.clear();
    }

private:
    int Pin(int chipPin) const;
    bool High(const PinEnvironment& env, int chipPin) const;
    uint32_t Bits(const PinEnvironment& env, const std::vector<int>& chipPins) const;
    bool InMode(const PinEnvironment& env) const;
    bool Busy(uint64_t now) const { return now < busyUntil_; }
    void Start(const PinEnvironment& env, uint32_t code, uint64_t width);

    Sst89Facts facts_;
    std::vector<int> pins_, address_, data_, mode_;
    int rst_, psen_, ale_, vcc_, p27_, ready_;
    // The array, the blank top of the 64 KB space (block 1 ends at FFFEh) and
    // the security byte at FFFFh.
    std::vector<uint8_t> code_;
    uint32_t flags_ = 0, remap_ = 0;
    uint32_t strobeCode_ = 0; // the code last seen with P2.7 high
    bool p27WasHigh_ = false, arrayRead_ = false;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    uint32_t pulseCode_ = 0, pulseAddress_ = 0;
    uint8_t pulseData_ = 0xFF;
    uint64_t busyUntil_ = 0;
    bool readyStuck_ = false;
    uint32_t writes_ = 0;
    std::map<uint32_t, uint32_t> writesAt_;
};

} // namespace sim
