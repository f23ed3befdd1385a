// PLDs programmed through a four-wire serial command interface (row 292):
// mode, clock, data in and data out; an identification byte in the idle
// state, 5-bit commands in the shift state, executed in the execute state;
// rows addressed one-hot, each written in one or two data shifts. The
// geometry, identity and driven pins of each part come from a variant table.
#pragma once
#include <cstdint>

// One variant: one-hot address length, bits per data shift, data shifts per
// row, identification byte, type code, a word the row does not use, and
// three 16-bit masks of the socket pins (a 0 bit: driven low at power-up;
// pin n is bit 15 - (n - 1) % 16 of mask (n - 1) / 16).
struct IspVariant {
    uint32_t Rows, Bits, Shifts, Identity, Type, Spare;
    uint16_t Masks[3];
};
constexpr uint32_t IspVariantCount = 32;
extern const IspVariant IspVariants[IspVariantCount];

// Module state of the last power-up: the identification byte and the five
// signature bytes (status, supply code, type code, maker code, a fifth).
struct IspCommandState {
    uint32_t Identity;
    uint32_t Signature[5];
};
extern IspCommandState Isp292;
