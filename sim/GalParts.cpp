#include "sim/GalParts.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr GalArchLayout kEarly = GalArchLayout::Early16V8;
constexpr GalArchLayout kLate = GalArchLayout::Late16V8;

// Signature codes and edit-mode programming conditions of each part: the
// codes the part answers and the voltages and pulses it needs.
const GalPartFacts kGalParts[] = {
    {"LATTICE", "GAL16V8", 2194, 0xA1, 0x00, 2, 162, 10000, 100000, kEarly},
    {"LATTICE", "GAL16V8B", 2194, 0xA1, 0x1A, 3, 145, 40000, 100000, kLate},
    {"LATTICE", "GAL16V8D", 2194, 0xA1, 0x1A, 5, 125, 5000, 100000, kLate},
    {"NATIONAL-SEMICONDUCTOR", "GAL16V8", 2194, 0x8F, 0x00, 2, 165, 15000, 100000, kEarly},
    {"ST", "GAL16V8", 2194, 0x20, 0x00, 0, 157, 80000, 100000, kEarly},

    // 24-pin 20V8 parts: type code 32 (early layout) or 58 (late layout).
    {"LATTICE", "GAL20V8B", 2706, 0xA1, 32, 3, 145, 40000, 100000, kEarly, GalMap::Gal20V8},
    {"LATTICE", "GAL20V8D", 2706, 0xA1, 58, 5, 140, 10000, 100000, kLate, GalMap::Gal20V8},
    {"NATIONAL-SEMICONDUCTOR", "GAL20V8A", 2706, 0x8F, 32, 2, 165, 15000, 100000, kEarly, GalMap::Gal20V8},
    {"ST", "GAL20V8", 2706, 0x20, 32, 0, 157, 80000, 100000, kEarly, GalMap::Gal20V8},

    // Low-voltage parts with the extended ID; the write conditions come
    // from its fields, the supply from the supply code.
    {.maker = "LATTICE", .name = "GAL16LV8C", .fuses = 2194, .makerCode = 0xA1, .typeCode = 0x1A,
     .programTenths = 0, .pulseUs = 0, .eraseUs = 0, .layout = kLate, .idKind = GalIdKind::Extended,
     .extended = {0x25, 1, 4, 4, 18, 10}, .programVccTenths = 33, .minVccTenths = 30},
    {.maker = "LATTICE", .name = "GAL16LV8D", .fuses = 2194, .makerCode = 0xA1, .typeCode = 0x1B,
     .programTenths = 0, .pulseUs = 0, .eraseUs = 0, .layout = kLate, .idKind = GalIdKind::Extended,
     .extended = {0x25, 2, 3, 3, 16, 12}, .programVccTenths = 33, .minVccTenths = 30, .orRow = true},
    {.maker = "LATTICE", .name = "GAL16LV8ZD", .fuses = 2194, .makerCode = 0xA1, .typeCode = 0x1F,
     .programTenths = 0, .pulseUs = 0, .eraseUs = 0, .layout = kLate, .idKind = GalIdKind::Extended,
     .extended = {0x15, 0, 4, 2, 20, 10}, .programVccTenths = 50, .minVccTenths = 30, .orRow = true},
    {.maker = "LATTICE", .name = "GAL20LV8D", .fuses = 2706, .makerCode = 0xA1, .typeCode = 0x3B,
     .programTenths = 0, .pulseUs = 0, .eraseUs = 0, .layout = kLate, .map = GalMap::Gal20V8,
     .idKind = GalIdKind::Extended, .extended = {0x25, 3, 4, 3, 16, 10}, .programVccTenths = 33,
     .minVccTenths = 30, .orRow = true},

    // Parts with an identification text.
    {.maker = "ATMEL", .name = "ATF16V8B", .fuses = 2194, .programTenths = 110, .pulseUs = 10000,
     .eraseUs = 50000, .layout = kLate, .idKind = GalIdKind::Text,
     .idText = "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", .idLength = 8, .eraseTenths = 125, .eraseNeedsDataHigh = false},
    {.maker = "ATMEL", .name = "ATF16V8C", .fuses = 2194, .programTenths = 110, .pulseUs = 20000,
     .eraseUs = 200000, .layout = kLate, .idKind = GalIdKind::Text, .idText = "1F16V8C0", .idLength = 8,
     .eraseNeedsDataHigh = false, .clockHeldWrite = true},
    {.maker = "ATMEL", .name = "ATF16V8CZ", .fuses = 2194, .programTenths = 110, .pulseUs = 50000,
     .eraseUs = 200000, .layout = kLate, .idKind = GalIdKind::Text, .idText = "1F16V8Z0", .idLength = 8,
     .eraseNeedsDataHigh = false, .clockHeldWrite = true},
    {.maker = "ATMEL", .name = "ATF20V8B", .fuses = 2706, .programTenths = 110, .pulseUs = 10000,
     .eraseUs = 50000, .layout = kLate, .map = GalMap::Gal20V8, .idKind = GalIdKind::Text,
     .idText = "1F20V8B0", .idLength = 8, .eraseTenths = 125, .eraseNeedsDataHigh = false},
    {.maker = "ATMEL", .name = "ATF22V10B", .fuses = 5892, .programTenths = 125, .pulseUs = 10000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22V10B0", .idLength = 9},
    {.maker = "ATMEL", .name = "ATF22V10C", .fuses = 5893, .programTenths = 120, .pulseUs = 5000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22V10C1", .idLength = 9,
     .liveLastBit = true, .powerDownCell = true},
    {.maker = "ATMEL", .name = "ATF22V10CZ", .fuses = 5893, .programTenths = 120, .pulseUs = 5000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22V10Z1", .idLength = 9,
     .liveLastBit = true, .powerDownCell = true},
    {.maker = "ATMEL", .name = "ATF22LV10C", .fuses = 5893, .programTenths = 120, .pulseUs = 5000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22L10C0", .idLength = 9,
     .liveLastBit = true, .powerDownCell = true},
    {.maker = "ATMEL", .name = "ATF22LV10CZ", .fuses = 5893, .programTenths = 120, .pulseUs = 5000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22L10Z0", .idLength = 9,
     .liveLastBit = true, .powerDownCell = true},
};

constexpr uint32_t kStrobeUs[4] = {5, 10, 50, 100};
constexpr uint32_t kEraseMs[8] = {10, 25, 50, 100, 200, 400, 800, 0};
constexpr uint32_t kProgramUs[16] = {500,   1000,  5000,  10000, 20000,  30000,  40000, 50000,
                                     60000, 70000, 80000, 90000, 100000, 200000, 0,     0};

} // namespace

void AddGalParts(std::vector<CatalogPart>& parts) {
    for (const GalPartFacts& g : kGalParts) {
        const bool dip20 = g.map == GalMap::Gal16V8;
        PartFacts f;
        f.name = g.name;
        f.pinCount = dip20 ? 20 : 24;
        f.words = g.fuses; // the JEDEC fuse map, a cell a word
        f.blank = 1;
        if (g.idKind != GalIdKind::Text) {
            f.makerCode = g.makerCode;
            f.deviceCode = g.typeCode;
        }
        f.vcc.minTenths = g.minVccTenths;
        f.vccPin = dip20 ? 20 : 24;
        f.gndPins = {dip20 ? 10 : 12};
        parts.push_back(FamilyPart(g.maker, ChipKind::Gal, f, g));
    }
}

uint32_t GalExtendedStrobeUs(int code) { return kStrobeUs[code & 3]; }
uint32_t GalExtendedEraseUs(int code) { return kEraseMs[code & 7] * 1000; }
uint32_t GalExtendedProgramUs(int code) { return kProgramUs[code & 15]; }

} // namespace sim
