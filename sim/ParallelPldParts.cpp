// Facts of the small parallel PLDs: the 4-bit-word part (2689 fuses) and
// the 10-bit-word part (5828 fuses), both in 24-pin DIPs. No datasheet was
// found for either interface: pin-outs, levels, times and fuse counts follow
// the algorithm rows, and each part is named after its row's fuse count.
#include "sim/CatalogModel.h"
#include "sim/ParallelPldChip.h"

namespace sim {

namespace {

const ParallelPldFacts kParallelPldParts[] = {
    {"GENERIC-ALGORITHM", "PPLD2689", false, 2689},
    {"GENERIC-ALGORITHM", "PPLD5828", true, 5828},
};

} // namespace

void AddParallelPldParts(std::vector<CatalogPart>& parts) {
    for (const ParallelPldFacts& p : kParallelPldParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 24;
        f.words = p.fuses;
        f.blank = 1;
        f.vccPin = 24;
        f.gndPins = {12};
        f.followsRow = true;
        if (p.tenBit) parts.push_back(ModelPart<TenBitPldChip, BitCells>(p.maker, f, p));
        else parts.push_back(ModelPart<NibblePldChip, BitCells>(p.maker, f, p));
    }
}

SIM_CATALOG_FAMILY(AddParallelPldParts);

} // namespace sim
