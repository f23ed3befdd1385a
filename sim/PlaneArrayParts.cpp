// The UV-erasable word-wide logic arrays: bit-plane arrays and the 20RA10
// and 22V10 macrocell classes. No datasheet of such a part was found: the
// pin-outs, levels and times follow the algorithm rows, and the parts carry
// generic names.
#include <vector>

#include "sim/Catalog.h"
#include "sim/CatalogModel.h"
#include "sim/MacrocellWordChip.h"
#include "sim/PlaneArrayChip.h"

namespace sim {

namespace {

const PlaneArrayFacts kPlaneArrayParts[] = {
    {"GENERIC-ALGORITHM", "UVPLD2048", PlaneArrayKind::Plane256x8, 135},
    {"GENERIC-ALGORITHM", "UVPLD1600", PlaneArrayKind::Plane160x10, 135},
};

// The 20RA10 class (3210 fuses at 12.5 V, 3990 at 13.5 and 12.5 V) and the
// 22V10 class at the levels of the six programming sets, the last with the
// cell outside the map.
const MacrocellWordFacts kMacrocellWordParts[] = {
    {"GENERIC-ALGORITHM", "UVPLD3210", MacrocellWordKind::Ra10Small, 125},
    {"GENERIC-ALGORITHM", "UVPLD3990", MacrocellWordKind::Ra10Large, 135},
    {"GENERIC-ALGORITHM", "UVPLD3990-LV", MacrocellWordKind::Ra10Large, 125},
    {"GENERIC-ALGORITHM", "UVPLD5828-0", MacrocellWordKind::V10, 135},
    {"GENERIC-ALGORITHM", "UVPLD5828-1", MacrocellWordKind::V10, 135},
    {"GENERIC-ALGORITHM", "UVPLD5828-2", MacrocellWordKind::V10, 125},
    {"GENERIC-ALGORITHM", "UVPLD5828-3", MacrocellWordKind::V10, 135},
    {"GENERIC-ALGORITHM", "UVPLD5828-4", MacrocellWordKind::V10, 135},
    {"GENERIC-ALGORITHM", "UVPLD5828-5", MacrocellWordKind::V10, 135, 63, false, true},
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

struct ProgrammedWordCells : ModelLimits {
    static size_t Words(const MacrocellWordChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const MacrocellWordChip& m, const PartFacts&, uint32_t a) { return m.Programmed(a) ? 1 : 0; }
    static void SetCell(MacrocellWordChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetCell(a, (v & 1) ? 0 : 1); }
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
    for (const MacrocellWordFacts& p : kMacrocellWordParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 24;
        f.words = MacrocellWordChip::FuseCount(p.kind);
        f.blank = 0;
        f.vccPin = 24;
        f.gndPins = {12};
        f.followsRow = true;
        parts.push_back(ModelPart<MacrocellWordChip, ProgrammedWordCells>(p.maker, f, p));
    }
}

SIM_CATALOG_FAMILY(AddPlaneArrayParts);

} // namespace sim
