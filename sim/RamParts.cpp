#include "sim/RamParts.h"

#include "sim/CatalogModel.h"
#include "sim/RamChip.h"

namespace sim {

namespace {

// Supply and ground pins of each DIP, its organisation and its row length
// (the column count of its address multiplexing, for the SRAMs the lines
// of one decoder row), and for the DRAMs the refresh period of their
// datasheets (128 cycles in 2 ms for the 4164 class that refreshes on seven
// row bits; 256 cycles in 4 ms, 512 in 8 ms, 1024 in 16 ms for the others).
const RamPartFacts kRamParts[] = {
    {"4164", 16, 8, 16, 65536, 1, 256, RamSelect::None, 45, 55, 2},
    {"41256", 16, 8, 16, 262144, 1, 512, RamSelect::None, 45, 55, 4},
    {"41000", 18, 9, 18, 1048576, 1, 1024, RamSelect::None, 45, 55, 8},
    {"44000", 20, 10, 20, 4194304, 1, 2048, RamSelect::None, 45, 55, 16},
    {"41416", 18, 9, 18, 16384, 4, 64, RamSelect::None, 45, 55, 4},
    {"41464", 18, 9, 18, 65536, 4, 256, RamSelect::None, 45, 55, 4},
    {"414256", 20, 10, 20, 262144, 4, 512, RamSelect::None, 45, 55, 8},
    {"6116", 24, 24, 12, 2048, 8, 128, RamSelect::Select24, 45, 55, 0},
    {"6164", 28, 28, 14, 8192, 8, 256, RamSelect::Cs2Of28, 45, 55, 0},
    {"61256", 28, 28, 14, 32768, 8, 512, RamSelect::None, 45, 55, 0},
    {"610000", 32, 32, 16, 131072, 8, 1024, RamSelect::Cs2Of32, 45, 55, 0},
};

// A RAM keeps nothing between runs; its footprint is its DIP.
struct RamContents : KeepsNothing {
    static ChipPinLimits Limits(const RamChip& m, const PartFacts&) { return DipPinLimits(m.Part().name, m.Part().pinCount); }
};

} // namespace

void AddRamParts(std::vector<CatalogPart>& parts) {
    for (const RamPartFacts& r : kRamParts) {
        PartFacts f;
        f.name = r.name;
        f.pinCount = r.pinCount;
        f.vcc = {r.vccMinTenths, r.vccMaxTenths};
        f.vccPin = r.vccPin;
        f.gndPins = {r.vssPin};
        parts.push_back(ModelPart<RamChip, RamContents>("", f, r));
    }
}

SIM_CATALOG_FAMILY(AddRamParts);

} // namespace sim
