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

// No datasheet could be found for the byte-wide parts the boot-sector rows
// name by their device codes (82h, 84h one boot sector at the bottom, 83h,
// 85h one at the top) nor for the 16-bit part in byte mode with a boot
// sector at each end: their facts follow the algorithm row. The 512 KB parts
// sit on the 48-pin footprint with the address lines up to A17; 82h and 83h
// take commands and identification reads at byte addresses 5555h/2AAAh and
// the 12 V of the protect commands on pin 16, 84h and 85h at the doubled
// addresses with the 12 V on pin 14.
StatusPageFlashFacts RowPart(const char* name, int dev) {
    StatusPageFlashFacts f = ByteModePart("GENERIC-ALGORITHM", name, 0xC2, dev, 0x80000);
    f.followsRow = true;
    f.pins.address.resize(19); // A-1 and A0-A17
    if (dev == 0x82 || dev == 0x83) {
        f.firstCommand = 0x5555;
        f.secondCommand = 0x2AAA;
        f.addressShift = 0;
        f.protectPin = 16;
    }
    return f;
}

StatusPageFlashFacts RowWordPart(const char* name, int dev) {
    StatusPageFlashFacts f = ByteModePart("GENERIC-ALGORITHM", name, 0xC2, dev, 0x100000);
    f.followsRow = true;
    return f;
}

} // namespace

void AddStatusPageFlashParts(std::vector<CatalogPart>& parts) {
    const StatusPageFlashFacts all[] = {
        ByteModePart("MACRONIX", "MX29F1610A", 0xC2, 0xFA, 0x200000),
        RowPart("PAGE-BOOT-82", 0x82),
        RowPart("PAGE-BOOT-83", 0x83),
        RowPart("PAGE-BOOT-84", 0x84),
        RowPart("PAGE-BOOT-85", 0x85),
        RowWordPart("PAGE-BOOT-X16", 0xB0),
    };
    for (const StatusPageFlashFacts& f : all) parts.push_back(ChipPart<StatusPageFlashChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddStatusPageFlashParts);

} // namespace sim
