// Facts of the parallel PLDs that identify themselves: the two-plane part
// (13713 fuses) of either identity kind, and the row-column part in its
// three geometries (2720, 2916 and 2911 fuses). No datasheet was found for
// any of them: pin-outs, levels, times, codes and fuse counts follow the
// algorithm rows, and each part is named after its row's fuse count.
#include "sim/CatalogModel.h"
#include "sim/CheckedPldChip.h"

namespace sim {

namespace {

const PlanePldFacts kPlanePldParts[] = {
    {"GENERIC-ALGORITHM", "PPLD13713", false, 13713},
    {"GENERIC-ALGORITHM", "PPLD13713L", true, 13713},
};

const RowColumnPldFacts kRowColumnPldParts[] = {
    {"GENERIC-ALGORITHM", "PPLD2720", 0, 2720, 0},
    {"GENERIC-ALGORITHM", "PPLD2916", 1, 2916, 0},
    {"GENERIC-ALGORITHM", "PPLD2911", 2, 2911, 8},
};

// The cells as the part reads them (blank 0): the models keep them stored
// the other way round.
struct SetCells : ModelLimits {
    template <class M, class F> static size_t Words(const M&, const F& f) { return f.words; }
    template <class M, class F> static uint16_t Cell(const M& m, const F&, uint32_t a) {
        return static_cast<uint16_t>(1 - m.Cell(a));
    }
    template <class M, class F> static void SetCell(M& m, const F&, uint32_t a, uint16_t v) { m.SetCell(a, 1 - (v & 1)); }
};

PartFacts Dip24(const char* name, uint32_t fuses, int gnd) {
    PartFacts f;
    f.name = name;
    f.pinCount = 24;
    f.words = fuses;
    f.blank = 0;
    f.vccPin = 24;
    f.gndPins = {gnd};
    f.followsRow = true;
    return f;
}

} // namespace

void AddCheckedPldParts(std::vector<CatalogPart>& parts) {
    for (const PlanePldFacts& p : kPlanePldParts)
        parts.push_back(ModelPart<PlanePldChip, SetCells>(p.maker, Dip24(p.name, p.fuses, 12), p));
    for (const RowColumnPldFacts& p : kRowColumnPldParts)
        parts.push_back(ModelPart<RowColumnPldChip, SetCells>(p.maker, Dip24(p.name, p.fuses, 2), p));
}

SIM_CATALOG_FAMILY(AddCheckedPldParts);

} // namespace sim
