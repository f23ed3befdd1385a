#include "engine/NeighbourState.h"

#include "engine/Device.h"

#include <algorithm>
#include <iterator>

#define VX_FF8 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF
#define VX_FF32 VX_FF8, VX_FF8, VX_FF8, VX_FF8
uint8_t EncryptionTable[EncryptionTableCapacity] = {VX_FF32, VX_FF32, VX_FF32, VX_FF32};
#undef VX_FF32
#undef VX_FF8
uint32_t EncryptionTableSize = 25; // Page of the built-in device
uint32_t EncryptionEnable = 0;
uint32_t SecurityMode = 1;
uint32_t SkipIdCheck = 0;
uint32_t FuseProgressCheck = 0;
uint32_t SocketPinMap[SocketPinMapSize] = {};
int32_t SupplyRampOffset = -11;

void SetEncryptionTableSize(uint32_t pageSize) {
    EncryptionTableSize = std::min(pageSize, EncryptionTableCapacity);
}

uint32_t EncryptionArraySize() {
    const uint32_t page = PageSize;
    return page == 16 || page == 32 || page == 64 || page == 128 ? page : 0;
}

uint32_t EncryptionEntriesWritten() {
    return std::min({EncryptionTableSize, EncryptionArraySize(), EncryptionTableCapacity});
}

uint8_t EncryptionArrayEntry(uint32_t i) { return i < EncryptionEntriesWritten() ? EncryptionTable[i] : 0xFF; }

void ResetNeighbourState() {
    std::fill(std::begin(EncryptionTable), std::end(EncryptionTable), 0xFF);
    SetEncryptionTableSize(PageSize);
    EncryptionEnable = 0;
    SecurityMode = 1;
    SkipIdCheck = 0;
    FuseProgressCheck = 0;
    std::fill(std::begin(SocketPinMap), std::end(SocketPinMap), 0u);
    SupplyRampOffset = -11;
}
