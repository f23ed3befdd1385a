// Single-cycle command flash on the 40-pin byte-wide footprint, from the
// makers' datasheets: sizes, block maps, the boot block, identifier codes.
#include "sim/Catalog.h"
#include "sim/CommandFlashChip.h"

namespace sim {

namespace {

// Blocks of the boot-block parts from their sizes in KB, lowest address first.
std::vector<uint32_t> Blocks(std::initializer_list<uint32_t> kb) {
    std::vector<uint32_t> starts;
    uint32_t at = 0;
    for (uint32_t k : kb) {
        starts.push_back(at);
        at += k * 1024;
    }
    return starts;
}

std::vector<uint32_t> Uniform(uint32_t bytes, uint32_t block) {
    std::vector<uint32_t> starts;
    for (uint32_t a = 0; a < bytes; a += block) starts.push_back(a);
    return starts;
}

CommandFlashConfig Part(const char* name, uint32_t bytes, std::vector<uint32_t> blocks, int boot, uint8_t device) {
    CommandFlashConfig c;
    c.name = name;
    c.bytes = bytes;
    c.blockStarts = std::move(blocks);
    c.bootBlock = boot;
    c.deviceId = device;
    return c;
}

} // namespace

void AddCommandFlashParts(std::vector<CatalogPart>& parts) {
    auto add = [&](const char* maker, CommandFlashConfig c) {
        PartFacts common;
        common.name = c.name;
        common.pinCount = 40;
        common.words = c.bytes;
        common.width = 8;
        common.makerCode = c.makerId;
        common.deviceCode = c.deviceId;
        common.vccPin = 40;
        common.gndPins = {11, 30};
        parts.push_back(FamilyPart(maker, ChipKind::CommandFlash, common, std::move(c)));
    };
    // 2 Mbit boot block: 16 KB boot, two 8 KB parameter blocks, 96 KB and 128 KB main blocks.
    add("INTEL", Part("28F002BX-B", 0x40000, Blocks({16, 8, 8, 96, 128}), 0, 0x7D));
    add("INTEL", Part("28F002BX-T", 0x40000, Blocks({128, 96, 8, 8, 16}), 4, 0x7C));
    // 4 Mbit boot block: 16 KB boot, two 8 KB parameter blocks, 96 KB and three 128 KB main blocks.
    add("INTEL", Part("28F004BV-B", 0x80000, Blocks({16, 8, 8, 96, 128, 128, 128}), 0, 0x7B));
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
}

} // namespace sim
