// The tag our placeholder chip-side programs carry in their first bytes (the
// device library's bootstrap downloads): a branch over the tag, "VXCP", the
// family ("HC05", "HC11"), the role, the transfer kind and the length. A
// simulated part runs a downloaded program only when its tag names the
// part's family and the whole length has arrived.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sim {

enum ChipSideRole : uint8_t {
    kChipSideRead = 1,
    kChipSideProgram = 2,
    kChipSideErase = 3,
    kChipSideSecure = 4,
    kChipSideConfigRead = 5,
    kChipSideConfigProgram = 6,
    kChipSideConfigErase = 7,
};
enum ChipSideKind : uint8_t { kChipSideAddressed = 0, kChipSideSequential = 1, kChipSideNibble = 2 };

struct ChipSideTag {
    uint8_t role = 0;
    uint8_t kind = 0;
    uint32_t length = 0;
};

constexpr size_t kChipSideTagBytes = 16;

// Decodes the tag of the bytes received so far; false when they do not
// (yet) hold a tag of `family` with a known role and kind.
inline bool DecodeChipSideTag(const uint8_t* b, size_t n, const char* family, ChipSideTag& out) {
    if (n < kChipSideTagBytes || b[0] != 0x20 || b[1] != 0x0E) return false;
    if (std::memcmp(b + 2, "VXCP", 4) != 0 || std::memcmp(b + 6, family, 4) != 0) return false;
    out.role = b[10];
    out.kind = b[11];
    out.length = static_cast<uint32_t>(b[12] | b[13] << 8);
    return out.role >= kChipSideRead && out.role <= kChipSideConfigErase && out.kind <= kChipSideNibble &&
           out.length >= kChipSideTagBytes;
}

} // namespace sim
