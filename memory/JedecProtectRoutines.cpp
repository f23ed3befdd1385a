// The sector protection dialog's readers and writers of the JEDEC flash rows
// 6, 46, 93, 78 and 72: each powers the part up, refuses a part or adapter
// without the pins its procedures switch, runs the protection procedures in
// order and reads the states back; and the dialogs' "Protection Override".
#include <algorithm>
#include <vector>

#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "memory/FlashBus.h"
#include "memory/Gang.h"
#include "memory/JedecFlash.h"
#include "memory/JedecFlashShared.h"
#include "memory/MemoryFrame.h"

using namespace jedec;

uint32_t ProtectOverride = 0;

// The chip's codes logged, then each sector's state (1 when it reads 1) with
// A9 at 12 V; -1 when the power-up's die check failed.
int ReadSectorProtection6(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    std::fill(states, states + n, 0u);
    const Row6Pins pins = PinsOf6();
    return OnCore(false, 2, [&] {
        WriteRegister(3, ProtectionReadMask());
        SetSupplyPinA(pins.A, 1);
        WriteRegister(0, 0);
        ShowMessageLine("Manufacturer Code : %02Xh", Row6Verify());
        WriteRegister(0, 1);
        ShowMessageLine("Device Code       : %02Xh", Row6Verify());
        for (uint32_t i = 0; i < n; ++i) {
            WriteRegister(0, 2);
            Row6Sector(boundaries[i]);
            states[i] = Row6Verify() == 1 ? 1 : 0;
        }
        WriteRegister(4, 0xD3);
        SetSupplyPinA(pins.A, 0);
        return 1;
    });
}

// Protect every sector, unprotect the chip by the variant's method, protect
// the sectors asked for; the first failing step ends with -1. A method whose
// pins the adapter does not wire is refused before power-up.
int WriteSectorProtection6(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const Row6Pins pins = PinsOf6();
    UseFrame(false);
    if (PowerOnCore(1) != 1) {
        PowerOff();
        return -1;
    }
    const Unprotect6 method = Row6Method();
    if (!Row6HasPins(pins, method)) {
        PowerOff();
        ShowMessageLine(" No high-voltage pin for this adapter!");
        return -1;
    }
    WriteRegister(3, 0);
    int r = Protect6(pins, 0, states, n, boundaries);
    if (r == 1) r = Unprotect6Chip(pins, method, n, boundaries);
    if (r == 1) r = Protect6(pins, 1, states, n, boundaries);
    PowerOff();
    return r;
}
int ReadSectorProtection46(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(true);
    PowerOnFamily(2);
    WriteRegister3(ProtectionReadMask());
    WriteRegister(4, 0xDD);
    for (uint32_t i = 0; i < n; ++i) {
        states[i] = AutoselectSectorState(SectorAddress(boundaries, i), Flag(0x1000), true);
    }
    CommandCycle(0, 0xF0);
    PowerOff();
    return 1;
}

// Protect every sector, unprotect the chip, protect the wanted sectors, then
// read the states back: -1 when a step fails or a state differs.
int WriteSectorProtection46(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(true);
    const HvPins pins = PinsOf46();
    const bool byPulse = DeviceSubVariant == 1;
    if (DeviceSubVariant > 2) {
        ShowMessageLine(" No sector protection procedure for this device!");
        return -1;
    }
    if (byPulse ? pins.A9 == 0 || pins.Oe == 0 : pins.Reset == 0) {
        ShowMessageLine(" No high-voltage pin for this adapter!");
        return -1;
    }
    auto protect = [&](int mode) {
        return byPulse ? PulseProtect46(pins, mode, states, n, boundaries)
                       : ResetPinProtect46(pins.Reset, mode, states, n, boundaries);
    };
    PowerOnFamily(1);
    const int volts = Vccp < 290 ? 100 : 120;
    SetDacVoltage(1, volts);
    SetDacVoltage(2, volts);
    int r = protect(0);
    if (r == 1) r = byPulse ? PulseUnprotect46(pins, n, boundaries) : ResetPinUnprotect46(pins.Reset, n, boundaries);
    if (r == 1) r = protect(1);
    if (r == 1) {
        SetDacVoltage(1, 0);
        SetDacVoltage(2, 0);
    }
    PowerOff();
    if (r != 1) return r;
    std::vector<uint32_t> found(n, 0);
    ReadSectorProtection46(found.data(), n, boundaries);
    for (uint32_t i = 0; i < n; ++i) {
        if (found[i] != (states[i] != 0 ? 1u : 0u)) return -1;
    }
    return 1;
}
int ReadSectorProtection93(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const HvPins pins = PinsOf93();
    UseFrame(false);
    PowerOnFamily(2);
    WriteRegister3(ProtectionReadMask());
    WriteRegister(4, 0xDD);
    if (pins.A9 == 0) {
        ShowMessageLine(" No high-voltage pin for this package!");
        std::fill(states, states + n, 0u);
    } else {
        SetSupplyPinA(pins.A9, 1);
        for (uint32_t id = 0; id < 2; ++id) {
            WriteRegister(0, id);
            StrobedDatum(false);
        }
        WriteRegister(0, 2);
        for (uint32_t i = 0; i < n; ++i) {
            SetSectorAddress(boundaries[i], 0, 0);
            states[i] = StrobedDatum(false) == 1 ? 1 : 0;
        }
        SetSupplyPinA(pins.A9, 0);
    }
    PowerOff();
    return 1;
}

// Protect every sector, unprotect the chip, protect the wanted sectors, each
// step powered on its own; -1 from the first step that fails.
int WriteSectorProtection93(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const HvPins pins = PinsOf93();
    if (pins.A9 == 0) {
        ShowMessageLine(" No high-voltage pin for this package!");
        return -1;
    }
    UseFrame(false);
    auto powered = [](auto&& step) {
        PowerOnFamily(1);
        const int r = step();
        PowerOff();
        return r;
    };
    int r = powered([&] { return HvA9Protect(pins, 0, states, n, boundaries); });
    if (r == 1) r = powered([&] { return HvA9Unprotect(pins, n, boundaries); });
    if (r == 1) r = powered([&] { return HvA9Protect(pins, 1, states, n, boundaries); });
    return r;
}
// Each sector's state in DQ0 at its address with A1 set.
int ReadSectorProtection78(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(true);
    PowerOnFamily(2);
    WriteRegister3(ProtectionReadMask());
    WriteRegister(4, 0xDD);
    Autoselect78();
    for (uint32_t i = 0; i < n; ++i) {
        WriteAddress(SectorAddress(boundaries, i) | 2);
        states[i] = StrobedDatum(true) & 1;
    }
    PowerOff();
    return 1;
}

// 40h behind the six-cycle prefix at each sector asked for, then every
// sector's state read back against the request; the chip has no unprotect,
// so a protected sector asked to be unprotected fails the write.
int WriteSectorProtection78(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    UseFrame(true);
    PowerOnFamily(1);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    for (uint32_t i = 0; i < n; ++i) {
        if (states[i] == 0) continue;
        Unlock(kUnlock5555, 0x80);
        CommandCycle(kUnlock5555.First, 0xAA);
        CommandCycle(kUnlock5555.Second, 0x55);
        CommandCycle(SectorAddress(boundaries, i), 0x40);
        DelayUsSlot(200);
    }
    CommandCycle(0, 0xF0);
    Unlock(kUnlock5555, 0x90);
    int r = 1;
    for (uint32_t i = 0; i < n && r == 1; ++i) {
        WriteAddress(SectorAddress(boundaries, i) | 2);
        if ((StrobedDatum(true) & 1) != (states[i] != 0 ? 1u : 0u)) r = -1;
    }
    PowerOff();
    return r;
}
// The states by A9 at the protection voltage (sub-variants 3 and 6) or the
// autoselect command: a sector is protected when its byte reads 1.
// Sub-variant 4's parts have RESET# on the reset pin, which the bus drives as
// an address line (low): it is held at the supply for the reads, the way
// row 40 holds its pin-9 parts out of reset.
int ReadSectorProtection72(uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const HvPins pins = PinsOf72();
    const bool byVoltage = DeviceSubVariant == 3 || DeviceSubVariant == 6;
    const bool holdReset = DeviceSubVariant == 4 && pins.Reset != 0;
    UseFrame(false);
    PowerOnFamily(2);
    WriteRegister3(ProtectionReadMask());
    WriteRegister(4, 0xDD);
    if (holdReset) {
        SetDacVoltage(1, static_cast<int>(SupplyVoltage));
        SetSupplyPinA(pins.Reset, 1);
    }
    if (byVoltage && pins.A9 == 0) {
        ShowMessageLine(" No high-voltage pin for this package!");
        std::fill(states, states + n, 0u);
    } else {
        if (byVoltage) SetSupplyPinA(pins.A9, 1);
        else Unlock(kUnlock555, 0x90);
        for (uint32_t id = 0; id < 2; ++id) {
            WriteRegister(0, id);
            StrobedDatum(false);
        }
        WriteRegister(0, 2);
        for (uint32_t i = 0; i < n; ++i) {
            SetSectorAddress(boundaries[i], 0, 0);
            states[i] = StrobedDatum(false) == 1 ? 1 : 0;
        }
        if (byVoltage) SetSupplyPinA(pins.A9, 0);
    }
    if (holdReset) SetSupplyPinA(pins.Reset, 0);
    PowerOff();
    return 1;
}

// Protect every sector, unprotect the chip, protect the wanted sectors by the
// sub-variant's procedures (sub-variant 0 powers each step on its own), then
// read the states back: -1 when a step fails or a state differs.
int WriteSectorProtection72(const uint32_t* states, uint32_t n, const uint32_t* boundaries) {
    const HvPins pins = PinsOf72();
    if (DeviceSubVariant > 6) {
        ShowMessageLine(" No sector protection procedure for this device!");
        return -1;
    }
    if (!Row72HasPins(pins)) {
        ShowMessageLine(" No high-voltage pin for this package!");
        return -1;
    }
    UseFrame(false);
    const bool each = DeviceSubVariant == 0;
    auto step = [&](auto&& run) {
        if (each) PowerOnFamily(1);
        const int r = run();
        if (each) PowerOff();
        return r;
    };
    if (!each) {
        PowerOnFamily(1);
        WriteRegister(3, 0);
        WriteRegister(4, 0xDD);
    }
    int r = step([&] { return Protect72(pins, 0, states, n, boundaries); });
    if (r == 1) r = step([&] { return Unprotect72(pins, n, boundaries); });
    if (r == 1) r = step([&] { return Protect72(pins, 1, states, n, boundaries); });
    if (!each) PowerOff();
    if (r != 1) return r;
    std::vector<uint32_t> found(n, 0);
    ReadSectorProtection72(found.data(), n, boundaries);
    for (uint32_t i = 0; i < n; ++i) {
        if (found[i] != (states[i] != 0 ? 1u : 0u)) return -1;
    }
    return 1;
}
