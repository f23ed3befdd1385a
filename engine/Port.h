// Port access, the programmer's register protocol, its timer and the delay slots.
#pragma once
#include <cstdint>
#include <string>

extern uint16_t PortBase;          // data = base, status = base+1, control = base+2
extern const uint32_t PortTable[4];
extern uint32_t PortIndex;         // 0 auto-probe, 1-3 fixed entry of PortTable
extern uint32_t PortDelayCount;    // empty loop iterations after each port access
extern uint8_t RegisterShadow[32]; // last values written, as the callers keep them
extern uint32_t TimerPrescale;     // 0, 1, 2: prescale 16, 8, 4
extern int32_t ProgrammerConnected; // 1 connected, -1 not

using DelaySlotFn = void (*)(uint32_t);
extern DelaySlotFn DelayMsSlot;
extern DelaySlotFn DelayUsSlot;
extern DelaySlotFn WaitSecondsSlot;
extern DelaySlotFn DelayShortUsSlot;

// Takes the port backend from PROGRAMMER_PORT at start-up (the port driver of
// the original system): the simulator and raw access open now, a named ppdev
// node is opened to prove it can be; 0 port access granted, -1 failure
// (PortOpenError then names the port and the system's reason). An unnamed
// port waits for the configuration (OpenConfiguredPort).
int OpenGiveioDriver();
extern std::string PortOpenError;
// Puts the backend on the configured port (PortIndex, PortBase) once the
// configuration is read and whenever the port setting changes: the ppdev
// node of that port (Auto: the one open, else the first that opens), or the
// named node serving that port's base. Nothing changes when it is already in
// place, nor for the simulator or raw access. -1 when the named node cannot
// be opened again (logged); 0 otherwise.
int OpenConfiguredPort();

void OutPortDelayed(uint16_t port, uint8_t value);
uint8_t InPortDelayed(uint16_t port);
void PortDelay();

void WriteRegister(uint32_t reg, uint32_t value);
uint8_t ReadRegister(uint32_t reg);
void SetLatchBit(uint32_t reg, uint32_t bit, uint32_t state);

void SetPulseTimer(uint32_t factor, uint32_t mode);
// Waits until the programmer timer reports done. Bounded: a programmer that
// stops answering marks the link lost (ProgrammerConnected -1, do-nothing
// slots) and returns -1; 1 when the timer finished.
int WaitTimerDone();
void DelayShortUs(uint32_t us);
void DelayMs(uint32_t ms);
void DelayUs(uint32_t us);
void WaitSeconds(uint32_t n);

void NoDelayMs(uint32_t);
void NoDelayUs(uint32_t);
void NoDelayShortUs(uint32_t);

// Installs the real or the do-nothing delay routines (the seconds slot only
// changes to the real one).
void InstallRealDelaySlots();
void InstallNoDelaySlots();
// Marks the link lost after a programmer stopped answering.
void MarkLinkLost();

void Beep(int ok);

// Small hooks kept beside the driver code.
int GetHardwareKind();
// The programmer hardware kind, taken from GetHardwareKind once at start-up
// (0 the standard programmer, 3 the gang programmer).
extern int HardwareKind;
void ConfigReadFailHook();
int OtherHardwareConfigHook();
void RunIdleHook();
int WriteCompareLineOk();
// A line of text of the row's own in the compare report while a data
// compare runs (the report's line end added); 1, or nothing without one.
int WriteCompareNote(const char* text);
int RunCheckHook();
int Alg50Options();
int Alg51Options();
int Alg120Options();
int Alg144Options();
int Alg180Options();
int Alg250Options();
int Alg266Options();

// Back to the start-up state of this area.
void ResetPortState();
