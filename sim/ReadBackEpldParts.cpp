// Facts of the byte-addressed EPLDs with four mode lines that are read back
// after every programmed byte: the 24-pin, 28-pin and 40/44-pin pin-outs.
// No datasheet was found for any of them: pin-outs, levels, times and fuse
// counts follow the algorithm rows, and each part is named after its row's
// fuse count.
#include "sim/CatalogModel.h"
#include "sim/ReadBackEpldChip.h"

namespace sim {

namespace {

const ReadBackEpldFacts kReadBackEpldParts[] = {
    {"GENERIC-ALGORITHM", "BEPLD14088", ReadBackEpldKind::Dip24, 14088},
    {"GENERIC-ALGORITHM", "BEPLD8488", ReadBackEpldKind::Dip28, 8488},
    {"GENERIC-ALGORITHM", "BEPLD22103", ReadBackEpldKind::Dip40, 22103},
    {"GENERIC-ALGORITHM", "BEPLD22103-PLCC", ReadBackEpldKind::Plcc44, 22103},
};

} // namespace

void AddReadBackEpldParts(std::vector<CatalogPart>& parts) {
    for (const ReadBackEpldFacts& b : kReadBackEpldParts) {
        const ReadBackEpldChip::Pins& pins = ReadBackEpldChip::PinsOf(b.kind);
        PartFacts f;
        f.name = b.name;
        f.pinCount = pins.pinCount;
        f.words = b.fuses;
        f.blank = 1;
        f.vccPin = pins.vcc;
        f.gndPins = {pins.gnd};
        f.followsRow = true;
        parts.push_back(ModelPart<ReadBackEpldChip, BitCells>(b.maker, f, b));
    }
}

SIM_CATALOG_FAMILY(AddReadBackEpldParts);

} // namespace sim
