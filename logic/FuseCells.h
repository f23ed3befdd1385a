// Per-fuse services of the programmable-logic modules: each hands a module
// the bit to program, or stores, verifies, blank-checks or after-secure checks
// one fuse read from the chip, and reports a failing fuse through FailAddress
// (and CompareFailed for ProcessFuseBit).
//
// Arguments: fuse number n, bit position p of the fuse in the word w read from
// the chip (callers reading one bit at a time pass it as w with p = 0), and
// the mode: the Read entry's mode (0 blank, 1/3 verify, 2 read, 4 compare,
// 6 after secure) or 1 when programming.
#pragma once
#include <cstdint>

// The fuse area where the GAL-type modules keep the device image.
constexpr uint32_t ShadowFuseBase = 10000;

// Mode 1: the buffer bit of fuse n shifted to position p. Other modes check
// the fuse and set CompareFailed on a failure; the result then means nothing.
uint32_t ProcessFuseBit(int n, int p, int w, int mode);
uint32_t ProcessFuseBitCopy(int n, int p, int w, int mode);
// 1 pass, -1 mismatch or user break.
int32_t CheckFuseBit(int n, int p, int w, int mode);
// The same for the device image (n = ShadowFuseBase + device fuse).
int32_t CheckShadowFuseBit(int n, int p, int w, int mode);
