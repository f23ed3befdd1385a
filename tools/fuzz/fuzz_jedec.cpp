// libFuzzer target: the JEDEC fuse-file reader, with the extra fields of a
// row and test vectors.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/JedecPof.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> map(65792);
    JedecLayout layout;
    layout.FuseCount = 2194 + (size > 0 ? data[0] * 997u : 0);
    layout.PinCount = size > 1 ? data[1] % 49 : 20;
    layout.EFieldFuse = 54096;
    layout.UFieldFuse = 59000;
    layout.VectorCapacity = 65535;
    std::string vectors;
    uint32_t checksum = 0;
    ParseJedecText(std::string_view(reinterpret_cast<const char*>(data), size), layout, map.data(), map.size(),
                   vectors, checksum);
    if (vectors.size() > layout.VectorCapacity || (layout.PinCount && vectors.size() % layout.PinCount))
        __builtin_trap();
    return 0;
}
