// SPI EEPROMs with status-register block protection: row 13 on the byte
// engine's SPI form (with a chip erase), row 57 on the pin driver (parts with
// a watchdog timer too), and the status-register routines their option
// dialogs call.
#pragma once
#include <cstdint>

// The option dialogs' values: item indexes of the shown block-protect group,
// of the watchdog group and of the WPEN combo box (0 "Low", 1 "Hi"). They
// keep their values for the program's run; a status read overwrites them.
extern int Opt25xxBlockProtect;
extern int Opt25xxWpen;
extern int Opt25xxx1BlockProtect;
extern int Opt25xxx1Watchdog;
extern int Opt25xxx1Wpen;

// Row 13's status-register layouts by DeviceSubVariant.
constexpr uint32_t kOpt25xxThreeBitSubVariant = 2; // bits 0-2, no WPEN
bool Opt25xxHasWpen(uint32_t subVariant);           // sub-variants 1 and 3
// The status value each row's write takes from the option values, each
// field masked to its bits.
uint32_t Status13FromOptions();
uint32_t Status57FromOptions();
// The bits of that value a write is read back in: those the layout writes
// and the part keeps (the block protect, WPEN where the part has it, the
// watchdog), never the busy and write-enable flags.
uint32_t Status13Compared();
uint32_t Status57Compared();

// Read: logs " Status Register : %02x", sets the option values, 1. Write:
// 1 when the ready wait ended and the register reads back as written; -1
// otherwise (with " Status Register : %02x written, %02x read" when it did
// not read back), also for a record the row refuses.
int ReadStatusRegister13();
int WriteStatusRegister13();
int ReadStatusRegister57();
int WriteStatusRegister57();

// The dialogs the Options entries open (set by the UI); the result of the
// dialog's last program click.
using ShowSpiOptionsDialogFn = int (*)();
extern ShowSpiOptionsDialogFn ShowOpt25xxxDialogHook;
extern ShowSpiOptionsDialogFn ShowOpt25xxx1DialogHook;
