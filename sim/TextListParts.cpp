// Facts of the text-list EE PLDs: the 5.2 V kind in its two 44-pin set-ups
// and its 84-pin one, the 3.3 V kind in its two 44-pin set-ups. No datasheet
// was found for any of them: pin-outs, levels, times and codes follow the
// algorithm rows (maker code C9h, a product code each list accepts), and each
// part is named after its row and fuse count.
#include "sim/CatalogModel.h"
#include "sim/TextListChip.h"

namespace sim {

namespace {

const TextListFacts kTextListParts[] = {
    {"GENERIC-ALGORITHM", "TLPLD176", TextListKind::Row253Pin44V0, 176, 0x22, 0, false},
    {"GENERIC-ALGORITHM", "TLPLD22", TextListKind::Row253Pin44V1, 22, 0x23, 0, false},
    {"GENERIC-ALGORITHM", "TLPLD25", TextListKind::Row253Pin84, 25, 0x20, 0, false},
    {"GENERIC-ALGORITHM", "TLPLD152L", TextListKind::Row254Pin44V0, 152, 0x36, 0, false},
    {"GENERIC-ALGORITHM", "TLPLD16L", TextListKind::Row254Pin44V1, 16, 0x37, 0, false},
};

// The fuse map: the words of the list are the part's contents for the
// catalog only as far as the row's map goes; the catalog keeps the first
// `fuses` cells.
struct TextListCells : ModelLimits {
    template <class M, class F> static size_t Words(const M&, const F& f) { return f.words; }
    template <class M, class F> static uint16_t Cell(const M& m, const F&, uint32_t a) {
        return static_cast<uint16_t>(m.LowVoltageKind() ? 1 - m.Cell(a) : m.Cell(a));
    }
    template <class M, class F> static void SetCell(M& m, const F&, uint32_t a, uint16_t v) {
        m.SetCell(a, m.LowVoltageKind() ? 1 - (v & 1) : (v & 1));
    }
};

} // namespace

void AddTextListParts(std::vector<CatalogPart>& parts) {
    for (const TextListFacts& t : kTextListParts) {
        PartFacts f;
        f.name = t.name;
        f.pinCount = 48;
        f.words = t.fuses;
        const bool low = t.kind == TextListKind::Row254Pin44V0 || t.kind == TextListKind::Row254Pin44V1;
        f.blank = low ? 0 : 1;
        f.vccPin = t.kind == TextListKind::Row253Pin84 ? 48 : 23;
        f.gndPins = t.kind == TextListKind::Row253Pin84 ? std::vector<int>{24} : std::vector<int>{12, 25, 33};
        f.followsRow = true;
        parts.push_back(ModelPart<TextListChip, TextListCells>(t.maker, f, t));
    }
}

SIM_CATALOG_FAMILY(AddTextListParts);

} // namespace sim
