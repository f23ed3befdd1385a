// libFuzzer target: the hex-family reader (Intel, Motorola, Tektronix, ASCII hex).
#include <cstddef>
#include <cstdint>

#include "engine/HexFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HexLoadState state;
    state.FileOffset = size > 0 ? data[0] : 0;
    state.BufferOffset = size > 1 ? uint32_t{data[1]} << 16 : 0;
    ParseHexFamilyText(state, data, size);
    if (state.Image.EndAddress() > HexLoadAddressLimit + 256)
        __builtin_trap(); // a record stored past the limit
    return 0;
}
