// The bootstrap-download parts of the catalog. No datasheet of a part served
// this way was found with a memory map matching a row: each part is a 68HC05
// seated as a DIP (chip pin n on socket pin n + (48 - pins) / 2) whose memory
// map, supply, ground, mode and programming pins follow its algorithm row and
// the programmer's wiring for it; the bootstrap
// behaviour (reset released with the mode pins and high voltage at their
// levels, a download into RAM from 0100h - its size up to 00FFh, then the
// jump to it; EPROM burnt through the programming register with Vpp, EEPROM
// written and erased through its control register) is the family's. The
// registers' addresses and bits (PROG at 001Ch: ELAT bit 2, EPGM bit 0;
// EEPROM control at 0007h: E1ERA bit 2, E1LAT bit 1, E1PGM bit 0), the
// security bit (bit 3 of an option byte 21h below the top of the map,
// outside every row's ranges) and the EPROM programming time (burnUs, 2 ms
// a byte, the time the chip-side programs allow) are the family's technical
// data as we hold them, confirmed by no datasheet: searches of the
// reference corpora for the 68HC705C8/C8A, 68HC705B16 and 68HC705 family
// programming register (PROG, ELAT, EPGM), its EPROM programming time and
// option register found only the programmer-board guides of other 68HC705
// members (F8, L1, L2, L4, F6), whose stored text gives neither figure.
#include <string>
#include <tuple>
#include <utility>

#include "sim/Hc05BootChip.h"
#include "sim/Catalog.h"

namespace sim {

namespace {

using R = Hc05BootFacts::Range;

Hc05BootFacts Part(const char* name, int pins, uint32_t words, uint16_t blank, std::vector<R> eprom,
                 std::vector<R> eeprom, int modePin, int modeMin, int vppPin, int vccPin, std::vector<int> gnd) {
    Hc05BootFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = pins;
    f.words = words;
    f.blank = blank;
    f.vcc = {45, 65};
    f.vccPin = vccPin;
    f.gndPins = std::move(gnd);
    f.eprom = std::move(eprom);
    f.eeprom = std::move(eeprom);
    f.modePin = modePin;
    f.modeMinTenths = modeMin;
    f.vppPin = vppPin;
    f.note = "no datasheet found: memory map, mode and programming pins follow the algorithm row; "
             "the 2 ms EPROM programming time, the PROG and EEPROM control registers and the option byte "
             "are the family's figures as held, no datasheet confirming them was found";
    f.followsRow = true;
    f.securityAt = words - 0x21;
    f.securityBit = 0x08;
    return f;
}

} // namespace

void AddBoot05Parts(std::vector<CatalogPart>& parts) {
    std::vector<Hc05BootFacts> all;
    // 40-pin DIP (socket 5-44). Rows 139, 141 and 137 have the programmer
    // supply socket pin 17 (chip 13) and ground socket pin 37 (chip 33).
    // Row 139: mode pin at 10 V on chip pin 14, programming voltage on 6.
    all.push_back(Part("HC05BOOT-139", 40, 0x2000, 0x00, {{0x20, 0x4F}, {0x100, 0x1FF}, {0x800, 0x1EFF}, {0x1FF2, 0x1FFF}},
                       {}, 14, 90, 6, 13, {33}));
    // Row 141: 10 V on chip pin 14 (raised with the EEPROM's programming
    // voltage on the same DAC channel), programming voltage on chip pins 6
    // and 32.
    all.push_back(Part("HC05BOOT-141", 40, 0x4000, 0x00, {{0x20, 0x4F}, {0x300, 0x3DFE}, {0x3FF2, 0x3FFF}},
                       {{0x100, 0x1FF}}, 14, 90, 6, 13, {33}));
    all.back().modeLimitTenths = 175;
    all.back().highVoltagePins = {32};
    // Row 137: 10 V on chip pin 14, programming voltage on chip pins 6 and 32.
    all.push_back(Part("HC05BOOT-137-V0", 40, 0x8000, 0x00, {{0x400, 0x7DFF}, {0x7FDE, 0x7FDE}, {0x7FF2, 0x7FFF}},
                       {{0x100, 0x1FF}}, 14, 90, 6, 13, {33}));
    all.back().highVoltagePins = {32};
    all.push_back(Part("HC05BOOT-137-V1", 40, 0x4000, 0x00, {{0x20, 0x4F}, {0x300, 0x3DFE}, {0x3FF2, 0x3FFF}},
                       {{0x100, 0x1FF}}, 14, 90, 6, 13, {33}));
    all.back().highVoltagePins = {32};
    // Row 140: supply on socket pin 14 (chip 10), ground on socket pins 5
    // and 37 (chip 1 and 33); the mode pin (chip 13) at the supply level,
    // programming voltage on chip pin 16.
    all.push_back(Part("HC05BOOT-140-V0", 40, 0x8000, 0x00, {{0x400, 0x7DFF}, {0x7FDE, 0x7FDE}, {0x7FF0, 0x7FFF}},
                       {{0x100, 0x1FF}}, 13, 45, 16, 10, {1, 33}));
    all.push_back(Part("HC05BOOT-140-V1", 40, 0x4000, 0x00, {{0x3FF0, 0x3FFF}}, {{0x100, 0x1FF}}, 13, 45, 16, 10, {1, 33}));
    // Row 138 on the package's supply (chip 40) and ground (chip 20): one
    // pin (chip 11) takes 10 V for bootstrap and the programming voltage for
    // burning.
    all.push_back(Part("HC05BOOT-138", 40, 0x2000, 0x00, {{0xF00, 0x1F00}, {0x1FF0, 0x1FFF}}, {}, 11, 90, 11, 40, {20}));
    all.back().modeLimitTenths = 175;
    // Row 136: supplied from DAC channel 1 on chip pin 29, the package's
    // ground (chip 20), 12 V on chip pin 24 for bootstrap, raised to the
    // programming voltage there; its loader takes 224 bytes.
    all.push_back(Part("HC05BOOT-136", 40, 0x2000, 0x00, {{0x700, 0x1EFF}, {0x1FF1, 0x1FFF}}, {}, 24, 110, 24, 29, {20}));
    all.back().modeLimitTenths = 175;
    all.back().vppMinTenths = 160;
    all.back().ramBytes = 224;
    all.back().hasSecurity = true;
    // 48-pin parts (chip pin n on socket pin n), ground on socket pin 24.
    // Row 131: supply on 46, mode level on 4, 20 V programming voltage on 5.
    for (auto [name, words, blank, main, vector] :
         {std::tuple{"HC05BOOT-131-V0", 0x4000u, 0xFF, 0x3EFFu, 0x3FF0u}, std::tuple{"HC05BOOT-131-V1", 0x4000u, 0x00, 0x3EFFu, 0x3FF2u},
          std::tuple{"HC05BOOT-131-V2", 0x4000u, 0xFF, 0x3EFFu, 0x3FF0u}, std::tuple{"HC05BOOT-131-V3", 0x8000u, 0x00, 0x7EFFu, 0x7FF0u}}) {
        all.push_back(Part(name, 48, words, static_cast<uint16_t>(blank), {{0x20, 0x4F}, {0x100, main}, {vector, words - 1}},
                           {}, 4, 95, 5, 46, {24}));
        all.back().vppMinTenths = 190;
        all.back().vppLimitTenths = 215;
        all.back().hasSecurity = true;
    }
    // Row 132, sub-variant 0: the package's supply (socket 25) and
    // programming pin (socket 35), mode level on 6. Other sub-variants:
    // supply on 46, mode level on 4 (raised with the programming voltage on
    // the same channel), programming voltage on 6.
    for (auto [name, main, vector] : {std::tuple{"HC05BOOT-132-V0", 0x10FFu, 0x1FF0u}, std::tuple{"HC05BOOT-132-V1", 0x1EFFu, 0x1FF4u},
                                      std::tuple{"HC05BOOT-132-V2", 0x1EFFu, 0x1FF2u}}) {
        all.push_back(Part(name, 48, 0x2000, 0x00, {{0x20, 0x4F}, {0x100, main}, {vector, 0x1FFF}}, {}, 6, 85, 35, 25, {24}));
        all.back().hasSecurity = true;
    }
    for (auto [name, words, blank, main, vector] :
         {std::tuple{"HC05BOOT-132-V3", 0x4000u, 0xFF, 0x3EFFu, 0x3FF0u}, std::tuple{"HC05BOOT-132-V4", 0x4000u, 0x00, 0x3EFFu, 0x3FF2u},
          std::tuple{"HC05BOOT-132-V5", 0x4000u, 0xFF, 0x3EFFu, 0x3FF0u}, std::tuple{"HC05BOOT-132-V6", 0x8000u, 0xFF, 0x7F00u, 0x7FF0u}}) {
        all.push_back(Part(name, 48, words, static_cast<uint16_t>(blank), {{0x20, 0x4F}, {0x100, main}, {vector, words - 1}},
                           {}, 4, 95, 6, 46, {24}));
        all.back().modeLimitTenths = 175;
        all.back().hasSecurity = true;
    }
    for (Hc05BootFacts& f : all) {
        std::string maker = f.maker;
        parts.push_back(ChipPart<Hc05BootChip>(std::move(maker), std::move(f)));
    }
}

SIM_CATALOG_FAMILY(AddBoot05Parts);

} // namespace sim
