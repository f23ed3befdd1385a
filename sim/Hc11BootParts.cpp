// The 68HC711-type parts of the catalog, programmed through their bootstrap
// mode by the programs they are sent (Hc11BootChip.h). From the 68HC11
// family's technical data: E at 2 MHz from the 8 MHz crystal, so the
// bootstrap's 7812 baud takes 1.28 ms a character; EPROM erased to FFh,
// burnt in 2 ms with the programming voltage (12.25 V nominal) on
// XIRQ/VPPE; EEPROM bytes programmed and erased in 10 ms each by the part's
// charge pump; CONFIG an EEPROM cell at 103Fh of which four bits are
// implemented.
//
// MC68HC711E9: 512 bytes of RAM, EEPROM B600h-B7FFh, EPROM D000h-FFFFh.
// MC68HC711E20: 768 bytes of RAM, EEPROM B600h-B7FFh, EPROM 9000h-AFFFh and
// D000h-FFFFh. Both are seated on the programmer's 48-pin DIP adapter rows
// (supply 48, ground 23, programming pin 11). For the other maps no
// datasheet with a matching memory map was found: those parts follow the
// algorithm row (map, RAM as the download, CONFIG shown at 0000h where the
// row puts it, the row's programming pin) with the family's behaviour above.
#include <string>
#include <utility>

#include "sim/Catalog.h"
#include "sim/Hc11BootChip.h"

namespace sim {

namespace {

using R = Hc11BootFacts::Range;

struct Hc11Map {
    uint32_t ram;
    R eeprom, eprom2, eprom;
    uint32_t config;
};

// By variant: the download (the RAM it fills), the EEPROM, second EPROM and
// EPROM ranges ({0, 0}: none) and the CONFIG address.
constexpr Hc11Map kHc11Maps[17] = {
    {512, {0xB600, 0xB7FF}, {0, 0}, {0, 0}, 0x103F},
    {512, {0xB600, 0xB7FF}, {0, 0}, {0xD000, 0xFFFF}, 0x103F},
    {768, {0xD80, 0xFFF}, {0, 0}, {0xA000, 0xFFFF}, 0},
    {512, {0xB600, 0xB7FF}, {0, 0}, {0xC000, 0xFFFF}, 0},
    {256, {0xF800, 0xFFFF}, {0, 0}, {0, 0}, 0x103F},
    {256, {0xF800, 0xFFFF}, {0, 0}, {0, 0}, 0x103F},
    {256, {0xB600, 0xB7FF}, {0, 0}, {0, 0}, 0x103F},
    {256, {0xB600, 0xB7FF}, {0, 0}, {0, 0}, 0x103F},
    {256, {0xB600, 0xB7FF}, {0, 0}, {0, 0}, 0x103F},
    {256, {0xB600, 0xB7FF}, {0, 0}, {0, 0}, 0x103F},
    {512, {0xB600, 0xB7FF}, {0, 0}, {0, 0}, 0x103F},
    {768, {0xB600, 0xB7FF}, {0, 0}, {0, 0}, 0x103F},
    {768, {0xB600, 0xB7FF}, {0x9000, 0xAFFF}, {0xD000, 0xFFFF}, 0x103F},
    {192, {0, 0}, {0, 0}, {0xF000, 0xFFFF}, 0},
    {192, {0, 0}, {0, 0}, {0xF000, 0xFFFF}, 0},
    {1024, {0xD80, 0xFFF}, {0, 0}, {0x8000, 0xFFFF}, 0},
    {1024, {0xFE00, 0xFFFF}, {0, 0}, {0, 0}, 0x103F},
};

Hc11BootFacts Part(const char* maker, std::string name, int variant, int vppPin) {
    const Hc11Map& m = kHc11Maps[variant];
    Hc11BootFacts f;
    f.maker = maker;
    f.name = std::move(name);
    f.pinCount = 48;
    f.words = 0x10000;
    f.blank = 0xFF;
    // 5.0 V +-10 %; the programmer's 5.5 V lands a DAC step above (5.55 V).
    f.vcc = {45, 56};
    f.vccPin = 48;
    f.gndPins = {23};
    if (m.eprom.last != 0) f.eprom.push_back(m.eprom);
    if (m.eprom2.last != 0) f.eprom.push_back(m.eprom2);
    if (m.eeprom.last != 0) f.eeprom.push_back(m.eeprom);
    f.ramBytes = m.ram;
    f.configAt = m.config;
    f.configMask = 0x0F;
    f.vppPin = vppPin;
    f.note = "no datasheet with this memory map found: map, RAM and programming pin follow the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddHc11BootParts(std::vector<CatalogPart>& parts) {
    std::vector<Hc11BootFacts> all;
    Hc11BootFacts e9 = Part("MOTOROLA", "MC68HC711E9", 1, 11);
    e9.note = "MC68HC711E9 technical data: memory map, RAM, EPROM/EEPROM programming";
    e9.followsRow = false;
    all.push_back(e9);
    Hc11BootFacts e20 = Part("MOTOROLA", "MC68HC711E20", 12, 11);
    e20.note = "MC68HC711E20 technical data: memory map, RAM, EPROM/EEPROM programming";
    e20.followsRow = false;
    all.push_back(e20);
    for (int v = 0; v < 17; ++v) {
        if (v == 1 || v == 12) continue;
        // Variant 16 takes the programming voltage on socket pin 32, the
        // sub-variant 1 parts 13 and 14 on pins 13 and 14.
        const int vppPin = v == 16 ? 32 : v == 13 ? 13 : v == 14 ? 14 : 11;
        all.push_back(Part("GENERIC-ALGORITHM", "HC711BOOT-V" + std::to_string(v), v, vppPin));
        // The sub-variant 1 parts (13, 14) take their supply and ground
        // where the programmer routes them for this row: 13 on socket pin 24
        // with ground on 3 and 4, 14 on 25 with ground on 5.
        if (v == 13) all.back().vccPin = 24, all.back().gndPins = {3, 4};
        if (v == 14) all.back().vccPin = 25, all.back().gndPins = {5};
    }
    // Brought up through the bootstrap download (variant 1's RAM and
    // programs), then written in a parallel EPROM mode: A0-A8 on socket pins
    // 17-22 and 24-26 select one of its 512 EPROM bytes, D0-D7 on 34-41, a low
    // program pulse of at least 1 ms on pin 30 with the programming voltage
    // on pin 32, read with pin 31 low; blank reads FFh, and with pins 32 and
    // 33 low (the programming voltage on pin 30) 00h with pin 31 high. No
    // datasheet describes this mode: pins, times and levels follow the row.
    Hc11BootFacts par = Part("GENERIC-ALGORITHM", "HC711PAR-V1", 1, 32);
    par.highVoltagePins = {30};
    par.parallelAddress = {17, 18, 19, 20, 21, 22, 24, 25, 26};
    par.parallelData = {34, 35, 36, 37, 38, 39, 40, 41};
    par.words = 512;
    par.eprom = {{0, 0x1FF}};
    par.eeprom.clear();
    par.configAt = -1;
    par.parallelBase = 0;
    par.parallelProgramPin = 30;
    par.parallelReadPin = 31;
    par.parallelVppPin = 32;
    par.parallelTestPin = 33;
    par.parallelBurnUs = 1000;
    par.note = "no datasheet describes a parallel EPROM mode with these pins: pins, pulse and levels follow the algorithm row";
    all.push_back(par);
    for (Hc11BootFacts& f : all) {
        std::string maker = f.maker;
        parts.push_back(ChipPart<Hc11BootChip>(std::move(maker), std::move(f)));
    }
}

SIM_CATALOG_FAMILY(AddHc11BootParts);

} // namespace sim
