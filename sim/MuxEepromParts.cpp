// The multiplexed-bus EEPROMs of the simulator: 8 KB by 8 in two 4 KB
// halves, 16-byte pages, software data protection and the block protect
// register of eight 1 KB blocks, 5 V +-10 %.
// The 28-pin pin-out, the 100 us byte-load window and the 5 ms write time are the model's own choices, not confirmed from a datasheet (size and page are).
#include "sim/Catalog.h"
#include "sim/MuxEepromChip.h"

namespace sim {

namespace {

MuxEepromFacts Mux28(const char* maker, const char* name, bool motorola) {
    MuxEepromFacts f;
    f.maker = maker;
    f.name = name;
    f.motorola = motorola;
    f.pinCount = 28;
    f.words = 0x2000;
    f.vccPin = 28;
    f.gndPins = {14};
    f.pageBytes = 16;
    f.byteLoadUs = 100;
    f.writeUs = 5000;
    return f;
}

} // namespace

void AddMuxEepromParts(std::vector<CatalogPart>& parts) {
    for (const MuxEepromFacts& f : {Mux28("XICOR", "X68C64", true), Mux28("XICOR", "X88C64", false)}) {
        parts.push_back(ChipPart<MuxEepromChip>(f.maker, f));
    }
}

SIM_CATALOG_FAMILY(AddMuxEepromParts);

} // namespace sim
