// 12 V command flash of the older command sets on the command bus
// (PulseFlash.cpp): the byte-wide rows 2 and 7, programmed by pulses, by
// status or by data polling as the variant says, and the word-wide row 19,
// programmed and bulk-erased by pulses (two erase methods).
#pragma once
#include <cstdint>

// Variants 0-3 are served.
constexpr uint32_t PulseFlashVariantCount = 4;
constexpr uint32_t WordPulseFlashVariantCount = 2;
