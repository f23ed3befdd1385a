#include "logic/FuseCells.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/OperationState.h"
#include "engine/Services.h"

namespace {

uint32_t BitOf(int w, int p) { return static_cast<uint32_t>((w >> (p & 31)) & 1); }

// Where the after-secure check of a device image stops: the array of a
// 16V8-type or 20V8-type image; the UES and architecture bits above it stay
// readable on a secured part.
uint32_t ShadowSecureLimit() {
    switch (CurrentAlgorithm) {
    case 207:
    case 219:
    case 228:
    case 232:
        return ShadowFuseBase + 2048;
    case 208:
    case 220:
    case 229:
    case 233:
        return ShadowFuseBase + 2560;
    default:
        return UINT32_MAX;
    }
}

} // namespace

uint32_t ProcessFuseBit(int n, int p, int w, int mode) {
    const uint32_t fuse = static_cast<uint32_t>(n);
    if (mode == 1) {
        FailAddress = fuse;
        StepProgressByAddress(fuse);
        return GetBufferBitShifted(fuse, static_cast<uint32_t>(p & 31));
    }
    if (CheckFuseBit(n, p, w, mode) == -1) CompareFailed = 1;
    return 0;
}

uint32_t ProcessFuseBitCopy(int n, int p, int w, int mode) { return ProcessFuseBit(n, p, w, mode); }

int32_t CheckFuseBit(int n, int p, int w, int mode) {
    const uint32_t fuse = static_cast<uint32_t>(n);
    if (FuseProgressCheck == 1 && StepProgressByAddress(fuse) == 3) return -1;
    const uint32_t bit = BitOf(w, p);
    bool fail = false;
    switch (mode) {
    case 2:
        SetBufferBit(fuse, bit);
        break;
    case 3:
        fail = GetBufferBit(fuse) != bit;
        break;
    case 0:
        if (CurrentAlgorithm == 241 && n >= 6400) return 1;
        fail = bit != BlankValue;
        break;
    case 6:
        if (UesFuseStart != 0 && fuse >= UesFuseStart) return 1;
        fail = bit != SecureCheckValue;
        break;
    default:
        break;
    }
    if (!fail) return 1;
    FailAddress = fuse;
    return -1;
}

int32_t CheckShadowFuseBit(int n, int p, int w, int mode) {
    const uint32_t fuse = static_cast<uint32_t>(n);
    FailAddress = fuse - ShadowFuseBase;
    const uint32_t bit = BitOf(w, p);
    if (StepProgressByAddress(FailAddress) == 3) return -1;
    bool fail = false;
    switch (mode) {
    case 2:
        SetBufferBit(fuse, bit);
        break;
    case 0:
        fail = bit != BlankValue;
        break;
    case 6:
        fail = fuse < ShadowSecureLimit() && bit != SecureCheckValue;
        break;
    case 3:
        fail = bit != GetBufferBit(fuse);
        break;
    default:
        break;
    }
    return fail ? -1 : 1;
}
