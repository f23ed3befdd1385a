// libFuzzer target of one reader: VEXLOR_FUZZ_CHECK names its check in
// ReaderChecks.h; a broken bound traps, as a sanitizer report does.
#include "tools/fuzz/ReaderChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!VEXLOR_FUZZ_CHECK(data, size))
        __builtin_trap();
    return 0;
}
