// One-time bipolar logic arrays with test cells. The 18 x 42 x 10,
// 22 x 42 x 10 and 16 x 48 x 8 arrays are named after their datasheets
// (pin-out, array size, fuse count); no datasheet of their programming
// mode was found, so the address decode, levels and times follow the
// algorithm rows and the parts are flagged followsRow. The 2108-fuse
// sequencer arrays carry generic names.
#include <vector>

#include "sim/Catalog.h"
#include "sim/CatalogModel.h"
#include "sim/TestCellPlaChip.h"

namespace sim {

namespace {

const StrobePlaFacts kStrobePlaParts[] = {
    {"PHILIPS", "PLS153", StrobePlaLayout::Pla18, 175},
    {"PHILIPS", "PLS153A", StrobePlaLayout::Pla18, 175},
    {"GENERIC-ALGORITHM", "OTPPLA1842T", StrobePlaLayout::Pla18Tested, 175},
    {"GENERIC-ALGORITHM", "OTPSEQ2108-3", StrobePlaLayout::Seq16A, 145},
    {"GENERIC-ALGORITHM", "OTPSEQ2108-4", StrobePlaLayout::Seq16B, 145},
    {"GENERIC-ALGORITHM", "OTPSEQ2108-5", StrobePlaLayout::Seq16C, 145},
    {"GENERIC-ALGORITHM", "OTPSEQ2108-6", StrobePlaLayout::Seq16C, 175},
    {"PHILIPS", "PLS173", StrobePlaLayout::Pla22, 175},
};

const FplaFacts kFplaParts[] = {
    {"SIGNETICS(PHILIPS)", "82S100"},
};

// The catalog keeps the fuse map in the JEDEC sense: 1 blown.
struct BlownPlaFuses : ModelLimits {
    template <class M, class F> static size_t Words(const M&, const F& f) { return f.words; }
    template <class M, class F> static uint16_t Cell(const M& m, const F&, uint32_t a) { return m.Blown(a) ? 1 : 0; }
    template <class M, class F> static void SetCell(M& m, const F&, uint32_t a, uint16_t v) { m.SetBlown(a, (v & 1) != 0); }
};

} // namespace

void AddTestCellPlaParts(std::vector<CatalogPart>& parts) {
    for (const StrobePlaFacts& p : kStrobePlaParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = p.layout == StrobePlaLayout::Pla22 ? 24 : 20;
        f.words = StrobePlaChip::MapFuses(p.layout);
        f.blank = 0;
        f.vccPin = f.pinCount;
        f.gndPins = {f.pinCount / 2};
        f.followsRow = true;
        parts.push_back(ModelPart<StrobePlaChip, BlownPlaFuses>(p.maker, f, p));
    }
    for (const FplaFacts& p : kFplaParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 28;
        f.words = FplaChip::kMapFuses;
        f.blank = 0;
        f.vccPin = 28;
        f.gndPins = {14};
        f.followsRow = true;
        parts.push_back(ModelPart<FplaChip, BlownPlaFuses>(p.maker, f, p));
    }
}

SIM_CATALOG_FAMILY(AddTestCellPlaParts);

} // namespace sim
