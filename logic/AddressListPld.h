// Logic devices whose programmable words come from an address list in the
// device library: per variant, groups of a bit mask and the word addresses
// it applies to. Three rows drive the chips through the logic image's
// address, data, mode and strobe registers; the engine's buffer checksum of
// these rows sums only the listed bits.
#pragma once
#include <cstdint>

// The library entry holding the list of a variant; 0 when the variant has none.
uint32_t AddressListEntry(uint32_t variant);

// The checksum of the current row's buffer image over its list (also left in
// BufferChecksum); FFFFFFFFh when the list's entry cannot be opened.
uint32_t ComputeChecksum250();
