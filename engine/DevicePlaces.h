// Where the current device's data lie in the buffer after a file load, and
// the warning a load gives for bytes it stored past them.
#pragma once
#include <cstdint>
#include <vector>

// Buffer bytes From..To - 1.
struct StoredSpan {
    uint64_t From = 0, To = 0;
};

// How many stored bytes lie past the device's last byte in the buffer,
// counted from File Load Buffer Start: the device's words (a byte of every
// two or four in a split mode) and the places its row keeps past them
// (RowDef::FixedPlaces: configuration, ID and data-memory words, an EEPROM
// image, a hidden word) are the device's. lastByte: the device's last byte.
// 0 for a PLD (a fuse map) and for a device of no size.
uint64_t BytesPastDevice(const std::vector<StoredSpan>& stored, uint64_t& lastByte);

// Logs one line when a load stored bytes past the device's last byte; the
// load itself stands.
void WarnBytesPastDevice(const std::vector<StoredSpan>& stored);
