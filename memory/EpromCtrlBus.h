// EPROMs on the control-register bus: a 16-bit part with a hidden word
// (row 301) and byte parts with several ways of setting the upper address
// bits (row 302).
#pragma once
#include <cstdint>

struct Row302Variant {
    uint8_t BlankCheckWithVppPin; // pin blank check with the voltage on VppPin
    int8_t VppPin;                // socket pin of that check
    uint8_t AddressMode;          // 0-3, how the upper address bits are set
    uint8_t Unused[2];
};
constexpr int Row302VariantCount = 7;
extern const Row302Variant Row302VariantTable[Row302VariantCount];

