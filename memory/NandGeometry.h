// The geometry of the NAND rows by DeviceVariant and what a device record of
// those rows must respect (the librarian refuses it otherwise; power-up
// fails on it with a line).
#pragma once
#include <cstdint>
#include <string>

struct NandGeometry {
    uint32_t PageData = 0; // data bytes of a chip page
    uint32_t PagesPerBlock = 0;
    uint32_t BlockBytes() const { return PageData * PagesPerBlock; }
};

// Row 77 by variant 0-5; PageData 0 for a variant past the table.
inline NandGeometry Row77Geometry(uint32_t variant) {
    constexpr NandGeometry kTable[] = {{32, 128}, {256, 16}, {256, 16}, {512, 16}, {512, 16}, {512, 32}};
    return variant < 6 ? kTable[variant] : NandGeometry{};
}

// Rows 83 (variants 3-6) and 86 (variants 3-5): 512-byte pages, 16 or 32 a
// block; PageData 0 for a variant the row has no map format for.
inline NandGeometry MapRowGeometry(uint32_t row, uint32_t variant) {
    if (variant < 3 || variant > (row == 83 ? 6u : 5u)) return {};
    return {512, variant <= 4 ? 16u : 32u};
}

// The blocks of the chip a map row formats, by variant: each format names its
// chip's size (32, 64, 128 and 256 Mbit). The record's size is the logical
// range the map gives blocks for, which block 0 and bad blocks keep below it.
inline uint32_t MapRowChipBlocks(uint32_t variant) {
    constexpr uint32_t kBlocks[] = {512, 1024, 1024, 2048};
    return variant >= 3 && variant <= 6 ? kBlocks[variant - 3] : 0;
}

// The blocks a map row keeps tables and maps for.
inline uint32_t MapRowBlockLimit(uint32_t row) {
    return row == 83 ? 2048 : 1024;
}
constexpr uint32_t kNandSpareFlag = 0x100; // DeviceFlags: the buffer carries each page's spare bytes

// Why a record of rows 77, 83 or 86 cannot work; empty when it can.
inline std::string NandRecordRefusal(uint32_t row, uint32_t variant, uint32_t flags, uint32_t page,
                                     uint32_t size) {
    if (row == 77) {
        if (Row77Geometry(variant).PageData == 0)
            return "variant " + std::to_string(variant) + " has no geometry in algorithm 77";
        return "";
    }
    if (row != 83 && row != 86) return "";
    const NandGeometry g = MapRowGeometry(row, variant);
    if (g.PageData == 0)
        return "variant " + std::to_string(variant) + " has no map format in algorithm " +
               std::to_string(row);
    const uint32_t want = (flags & kNandSpareFlag) != 0 ? 528 : 512;
    if (page != want)
        return "page of " + std::to_string(page) + " is not the buffer page of " + std::to_string(want) +
               " (flags bit 8 " + ((flags & kNandSpareFlag) != 0 ? "set" : "clear") + ")";
    const uint32_t blocks = size / (page * g.PagesPerBlock);
    if (blocks > MapRowBlockLimit(row))
        return std::to_string(blocks) + " blocks, algorithm " + std::to_string(row) + " keeps maps of " +
               std::to_string(MapRowBlockLimit(row));
    return "";
}
