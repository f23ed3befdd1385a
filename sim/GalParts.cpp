#include "sim/GalParts.h"

#include "sim/CatalogModel.h"
#include "sim/GalChip.h"
#include "sim/LargePldChip.h"

namespace sim {

namespace {

// Edit-mode layouts of the row-address parts. Chip pins: P/V 3, SCLK, SDIN,
// STB, SDOUT, the architecture select and the erase pattern as each map's
// programming pin-out has them; the edit voltage on pin 2.
uint32_t Column44(uint32_t row, uint32_t bit) { return bit * 44 + row; }
uint32_t Column40(uint32_t row, uint32_t bit) { return bit * 40 + row; }
uint32_t Column36(uint32_t row, uint32_t bit) { return bit * 36 + row; }
uint32_t Column52(uint32_t row, uint32_t bit) { return bit * 52 + row; }
// 80-bit rows of the pin-addressed 20RA10: eight columns of 40 per byte of
// the row, the byte's bits in descending columns.
uint32_t ByteColumns40(uint32_t row, uint32_t bit) { return (bit / 8) * 320 + 280 - (bit % 8) * 40 + row; }
// Pairs swapped: bit 0 is the second fuse of the first pair.
uint32_t Arch22V10(int bit) { return 5808 + static_cast<uint32_t>(bit ^ 1); }
uint32_t Arch18V10(int bit) { return 3456 + static_cast<uint32_t>(bit ^ 1); }
uint32_t Arch26CV12(int bit) { return 6344 + static_cast<uint32_t>(bit ^ 1); }
uint32_t Arch20RA10(int bit) { return 3209 - static_cast<uint32_t>(bit); }
uint32_t Arch20RA10Pins(int bit) { return 3200 + static_cast<uint32_t>(bit); }
constexpr uint8_t k20XV10Arch[31] = {30, 20, 21, 22, 23, 24, 10, 11, 12, 13, 14, 0,  1, 2, 3, 4,
                                      29, 28, 27, 26, 25, 19, 18, 17, 16, 15, 9,  8,  7, 6, 5};
uint32_t Arch20XV10(int bit) { return 1600 + k20XV10Arch[bit % 31]; }

// 24-pin 22V10 map: UES in the last 64 places of row 44 (text-ID parts) or
// the whole 132-bit row from fuse 5828 on (signature parts).
constexpr GalRowLayout kText22V10{24, 2, 10, 11, 13, 14, 3, 24, 12, 8, {}, {4, 6, 7, 8, 9}, {1, 5},
                                  44, 132, Column44, 44, 68, 64, 5828, -1, 20, Arch22V10, 132, false, false};
constexpr GalRowLayout kGal22V10{24, 2, 10, 11, 13, 14, 3, 24, 12, 8, {}, {4, 6, 7, 8, 9}, {1, 5},
                                 44, 132, Column44, 44, 0, 132, 5828, -1, 20, Arch22V10, 32, false, true};
// The low-voltage 22V10 takes its architecture bits through the address register.
constexpr GalRowLayout kGal22LV10{24, 2, 10, 11, 13, 14, 3, 24, 12, 8, {}, {4, 6, 7, 8, 9}, {1, 5},
                                  44, 132, Column44, 44, 0, 132, 5828, -1, 20, Arch22V10, 132, true, true};
constexpr GalRowLayout kGal18V10{20, 2, 6, 7, 8, 9, 19, 20, 10, 4, {}, {3, 4, 5, 16, 18}, {11, 12},
                                 36, 96, Column36, 44, 0, 96, 3476, -1, 20, Arch18V10, 80, false, true};
constexpr GalRowLayout kGal20RA10{24, 2, 10, 11, 13, 14, 3, 24, 12, 8, {}, {4, 6, 7}, {1, 5, 9},
                                  40, 80, Column40, 40, 0, 80, 3210, -1, 10, Arch20RA10, 80, false, true};
constexpr GalRowLayout kGal20RA10NoUes{24, 2, 10, 11, 13, 14, 3, 24, 12, 8, {}, {4, 6, 7}, {1, 5, 9},
                                       40, 80, Column40, 40, 0, 0, 3210, -1, 10, Arch20RA10, 80, false, true};
constexpr GalRowLayout kGal20XV10{24, 2, 10, 11, 13, 14, 3, 24, 12, 8, {}, {4, 6, 7, 8, 9}, {1, 5},
                                  40, 40, Column40, 44, 0, 40, 1631, -1, 31, Arch20XV10, 40, false, true};
constexpr GalRowLayout kGal26CV12{28, 2, 12, 13, 14, 15, 3, 7, 21, 10, {}, {4, 6, 9, 10, 11}, {1, 5},
                                  52, 122, Column52, 52, 0, 122, 6368, -1, 24, Arch26CV12, 122, false, true};
// 20RA10 with the 20V8 pin-out: parallel row address, no identification.
constexpr GalRowLayout kPin20RA10{24, 2, 10, 11, 13, 15, 22, 24, 12, 0, {21, 3, 4, 5, 8, 9}, {}, {},
                                  40, 80, ByteColumns40, 41, 0, 64, 3210, 40, 10, Arch20RA10Pins, 0, false, true};

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
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22V10B0", .idLength = 9, .rows = &kText22V10},
    {.maker = "ATMEL", .name = "ATF22V10C", .fuses = 5893, .programTenths = 120, .pulseUs = 5000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22V10C1", .idLength = 9,
     .liveLastBit = true, .powerDownCell = true, .rows = &kText22V10},
    {.maker = "ATMEL", .name = "ATF22V10CZ", .fuses = 5893, .programTenths = 120, .pulseUs = 5000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22V10Z1", .idLength = 9,
     .liveLastBit = true, .powerDownCell = true, .rows = &kText22V10},
    {.maker = "ATMEL", .name = "ATF22LV10C", .fuses = 5893, .programTenths = 120, .pulseUs = 5000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22L10C0", .idLength = 9,
     .liveLastBit = true, .powerDownCell = true, .rows = &kText22V10},
    {.maker = "ATMEL", .name = "ATF22LV10CZ", .fuses = 5893, .programTenths = 120, .pulseUs = 5000,
     .eraseUs = 50000, .map = GalMap::Gal22V10, .idKind = GalIdKind::Text, .idText = "1F22L10Z0", .idLength = 9,
     .liveLastBit = true, .powerDownCell = true, .rows = &kText22V10},

    // Serial-address parts with a signature row: the voltage code names the
    // edit voltage and pulse they need; bulk erase 100 ms.
    {.maker = "LATTICE", .name = "GAL22V10B", .fuses = 5892, .makerCode = 0xA1, .typeCode = 0x48, .voltageCode = 2,
     .programTenths = 145, .pulseUs = 40000, .eraseUs = 100000, .map = GalMap::Gal22V10, .rows = &kGal22V10},
    {.maker = "LATTICE", .name = "GAL22V10D", .fuses = 5892, .makerCode = 0xA1, .typeCode = 0x48, .voltageCode = 0,
     .programTenths = 150, .pulseUs = 10000, .eraseUs = 100000, .map = GalMap::Gal22V10, .rows = &kGal22V10},
    {.maker = "NATIONAL-SEMICONDUCTOR", .name = "GAL22V10", .fuses = 5892, .makerCode = 0x8F, .typeCode = 0x48,
     .voltageCode = 1, .programTenths = 154, .pulseUs = 80000, .eraseUs = 100000, .map = GalMap::Gal22V10,
     .rows = &kGal22V10},
    {.maker = "ST", .name = "GAL22V10", .fuses = 5892, .makerCode = 0x20, .typeCode = 0x49, .voltageCode = 5,
     .programTenths = 150, .pulseUs = 50000, .eraseUs = 100000, .map = GalMap::Gal22V10, .rows = &kGal22V10},
    {.maker = "LATTICE", .name = "GAL18V10", .fuses = 3540, .makerCode = 0xA1, .typeCode = 0x50, .voltageCode = 0,
     .programTenths = 155, .pulseUs = 10000, .eraseUs = 100000, .map = GalMap::Other, .rows = &kGal18V10},
    {.maker = "LATTICE", .name = "GAL20RA10", .fuses = 3274, .makerCode = 0xA1, .typeCode = 0x60, .voltageCode = 1,
     .programTenths = 157, .pulseUs = 80000, .eraseUs = 100000, .map = GalMap::Gal22V10, .rows = &kGal20RA10},
    // Modelled without the 64 UES cells (3210-3273 on the 20RA10): its map
    // ends at the architecture fuses. No datasheet was found for this part:
    // what sets it apart from the 20RA10 follows the algorithm row.
    {.maker = "LATTICE", .name = "GAL20RA10A", .fuses = 3210, .makerCode = 0xA1, .typeCode = 0x61,
     .voltageCode = 2, .programTenths = 145, .pulseUs = 40000, .eraseUs = 100000, .map = GalMap::Gal22V10,
     .rows = &kGal20RA10NoUes, .followsRow = true},
    {.maker = "LATTICE", .name = "GAL20XV10", .fuses = 1671, .makerCode = 0xA1, .typeCode = 0x65, .voltageCode = 2,
     .programTenths = 145, .pulseUs = 40000, .eraseUs = 100000, .map = GalMap::Gal22V10, .rows = &kGal20XV10},
    {.maker = "LATTICE", .name = "GAL26CV12", .fuses = 6432, .makerCode = 0xA1, .typeCode = 0x58, .voltageCode = 0,
     .programTenths = 165, .pulseUs = 10000, .eraseUs = 100000, .map = GalMap::Other, .rows = &kGal26CV12},
    // Low-voltage 22V10 parts with the extended ID; type 49h has the OR row.
    {.maker = "LATTICE", .name = "GAL22LV10C", .fuses = 5892, .makerCode = 0xA1, .typeCode = 0x48,
     .programTenths = 0, .pulseUs = 0, .eraseUs = 0, .map = GalMap::Gal22V10, .idKind = GalIdKind::Extended,
     .extended = {0x25, 1, 3, 3, 16, 10}, .programVccTenths = 33, .minVccTenths = 30, .rows = &kGal22LV10},
    {.maker = "LATTICE", .name = "GAL22LV10D", .fuses = 5892, .makerCode = 0xA1, .typeCode = 0x49,
     .programTenths = 0, .pulseUs = 0, .eraseUs = 0, .map = GalMap::Gal22V10, .idKind = GalIdKind::Extended,
     .extended = {0x25, 2, 4, 2, 18, 12}, .programVccTenths = 33, .minVccTenths = 30, .orRow = true,
     .rows = &kGal22LV10},
    // Pin-addressed 20RA10 without a signature: 15.7 V, 50 ms; erase at row
    // 63 with SDIN high.
    {.maker = "ST", .name = "GAL20RA10", .fuses = 3274, .programTenths = 157, .pulseUs = 50000, .eraseUs = 50000,
     .map = GalMap::Gal20V8, .rows = &kPin20RA10},
};

const LargePldFacts kLargePlds[] = {
    // The first 1500 has no cell at row 5 bit 176: its map ends at fuse
    // 24992. No datasheet was found to confirm the cell's absence.
    {"ATMEL", "ATF1500", LargePldKind::Type1500, "001F15000000", 5000, 50000, 110, true, false, 24993},
    {"ATMEL", "ATF1500A", LargePldKind::Type1500, "001F1500A000", 5000, 50000, 110, false, true},
    // The first V750s end their map at fuse 14393 (no cells 14394-14500);
    // no V750 has a cell for fuse 14394. No datasheet was found.
    {"ATMEL", "ATV750", LargePldKind::TypeV750, "001FV750C000", 10000, 50000, 125, false, false, 14394},
    {"ATMEL", "ATV750L", LargePldKind::TypeV750, "001FV750CL00", 10000, 50000, 125, false, false, 14394},
    {"ATMEL", "ATV750B", LargePldKind::TypeV750, "001FV750C003", 20000, 100000, 125},
    {"ATMEL", "ATV750BL", LargePldKind::TypeV750, "001FV750CL03", 20000, 100000, 125},
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
        f.pinCount = g.rows != nullptr ? g.rows->pinCount : dip20 ? 20 : 24;
        f.words = g.fuses; // the JEDEC fuse map, a cell a word
        f.blank = 1;
        if (g.idKind != GalIdKind::Text) {
            f.makerCode = g.makerCode;
            f.deviceCode = g.typeCode;
        }
        f.vcc.minTenths = g.minVccTenths;
        f.vccPin = g.rows != nullptr ? g.rows->vcc : dip20 ? 20 : 24;
        f.gndPins = {g.rows != nullptr ? g.rows->gnd : dip20 ? 10 : 12};
        f.followsRow = g.followsRow;
        parts.push_back(ModelPart<GalChip, BitCells>(g.maker, f, g));
    }
}

void AddLargePldParts(std::vector<CatalogPart>& parts) {
    for (const LargePldFacts& p : kLargePlds) {
        const bool is1500 = p.kind == LargePldKind::Type1500;
        PartFacts f;
        f.name = p.name;
        f.pinCount = is1500 ? 44 : 24;
        f.words = p.jedecFuses != 0 ? p.jedecFuses : LargePldChip(p).CellCount(); // a fuse a word
        f.blank = 1;
        f.vccPin = is1500 ? 3 : 24;
        f.gndPins = {is1500 ? 22 : 12};
        parts.push_back(ModelPart<LargePldChip, BitCells>(p.maker, f, p));
    }
}

const LargePldFacts* FindLargePld(const std::string& maker, const std::string& name) {
    for (const LargePldFacts& p : kLargePlds) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

uint32_t GalExtendedStrobeUs(int code) { return kStrobeUs[code & 3]; }
uint32_t GalExtendedEraseUs(int code) { return kEraseMs[code & 7] * 1000; }
uint32_t GalExtendedProgramUs(int code) { return kProgramUs[code & 15]; }

SIM_CATALOG_FAMILY(AddGalParts);
SIM_CATALOG_FAMILY(AddLargePldParts);

} // namespace sim
