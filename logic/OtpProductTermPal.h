// Rows 272 and 273: one-time PALs of product lines and input columns, one
// fuse per existing cell, in two halves with their own programming, strobe,
// line-address and output pins. The sub-variant byte chooses the output
// polarity (bits 0-1), the programming level (bits 2-3) and the array
// layout (bits 4-7); the variant chooses the security sequence.
#pragma once
#include <cstdint>

// The fuse count of a row's layout code; 0 for a code the row has no table for.
uint32_t ProductTermPalFuses(uint32_t row, uint32_t layout);
