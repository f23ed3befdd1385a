// Facts of the command-interface PLDs: the cycle-record parts (16V8, 20V8
// and 22V10 fuse maps in 20- and 24-pin DIPs, the identification code in row
// 63) and the 20-bit word part in its two adapters.
#include "sim/Catalog.h"
#include "sim/CycleRecordChip.h"
#include "sim/WordPldChip.h"

namespace sim {

namespace {

const CycleRecordFacts kCycleRecordParts[] = {
    {"CYPRESS", "PALCE16V8", CycleRecordKind::Byte16V8, 0, 2194},
    {"CYPRESS", "PALCE20V8", CycleRecordKind::Byte20V8, 'B', 2706},
    {"CYPRESS", "PALCE22V10", CycleRecordKind::Word22V10, 66, 5828},
};

const WordPldFacts kWordPldParts[] = {
    {"GENERIC-ALGORITHM", "EEPLD6504", 24},
    {"GENERIC-ALGORITHM", "EEPLD6504-PLCC", 82},
};

} // namespace

void AddCycleRecordParts(std::vector<CatalogPart>& parts) {
    for (const CycleRecordFacts& c : kCycleRecordParts) {
        const bool dip20 = c.kind == CycleRecordKind::Byte16V8;
        PartFacts f;
        f.name = c.name;
        f.pinCount = dip20 ? 20 : 24;
        f.words = c.fuses; // the JEDEC fuse map, a fuse a word
        f.blank = 0;
        f.vccPin = dip20 ? 20 : 24;
        f.gndPins = {dip20 ? 10 : 12};
        parts.push_back(FamilyPart(c.maker, ChipKind::CycleRecord, f, c));
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
        parts.push_back(FamilyPart(w.maker, ChipKind::WordPld, f, w));
    }
}

} // namespace sim
