// Facts of the one-time bipolar PALs: the 16L8 class in 20-pin DIPs at a
// 15 V or 20 V programming level, the 20L8 and 20L10 classes in 24-pin DIPs
// at 15 V, addressed by group and column; the small product-term PALs of the
// 20-pin (10H8 .. 16C1, 16L8) and 24-pin (12L10 .. 20C1, 20L10, 20L8)
// families with their layouts, output polarities and programming levels;
// the 16L8/16R8 and 20L8/20R8 classes addressed fuse by fuse through their
// pins (by three-level codes with VCC raised for the pulse, or by ground
// switches with a programming pin).
// The datasheets give pin-outs, supplies and fuse counts but no programming
// procedure: the programming mode (pins, levels, pulse) follows the
// algorithm rows.
#include "sim/BipolarPalChip.h"
#include "sim/CatalogModel.h"
#include "sim/PinAddressedFuseChip.h"
#include "sim/ProductTermPalChip.h"

namespace sim {

namespace {

const BipolarPalFacts kBipolarPalParts[] = {
    {"TEXAS-INSTRUMENTS", "TIBPAL16L8", BipolarPalKind::Pal16, 150},
    {"TEXAS-INSTRUMENTS", "TIBPAL16R8", BipolarPalKind::Pal16, 150},
    {"AMD/MMI", "PAL16L8A", BipolarPalKind::Pal16, 200},
    {"AMD/MMI", "PAL16R4A", BipolarPalKind::Pal16, 200},
    {"TEXAS-INSTRUMENTS", "TIBPAL20L8", BipolarPalKind::Pal20L8, 150},
    {"AMD/MMI", "PAL20R8A", BipolarPalKind::Pal20L8, 150},
    {"AMD/MMI", "PAL20L10A", BipolarPalKind::Pal20L10, 150},
};

// Output polarity of an intact cell in each half: the 20-pin parts' code 0
// inverts both halves and code 2 the second; the 24-pin parts' inverts both
// but the first half of code 2.
constexpr ProductTermPalFacts Term20(const char* maker, const char* name, int layout, int polarity, int tenths) {
    return {maker, name, false, layout, {polarity == 0, polarity == 0 || polarity == 2}, tenths};
}
constexpr ProductTermPalFacts Term24(const char* maker, const char* name, int layout, int polarity, int tenths) {
    return {maker, name, true, layout, {polarity != 2, true}, tenths};
}

const ProductTermPalFacts kProductTermParts[] = {
    Term20("NATIONAL-SEMICONDUCTOR", "PAL10H8", 0, 1, 117),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL10L8", 0, 0, 117),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL12H6", 1, 1, 105),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL12L6", 1, 0, 105),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL14H4", 2, 1, 102),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL14L4", 2, 0, 102),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL16H2", 3, 1, 117),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL16L2", 3, 0, 117),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL16C1", 3, 2, 117),
    Term20("NATIONAL-SEMICONDUCTOR", "PAL16L8A", 4, 0, 117),
    Term24("AMD/MMI", "PAL12L10", 0, 0, 102),
    Term24("AMD/MMI", "PAL14L8", 1, 0, 117),
    Term24("AMD/MMI", "PAL16L6", 2, 0, 102),
    Term24("AMD/MMI", "PAL20L2", 3, 0, 102),
    Term24("AMD/MMI", "PAL20C1", 3, 2, 102),
    Term24("NATIONAL-SEMICONDUCTOR", "PAL20L10A", 4, 0, 117),
    Term24("NATIONAL-SEMICONDUCTOR", "PAL20L8A", 5, 0, 102),
    // The full 80 x 40 array of the 24-pin kind: no part of that size was
    // found, so this one follows the row.
    Term24("GENERIC-ALGORITHM", "PTPAL3200", 6, 0, 117),
};

// VCC during the pulse is channel 4 on the strong supply path (1.1 V above
// it): 9.4 V for the 281 kind, 10.2 V for the others; the ground kinds blow
// with 14.7 V on their programming pin.
const PinAddressedFacts kPinAddressedParts[] = {
    {"TEXAS-INSTRUMENTS", "TIBPAL16R4", PinAddressedKind::Code281, 94},
    {"TEXAS-INSTRUMENTS", "TIBPAL16R6", PinAddressedKind::Code281, 94},
    {"NATIONAL-SEMICONDUCTOR", "PAL16R4A", PinAddressedKind::Code282, 102},
    {"NATIONAL-SEMICONDUCTOR", "PAL16R8A", PinAddressedKind::Code282, 102},
    {"AMD/MMI", "PAL16R6A", PinAddressedKind::Ground289, 147},
    {"AMD/MMI", "PAL16R8A", PinAddressedKind::Ground289, 147},
    {"TEXAS-INSTRUMENTS", "TIBPAL20R4", PinAddressedKind::Code286, 102},
    {"TEXAS-INSTRUMENTS", "TIBPAL20R6", PinAddressedKind::Code286, 102},
    {"NATIONAL-SEMICONDUCTOR", "PAL20R4A", PinAddressedKind::Bin313, 102},
    {"NATIONAL-SEMICONDUCTOR", "PAL20R6A", PinAddressedKind::Bin313, 102},
    {"AMD/MMI", "PAL20R4A", PinAddressedKind::Ground290, 147},
    {"AMD/MMI", "PAL20R6A", PinAddressedKind::Ground290, 147},
};

// The catalog keeps the fuse map in the JEDEC sense: 1 blown.
struct BlownFuses : ModelLimits {
    static size_t Words(const BipolarFuseChip& m, const PartFacts&) { return m.Fuses(); }
    static uint16_t Cell(const BipolarFuseChip& m, const PartFacts&, uint32_t a) { return m.Blown(a) ? 1 : 0; }
    static void SetCell(BipolarFuseChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetBlown(a, (v & 1) != 0); }
};

} // namespace

void AddBipolarPalParts(std::vector<CatalogPart>& parts) {
    for (const BipolarPalFacts& b : kBipolarPalParts) {
        const bool dip20 = b.kind == BipolarPalKind::Pal16;
        PartFacts f;
        f.name = b.name;
        f.pinCount = dip20 ? 20 : 24;
        f.words = b.kind == BipolarPalKind::Pal16 ? 2048 : b.kind == BipolarPalKind::Pal20L8 ? 2560 : 1600;
        f.blank = 0;
        f.vccPin = dip20 ? 20 : 24;
        f.gndPins = {dip20 ? 10 : 12};
        f.followsRow = true;
        parts.push_back(ModelPart<BipolarPalChip, BlownFuses>(b.maker, f, b));
    }
    for (const ProductTermPalFacts& t : kProductTermParts) {
        PartFacts f;
        f.name = t.name;
        f.pinCount = t.dip24 ? 24 : 20;
        std::vector<int> cells;
        uint32_t fuses = 0;
        ProductTermPalChip::Layout(t.dip24, t.layout, cells, fuses);
        f.words = fuses;
        f.blank = 0;
        f.vccPin = f.pinCount;
        f.gndPins = {f.pinCount / 2};
        f.followsRow = true;
        parts.push_back(ModelPart<ProductTermPalChip, BlownFuses>(t.maker, f, t));
    }
    for (const PinAddressedFacts& a : kPinAddressedParts) {
        PartFacts f;
        f.name = a.name;
        f.pinCount = PinAddressedFuseChip::Dip24(a.kind) ? 24 : 20;
        f.words = PinAddressedFuseChip::FuseCount(a.kind);
        f.blank = 0;
        f.vccPin = f.pinCount;
        f.gndPins = {f.pinCount / 2};
        f.followsRow = true;
        parts.push_back(ModelPart<PinAddressedFuseChip, BlownFuses>(a.maker, f, a));
    }
}

SIM_CATALOG_FAMILY(AddBipolarPalParts);

} // namespace sim
