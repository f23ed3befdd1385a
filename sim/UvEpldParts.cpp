// Facts of the signature-checked UV EPLDs: one part per signature the
// programmer accepts, with the VPP and supply levels it programs at and its
// security byte (24-pin and two 40-pin DIP pin-outs). No data sheet of
// these parts gives their programming levels: the levels, the read level and
// the strobe time are those the rows use.
#include "sim/CatalogModel.h"
#include "sim/UvEpldChip.h"

namespace sim {

namespace {

constexpr uint8_t kF = 0xFF;
const UvEpldFacts kUvEpldParts[] = {
    {"ALTERA", "EPLD6482-87", UvEpldKind::Dip24, 6482, {'A', 'L', 'T', 'E', 'R', 'A', '8', '7', 0xF7, 0xEF, 0x00}, 127, 60, 0, 15, 104, 0x80, 20},
    {"ALTERA", "EPLD6482-89", UvEpldKind::Dip24, 6482, {'A', 'L', 'T', 'E', 'R', 'A', '8', '9', 0xFB, 0xDF, 0x0C}, 140, 50, 0, 8, 45, 0x80, 20},
    {"ALTERA", "EPLD6482-90", UvEpldKind::Dip24, 6482, {'A', 'L', 'T', 'E', 'R', 'A', '9', '0', 0xFE, 0x7F, 0x00}, 127, 60, 0, 15, 104, 0x80, 20},
    {"ALTERA", "EPLD6482-95", UvEpldKind::Dip24, 6482, {'A', 'L', 'T', 'E', 'R', 'A', '9', '5', 0xF4, 0xCF, 0x00}, 100, 60, 0, 8, 45, 0x80, 20},
    {"ALTERA", "EPLD6482-FF", UvEpldKind::Dip24, 6482, {kF, kF, kF, kF, kF, kF, kF, kF, kF, kF, kF}, 127, 60, 0, 15, 104, 0x80, 20},
    {"ALTERA", "EPLD17402-87", UvEpldKind::Dip40A, 17402, {'A', 'L', 'T', 'E', 'R', 'A', '8', '7', 0x00, 0x00, 0x00}, 127, 60, 0, 15, 200, 0x80, 20},
    {"ALTERA", "EPLD17402-95", UvEpldKind::Dip40A, 17402, {'A', 'L', 'T', 'E', 'R', 'A', '9', '5', 0x00, 0x00, 0x00}, 100, 62, 0, 8, 77, 0x80, 20},
    {"ALTERA", "EPLD42490-88", UvEpldKind::Dip40B, 42490, {'A', 'L', 'T', 'E', 'R', 'A', '8', '8', 0xF7, 0xEF, 0x00}, 127, 60, 0, 47, 216, 0x01, 20},
    {"ALTERA", "EPLD42490-89", UvEpldKind::Dip40B, 42490, {'A', 'L', 'T', 'E', 'R', 'A', '8', '9', 0xFB, 0xDF, 0x00}, 140, 50, 0, 40, 93, 0x01, 20},
    {"ALTERA", "EPLD42490-95", UvEpldKind::Dip40B, 42490, {'A', 'L', 'T', 'E', 'R', 'A', '9', '5', 0xF5, 0xDF, 0x00}, 100, 60, 45, 40, 93, 0x01, 20},
    {"ALTERA", "EPLD42490-FF", UvEpldKind::Dip40B, 42490, {kF, kF, kF, kF, kF, kF, kF, kF, kF, kF, kF}, 100, 50, 0, 47, 216, 0x01, 20},
};

} // namespace

void AddUvEpldParts(std::vector<CatalogPart>& parts) {
    for (const UvEpldFacts& u : kUvEpldParts) {
        PartFacts f;
        f.name = u.name;
        f.pinCount = u.kind == UvEpldKind::Dip24 ? 24 : 40;
        f.words = u.fuses; // the JEDEC fuse map, a fuse a word (a cell: 1 unprogrammed)
        f.blank = 1;
        f.vccPin = u.kind == UvEpldKind::Dip24 ? 24 : u.kind == UvEpldKind::Dip40A ? 40 : 34;
        f.gndPins = {u.kind == UvEpldKind::Dip24 ? 12 : 20};
        f.followsRow = true; // levels and times taken from the rows
        parts.push_back(ModelPart<UvEpldChip, BitCells>(u.maker, f, u));
    }
}

SIM_CATALOG_FAMILY(AddUvEpldParts);

} // namespace sim
