// The sockets of a gang adapter as every device family counts them: sockets
// 0 to LastSocketIndex, socket s selected alone by the mask with bit s clear.
#pragma once
#include <cstdint>

#include "engine/Device.h"

// The most sockets a gang adapter has.
constexpr uint32_t kGangSockets = 8;

// True when more than one socket is in use.
inline bool GangInUse() { return LastSocketIndex != 0; }
// The socket mask that selects socket s alone.
inline uint32_t NotSocket(uint32_t s) { return ~(1u << (s & 7)) & 0xFF; }

// step(s) for each socket s from 0 to LastSocketIndex in turn, until one is
// false: true when every socket's step was true.
template <class Step> bool EverySocket(Step&& step) {
    for (uint32_t s = 0; s <= LastSocketIndex && s < kGangSockets; ++s)
        if (!step(s)) return false;
    return true;
}
