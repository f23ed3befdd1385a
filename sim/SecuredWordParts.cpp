// The UV-erasable word-wide macrocell arrays with a security cell: the
// 22V10 class, the three members of the 750 class and the 2500 class (DIP
// and PLCC, with and without the extra cells). No datasheet of such
// a part was found: the pin-outs, levels and times follow the algorithm
// rows, and the parts carry generic names.
#include <vector>

#include "sim/Catalog.h"
#include "sim/CatalogModel.h"
#include "sim/SecuredWordChip.h"
#include "sim/WideWordEpldChip.h"

namespace sim {

namespace {

// The 22V10 class at 12.5 and 12.0 V (third level 10.0 V); the 750 class at
// 12.5 V (third level 10.5 V).
const SecuredWordFacts kSecuredWordParts[] = {
    {"GENERIC-ALGORITHM", "UVEPLD5828S", SecuredWordKind::V10, 125, 100},
    {"GENERIC-ALGORITHM", "UVEPLD5828S-LV", SecuredWordKind::V10, 120, 100},
    {"GENERIC-ALGORITHM", "UVEPLD14394", SecuredWordKind::V750, 125, 105},
    {"GENERIC-ALGORITHM", "UVEPLD14435", SecuredWordKind::V750B, 125, 105},
    {"GENERIC-ALGORITHM", "UVEPLD14364", SecuredWordKind::V750C, 125, 105},
};

const WideWordEpldFacts kWideWordParts[] = {
    {"GENERIC-ALGORITHM", "UVEPLD71648", false, false, 125},
    {"GENERIC-ALGORITHM", "UVEPLD71745", false, true, 125},
    {"GENERIC-ALGORITHM", "UVEPLD71648-PLCC", true, false, 125},
    {"GENERIC-ALGORITHM", "UVEPLD71745-PLCC", true, true, 125},
};

// The catalog keeps the fuse map in the JEDEC sense: 1 programmed; a fuse
// without a cell reads 0 and takes nothing.
struct SecuredWordCells : ModelLimits {
    static size_t Words(const SecuredWordChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const SecuredWordChip& m, const PartFacts&, uint32_t a) { return m.Programmed(a) ? 1 : 0; }
    static void SetCell(SecuredWordChip& m, const PartFacts&, uint32_t a, uint16_t v) {
        m.SetCell(a, (v & 1) ? 0 : 1);
    }
};

struct WideWordCells : ModelLimits {
    static size_t Words(const WideWordEpldChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const WideWordEpldChip& m, const PartFacts&, uint32_t a) { return m.Programmed(a) ? 1 : 0; }
    static void SetCell(WideWordEpldChip& m, const PartFacts&, uint32_t a, uint16_t v) {
        m.SetCell(a, (v & 1) ? 0 : 1);
    }
};

} // namespace

void AddSecuredWordParts(std::vector<CatalogPart>& parts) {
    for (const SecuredWordFacts& p : kSecuredWordParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 24;
        f.words = SecuredWordChip::FuseCount(p.kind);
        f.blank = 0;
        f.vccPin = 24;
        f.gndPins = {12};
        f.followsRow = true;
        parts.push_back(ModelPart<SecuredWordChip, SecuredWordCells>(p.maker, f, p));
    }
    for (const WideWordEpldFacts& p : kWideWordParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = p.plcc ? 44 : 40;
        f.words = WideWordEpldChip::FuseCount(p.extraCells);
        f.blank = 0;
        f.vccPin = p.plcc ? 12 : 10;
        f.gndPins = p.plcc ? std::vector<int>{33, 34} : std::vector<int>{30};
        f.followsRow = true;
        parts.push_back(ModelPart<WideWordEpldChip, WideWordCells>(p.maker, f, p));
    }
}

SIM_CATALOG_FAMILY(AddSecuredWordParts);

} // namespace sim
