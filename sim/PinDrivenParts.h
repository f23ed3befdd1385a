// Byte-wide parts served through the pin driver, with their datasheet facts:
// EEPROMs, nonvolatile static RAMs and timekeeping RAMs. Looked up by the
// maker and name of the device library.
#pragma once
#include <optional>
#include <string>

#include "sim/FusePromChip.h"
#include "sim/PinMemoryChip.h"

namespace sim {

struct PinDrivenPart {
    const char* maker;
    const char* name;
    PinMemoryConfig (*config)();
};

// The part of that maker and name, or nothing.
std::optional<PinMemoryConfig> FindPinDrivenPart(const std::string& maker, const std::string& name);

// JEDEC byte-wide pin-outs (chip pins) with VCC on the last pin.
PinMemoryConfig Jedec24Memory(const std::string& name, PinMemoryKind kind, uint32_t words);
PinMemoryConfig Jedec28Memory(const std::string& name, PinMemoryKind kind, uint32_t words);
PinMemoryConfig Jedec32Memory(const std::string& name, PinMemoryKind kind, uint32_t words);

// The PROM of that maker and name, or nothing.
std::optional<FusePromConfig> FindFusePromPart(const std::string& maker, const std::string& name);

} // namespace sim
