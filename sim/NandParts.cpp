// The small-page NAND parts, with their datasheet facts: organisation,
// identity codes, supply window and busy times. A part whose library record
// carries each page with its spare bytes is listed a second time under the
// name with "(528)": the same chip, counted with its spare area.
#include "sim/Catalog.h"
#include "sim/NandChip.h"

namespace sim {

namespace {

struct NandLine {
    const char* maker;
    const char* name;
    uint8_t maker_code;
    uint8_t device_code;
    uint32_t pageData;
    uint32_t pagesPerBlock;
    uint32_t blocks;
    bool fiveVolt;
    bool spareListing; // also listed as "<name>(528)"
};

// 256-byte pages (8 spare bytes) and 512-byte pages (16 spare bytes).
constexpr NandLine kNandLines[] = {
    {"SAMSUNG", "KM29N16000", 0xEC, 0x64, 256, 16, 512, true, false},
    {"SAMSUNG", "K9F1608W0A", 0xEC, 0xEA, 256, 16, 512, false, false},
    {"TOSHIBA", "TC58V32AFT", 0x98, 0xE5, 512, 16, 512, false, false},
    {"SAMSUNG", "K9F6408U0A", 0xEC, 0xE6, 512, 16, 1024, false, false},
    {"SAMSUNG", "K9F2808U0A", 0xEC, 0x73, 512, 32, 1024, false, false},
    {"TOSHIBA", "TC58256AFT", 0x98, 0x75, 512, 32, 2048, false, false},
    {"SAMSUNG", "K9F3208W0A", 0xEC, 0xE3, 512, 16, 512, false, true},
    {"TOSHIBA", "TC58V64AFT", 0x98, 0xE6, 512, 16, 1024, false, true},
    {"TOSHIBA", "TC58128AFT", 0x98, 0x73, 512, 32, 1024, false, true},
    {"SAMSUNG", "K9F5608U0A", 0xEC, 0x75, 512, 32, 2048, false, true},
    {"SAMSUNG", "KM29W32000AT", 0xEC, 0xE3, 512, 16, 512, false, true},
    {"SAMSUNG", "K9F6408U0B", 0xEC, 0xE6, 512, 16, 1024, false, true},
    {"SAMSUNG", "K9F2808U0B", 0xEC, 0x73, 512, 32, 1024, false, true},
};

NandFacts FactsOf(const NandLine& l, bool withSpare) {
    NandFacts f;
    f.name = std::string(l.name) + (withSpare ? "(528)" : "");
    f.pinCount = 48;
    f.pageData = l.pageData;
    f.spare = l.pageData / 32;
    f.pagesPerBlock = l.pagesPerBlock;
    f.blocks = l.blocks;
    f.withSpare = withSpare;
    f.words = withSpare ? f.TotalBytes() : f.pageData * f.pagesPerBlock * f.blocks;
    f.makerCode = l.maker_code;
    f.deviceCode = l.device_code;
    f.vcc = l.fiveVolt ? VoltageWindow{45, 55} : VoltageWindow{27, 36};
    f.absMaxTenths = l.fiveVolt ? 70 : 46;
    f.powerUpUs = 10;
    f.vccPin = 37;
    f.gndPins = {13, 36};
    // Read 10 us; program 200 us (250 us the 256-byte-page parts); block
    // erase 2 ms; partial programs per page: 10 the 256-byte-page parts, 2
    // the others.
    f.readUs = 10;
    f.programUs = l.pageData == 256 ? 250 : 200;
    f.eraseUs = 2000;
    f.partialPrograms = l.pageData == 256 ? 10 : 2;
    return f;
}

} // namespace

void AddNandParts(std::vector<CatalogPart>& parts) {
    for (const NandLine& l : kNandLines) {
        for (bool withSpare : {false, true}) {
            if (withSpare && !l.spareListing) continue;
            parts.push_back(ChipPart<NandChip>(l.maker, FactsOf(l, withSpare)));
        }
    }
}

SIM_CATALOG_FAMILY(AddNandParts);

} // namespace sim
