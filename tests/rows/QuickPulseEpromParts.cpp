// The parts of the tests' row 59, from their datasheets: the 8K x 8 CMOS
// EPROM in the JEDEC 28-pin pinout (/PGM on pin 27, Vpp on pin 1), blank
// FFh, programmed with 100 us pulses at Vpp 12.75 V +-0.25 V (14.0 V
// absolute). AMD's maker code is 01h; no device code was found in the
// datasheet text searched, so the part answers none.
#include "sim/Catalog.h"
#include "sim/EpromChip.h"

namespace sim {

void AddQuickPulseEpromParts(std::vector<CatalogPart>& parts) {
    EpromConfig c = Jedec28("Am27C64", 0x2000);
    c.vpp = {125, 130};
    c.vppMaxTenths = 140;
    c.minPulseUs = 95;
    c.makerCode = 0x01;
    parts.push_back(ChipPart<EpromChip>("AMD", std::move(c)));
}

SIM_CATALOG_FAMILY(AddQuickPulseEpromParts);

} // namespace sim
