// Where the current device's data lie in the buffer after a file load, and
// the warning a load gives for bytes it stored where no operation takes them.
#pragma once
#include <cstdint>
#include <vector>

// Buffer bytes From..To - 1.
struct StoredSpan {
    uint64_t From = 0, To = 0;
};

// The stored bytes that lie outside the buffer bytes the device's operations
// use. Buffer Start holds Chip Start's datum (a 16-bit device's counted in
// words), so the device's span runs from Buffer Start less Chip Start's
// units (by the split mode's step: every lane's) for the device's whole
// size; the places its row keeps whatever Buffer Start says
// (RowDef::FixedPlaces: configuration, ID and data-memory words, an EEPROM
// image, a hidden word; a split mode's place in every lane) and the words a
// Read stores after the range (RowDef::ReadStoresAfterRange) are the
// device's too. Nothing for a PLD (a fuse map), a device of no size or a
// Chip Start past it.
struct BytesOutside {
    uint64_t Count = 0;           // bytes outside
    uint64_t Below = 0;           // of them before the span's first byte
    uint64_t First = 0, Last = 0; // the lowest and highest of them
    StoredSpan Range;             // the range's buffer bytes (Chip Start's to Chip End's)
    bool Taken = false;           // a stored byte lies in them, on a place or after the range as Read stores
};
BytesOutside BytesOutsideDevice(const std::vector<StoredSpan>& stored);

// Logs one line when a load stored bytes outside the device's: how many,
// on which side of the span ("past", "before", "outside" for both), the
// lowest and highest of them, and the load's buffer start (File Load Buffer
// Start); else, when it stored bytes but none where the device's operations
// take them (the range's buffer bytes, the row's places, the words a Read
// stores after the range), a line naming the range's buffer bytes and the
// load's buffer start. The load itself stands.
void WarnBytesOutsideDevice(const std::vector<StoredSpan>& stored, uint32_t loadBufferStart);
