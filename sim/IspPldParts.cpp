// Facts of the serial-command PLDs of the four-wire interface, one part per
// variant row of the algorithm's table. No datasheet was found for a part of
// these geometries: the array (rows, data bits, shifts), identity, type code,
// pins and times follow the algorithm row, and each part is named after its
// fuse count. The signature: status 1, supply code 5, the type code, maker
// code A1h.
#include "sim/CatalogModel.h"
#include "sim/IspPldChip.h"

namespace sim {

namespace {

// Default adapter: MODE 13, SCLK 11, SDI 12, SDO 25, the enable pin on 15
// (held low by the row), VCC on 36, ground on 14.
const std::vector<int> kDefaultPins = {13, 11, 12, 25, 15, 36, 14};

IspPldFacts Part(const char* name, uint32_t rows, uint32_t bits, uint32_t shifts, uint8_t identity, uint8_t type,
                 uint32_t programUs) {
    return {"GENERIC-ALGORITHM", name, rows, bits, shifts, identity, {1, 5, type, 0xA1, 0}, programUs, 200000,
            kDefaultPins};
}

} // namespace

void AddIspPldParts(std::vector<CatalogPart>& parts) {
    const IspPldFacts kParts[] = {
        Part("SCPLD15360", 96, 80, 2, 1, 192, 40000),    Part("SCPLD74880", 156, 240, 2, 5, 202, 40000),
        Part("SCPLD8160", 102, 80, 1, 44, 44, 10000),    Part("SCPLD320320", 286, 1120, 1, 38, 216, 40000),
        Part("SCPLD15040", 94, 160, 1, 119, 255, 40000),
    };
    for (const IspPldFacts& i : kParts) {
        PartFacts f;
        f.name = i.name;
        f.pinCount = 48;
        f.words = i.rows * i.bits * i.shifts;
        f.blank = 1;
        f.vccPin = 36;
        f.gndPins = {14};
        f.followsRow = true;
        parts.push_back(ModelPart<IspPldChip, BitCells>(i.maker, f, i));
    }
}

SIM_CATALOG_FAMILY(AddIspPldParts);

} // namespace sim
