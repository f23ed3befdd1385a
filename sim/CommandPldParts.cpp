// Facts of the command-interface PLDs: the cycle-record parts (16V8, 20V8
// and 22V10 fuse maps in 20- and 24-pin DIPs, the identification code in row
// 63), the 20-bit word part in its two adapters, and the edit-mode parts
// whose identification code sets their edit voltages (16V8, 20V8 and
// 20RA10, 22V10 and 26V12 maps in 20-, 24- and 28-pin DIPs, the 29M16 map
// on a 16-bit bus in a 24-pin DIP).
// Also the byte-addressed EPLDs of the two pin-outs in 24-pin DIPs.
#include "sim/ByteEpldChip.h"
#include "sim/CatalogModel.h"
#include "sim/CycleRecordChip.h"
#include "sim/EditModeChip.h"
#include "sim/WordPldChip.h"

namespace sim {

namespace {

const CycleRecordFacts kCycleRecordParts[] = {
    {"CYPRESS", "PALCE16V8", CycleRecordKind::Byte16V8, 0, 2194},
    {"CYPRESS", "PALCE20V8", CycleRecordKind::Byte20V8, 'B', 2706},
    {"CYPRESS", "PALCE22V10", CycleRecordKind::Word22V10, 66, 5828},
};

// The 20-bit word part has no datasheet: it is modelled as the algorithm row
// drives it.
const WordPldFacts kWordPldParts[] = {
    {"GENERIC-ALGORITHM", "EEPLD6504", 24},
    {"GENERIC-ALGORITHM", "EEPLD6504-PLCC", 82},
};

const EditModeFacts kEditModeParts[] = {
    {"AMD", "PALCE16V8", EditModeKind::Bus16V8, 128, 2194, false, 0},
    {"AMD", "PALCE20V8", EditModeKind::Bus20V8, 1, 2706, false, 0},
    {"AMD", "PALCE20RA10", EditModeKind::Latch20RA10, 2, 3210, false, 0},
    {"AMD", "PALCE22V10", EditModeKind::Latch22V10, 15, 5828, false, 0},
    {"AMD", "PALLV22V10", EditModeKind::Latch22V10, 8, 5828, true, 0},
    {"AMD", "PALCE26V12", EditModeKind::Latch26V12, 0, 7848, false, 0},
    {"AMD", "PALCE26V12H", EditModeKind::Latch26V12, 12, 7848, false, 1},
    {"AMD", "PALCE29M16", EditModeKind::Wide29M16, 252, 6482, false, 0},
};

// The byte-addressed EPLDs: each pin-out with its bias level, the small and
// large array of the first two, both bias levels and both map sizes of the
// 5-bit-select pin-out. No datasheet was found for any of them: the pin-outs,
// levels, times and maps follow the algorithm rows.
const ByteEpldFacts kByteEpldParts[] = {
    {"GENERIC-ALGORITHM", "BEPLD1842", ByteEpldKind::Bus311, 1842, 125, 10},
    {"GENERIC-ALGORITHM", "BEPLD2378", ByteEpldKind::Bus311, 2378, 125, 10},
    {"GENERIC-ALGORITHM", "BEPLD2178", ByteEpldKind::Bus312, 2178, 125, 10},
    {"GENERIC-ALGORITHM", "BEPLD2714", ByteEpldKind::Bus312, 2714, 125, 10},
    {"GENERIC-ALGORITHM", "BEPLD2696", ByteEpldKind::Bus200, 2696, 122, 10},
    {"GENERIC-ALGORITHM", "BEPLD4088", ByteEpldKind::Bus201, 4088, 155, 10},
    {"GENERIC-ALGORITHM", "BEPLD4088L", ByteEpldKind::Bus201, 4088, 147, 100},
    {"GENERIC-ALGORITHM", "BEPLD5873", ByteEpldKind::Bus201, 5873, 155, 10},
    {"GENERIC-ALGORITHM", "BEPLD5828", ByteEpldKind::Bus201, 5828, 155, 10},
    {"GENERIC-ALGORITHM", "BEPLD4166", ByteEpldKind::Bus203, 4166, 142, 10},
};

// A PLD in a 20- or 24-pin DIP: the JEDEC fuse map, a fuse a word, reading
// `blank` when erased.
PartFacts DipPld(const char* name, bool dip20, uint32_t fuses, uint16_t blank) {
    PartFacts f;
    f.name = name;
    f.pinCount = dip20 ? 20 : 24;
    f.words = fuses;
    f.blank = blank;
    f.vccPin = dip20 ? 20 : 24;
    f.gndPins = {dip20 ? 10 : 12};
    return f;
}

// A cycle-record PLD keeps its JEDEC map as programmed (1) or erased (0).
struct CycleRecordContents : ModelLimits {
    static size_t Words(const CycleRecordChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const CycleRecordChip& m, const PartFacts&, uint32_t a) {
        return static_cast<uint16_t>(m.Fuse(a));
    }
    static void SetCell(CycleRecordChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetFuse(a, v & 1); }
};

} // namespace

void AddCycleRecordParts(std::vector<CatalogPart>& parts) {
    for (const CycleRecordFacts& c : kCycleRecordParts)
        parts.push_back(ModelPart<CycleRecordChip, CycleRecordContents>(
            c.maker, DipPld(c.name, c.kind == CycleRecordKind::Byte16V8, c.fuses, 0), c));
}

void AddEditModeParts(std::vector<CatalogPart>& parts) {
    for (const EditModeFacts& e : kEditModeParts) {
        PartFacts f = DipPld(e.name, e.kind == EditModeKind::Bus16V8, e.fuses, 1);
        if (e.kind == EditModeKind::Latch26V12) { // 28-pin DIP, VCC and ground at the centre pins
            f.pinCount = 28;
            f.vccPin = 7;
            f.gndPins = {21};
        }
        parts.push_back(ModelPart<EditModeChip, BitCells>(e.maker, f, e));
    }
}

void AddByteEpldParts(std::vector<CatalogPart>& parts) {
    for (const ByteEpldFacts& b : kByteEpldParts) {
        PartFacts f = DipPld(b.name, false, b.fuses, 1);
        f.followsRow = true;
        parts.push_back(ModelPart<ByteEpldChip, BitCells>(b.maker, f, b));
    }
}

void AddWordPldParts(std::vector<CatalogPart>& parts) {
    for (const WordPldFacts& w : kWordPldParts) {
        PartFacts f;
        f.name = w.name;
        f.pinCount = 44;
        f.words = 6504; // the JEDEC fuse map, a fuse a word
        f.blank = 1;
        f.vccPin = 26;
        f.gndPins = {27};
        f.followsRow = true;
        parts.push_back(ModelPart<WordPldChip, BitCells>(w.maker, f, w));
    }
}

SIM_CATALOG_FAMILY(AddCycleRecordParts);
SIM_CATALOG_FAMILY(AddWordPldParts);
SIM_CATALOG_FAMILY(AddEditModeParts);
SIM_CATALOG_FAMILY(AddByteEpldParts);

} // namespace sim
