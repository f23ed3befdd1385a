// Programmer bring-up: finding the programmer on the parallel port, the
// logic-image download, the programmer's serial ID memory with its ID block
// (tag, serial number, hardware revision, DAC calibration, checksum), and the
// reset of the programmer logic at exit.
#pragma once
#include <cstdint>

// Register-13 bits of the ID-memory lines: 0x40 clock, 0x20 select, 0x10 data
// to the memory. Every change writes the whole shadow to register 13.
extern uint32_t IdBusShadow;
// The library entry last downloaded into the programmer (0 none yet).
extern int32_t LoadedLogicImage;

constexpr uint32_t kIdBusClock = 0x40;
constexpr uint32_t kIdBusSelect = 0x20;
constexpr uint32_t kIdBusData = 0x10;

// Brings the programmer up: 1 connected, -1 not. mode 0 silent, 1 logs
// "Can not find the %s programming module.", 2 logs
// "Can not be executed with Communication Error!".
int ConnectProgrammer(int mode);
int CheckHardwareTag();
// Reads the 64 words of the ID block with address bits top..0; -1 as soon as
// byte 0 is not the tag's first character.
int ReadHardwareIdBlock(int topBit);
int CheckCalibration();
int VerifyCalibrationChecksum();
// Downloads logic image `entry` (1-400) of the device library: 1 or -1.
int DownloadLogicImage(uint32_t entry);
// Clocks the open library entry into the programmer logic.
void ClockOutLogicImage();
// GangAdapterState for gang-capable devices, 0 otherwise (and then cleared).
uint32_t ReadHardwareModel();
// Unconfigures the programmer logic at program end.
void ResetProgrammerLogic();

void SetIdBusLine(uint32_t mask, int on);
void ClockIdBus();
void ShiftIdOpcode(uint32_t opcode);
void ShiftIdAddress(uint32_t address, int topBit);

// Back to the start-up state of this area.
void ResetBringupState();
