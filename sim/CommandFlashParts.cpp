// Single-cycle command flash on the 40-pin and 32-pin footprints, from the
// makers' datasheets: sizes, widths, block maps, the boot block, identifier
// codes.
#include "sim/CatalogModel.h"
#include "sim/CommandFlashChip.h"

#include <string>
#include <tuple>

namespace sim {

namespace {

// Blocks of the boot-block parts from their sizes in KB, lowest address first.
std::vector<uint32_t> Blocks(const std::vector<uint32_t>& kb) {
    std::vector<uint32_t> starts;
    uint32_t at = 0;
    for (uint32_t k : kb) {
        starts.push_back(at);
        at += k * 1024;
    }
    return starts;
}

std::vector<uint32_t> Blocks(std::initializer_list<uint32_t> kb) { return Blocks(std::vector<uint32_t>(kb)); }

std::vector<uint32_t> Uniform(uint32_t bytes, uint32_t block) {
    std::vector<uint32_t> starts;
    for (uint32_t a = 0; a < bytes; a += block) starts.push_back(a);
    return starts;
}

CommandFlashConfig Part(const char* name, uint32_t bytes, std::vector<uint32_t> blocks, int boot, uint16_t device) {
    CommandFlashConfig c;
    c.name = name;
    c.bytes = bytes;
    c.blockStarts = std::move(blocks);
    c.bootBlock = boot;
    c.deviceId = device;
    return c;
}

// A command flash keeps its cells, words of its width.
struct CommandFlashContents : ModelLimits {
    static size_t Words(const CommandFlashChip& m, const PartFacts&) { return m.Bytes(); }
    static uint16_t Cell(const CommandFlashChip& m, const PartFacts&, uint32_t a) { return m.Cell(a); }
    static void SetCell(CommandFlashChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetCell(a, v); }
};

} // namespace

void AddCommandFlashParts(std::vector<CatalogPart>& parts) {
    auto add = [&](const char* maker, CommandFlashConfig c) {
        PartFacts common;
        common.name = c.name;
        const FlashPinout pins = CommandFlashPinout(c.footprint);
        common.pinCount = pins.pinCount;
        common.words = c.bytes;
        common.width = c.width;
        common.blank = c.width == 16 ? 0xFFFF : 0xFF;
        common.makerCode = c.makerId;
        common.deviceCode = c.deviceId;
        common.vccPin = pins.vcc.front();
        common.gndPins = pins.gnd;
        parts.push_back(ModelPart<CommandFlashChip, CommandFlashContents>(maker, common, std::move(c)));
    };
    // 2 Mbit boot block: 16 KB boot, two 8 KB parameter blocks, 96 KB and 128 KB main blocks.
    add("INTEL", Part("28F002BX-B", 0x40000, Blocks({16, 8, 8, 96, 128}), 0, 0x7D));
    add("INTEL", Part("28F002BX-T", 0x40000, Blocks({128, 96, 8, 8, 16}), 4, 0x7C));
    // 4 Mbit boot block: 16 KB boot, two 8 KB parameter blocks, 96 KB and three 128 KB main blocks.
    add("INTEL", Part("28F004BV-B", 0x80000, Blocks({16, 8, 8, 96, 128, 128, 128}), 0, 0x79));
    // 4 Mbit of eight uniform 64 KB blocks.
    add("INTEL", Part("28F004S5", 0x80000, Uniform(0x80000, 0x10000), -1, 0xA7));
    // 8 Mbit of sixteen uniform 64 KB blocks.
    CommandFlashConfig sa = Part("28F008SA", 0x100000, Uniform(0x100000, 0x10000), -1, 0xA2);
    sa.blockEraseUs = 1600000;
    add("INTEL", sa);
    // The second source of the 8 Mbit uniform-block part, on the latched bus's footprint.
    CommandFlashConfig lh = Part("LH28F008SA", 0x100000, Uniform(0x100000, 0x10000), -1, 0xA2);
    lh.makerId = 0x89;
    lh.footprint = 1;
    lh.blockEraseUs = 1600000;
    add("SHARP", lh);
    // 16 Mbit of thirty-two 64 KB blocks.
    add("INTEL", Part("28F016S5", 0x200000, Uniform(0x200000, 0x10000), -1, 0xAA));

    // 32-pin 12 V bulk-erase parts programmed by 10 us pulses with a program
    // verify, erased by 10 ms pulses of the whole array with an erase verify.
    auto pulsed = [&](const char* maker, const char* name, uint32_t bytes, uint8_t makerId, uint8_t device) {
        CommandFlashConfig c = Part(name, bytes, {0}, -1, device);
        c.makerId = makerId;
        c.footprint = kCommandFootprintJedec12V;
        c.scheme = CommandScheme::Pulse;
        c.programUs = 10;
        c.eraseUs = 10000;
        add(maker, c);
    };
    pulsed("INTEL", "28F256A", 0x8000, 0x89, 0xB9);
    pulsed("INTEL", "28F512", 0x10000, 0x89, 0xB8);
    pulsed("INTEL", "28F010", 0x20000, 0x89, 0xB4);
    pulsed("INTEL", "28F020", 0x40000, 0x89, 0xBD);
    pulsed("AMD", "Am28F010", 0x20000, 0x01, 0xA7);
    // 1 Mbit four-block parts: 8 KB boot block, two 4 KB parameter blocks and
    // a 112 KB main block, RP# on pin 30 (12 V unlocks the boot block).
    for (bool top : {false, true}) {
        CommandFlashConfig c = top ? Part("28F001BX-T", 0x20000, Blocks({112, 4, 4, 8}), 3, 0x94)
                                   : Part("28F001BX-B", 0x20000, Blocks({8, 4, 4, 112}), 0, 0x95);
        c.footprint = kCommandFootprintResetPin30;
        c.programUs = 10;
        c.blockEraseUs = 1000000;
        add("INTEL", c);
    }
    // 12 V parts with embedded program and erase, polled by their data.
    for (auto [name, bytes, device] : {std::tuple{"Am28F010A", 0x20000u, uint8_t{0xA2}}, std::tuple{"Am28F020A", 0x40000u, uint8_t{0x29}}}) {
        CommandFlashConfig c = Part(name, bytes, {0}, -1, device);
        c.makerId = 0x01;
        c.footprint = kCommandFootprintJedec12V;
        c.scheme = CommandScheme::DataPolling;
        c.programUs = 14;
        c.chipEraseUs = 1500000;
        add("AMD", c);
    }
    // 1 Mbit of 64K 16-bit words, 12 V bulk-erase parts programmed by 10 us
    // pulses with a program verify, erased by 10 ms pulses of the whole array
    // with an erase verify; the 40-pin 16-bit EPROM footprint.
    for (auto [maker, name, makerId, device] : {std::tuple{"TEXAS-INSTRUMENTS", "TMS28F210", uint8_t{0x97}, uint8_t{0xE5}},
                                               std::tuple{"ST", "M28F210", uint8_t{0x20}, uint8_t{0xE0}}}) {
        CommandFlashConfig c = Part(name, 0x10000, {0}, -1, device);
        c.makerId = makerId;
        c.width = 16;
        c.footprint = kCommandFootprintWord40;
        c.scheme = CommandScheme::Pulse;
        c.programUs = 10;
        c.eraseUs = 10000;
        add(maker, c);
    }

    // 16-bit parts in the 48-pin TSOP: blocks in 4K-word units, lowest
    // address first; sizes in words.
    auto tsop = [&](const char* maker, const char* name, uint32_t words, std::vector<uint32_t> units, uint16_t device,
                    int footprint = kCommandFootprintAdapter48) {
        std::vector<uint32_t> starts;
        for (uint32_t u : units) starts.push_back(u * 4096);
        CommandFlashConfig c = Part(name, words, std::move(starts), -1, device);
        c.width = 16;
        c.footprint = footprint;
        c.vccMinTenths = 27;
        c.programUs = 8;
        c.blockEraseUs = 500000;
        c.chipEraseUs = 2000000;
        add(maker, c);
        return c;
    };
    // Eight 4K-word parameter blocks at the bottom (or the top), the rest
    // 32K-word blocks, `units` 4K-word units in all.
    auto boot = [](uint32_t units, bool top) {
        std::vector<uint32_t> starts;
        uint32_t at = 0;
        if (!top)
            for (; at < 8; ++at) starts.push_back(at);
        for (; at < (top ? units - 8 : units); at += 8) starts.push_back(at);
        if (top)
            for (; at < units; ++at) starts.push_back(at);
        return starts;
    };
    // Advanced boot block, 3 V with a 12 V fast-programming VPP: 4, 8, 16
    // and 32 Mbit; the C3 parts power up with every block locked.
    for (auto [name, units, device] : {std::tuple{"28F400B3-B", 64u, uint16_t{0x8895}}, std::tuple{"28F400B3-T", 64u, uint16_t{0x8894}},
                                       std::tuple{"28F800B3-B", 128u, uint16_t{0x8893}}, std::tuple{"28F800B3-T", 128u, uint16_t{0x8892}},
                                       std::tuple{"28F160B3-B", 256u, uint16_t{0x8891}}, std::tuple{"28F160B3-T", 256u, uint16_t{0x8890}},
                                       std::tuple{"28F320B3-B", 512u, uint16_t{0x8897}}, std::tuple{"28F320B3-T", 512u, uint16_t{0x8896}}}) {
        // The 8 Mbit top-boot part is listed on the row that powers VCC on its own pin.
        const bool ownVcc = std::string(name) == "28F800B3-T";
        tsop("INTEL", name, units * 4096, boot(units, name[9] == 'T'), device,
             ownVcc ? kCommandFootprintTsop48 : kCommandFootprintAdapter48);
    }
    for (auto [name, units, device] : {std::tuple{"28F800C3-B", 128u, uint16_t{0x88C1}}, std::tuple{"28F800C3-T", 128u, uint16_t{0x88C0}},
                                       std::tuple{"28F160C3-B", 256u, uint16_t{0x88C3}}, std::tuple{"28F160C3-T", 256u, uint16_t{0x88C2}},
                                       std::tuple{"28F320C3-B", 512u, uint16_t{0x88C5}}, std::tuple{"28F320C3-T", 512u, uint16_t{0x88C4}}}) {
        CommandFlashConfig c = tsop("INTEL", name, units * 4096, boot(units, name[9] == 'T'), device);
        c.lockedAtPowerUp = true;
        parts.pop_back();
        add("INTEL", c);
    }
    // 5 V boot block, 8 Mbit by 16: 8K-word boot block, two 4K-word
    // parameter blocks, a 48K-word block and seven 64K-word blocks.
    tsop("INTEL", "28F800BV-B", 0x80000, {0, 2, 3, 4, 16, 32, 48, 64, 80, 96, 112}, 0x889D);
    tsop("INTEL", "28F800BV-T", 0x80000, {0, 16, 32, 48, 64, 80, 96, 112, 124, 125, 126}, 0x889C);
    // Advanced boot block by 8 (40-lead TSOP, through the adapter with VPP on
    // ZIF 5): eight 8 KB parameter blocks at the bottom (or the top), the rest
    // 64 KB blocks; 4, 8 and 16 Mbit, 3 V with a 12 V fast-programming VPP.
    for (auto [name, kb, device] : {std::tuple{"28F004B3-B", 512u, uint16_t{0xD5}}, std::tuple{"28F004B3-T", 512u, uint16_t{0xD4}},
                                    std::tuple{"28F008B3-B", 1024u, uint16_t{0xD3}}, std::tuple{"28F008B3-T", 1024u, uint16_t{0xD2}},
                                    std::tuple{"28F016B3-B", 2048u, uint16_t{0xD1}}, std::tuple{"28F016B3-T", 2048u, uint16_t{0xD0}}}) {
        const bool top = name[9] == 'T';
        std::vector<uint32_t> sizes(kb / 64 - 1, 64);
        sizes.insert(top ? sizes.end() : sizes.begin(), 8, 8);
        CommandFlashConfig c = Part(name, kb * 1024, Blocks(sizes), -1, device);
        c.footprint = kCommandFootprintByte40Adapter;
        c.vccMinTenths = 27;
        c.programUs = 8;
        c.blockEraseUs = 1000000;
        add("INTEL", c);
    }
    // 8 Mbit by 16 of sixteen uniform 32K-word blocks. No identifier table
    // was found for this part: it answers 00h codes and its record carries
    // none, so no unconfirmed code is ever checked against a real part.
    {
        std::vector<uint32_t> units;
        for (uint32_t u = 0; u < 128; u += 8) units.push_back(u);
        CommandFlashConfig c = tsop("SHARP", "LH28F800SU", 0x80000, units, 0x00, kCommandFootprintTsop48);
        c.makerId = 0x00;
        parts.pop_back();
        add("SHARP", c);
    }
    // Two 16 Mbit by 16 chips on one module, the second on /CE2; each
    // erases whole with 30h/D0h.
    {
        std::vector<uint32_t> units;
        for (uint32_t u = 0; u < 512; u += 8) units.push_back(u);
        CommandFlashConfig c = tsop("INTEL", "2x28F160S5", 0x200000, units, 0xD0);
        c.twoChips = true;
        c.footprint = kCommandFootprintAdapter48Vpp5;
        c.chipErase30 = true;
        c.vccMinTenths = 45;
        parts.pop_back();
        add("INTEL", c);
    }
    // Write-buffer parts of 64K-word blocks (a 16-word buffer), 5 V and 3 V,
    // and their full-chip-erase twins of 32K-word blocks.
    for (auto [name, words, device, volts] : {std::tuple{"28F320J5", 0x200000u, uint16_t{0x14}, 45}, std::tuple{"28F640J5", 0x400000u, uint16_t{0x15}, 45},
                                              std::tuple{"28F128J3", 0x800000u, uint16_t{0x18}, 27}}) {
        std::vector<uint32_t> units;
        for (uint32_t u = 0; u < words / 4096; u += 16) units.push_back(u);
        // The row of the 5 V parts takes them through its adapter (VPEN on ZIF
        // 5); the 3 V part's row powers the package's own pins.
        CommandFlashConfig c = tsop("INTEL", name, words, units, device,
                                    volts == 27 ? kCommandFootprintTsop48 : kCommandFootprintAdapter48Vpp5);
        c.bufferWords = 16;
        c.chipErase30 = true;
        c.vccMinTenths = volts;
        c.vppMinTenths = volts;
        c.blockEraseUs = 1000000;
        c.chipEraseUs = 8000000;
        parts.pop_back();
        add("INTEL", c);
    }
    // 3 V write-buffer parts of 32K-word (64 KB) blocks with a 16-word
    // buffer, as the package's own pins present them.
    for (auto [name, words, device] : {std::tuple{"28F160S3", 0x100000u, uint16_t{0xD0}}, std::tuple{"28F320S3", 0x200000u, uint16_t{0xD4}}}) {
        CommandFlashConfig c = tsop("INTEL", name, words, {}, device, kCommandFootprintTsop48);
        c.blockStarts = Uniform(words, 0x8000);
        c.bufferWords = 16;
        c.vppMinTenths = 27;
        c.blockEraseUs = 800000;
        parts.pop_back();
        add("INTEL", c);
    }
    // 16-bit parts with BYTE# tied low, one word as two byte cycles: 16 Mbit
    // of 64 KB blocks with the two-byte write FBh and the A7h/D0h erase of
    // the unlocked blocks (the 32 Mbit part two such dies), and the 16/32
    // Mbit 5 V parts with 32-byte write buffers. Identifier codes as the
    // byte-wide bus reads them; the 32 Mbit part's A0h is its 16 Mbit dies'
    // code, not taken from a datasheet of the 32 Mbit part.
    for (auto [name, words, device, dies, buffer] :
         {std::tuple{"28F016SA", 0x100000u, uint16_t{0xA0}, false, 0u}, std::tuple{"28F032SA", 0x200000u, uint16_t{0xA0}, true, 0u},
          std::tuple{"28F160S5", 0x100000u, uint16_t{0xD0}, false, 16u}, std::tuple{"28F320S5", 0x200000u, uint16_t{0xD4}, false, 16u}}) {
        CommandFlashConfig c = Part(name, words, Uniform(words, 0x8000), -1, device);
        c.width = 16;
        c.footprint = kCommandFootprintByteLane48;
        c.byteLane = true;
        c.twoByteWrite = buffer == 0;
        c.chipErase = buffer == 0;
        c.dieWords = dies ? words / 2 : 0;
        c.bufferWords = buffer;
        c.vppMinTenths = buffer == 0 ? 114 : 45;
        c.programUs = 6;
        c.blockEraseUs = 800000;
        c.chipEraseUs = 25000000;
        add("INTEL", c);
    }
    // 8 Mbit by 16, 3.3 V only, bottom and top boot: 128-word page program
    // 41h, non-volatile lock bits (77h/D0h, status 71h), A7h/D0h erase of
    // the unlocked blocks. No identifier table was found for these parts:
    // they answer 00h codes and their records carry none, so no unconfirmed
    // code is ever checked against a real part.
    for (auto [name, units] : {std::tuple{"M5M29FB800", std::vector<uint32_t>{0, 2, 3, 4, 8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96, 104, 112, 120}},
                               std::tuple{"M5M29FT800", std::vector<uint32_t>{0, 8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96, 104, 112, 120, 124, 125, 126}}}) {
        std::vector<uint32_t> starts;
        for (uint32_t u : units) starts.push_back(u * 4096);
        CommandFlashConfig c = Part(name, 0x80000, std::move(starts), -1, 0);
        c.makerId = 0x00;
        c.width = 16;
        c.footprint = kCommandFootprintAdapter48Vcc25;
        c.vccMinTenths = 27;
        c.vppMinTenths = 0;
        c.pageWords = 128;
        c.lockBits = true;
        c.chipErase = true;
        c.programUs = 1000;
        c.blockEraseUs = 500000;
        c.chipEraseUs = 4000000;
        add("MITSUBISHI", c);
    }
}

SIM_CATALOG_FAMILY(AddCommandFlashParts);

} // namespace sim
