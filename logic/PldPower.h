// The start of every JTAG PLD module's power-up: supply range, DACs at 0 V,
// the package ground, and the settling wait before the pins are set.
#pragma once
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"

inline void PldSupplyRangeAndGround(int supplyTenths) {
    SetVccRange(0, supplyTenths);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
}
