// The UV-erasable bit-plane logic arrays. No datasheet of such a part was
// found: the pin-outs, levels and times follow the algorithm rows, and the
// parts carry generic names.
#include <vector>

#include "sim/Catalog.h"
#include "sim/CatalogModel.h"
#include "sim/PlaneArrayChip.h"

namespace sim {

namespace {

const PlaneArrayFacts kPlaneArrayParts[] = {
    {"GENERIC-ALGORITHM", "UVPLD2048", PlaneArrayKind::Plane256x8, 135},
    {"GENERIC-ALGORITHM", "UVPLD1600", PlaneArrayKind::Plane160x10, 135},
};

// The catalog keeps the fuse map in the JEDEC sense: 1 programmed.
struct ProgrammedCells : ModelLimits {
    static size_t Words(const PlaneArrayChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const PlaneArrayChip& m, const PartFacts&, uint32_t a) {
        return m.Programmed(m.CellOfFuse(a)) ? 1 : 0;
    }
    static void SetCell(PlaneArrayChip& m, const PartFacts&, uint32_t a, uint16_t v) {
        m.SetCell(m.CellOfFuse(a), (v & 1) ? 0 : 1);
    }
};

} // namespace

void AddPlaneArrayParts(std::vector<CatalogPart>& parts) {
    for (const PlaneArrayFacts& p : kPlaneArrayParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 24;
        f.words = PlaneArrayChip::FuseCount(p.kind);
        f.blank = 0;
        f.vccPin = 24;
        f.gndPins = {12};
        f.followsRow = true;
        parts.push_back(ModelPart<PlaneArrayChip, ProgrammedCells>(p.maker, f, p));
    }
}

} // namespace sim
