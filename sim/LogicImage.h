// The header our logic images carry in their first bytes. The simulated
// programmer decodes it at the end of a download to choose its personality.
#pragma once
#include <cstddef>
#include <cstdint>

namespace sim {

constexpr size_t kLogicImageBytes = 8838; // 70704 bits clocked into the programmer
constexpr uint8_t kLogicImageMagic[4] = {'V', 'X', 'L', 'I'};

// Personality ids (header bytes 4-5, little-endian). Bytes 6-15 are parameters
// the personality interprets.
enum PersonalityId : uint16_t {
    kPersonalityNone = 0,
    kPersonalityUniversal = 1, // universal pin driver (pin latches 0-11)
    kPersonalityTest = 2,      // test image: pin driver with pull control
    kPersonalityMemoryBus = 3, // parallel memory bus (registers 0-7)
    kPersonalityControlBus = 4, // EPROMs on the control-register bus
    kPersonalitySerial = 5,    // serial shift engines
    kPersonalityNand = 6,      // NAND bus
    kPersonalityVector = 7,    // vector test: pin latches applied at register-12 strobes
    kPersonalityRamTest = 8,   // RAM test: address counter, data and strobes of a RAM
    kPersonalityRegisterTap = 9, // a TAP clocked through registers 0, 4 and 7
    kPersonalityFlashBus = 10, // JEDEC flash and plain-write memories (registers 0-9)
    kPersonalityCommandBus = 11, // single-cycle command flash (registers 0-9)
    kPersonalityMuxBus = 12,   // multiplexed address/data EEPROMs (registers 0, 1, 4, 9)
    kPersonalityMcuBus = 13,   // latched-address one-time 8051s (registers 0-5, 9)
    kPersonalityBlockCpldBus = 30, // register-driven block CPLDs (registers 0-4, data 6 or 9)
    kPersonalityRegisterMcuBus = 41, // microcontrollers with option areas (registers 0-2, 4, 5, 9)
    kPersonalityColumnPldBus = 37, // column-serial PLDs (registers 0-2, 4, data out 9)
    kPersonalityAddressList = 14, // address-list logic parts (registers 0-2, 4-6, 9, 10)
    kPersonalityPageRunBus = 17, // status-polled page flash: queued page runs (registers 0-9, 12)
    kPersonalitySequentialClock = 55, // address-counter microcontrollers (registers 0-4)
    kPersonalityBootstrap = 60, // bootstrap-download and loader microcontrollers (registers 0-7)
    kPersonalityProgrammerRam = 66, // programmer RAM burnt into the part by the programmer (registers 0-4, 7)
};

// The names the device library's sources give the personalities.
struct PersonalityNameEntry {
    const char* name;
    uint16_t id;
};
inline constexpr PersonalityNameEntry kPersonalityNames[] = {
    {"none", kPersonalityNone},           {"universal", kPersonalityUniversal},
    {"test", kPersonalityTest},           {"memory-bus", kPersonalityMemoryBus},
    {"control-bus", kPersonalityControlBus}, {"serial", kPersonalitySerial},
    {"nand", kPersonalityNand},           {"vector", kPersonalityVector},
    {"ram-test", kPersonalityRamTest},    {"register-tap", kPersonalityRegisterTap},
    {"flash-bus", kPersonalityFlashBus},  {"command-bus", kPersonalityCommandBus},
    {"mux-bus", kPersonalityMuxBus},      {"mcu-bus", kPersonalityMcuBus},
    {"block-cpld-bus", kPersonalityBlockCpldBus},
    {"register-mcu-bus", kPersonalityRegisterMcuBus},
    {"column-pld-bus", kPersonalityColumnPldBus},
    {"address-list", kPersonalityAddressList},
    {"page-run-bus", kPersonalityPageRunBus},
    {"sequential-clock", kPersonalitySequentialClock},
    {"bootstrap-bus", kPersonalityBootstrap},
    {"programmer-ram", kPersonalityProgrammerRam},
};
// The name of a personality id; "unknown" for one without a name.
inline const char* PersonalityName(uint16_t id) {
    for (const auto& e : kPersonalityNames) {
        if (e.id == id) return e.name;
    }
    return "unknown";
}

constexpr size_t kLogicImageHeaderBytes = 16;

struct LogicImageHeader {
    uint16_t personality = kPersonalityNone;
    uint8_t params[10] = {};
};

// Decodes a header; false when the magic is missing.
inline bool DecodeLogicImageHeader(const uint8_t* bytes, size_t size, LogicImageHeader& out) {
    if (size < kLogicImageHeaderBytes) return false;
    for (int i = 0; i < 4; ++i) {
        if (bytes[i] != kLogicImageMagic[i]) return false;
    }
    out.personality = static_cast<uint16_t>(bytes[4] | (bytes[5] << 8));
    for (int i = 0; i < 10; ++i) out.params[i] = bytes[6 + i];
    return true;
}

} // namespace sim
