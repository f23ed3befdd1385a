// The one-time bipolar 22V10-class array programmed cell by cell and the
// 256 x 8 bit-plane fuse PROM. No datasheet of their programming modes was
// found: the pin-outs, levels and times follow the algorithm rows, and the
// parts carry generic names.
#include <vector>

#include "sim/Catalog.h"
#include "sim/CatalogModel.h"
#include "sim/FileOrderFuseChip.h"
#include "sim/MacrocellFuseChip.h"
#include "sim/PlaneFusePromChip.h"

namespace sim {

namespace {

const MacrocellFuseFacts kMacrocellFuseParts[] = {
    {"GENERIC-ALGORITHM", "OTPPLD5828"},
};

const PlaneFusePromFacts kPlaneFusePromParts[] = {
    {"GENERIC-ALGORITHM", "OTPPROM2048"},
};

struct BlownPromFuses : ModelLimits {
    static size_t Words(const PlaneFusePromChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const PlaneFusePromChip& m, const PartFacts&, uint32_t a) { return m.Blown(a) ? 1 : 0; }
    static void SetCell(PlaneFusePromChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetBlown(a, (v & 1) != 0); }
};

const FileOrderFuseFacts kFileOrderFuseParts[] = {
    {"GENERIC-ALGORITHM", "OTPPLD5828W", false},
    {"GENERIC-ALGORITHM", "OTPPLD5838W", true},
};

struct BlownWalkFuses : ModelLimits {
    static size_t Words(const FileOrderFuseChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const FileOrderFuseChip& m, const PartFacts&, uint32_t a) { return m.Blown(a) ? 1 : 0; }
    static void SetCell(FileOrderFuseChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetBlown(a, (v & 1) != 0); }
};

// The catalog keeps the fuse map in the JEDEC sense: 1 blown.
struct BlownMapFuses : ModelLimits {
    static size_t Words(const MacrocellFuseChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const MacrocellFuseChip& m, const PartFacts&, uint32_t a) { return m.Blown(a) ? 1 : 0; }
    static void SetCell(MacrocellFuseChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetBlown(a, (v & 1) != 0); }
};

} // namespace

void AddMacrocellFuseParts(std::vector<CatalogPart>& parts) {
    for (const MacrocellFuseFacts& p : kMacrocellFuseParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 24;
        f.words = MacrocellFuseChip::kMapFuses;
        f.blank = 0;
        f.vccPin = 24;
        f.gndPins = {12};
        f.followsRow = true;
        parts.push_back(ModelPart<MacrocellFuseChip, BlownMapFuses>(p.maker, f, p));
    }
    for (const FileOrderFuseFacts& p : kFileOrderFuseParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 24;
        f.words = FileOrderFuseChip::MapFuses(p.wide);
        f.blank = 0;
        f.vccPin = 24;
        f.gndPins = {12};
        f.followsRow = true;
        parts.push_back(ModelPart<FileOrderFuseChip, BlownWalkFuses>(p.maker, f, p));
    }
    for (const PlaneFusePromFacts& p : kPlaneFusePromParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 24;
        f.words = PlaneFusePromChip::kMapFuses;
        f.blank = 0;
        f.vccPin = 24;
        f.gndPins = {12};
        f.followsRow = true;
        parts.push_back(ModelPart<PlaneFusePromChip, BlownPromFuses>(p.maker, f, p));
    }
}

SIM_CATALOG_FAMILY(AddMacrocellFuseParts);

} // namespace sim
