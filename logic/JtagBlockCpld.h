// In-system block CPLDs over the register TAP: the fuse arrays of the
// register-driven block CPLDs reached through a TAP with a 6-bit instruction
// register, which the module clocks bit by bit through registers of the logic
// image (register 0: TCK, TDI, TMS; register 7: TDO; register 4: powered).
// Rows are walked through a one-hot row register; one data scan carries a
// row of every block. Row 264 (two blocks) and row 265 (four blocks).
#pragma once
#include <cstdint>

#include "logic/BlockCpldLayout.h"

struct JtagBlockType {
    uint32_t Row;
    uint32_t Idcode;
    const BlockCpldLayout* Layout;
};
extern const JtagBlockType JtagBlock264, JtagBlock265;
