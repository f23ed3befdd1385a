// Facts of the EPM-type CPLDs reached row by row: their size, package,
// adapter, and the programming codes their identification row announces.
// No public data sheet gives the programming interface of these parts: the
// pins, the identification layout, the pulse widths and voltages follow the
// algorithm row.
#include "sim/CatalogModel.h"
#include "sim/EpmChainChip.h"
#include "sim/EpmJtagChip.h"
#include "sim/EpmRowChip.h"

namespace sim {

namespace {

struct EpmRowPart {
    EpmRowFacts facts;
    uint32_t fuses; // the user map the row's map covers
};

const EpmRowPart kEpmRowParts[] = {
    {{"ALTERA", "EPM7032LC44", 2, 4, 44, 9, 3, 0, 0, true, 20000, 120}, 14672},
    {{"ALTERA", "EPM7032LC44@47", 2, 47, 44, 9, 3, 0, 0, true, 20000, 120}, 14672},
    {{"ALTERA", "EPM7064LC44", 4, 45, 44, 9, 4, 0, 0, true, 20000, 122}, 29424},
    {{"ALTERA", "EPM7064LC68", 4, 46, 68, 9, 4, 0, 0, true, 20000, 122}, 29456},
    {{"ALTERA", "EPM7096LC68", 6, 45, 68, 7, 3, 0, 0, true, 16000, 120}, 44352},
    {{"ALTERA", "EPM7096LC84", 6, 46, 84, 7, 3, 0, 0, true, 16000, 120}, 44376},
    {{"ALTERA", "EPM7128ELC84", 8, 47, 84, 21, 4, 5, 0, true, 52000, 122}, 56320},
    {{"ALTERA", "EPM7032LC44@82", 2, 82, 44, 9, 3, 0, 0, true, 20000, 120}, 14672},
    {{"ALTERA", "EPM7064LC44@82", 4, 82, 44, 9, 4, 0, 0, true, 20000, 122}, 29424},
    {{"ALTERA", "EPM7096LC84@8", 6, 8, 84, 7, 3, 0, 0, true, 16000, 120}, 44376},
};

struct EpmChainPart {
    EpmChainFacts facts;
    uint32_t fuses;
};

// Rows 296 (array chain 108) and 299 (106); the 12.0 V part announces
// 12.0 V, the others their own code.
const EpmChainPart kEpmChainParts[] = {
    {{"ALTERA", "EPM7032", 2, 108, 21, 47, EpmChainId::TwoBlock, 9, 3, 0, 0, true, 20000, 120}, 14672},
    {{"ALTERA", "EPM7032S", 2, 108, 21, 82, EpmChainId::TwoBlock, 9, 3, 0, 0, true, 20000, 120}, 15033},
    {{"ALTERA", "EPM7064", 4, 108, 37, 45, EpmChainId::FourBlock, 9, 4, 0, 2, true, 20000, 122}, 29424},
    {{"ALTERA", "EPM7064@68", 4, 108, 37, 46, EpmChainId::FourBlock, 9, 4, 0, 1, true, 20000, 122}, 29456},
    {{"ALTERA", "EPM7064S", 4, 108, 37, 82, EpmChainId::FourBlock, 9, 4, 0, 0, true, 20000, 122}, 30609},
    {{"ALTERA", "EPM7128E", 8, 108, 57, 47, EpmChainId::EightBlock, 21, 3, 0, 0, true, 52000, 120}, 59136},
    {{"ALTERA", "EPM7128S", 8, 108, 57, 47, EpmChainId::EightBlock, 21, 4, 0, 0, true, 52000, 122}, 62703},
    {{"ALTERA", "EPM7128SLC84", 8, 106, 77, 47, EpmChainId::EightBlock, 9, 3, 0, 0, true, 20000, 120}, 59777},
    {{"ALTERA", "EPM7128SQC100", 8, 106, 77, 47, EpmChainId::EightBlock, 9, 3, 0, 0, true, 20000, 120}, 59825},
};

struct EpmJtagPart {
    EpmJtagFacts facts;
    uint32_t subVariant, fuses;
};

// Row 297 on adapter 82: the 183-bit parts by sub-variant, the 360-bit parts.
const EpmJtagPart kEpmJtagParts[] = {
    {{"ALTERA", "EPM7032AELC44", 0, 2, 9, true, 30000, 20000}, 0, 15106},
    {{"ALTERA", "EPM3032ALC44", 0, 2, 9, true, 30000, 20000}, 1, 14672},
    {{"ALTERA", "EPM7032AELI44", 0, 2, 9, true, 30000, 20000}, 2, 15033},
    {{"ALTERA", "EPM3032ALI44", 0, 2, 9, true, 30000, 20000}, 3, 15074},
    {{"ALTERA", "EPM7064AELC44", 1, 3, 9, true, 40000, 20000}, 2, 30609},
    {{"ALTERA", "EPM3064ALC44", 1, 3, 9, true, 40000, 20000}, 1, 29488},
    {{"ALTERA", "EPM7064AELI44", 1, 3, 9, true, 40000, 20000}, 0, 30746},
};

// The model's whole cell array (every block's array and configuration
// rows), which holds more cells than the user map of the part's words: the
// rack keeps, and a look at the part sees, every cell a run may change.
struct WholeCellArray : BitCells {
    template <class M, class F> static size_t Words(const M& m, const F&) { return m.CellCount(); }
};

} // namespace

void AddEpmRowParts(std::vector<CatalogPart>& parts) {
    for (const EpmRowPart& p : kEpmRowParts) {
        PartFacts f;
        f.name = p.facts.name;
        f.pinCount = 48;
        f.words = p.fuses;
        f.blank = 1;
        f.followsRow = true;
        parts.push_back(ModelPart<EpmRowChip, WholeCellArray>(p.facts.maker, f, p.facts));
    }
}

void AddEpmChainParts(std::vector<CatalogPart>& parts) {
    for (const EpmChainPart& p : kEpmChainParts) {
        PartFacts f;
        f.name = p.facts.name;
        f.pinCount = 48;
        f.words = p.fuses;
        f.blank = 1;
        f.followsRow = true;
        parts.push_back(ModelPart<EpmChainChip, WholeCellArray>(p.facts.maker, f, p.facts));
    }
}

void AddEpmJtagParts(std::vector<CatalogPart>& parts) {
    for (const EpmJtagPart& p : kEpmJtagParts) {
        PartFacts f;
        f.name = p.facts.name;
        f.pinCount = 44;
        f.words = p.fuses;
        f.blank = 1;
        f.vcc = {30, 36};
        f.followsRow = true;
        parts.push_back(ModelPart<EpmJtagChip, WholeCellArray>(p.facts.maker, f, p.facts));
    }
}

SIM_CATALOG_FAMILY(AddEpmRowParts);
SIM_CATALOG_FAMILY(AddEpmChainParts);
SIM_CATALOG_FAMILY(AddEpmJtagParts);

} // namespace sim
