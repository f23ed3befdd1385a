// The page-write flash and EEPROMs of the simulator (JEDEC commands at
// 5555h/2AAAh): sizes, pages, codes and boot blocks from the datasheets.
// The load window and the write cycle are the datasheets' maxima.
#include "sim/Catalog.h"
#include "sim/PageFlashChip.h"

namespace sim {

namespace {

PageFlashFacts Byte(const char* maker, const char* name, uint32_t words, uint32_t page, int mfg, int dev) {
    PageFlashFacts f;
    f.maker = maker;
    f.name = name;
    f.pins = FlashPinoutById(words <= 0x8000 ? kPinoutDip28 : kPinoutDip32);
    f.pinCount = f.pins.pinCount;
    f.vccPin = f.pins.vcc[0];
    f.gndPins = f.pins.gnd;
    f.words = words;
    f.pageWords = page;
    f.makerCode = mfg;
    f.deviceCode = dev;
    return f;
}

PageFlashFacts Word(const char* name, int dev, VoltageWindow vcc) {
    PageFlashFacts f = Byte("ATMEL", name, 0x10000, 128, 0x1F, dev);
    f.pins = PageFlashWord40Pinout();
    f.pinCount = f.pins.pinCount;
    f.vccPin = f.pins.vcc[0];
    f.gndPins = f.pins.gnd;
    f.width = 16;
    f.blank = 0xFFFF;
    f.vcc = vcc;
    return f;
}

PageFlashFacts Boot(PageFlashFacts f, uint32_t words) {
    f.bootBlockWords = words;
    return f;
}

// The byte-alterable EEPROM: no identification, no chip erase command, the
// words of a page that are not loaded keep their data.
PageFlashFacts Eeprom(const char* name) {
    PageFlashFacts f = Byte("ATMEL", name, 0x8000, 64, -1, -1);
    f.sectorErase = f.chipErase = f.idMode = false;
    return f;
}

} // namespace

void AddPageFlashParts(std::vector<CatalogPart>& parts) {
    const PageFlashFacts all[] = {
        Byte("ATMEL", "AT29C256", 0x8000, 64, 0x1F, 0xDC),
        Boot(Byte("ATMEL", "AT29C010A", 0x20000, 128, 0x1F, 0xD5), 0x2000),
        Boot(Byte("ATMEL", "AT29C020", 0x40000, 256, 0x1F, 0xDA), 0x2000),
        Boot(Byte("ATMEL", "AT29C040A", 0x80000, 256, 0x1F, 0xA4), 0x4000),
        Byte("WINBOND", "W29C020", 0x40000, 128, 0xDA, 0x45),
        Byte("SST", "SST29EE010", 0x20000, 128, 0xBF, 0x07),
        Eeprom("AT28C256"),
        Eeprom("AT28C256-BYTE"),
        Word("AT29C1024", 0x25, {45, 65}),
        Word("AT29LV1024", 0x26, {27, 40}),
    };
    for (const PageFlashFacts& f : all) parts.push_back(ChipPart<PageFlashChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddPageFlashParts);

} // namespace sim
