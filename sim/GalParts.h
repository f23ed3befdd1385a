// Datasheet facts of the row-serial GAL parts the simulator can seat, by
// maker and part name as the device library spells them.
#pragma once
#include <cstdint>
#include <string>

namespace sim {

// Architecture-row layouts of the 16V8 family: the older parts shift the
// product-term disable bits around the mode bits, the later ones (type code
// 26 and up) put the mode bits first.
enum class GalArchLayout : uint8_t { Early16V8, Late16V8 };

struct GalPartFacts {
    const char* maker;
    const char* name;
    uint32_t fuses;         // JEDEC fuse count
    uint8_t makerCode;      // signature byte 3
    uint8_t typeCode;       // signature byte 2
    uint8_t voltageCode;    // signature byte 1
    int programTenths;      // edit voltage of a write, erase or security pulse (+-0.2 V)
    uint32_t pulseMs;       // shortest write and security pulse
    uint32_t eraseMs;       // shortest erase pulse
    GalArchLayout layout;
};

// nullptr when the simulator has no such part.
const GalPartFacts* FindGalPart(const std::string& maker, const std::string& name);

} // namespace sim
