// The GAL6001 and GAL6002 FPLAs: 24-pin DIPs (VCC pin 24, ground pin 12)
// with the 78 x 64 x 36 array of their datasheets and erasure within
// 100 ms. Their serial chain, signature and programming voltages are not
// published: they follow the algorithm row, so the parts say so.
#include "sim/CatalogModel.h"
#include "sim/Gal6001Chip.h"

namespace sim {

namespace {

// Signature: erase count, voltage code, type code, maker code (A1h).
const Gal6001Facts kGal6001Parts[] = {
    {"LATTICE", "GAL6001", 8294, 0, {0, 1, 0x40, 0xA1, 0, 0, 0, 0, 0, 0}, 157, 120, 80000, 100000},
    {"LATTICE", "GAL6002", 8330, 2, {0, 2, 0x44, 0xA1, 0, 0, 0, 0, 0, 0}, 165, 120, 10000, 100000},
};

} // namespace

void AddGal6001Parts(std::vector<CatalogPart>& parts) {
    for (const Gal6001Facts& g : kGal6001Parts) {
        PartFacts f;
        f.name = g.name;
        f.pinCount = 24;
        f.words = g.fuses;
        f.blank = 1;
        f.vccPin = 24;
        f.gndPins = {12};
        f.followsRow = true;
        parts.push_back(ModelPart<Gal6001Chip, BitCells>(g.maker, f, g));
    }
}

SIM_CATALOG_FAMILY(AddGal6001Parts);

} // namespace sim
