// Parts of the parallel byte row whose 32-pin layout runs on socket adapter
// 'p': a 27C256-type EPROM mode (/CE held low for the whole operation, /OE
// the read strobe, /PGM the program strobe) with 15 address lines. The
// adapter and part are modelled as one 40-pin footprint at socket pins 5-44
// (chip pin = socket pin - 4): VCC on socket pin 40, ground on 24, the
// programming voltage on 11, and socket pin 39 (where the programmer's
// routing puts its programming voltage for this row) rated for it.
// No datasheet of such a part was found: the pin-out follows the algorithm
// row (followsRow); the programming conditions are those of the CMOS EPROMs
// of the same mode: Vpp 12.75 V +-0.25 V (14.0 V absolute), program pulses
// of 95 us or more.
#include "sim/Catalog.h"
#include "sim/EpromChip.h"

namespace sim {

namespace {

EpromConfig AdapterPPart(const char* name, uint32_t words) {
    EpromConfig c;
    c.name = name;
    c.pinCount = 40;
    c.words = words;
    c.width = 8;
    c.blank = 0xFF;
    auto chip = [](int socketPin) { return socketPin - 4; };
    c.vccPin = chip(40);
    c.gndPins = {chip(24)};
    c.vppPin = chip(11);
    c.testVoltagePin = chip(39);
    c.cePin = chip(38);
    c.oePin = chip(37);
    c.pgmPin = chip(14);
    for (int s : {5, 17, 19, 20, 21, 22, 23, 33, 15, 16, 9, 34, 35, 36, 18})
        c.addressPins.push_back(chip(s));
    c.addressPins.resize(words == 0x8000 ? 15 : 14);
    for (int s : {25, 26, 13, 28, 29, 30, 31, 32})
        c.dataPins.push_back(chip(s));
    c.vpp = {125, 130};
    c.vppMaxTenths = 140;
    c.minPulseUs = 95;
    c.followsRow = true;
    return c;
}

} // namespace

void AddParallelByteParts(std::vector<CatalogPart>& parts) {
    parts.push_back(ChipPart<EpromChip>("GENERIC-ALGORITHM", AdapterPPart("EPBYTE-P32-16K", 0x4000)));
    parts.push_back(ChipPart<EpromChip>("GENERIC-ALGORITHM", AdapterPPart("EPBYTE-P32-32K", 0x8000)));
}

SIM_CATALOG_FAMILY(AddParallelByteParts);

} // namespace sim
