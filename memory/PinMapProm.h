// Row 300: PROMs of many pin-outs on the pin driver, programmed by the
// maker's method (fuse blowing or whole-byte writes).
#pragma once
#include <cstdint>

// Pin-out per sub-type (DeviceVariant): 16 address slots, 9 data slots and
// 6 control slots, each list ending at 0.
constexpr uint32_t PromPinMapCount = 19;
extern const uint32_t PromPinMapTable[PromPinMapCount][31];
