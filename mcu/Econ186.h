// Microcontrollers with an ECON configuration register (row 186): a clocked
// serial interface on the pin driver, a signature at configuration addresses
// 1Eh/1Fh, ECON at 20h (bit 5 is the security bit, bit 7 is always
// programmed) and eight configuration bytes at 00h-07h. The buffer holds the
// code, then ECON and the eight configuration bytes in the device image's
// last nine bytes.
#pragma once
#include <cstdint>

// ECON as the last signature check read it, bits 7 and 5 cleared.
extern uint32_t EconValue;
// Configuration bytes 0-7 as the last signature check read them.
extern uint32_t EconBytes[8];

// Reads the signature, ECON and the configuration bytes and checks them; 1,
// or -1 (wrong signature refused, secured chip).
int CheckEconSignature186();

void ResetEcon186State();
