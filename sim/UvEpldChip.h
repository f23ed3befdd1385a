// UV-erasable EPLDs with an 11-byte signature, read and programmed a byte
// at a time at a cell address: A on the address pins, C on the column pins
// (three pin-outs, UvEpldKind). Cells read 0 when erased.
//
// While powered, the data pins are driven only while the strobe pin carries
// a read level (9.5 V or more): the byte at (A, C), or at a signature
// address the signature byte. A part whose signature starts "ALTERA95"
// answers there at any read level, the others only at the raised level
// (12.3 V or more on the strobe); elsewhere a signature address reads 00h.
// A strobe-low pulse of 100 us or more with the VPP pin and the supply at
// the part's programming levels (within 0.3 V; the supply at either of two) ORs the data pins into the
// byte, once the byte has had its pulses (1 unless a test asks for more);
// such a pulse with a data pin undriven is a violation and writes nothing.
// A part answering another identity gives bit 0 of its first signature
// byte changed. A programmed security bit makes every read 00h, signature
// included. Only an exposure to UV light of the part's erase time or longer
// erases it.
#pragma once
#include <cstdint>
#include <map>
#include <utility>

#include "sim/CellArrayChip.h"

namespace sim {

enum class UvEpldKind : uint8_t { Dip24, Dip40A, Dip40B };

struct UvEpldFacts {
    const char* maker;
    const char* name;
    UvEpldKind kind;
    uint32_t fuses;
    uint8_t signature[11];
    int vppTenths, vccTenths; // programming levels
    int altVccTenths;         // a second supply it programs at (0: none)
    int secureA, secureC;     // the security byte
    uint8_t secureMask;
    uint32_t eraseMinutes;    // UV exposure that erases the part
};

class UvEpldChip : public CellArrayChip {
public:
    explicit UvEpldChip(const UvEpldFacts& facts);

    void Update(const PinEnvironment& env) override;

    static constexpr int kRows = 64, kColumns = 256;
    uint8_t Byte(int a, int c) const;
    void SetByte(int a, int c, uint8_t value);
    static uint32_t CellOf(int a, int c, int bit) { return static_cast<uint32_t>((a * kColumns + c) * 8 + bit); }
    bool Locked() const;
    // Erases only when exposed for the part's erase time or longer.
    void ExposeToUv(uint32_t minutes);
    // Fault: the security bits never program.
    void RefuseSecurity() {
        for (int bit = 0; bit < 8; ++bit)
            if ((part_.secureMask >> bit) & 1) StickCell(CellOf(part_.secureA, part_.secureC, bit));
    }
    // Fault: the byte at (a, c) takes data only at its k-th pulse.
    void NeedPulses(int a, int c, int k) { need_[{a, c}] = k; }
    // Strobe pulses given to bytes, in order (a, c, data).
    struct Pulse {
        int a, c, data;
    };
    const std::vector<Pulse>& Pulses() const { return pulses_; }
    void ClearLog() { pulses_.clear(); }

protected:
    ChipDrive PoweredOutput(const PinEnvironment& env, int socketPin) const override;

private:
    struct Pins {
        int address[6], addressBits, column[8], columnBits, data[8], strobe, vpp, c1, c2, vcc, gnd;
    };
    static const Pins& PinsOf(UvEpldKind k);
    std::pair<int, int> Address(const PinEnvironment& env) const;
    int SignatureIndex(int a, int c) const;

    UvEpldFacts part_;
    bool strobeLow_ = false;
    PulseTimer pulse_;
    std::map<std::pair<int, int>, int> need_;
    std::map<std::pair<int, int>, int> given_;
    std::vector<Pulse> pulses_;
};

} // namespace sim
