// Byte-wide flash taking single-cycle commands with a status register, on the
// command bus of its logic images (BootBlockFlash.cpp): rows 21 and 36, the
// boot-block and uniform-block erase module.
#pragma once
#include <cstdint>

// Rows of the boot-block layout table, and the two special variants: 99
// uniform 64 KB blocks, 100 chip erase after the preparation sequence.
constexpr uint32_t BootBlockLayoutCount = 9;
constexpr uint32_t kUniformBlocksVariant = 99;
constexpr uint32_t kChipEraseVariant = 100;
