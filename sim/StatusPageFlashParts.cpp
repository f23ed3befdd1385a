// The status-polled page flash of the simulator: the 16-Mbit part organised
// 2M x 8 / 1M x 16 in byte mode (maker C2h, device FAh, sixteen 128 KB
// sectors, 128-byte pages, 0.9 ms a page, 1.3 s a sector erase), seated on
// the 48-pin 16-bit footprint with DQ15/A-1 the lowest address line.
// The datasheet names no pin for the 12 V of the protect commands: the part
// takes it on the footprint's WP#/ACC position, where the image puts it.
#include "sim/Catalog.h"
#include "sim/StatusPageFlashChip.h"

namespace sim {

namespace {

StatusPageFlashFacts ByteModePart(const char* maker, const char* name, int mfg, int dev, uint32_t bytes) {
    StatusPageFlashFacts f;
    f.maker = maker;
    f.name = name;
    f.pins = FlashPinoutById(kPinoutTsop48Byte);
    f.pinCount = f.pins.pinCount;
    f.vccPin = f.pins.vcc[0];
    f.gndPins = f.pins.gnd;
    f.words = bytes;
    f.makerCode = mfg;
    f.deviceCode = dev;
    f.protectPin = f.pins.vpp;
    f.eraseUs = bytes / f.sectorBytes * 1300000u;
    return f;
}

} // namespace

void AddStatusPageFlashParts(std::vector<CatalogPart>& parts) {
    const StatusPageFlashFacts all[] = {
        ByteModePart("MACRONIX", "MX29F1610A", 0xC2, 0xFA, 0x200000),
    };
    for (const StatusPageFlashFacts& f : all) parts.push_back(ChipPart<StatusPageFlashChip>(f.maker, f));
}

} // namespace sim
