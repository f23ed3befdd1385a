#include "memory/CommandBus.h"

#include "engine/Device.h"
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

} // namespace cmdbus
