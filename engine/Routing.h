// Device supply, ground and programming-voltage routing: finds the socket pins
// of the current device's supply, ground and programming voltage (from its
// package row, or from the fixed exceptions of socket adapters, algorithm
// rows, variants and pin counts) and switches them through the power layer.
// Voltages are tenths of a volt.
#pragma once
#include <cstdint>

// Socket pins with a strong supply path of their own (latch 28), and the latch
// bit of each.
extern const uint8_t StrongSupplyPins[8];
extern const uint8_t StrongSupplyBits[8];

// Latch-28 bit of a strong supply pin, -1 for any other pin.
int StrongSupplyBit(int zifPin);

// state 1 switches the supply on and ramps it up; any other state ramps it
// down and switches it off.
void SetDevicePower(int state, int tenths);
// state 1 connects, anything else releases.
void SetDeviceGround(int state);
// state 1 on at the voltage; any other state off (the channel back at 5.0 V).
// A programming pin the routing grounds gets no voltage; the first attempt
// after ResetVppGroundNotice logs a line naming the pin.
void SetDeviceVpp(int state, int tenths);
void ResetVppGroundNotice();

// Supply B on socket pins 13 and 38 (pair 0) or 24 and 25 (pair 1), with DAC
// channels 3 and 4 ramped together.
void SwitchVccPinPair(int state, int tenths, int pair);
// Supply B on every pin of the package's supply list, channels 3 and 4 ramped
// together.
void SwitchPackageVccPins(int state, int tenths);
