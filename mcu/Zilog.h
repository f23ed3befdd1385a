// The Zilog Z8 OTP rows on the pin driver: EPROM-mode cell routines shared by
// the rows, the option choices the option-bit dialog edits, and the rows'
// entries: rows 160, 161 and 166 on an address counter, 162 and 164 on 12
// address lines, 163 and 165 on 15; 162 and 166 keep an option byte, the
// others burn their options by long pulses.
#pragma once
#include <cstdint>
#include <string>

#include "mcu/McuFrame.h" // OptionDialogLauncher

// The option choices of the Zilog rows (160-166), one array per row; rows
// 162 and 166 keep theirs as bits 1-5 / 1-6 of their option-byte bit arrays
// (0 = option on), the others as 1 = burn the option (row 163's second value:
// the EPROM size index 0-3). Reset at every device selection.
uint32_t* ZilogOptionStates(uint32_t row);
extern uint32_t ZilogOptionByte162;
extern uint32_t ZilogOptionByte166;
extern uint32_t ZilogOptionBits162[8];
extern uint32_t ZilogOptionBits166[8];
// Back to the values after a device selection: states 0, bytes FFh, bits 1.
void ResetZilogOptions();

// What a launcher hands the option-bit dialog: the entry number (0-6, picks
// the status texts), the state array and the option names (ended by nullptr).
// Refusals, when given, runs beside Names: the reason an option is not
// offered (its state stays as it is), or nullptr for one that is.
struct ZilogOptionExchangeData {
    uint32_t Entry = 0;
    uint32_t* States = nullptr;
    const char* const* Names = nullptr;
    const char* const* Refusals = nullptr;
};
extern ZilogOptionExchangeData ZilogOptionExchange;
// Why list row `index` is not offered; nullptr when it is.
const char* ZilogOptionRefusal(uint32_t index);
// Status text of list row `index` holding `state` under entry `entry`.
const char* ZilogStatusText(uint32_t entry, uint32_t index, uint32_t state);
// The list click: toggles the state (entry 6's second row cycles 0-3); a
// refused option keeps its state.
void ZilogToggleOption(uint32_t index);

// The dialog launcher the shell installs (none: nothing is shown).
void InstallZilogDialogLauncher(OptionDialogLauncher launcher);

// Why the device library refuses a Zilog record (a package outside the
// row's layouts, a row-161 variant past 2); empty for a sound record or
// another row.
std::string ZilogRecordRefusal(uint32_t row, uint32_t variant, uint32_t packagePins);
