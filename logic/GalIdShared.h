// What the identification-text GAL engines share: the socket pins and
// voltages of the edit mode, the identification text as read, and the
// erase sequence. File-local in each engine that includes it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/Pins.h"
#include "logic/GalIdString.h"

namespace {

enum PowerMode { kWriting = 1, kReading = 2 };

constexpr int kClockPin = 22;
constexpr int kDataInPin = 23;
constexpr int kStrobePin = 25;
constexpr int kIdAddress = 58;
constexpr int kSecureAddress = 61;
constexpr int kEditTenths = 110;
constexpr int kIdleEditTenths = 50;
constexpr int kIdBytesMax = 12;

// An identification text and the widths it selects.
struct IdChoice {
    const char* text;
    uint32_t program, erase, clear;
};

// The identification bytes: the p-th bit read is bit p mod 8 of byte
// n - 1 - p / 8; `reversed` gathers byte p / 8, bit 7 - p mod 8.
struct IdBytes {
    uint8_t bytes[kIdBytesMax] = {};
    uint8_t reversed[kIdBytesMax] = {};
    int count = 0;

    void Add(int p, uint32_t bit) {
        if (p >= count * 8) return;
        bytes[count - 1 - p / 8] |= static_cast<uint8_t>((bit & 1) << (p % 8));
        reversed[p / 8] |= static_cast<uint8_t>((bit & 1) << (7 - p % 8));
    }
    bool Is(const char* text) const { return std::memcmp(bytes, text, static_cast<size_t>(count)) == 0; }
    bool ReversedIs(const char* text) const { return std::memcmp(reversed, text, static_cast<size_t>(count)) == 0; }
};

// The erase of these parts: erase, clear walk, erase, clear walk, erase.
template <class Erase, class Clear> void EraseWithClearWalks(Erase erase, Clear clear) {
    for (int k = 0; k < 3; ++k) {
        if (k != 0) clear();
        erase();
    }
}

// Accepts the first matching entry; false when none matches.
template <size_t N> bool ChooseWidths(const IdBytes& id, const IdChoice (&table)[N]) {
    for (const IdChoice& c : table) {
        if (id.Is(c.text)) {
            ProgramPulseWidth = c.program;
            ErasePulseWidth = c.erase;
            ClearPulseWidth = c.clear;
            return true;
        }
    }
    return false;
}

inline void ClockEditBit(uint32_t bit, bool) {
    SetPin(kDataInPin, bit & 1);
    PulsePin(kClockPin, 3);
    SetPin(kDataInPin, 0);
}

} // namespace
