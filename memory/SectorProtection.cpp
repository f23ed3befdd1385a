#include "memory/SectorProtection.h"

#include "memory/HvSectorFlash.h"
#include "memory/JedecFlash.h"
#include "memory/LockoutFlash.h"
#include "memory/PageLockFlash.h"
#include "memory/StatusPageFlash.h"

SectorProtectionRoutines SectorProtectionOf(uint32_t algorithm) {
    switch (algorithm) {
    case 46:
        return {ReadSectorProtection46, WriteSectorProtection46};
    case 52:
        return {ReadSectorProtection52, WriteSectorProtection52};
    case 55:
        return {ReadSectorProtection55, WriteSectorProtection55};
    case 93:
        return {ReadSectorProtection93, WriteSectorProtection93};
    case 6:
        return {ReadSectorProtection6, WriteSectorProtection6};
    case 72:
        return {ReadSectorProtection72, WriteSectorProtection72};
    case 78:
        return {ReadSectorProtection78, WriteSectorProtection78};
    case 74:
        return {ReadBlockProtection74, WriteBlockProtection74};
    case 42:
        return {ReadSectorProtection42, WriteSectorProtection42};
    case 73:
        return {ReadSectorProtection73, WriteSectorProtection73};
    default:
        return HvSectorProtectionOf(algorithm);
    }
}

ShowSectorProtectionFn ShowSectorProtectionHook = nullptr;

int Alg6Options() {
    if (ShowSectorProtectionHook != nullptr) ShowSectorProtectionHook();
    return 1;
}
