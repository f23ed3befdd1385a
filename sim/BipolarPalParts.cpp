// Facts of the one-time bipolar PALs: the 16L8 class in 20-pin DIPs at a
// 15 V or 20 V programming level, the 20L8 and 20L10 classes in 24-pin DIPs
// at 15 V. The datasheets give pin-outs, supplies and fuse counts but no
// programming procedure: the programming mode (pins, levels, pulse) follows
// the algorithm rows.
#include "sim/BipolarPalChip.h"
#include "sim/CatalogModel.h"

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

// The catalog keeps the fuse map in the JEDEC sense: 1 blown.
struct BlownFuses : ModelLimits {
    static size_t Words(const BipolarPalChip& m, const PartFacts&) { return m.Fuses(); }
    static uint16_t Cell(const BipolarPalChip& m, const PartFacts&, uint32_t a) { return m.Blown(a) ? 1 : 0; }
    static void SetCell(BipolarPalChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetBlown(a, (v & 1) != 0); }
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
}

} // namespace sim
