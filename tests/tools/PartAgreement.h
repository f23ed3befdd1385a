// The current device's record against the simulator's part for it: size,
// width and identity codes, the facts a wrong record gets wrong.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/Device.h"
#include "sim/Catalog.h"

// What disagrees between the current device and its part; empty when nothing.
inline std::string Disagreement(const sim::CatalogPart* part) {
    if (part == nullptr) return "no catalog part";
    if (part->make == nullptr || part->facts == nullptr) return "no chip model registered for the part";
    const sim::PartFacts& f = *part->facts;
    std::string why;
    auto differ = [&why](const char* what, uint32_t record, int64_t catalog) {
        why += std::string(what) + " " + std::to_string(record) + " in the library, " + std::to_string(catalog) +
               " in the catalog; ";
    };
    // The NAND map rows' size is the logical range their block-0 map gives
    // blocks for, which lies within the chip.
    const bool mapRow = CurrentAlgorithm == 83 || CurrentAlgorithm == 86;
    if (mapRow ? DeviceSize > f.words : DeviceSize != f.words) differ("size", DeviceSize, f.words);
    if ((DataWidth > 8 ? 16 : 8) != f.width) differ("width", DataWidth, f.width);
    // The record's codes are the part's, 0 for a part without a signature; a
    // record of 0 for a part that has one is as wrong as any other value. PLD
    // records carry no codes.
    if (DeviceSection != SectionPld) {
        if (static_cast<int64_t>(ExpectedMakerId) != std::max(f.makerCode, 0))
            differ("maker code", ExpectedMakerId, f.makerCode);
        if (static_cast<int64_t>(ExpectedDeviceId) != std::max(f.deviceCode, 0))
            differ("device code", ExpectedDeviceId, f.deviceCode);
    }
    return why;
}
