// Memories programmed through their JTAG port on fixed socket pins:
// - row 62, a configuration device written in 8-byte blocks, each followed by
//   a program command and a 3-bit status poll, its identification checked
//   first and the flag bit of byte 3 programmed after every other block;
// - row 96, an in-system-programmable configuration PROM: IDCODE check,
//   512-byte blocks, erase, read protection and a USERCODE with a
//   configuration-mode bit.
#pragma once
#include <cstdint>
#include <string>

int Setup62(int mode);
void PowerOff62();
// The 3-bit status, least significant bit first.
uint32_t ReadStatus62();
// 1 when the status shows done within maxBusy busy answers polled every us.
int WaitReady62(uint32_t maxBusy, uint32_t us);
// ProcessReadByte with the flag bit shown set at index 3 of bank 0.
int ProcessReadByte62(int mode);

// Row 96: the socket pins of the TAP for a package of 20 or 44 pins; false
// for any other package.
struct JtagSocketPins {
    int tms, tck, tdi, tdo;
};
inline bool Row96Pins(uint32_t packagePins, JtagSocketPins& pins) {
    if (packagePins == 44) pins = {13, 15, 11, 39};
    else if (packagePins == 20) pins = {19, 20, 18, 31};
    else return false;
    return true;
}
// Why a record cannot work with its row's pins; empty when it can.
inline std::string JtagMemoryRecordRefusal(uint32_t row, uint32_t packagePins) {
    JtagSocketPins pins{};
    if (row == 96 && !Row96Pins(packagePins, pins))
        return "algorithm 96 has no JTAG pins for a package of " + std::to_string(packagePins) + " pins";
    return "";
}

extern uint8_t Usercode96[4];
extern uint32_t ConfigMode96; // 0 serial, 1 parallel
int Setup96(int mode);
void PowerOff96();
// Fills Usercode96 and ConfigMode96 from the chip.
int ReadUsercode96();
// Programs Usercode96 and, for parallel mode, the mode bit; logs the outcome.
int ProgramUsercode96();
// The option dialog, shown modally by Alg96Options; set by the shell.
using ShowOptXC18V00Fn = int (*)();
extern ShowOptXC18V00Fn ShowOptXC18V00Hook;
