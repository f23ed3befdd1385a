// Byte-wide 12 V command flash of the older command sets on the command bus
// (PulseFlash.cpp): rows 2 and 7, programmed by pulses, by status or by data
// polling as the variant says.
#pragma once
#include <cstdint>

// Variants 0-3 are served.
constexpr uint32_t PulseFlashVariantCount = 4;

void InstallPulseFlashRows();
