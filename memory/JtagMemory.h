// Memories programmed through their JTAG port on fixed socket pins:
// - row 62, a configuration device written in 8-byte blocks, each followed by
//   a program command and a 3-bit status poll, its identification checked
//   first and the flag bit of byte 3 programmed after every other block.
#pragma once
#include <cstdint>

int Setup62(int mode);
void PowerOff62();
// The 3-bit status, least significant bit first.
uint32_t ReadStatus62();
// 1 when the status shows done within maxBusy busy answers polled every us.
int WaitReady62(uint32_t maxBusy, uint32_t us);
// ProcessReadByte with the flag bit shown set at index 3 of bank 0.
int ProcessReadByte62(int mode);
int Alg62Read(int mode);
int Alg62Program();
int Alg62Erase();

void InstallJtagMemoryRows();
