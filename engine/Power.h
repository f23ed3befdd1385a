// Socket power and voltage layer: the four-channel DAC with its calibration,
// voltage ramps, the supply-A, supply-B and ground switches of the 48 socket
// pins, the supply-range selection and the power-down of every output.
// Voltages are tenths of a volt (50 = 5.0 V); socket (ZIF) pins are 1-48.
#pragma once
#include <array>
#include <cstdint>

// Supply-A switch of a socket pin: direct register 26-31 and its bit mask.
struct SupplyPinAEntry {
    uint8_t reg;
    uint8_t mask;
};
// Supply-B or ground switch of a socket pin: bit latch 16-27 and its bit.
struct PinLatchEntry {
    uint8_t reg;
    uint8_t bit;
};

// Indexed by socket pin 1-48 (entry 0 unused).
extern const std::array<SupplyPinAEntry, 49> SupplyPinTableA;
extern const std::array<PinLatchEntry, 49> SupplyPinTableB;
extern const std::array<PinLatchEntry, 49> GroundPinTable;

// The programmer's ID block as read from its serial ID memory: 64 little-endian
// 16-bit words. Bytes 0-3 tag "QLX ", 4-9 serial number, 11-14 hardware
// revision, 24-27 checksum (four hex digits), 28-127 DAC calibration: the code
// for channel c (1-4) at whole volt v (1-25) is byte 2 + 25 * c + v.
// All 'X' after a failed bring-up.
constexpr int kHardwareIdBlockSize = 128;
extern uint8_t HardwareIdBlock[kHardwareIdBlockSize];

// Index of the calibration byte of DAC channel 1-4 at whole volt 1-25.
constexpr int CalibrationIndex(int channel, int volt) {
    return 2 + 25 * channel + volt;
}

// Bits 0-1 of programmer register 1 for gang-capable devices; 1 = gang adapter.
extern uint32_t GangAdapterState;

// True for socket pins 1-48; pins outside (ball names read as 0, packages over
// 48 pins) are skipped by every routine of the power layers.
bool IsZifPin(int zifPin);

// The DAC code for channel 1-4 at the given tenths, from the calibration of
// the hardware ID block (target clamped to 25.9 V, code to 255).
uint8_t CalibratedDacCode(int channel, int tenths);

void SetDacVoltage(int channel, int tenths);
void SetAllDacVoltages(int t1, int t2, int t3, int t4);
void RampVoltageUp(int channel, int from, int to, int step, int delayUs);
void RampVoltageDown(int channel, int from, int to, int step, int delayUs);
void StrobeDac();

// state 1 connects, anything else releases.
void SetSupplyPinA(int zifPin, int state);
void SetSupplyPinB(int zifPin, int state);
void SetGroundPin(int zifPin, int state);

void ApplyVoltageToPin(int channel, int zifPin, int state, int tenths);
void ApplyVppToPin(int zifPin, int state, int tenths);

void SetVccRange(int mode, int tenths);

// Releases every switch and DAC output of the programmer.
void ResetProgrammerOutputs();

// Seats the current package at the bottom of the socket.
int MapDevicePinToZifPin(int devicePin);

// Register 3: socket chip enables of the memory logic images.
void WriteRegister3(uint32_t value);

// Swaps the two low bytes of a word in place.
void SwapBytes16(uint16_t* word);
void SwapBytes16(uint32_t* word);
