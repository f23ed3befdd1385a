// Write-buffer command flash on the 16-bit command bus (BufferFlash.cpp):
// rows 37 and 39.
#pragma once
#include <cstdint>

// Block erase: variant 0 blocks of 65536 words, 1 of 32768.
constexpr uint32_t BufferFlashBlockVariantCount = 2;

void InstallBufferFlashRows();
