// Single-cycle command flash programmed one unit per 40h command on the
// 16-bit command bus (WordFlash.cpp): rows 28 and 38 (fixed and
// parameter-block layouts), 26 and 91 (status error bits logged).
#pragma once
#include <cstdint>

constexpr uint32_t BlockLayout38Count = 1;
constexpr uint32_t BlockLayout26Count = 10;
// Row 91's register-8 values.
constexpr uint32_t Row91VariantCount = 2;
