#include "memory/SectorProtection.h"

#include <cstdio>

#include "engine/Device.h"
#include "engine/LogModel.h"
#include "engine/Services.h"

#include "memory/Gang.h"
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

std::vector<SectorSpan> ProtectionSectors(uint32_t algorithm) {
    if (SectorProtectionOf(algorithm).read == nullptr) return {};
    std::vector<SectorSpan> sectors = SectorLayoutSectors(SectorLayoutRowOf(algorithm, DeviceVariant), algorithm == 42);
    // Row 42's parts 82h-85h have one boot sector: the bottom pair's (82h,
    // 84h) or the top pair's (83h, 85h).
    if (algorithm == 42 && sectors.size() > 1 && ExpectedDeviceId >= 0x82 && ExpectedDeviceId <= 0x85) {
        sectors = {(ExpectedDeviceId & 1) != 0 ? sectors.back() : sectors.front()};
    }
    return sectors;
}

SectorStates ReadSectorStates(uint32_t algorithm) {
    SectorStates s;
    s.sectors = ProtectionSectors(algorithm);
    s.states.assign(s.sectors.size(), 0);
    if (!s.sectors.empty()) {
        SectorProtectionOf(algorithm).read(s.states.data(), static_cast<uint32_t>(s.sectors.size()),
                                           SectorLayoutTable[SectorLayoutRowOf(algorithm, DeviceVariant)] + 1);
    }
    return s;
}

int ReportProtectedSectorsLeft(int eraseResult) {
    if (eraseResult != 1) return eraseResult;
    // The lockdown parts of rows 55 and 78 erase their locked sectors too
    // while the override voltage is on: nothing is left.
    if ((CurrentAlgorithm == 55 || CurrentAlgorithm == 78) && ProtectOverride == 1) return eraseResult;
    // Every socket's part is asked in turn; with a gang its lines name the
    // socket. The reader's own lines (a row's identifier lines) belong to
    // the dialog, not to the erase.
    EverySocket([](uint32_t socket) {
        ProtectionReadSocket = socket;
        const LogLineHandle before = MainLog().NextHandle();
        const SectorStates s = ReadSectorStates(CurrentAlgorithm);
        MainLog().DeleteLast(static_cast<size_t>(MainLog().NextHandle() - before));
        char prefix[16] = "";
        if (GangInUse()) std::snprintf(prefix, sizeof prefix, "Socket%u", socket + 1);
        for (size_t i = 0; i < s.sectors.size(); ++i) {
            if (s.states[i] == 0) continue;
            ShowMessageLine("%s Protected sector %06lXh-%06lXh was not erased!", prefix,
                            static_cast<unsigned long>(s.sectors[i].start) * 4096ul,
                            static_cast<unsigned long>(s.sectors[i].end) * 4096ul - 1);
        }
        return true;
    });
    ProtectionReadSocket = 0;
    return eraseResult;
}
