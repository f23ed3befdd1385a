// A flash 8051 of the T89C51RD2 kind in its parallel programming mode, at
// pin level: the code array written a page at a time, a 128-byte signature
// area and the hardware security byte (HSB: lock bits HSB[2:0], BLLB HSB[5],
// BLJB HSB[6], SB HSB[7]; a programmed bit reads 0).
//
// Behaviour:
// - Mode: VCC at 4.5 V or more, RST high, PSEN low; EA/VPP at logic high
//   (a programming voltage is a violation).
// - Function: a 4-bit code on P3.7, P3.6, P2.7, P2.6 (bit 0 first). P2.7 is
//   also the read strobe: while it is low the chip reads by the code it had
//   with P2.7 high (7 code, 4 signature area, 5 HSB).
// - Writes: every pulse (ALE/PROG low) of a write sequence follows the
//   unlock (code 0Ah with P3.3 low, 55h then AAh loaded); a closing strobe
//   (code 0Ah with P3.3 high) ends the sequence. Code 5 loads the addressed
//   byte into the page buffer (all loads of one page), code 7 writes the
//   buffer; code 8 (at least eraseMinUs) erases the array, the signature
//   area and the HSB; code 0Ch (at least eraseMinUs) programs the HSB; code
//   0Dh loads signature-area bytes with P3.3 high and writes them with P3.3
//   low. A write keeps the ready line (P3.2) low for writeTimeUs and ignores
//   pulses meanwhile.
// - HSB effects: level 2 or higher (any lock bit programmed) refuses page
//   writes; level 3 or higher (HSB[1] or HSB[2] programmed) makes code reads
//   return FFh.
//
// Fault injection: a cell that never programs, the ready line stuck low, an
// HSB that never programs.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PartFacts.h"
#include "sim/Socket51Chip.h"

namespace sim {

struct PageRd2Facts : PartFacts {
    std::string maker;
    std::string note;
    bool plcc = false;
    uint32_t pageBytes = 128;
    uint32_t writeTimeUs = 8000;
    uint32_t eraseMinUs = 10000;
    // The signature area as the part leaves the factory (address, byte),
    // besides the maker and device codes at 30h and 31h.
    std::vector<std::pair<uint32_t, uint8_t>> signature;
};

class PageRd2Chip : public Socket51Chip {
public:
    explicit PageRd2Chip(const PageRd2Facts& facts);

    std::string Name() const override { return facts_.name; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    // Output of every pin asked, with the read worked out once.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;
    const PartFacts& Facts() const override { return facts_; }
    size_t Words() const override { return code_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < code_.size() ? code_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < code_.size()) code_[a] = static_cast<uint8_t>(v);
    }

    uint8_t Hsb() const { return hsb_; }
    void SetHsb(uint8_t v) { hsb_ = v; }
    uint8_t SignatureByte(uint32_t a) const { return signature_[a & 0x7F]; }
    void SetSignatureByte(uint32_t a, uint8_t v) { signature_[a & 0x7F] = v; }

    // What happened: unlock sequences opened, closing strobes, page writes
    // (with the first address of each), chip erases.
    uint32_t Unlocks() const { return unlocks_; }
    uint32_t Closings() const { return closings_; }
    const std::vector<uint32_t>& PageWrites() const { return pageWrites_; }
    uint32_t Erases() const { return erases_; }
    void ClearCounts() {
        unlocks_ = closings_ = erases_ = 0;
        pageWrites_.clear();
    }

    void StickCell(uint32_t a) { stuck_[a] = true; }
    void StickReady() { readyStuck_ = true; }
    void StickHsb() { hsbStuck_ = 0xFF; }
    // HSB bit n (0-7) alone never programs.
    void StickHsbBit(int bit) {
        if (bit >= 0 && bit <= 7) hsbStuck_ |= static_cast<uint8_t>(1u << bit);
    }
    // Reads of the code array disabled: HSB[1] or HSB[2] programmed.
    bool ReadLocked() const { return (hsb_ & 0x06) != 0x06; }

private:
    enum : uint32_t {
        CodeSignature = 0x4, CodeLoad = 0x5, CodeWrite = 0x7, CodeErase = 0x8, CodeSequence = 0xA,
        CodeHsb = 0xC, CodeSignaturePage = 0xD,
    };
    bool InMode(const PinEnvironment& env) const;
    bool Busy(uint64_t now) const { return now < busyUntil_; }
    void EndPulse(const PinEnvironment& env, uint64_t now, uint64_t width);
    void Load(const PinEnvironment& env, std::map<uint32_t, uint8_t>& buffer, uint32_t address, uint8_t data);

    PageRd2Facts facts_;
    std::vector<int> address_, data_, mode_;
    // Data bit on each socket pin (-1: not a data pin).
    int8_t dataBitAt_[kSocketPins + 1];
    int rst_, psen_, ale_, ea_, p27_, p33_, ready_;
    std::vector<uint8_t> code_;
    uint8_t signature_[128];
    uint8_t hsb_ = 0xFF;

    int unlockStage_ = 0; // 0 closed, 1 55h seen, 2 open
    std::map<uint32_t, uint8_t> page_, signaturePage_;
    uint64_t busyUntil_ = 0;
    bool pulsing_ = false;
    bool vppReported_ = false;
    uint64_t pulseStart_ = 0;
    uint32_t pulseCode_ = 0;
    bool pulseP33_ = false;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0xFF;
    bool strobeWasLow_ = false;
    uint32_t readCode_ = 0;

    std::map<uint32_t, bool> stuck_;
    bool readyStuck_ = false;
    uint8_t hsbStuck_ = 0; // HSB bits that never program
    uint32_t unlocks_ = 0, closings_ = 0, erases_ = 0;
    std::vector<uint32_t> pageWrites_;
};

} // namespace sim
