#include "memory/CommandBus.h"

#include <cstdio>

#include "engine/Device.h"
#include "engine/Messages.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"

namespace cmdbus {

uint32_t Supply(int mode) { return mode == 1 ? Vccp / 10 : ReadVccInUse; }

void PowerOn(int mode, const PowerUp& p) {
    SupplyVoltage = Supply(mode);
    SetVccRange(0, p.RangeTenths);
    SetAllDacVoltages(p.Dac, p.Dac, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteSequence(p.First);
    if (p.Address == StartAddress::Zero) WriteAddress(0);
    if (p.Address == StartAddress::DeviceStart) {
        WriteRegister(0, DeviceStart & 0xFF);
        WriteRegister(1, (DeviceStart >> 8) & 0xFF);
        WriteRegister(2, ((DeviceStart >> 16) & 0xFF) | p.HighAddressFlag);
    }
    WriteSequence(p.Idle);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteSequence(p.OnSupply);
    DelayMsSlot(p.SettleMs);
    WriteSequence(p.Powered);
}

void SupplyOff(bool resetOutputs) { ParkAndPowerOff({}, resetOutputs); }

void PowerDown(const RegisterSequence& park, bool resetOutputs) { ParkAndPowerOff(park, resetOutputs); }

uint32_t StrobedRead(uint32_t strobe, uint32_t after, bool word) {
    WriteRegister(4, strobe);
    const uint32_t low = ReadRegister(6);
    ReadValue = word ? low | static_cast<uint32_t>(ReadRegister(7)) << 8 : low;
    WriteRegister(4, after);
    return ReadValue;
}

namespace {

constexpr uint32_t kEraseError = 0x20;

// The row's bits and bit 5 of one socket's status; a failure logs its lines.
bool ErasePassed(uint32_t status, const StatusAccess& bus, const EraseSpan& span, int socket) {
    bool passed = (status & kEraseError) == 0;
    if (bus.RowErrors != nullptr && bus.RowErrors(status) != 1) passed = false;
    if (passed) return true;
    // With gang sockets the line starts with the socket, as the driver's
    // socket lines do.
    char who[24] = "";
    if (socket >= 0) std::snprintf(who, sizeof who, "Socket%d", socket + 1);
    if (span.Last < span.First) {
        ShowMessageLine("%s Chip was not erased!", who);
    } else {
        ShowMessageLine("%s Block %06lXh-%06lXh was not erased!", who, static_cast<unsigned long>(span.First),
                        static_cast<unsigned long>(span.Last));
    }
    return false;
}

} // namespace

int CheckEraseStatus(uint32_t status, const StatusAccess& bus, const EraseSpan& span) {
    bool passed = true;
    if (!GangInUse()) {
        passed = ErasePassed(status, bus, span, -1);
    } else {
        OnEverySocket(GangPass{bus.MaskAfter, false}, [&](uint32_t s) {
            if (!ErasePassed(bus.Read(), bus, span, static_cast<int>(s))) passed = false;
            return true;
        });
    }
    if (passed) return 1;
    bus.Command(0x50);
    return -1;
}

} // namespace cmdbus
