// The frame every parallel memory module follows on the memory bus of the
// memory logic images (registers 0-2 address, 3 socket mask active low,
// 4 strobes, 5 bus mode, 6-7 data): power-up and power-down, reading one
// datum, the pulse routines, pulse-verify of one datum with over-pulse and
// retry, the program loop and the electrical-erase walk.
//
// One engine serves every row: the entry of a row selects its FrameProfile
// (FrameUse) and the helpers below follow it. Rows whose register traffic is
// the same as another's share its profile values.
#pragma once
#include <cstdint>

// The pulse routines; the width is in microseconds.
using PulseRoutine = void (*)(uint32_t widthUs);
void PulseWithSocketMask(uint32_t widthUs);
void PulseWithVpp(uint32_t widthUs);
void PulseStrobe(uint32_t widthUs);

// What a row does differently inside the frame.
struct FrameProfile {
    // Power-up.
    bool CypressBlankRule = false; // "CYPRESS" CY27C128/CY27C256 blank at 00h
    bool SlowPulseProgress = false; // PulseWidth >= 10 ms: progress every 16 addresses
    bool GangSupplyCap = false;    // 3.3 V range with gang sockets at 3.4 V and more
    int Dac1 = 50;                 // SetAllDacVoltages(Dac1, 0, 0, 0)
    bool WriteAddressLatches = true; // registers 0-1 written at power-up
    bool WriteUpperLatch = true;   // register 2 written at power-up
    int BusModeRegister = 5;       // register and value that set the bus mode
    uint32_t BusModeValue = 8;
    int PreSupplyRegister = -1;    // written just before the supply goes on
    uint32_t PreSupplyValue = 0;
    int ExtraRegister = -1;        // written after power-up (register 7 = 3)
    uint32_t ExtraValue = 0;
    uint32_t SettleMs = 100;
    int FixedVccRange = 0;         // SetVccRange with this value instead (0: the supply)
    uint32_t UpperFlagRegister8 = 0; // register 8 value at power-up (0: not written)
    // Power-down: 0 strobes then mask, 1 mask then strobes, 2 strobes, bus
    // mode 0, mask, and every output reset after the supply.
    int PowerOffOrder = 0;
    // Data.
    bool Word = false;             // 16-bit: data on registers 6 and 7
    uint32_t HighAddressFlag = 0;  // ORed into register 2 (16-bit modules)
    // Pulse-verify.
    PulseRoutine Pulse = PulseStrobe;
    bool ReadBack = true;          // verify after each pulse
    bool ReadBackEverySocket = false; // with gang sockets: every socket in turn
    bool ReadBackEverySocketAlways = false; // also with one socket
    uint32_t MaskAfterEverySocket = 0; // register 3 after the socket loop
    bool OverPulse = true;
    bool RetryInclusive = false;   // up to Retry pulses instead of Retry - 1
    bool SkipBlank = true;         // data equal to the blank value are skipped
    uint32_t ReadBackStrobe = 0x0F; // register 4 value of the read-back
    bool ReadBackWithSocketMask = false; // read-back with register 3 = 0, then FFh
};

// The profile the helpers follow; set by the entries of a row.
extern FrameProfile ActiveFrame;
void FrameUse(const FrameProfile& profile);

// The variant tables of the frame's first module (one row per DeviceVariant).
struct EpromEraseVariant {
    uint8_t PulseSwitchesVpp;
    uint8_t GangReadBack;
    uint8_t AllSocketsDuringProgram;
    uint8_t Reserved;
    PulseRoutine Pulse;
};
constexpr int EpromEraseVariantCount = 13;
// The row of the current DeviceVariant (variant 0 for a variant past the table).
const EpromEraseVariant& EpromVariantOf(const EpromEraseVariant* table);

// 1 when more than one socket is in use.
bool GangInUse();

// Power-up by mode (1 = programming supply, else the read supply) and
// power-down, as the active profile says.
void PowerOnDevice(int mode);
void PowerOffDevice();

// register 4 = read strobe, ReadValue = register 6 (and register 7 shl 8 for
// 16-bit profiles).
void ReadDatum();
// Writes the datum to program: register 6 (and 7).
void WriteDataRegisters(uint32_t value);
// Registers 1 and 2 at their boundaries (register 2 with the profile's flag).
void WriteUpperAddress(uint32_t address, bool force);

// Pulse-verify of ChipAddress with ExpectedValue: 1 or -1.
int ProgramDatum();
// The program loop over DeviceStart..DeviceEnd; zeroFill 1 programs 00h.
// variant gives the socket mask and programming-voltage handling of the
// frame's first module; nullptr programs with the voltage on for the loop.
int ProgramRange(int zeroFill, const EpromEraseVariant* variant);

// The electrical-erase walk: one erase pulse at the start, then every address
// from DeviceStart to DeviceEnd is read and pulsed again until it reads
// blank, at most maxPulses pulses in all. erasePulse gives one pulse.
// 1 when every address read blank, -1 at the pulse limit, 3 on user break.
int EraseWalk(uint32_t maxPulses, uint32_t blank, void (*erasePulse)());
// The chip erase of the electrically erasable EPROMs of the first module
// (the maker's voltage, pulse and limit), with the row's variant table.
int EraseChip(const EpromEraseVariant* table);

// Back to the start-up state of this area.
void ResetMemoryFrameState();
