#include "memory/SectorProtection.h"

#include "memory/JedecFlash.h"

SectorProtectionRoutines SectorProtectionOf(uint32_t algorithm) {
    switch (algorithm) {
    case 46:
        return {ReadSectorProtection46, WriteSectorProtection46};
    default:
        return {};
    }
}

ShowSectorProtectionFn ShowSectorProtectionHook = nullptr;

int Alg6Options() {
    if (ShowSectorProtectionHook != nullptr) ShowSectorProtectionHook();
    return 1;
}
