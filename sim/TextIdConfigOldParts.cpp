// The older generation of the text-ID configuration devices: capacities and
// the 8-pin DIP from the makers' datasheets (65,536 and 212,942 bits); the
// programming protocol has no public datasheet and follows the algorithm row
// (the parts are flagged followsRow).
#include "sim/CatalogModel.h"
#include "sim/TextIdConfigOldChip.h"

namespace sim {

namespace {

struct TextIdConfigOldContents : ModelLimits {
    static size_t Words(const TextIdConfigOldChip& m, const PartFacts&) { return m.Bytes(); }
    static uint16_t Cell(const TextIdConfigOldChip& m, const PartFacts&, uint32_t a) { return m.Byte(a); }
    static void SetCell(TextIdConfigOldChip& m, const PartFacts&, uint32_t a, uint16_t v) {
        m.SetByte(a, static_cast<uint8_t>(v));
    }
};

} // namespace

void AddTextIdConfigOldParts(std::vector<CatalogPart>& parts) {
    for (auto [name, bytes] : {std::pair{"EPC1064", 65536u / 8}, std::pair{"EPC1213", (212942u + 7) / 8}}) {
        TextIdConfigOldFacts c;
        c.name = name;
        c.bytes = bytes;
        PartFacts f;
        f.name = name;
        f.pinCount = 8;
        f.words = bytes;
        f.width = 8;
        f.blank = 0xFF;
        f.vccPin = 8;
        f.gndPins = {5};
        f.followsRow = true;
        parts.push_back(ModelPart<TextIdConfigOldChip, TextIdConfigOldContents>("ALTERA", f, std::move(c)));
    }
}

SIM_CATALOG_FAMILY(AddTextIdConfigOldParts);

} // namespace sim
