// Services the device algorithms call back while they walk a device:
// progress and user break, handling of each datum read, bank advance, the
// log and error texts (engine/Messages.h), buffer checksum and fill, and
// text helpers.
#pragma once
#include <cstdint>
#include <string>

#include "engine/Messages.h"
#include "engine/OperationState.h"

extern uint32_t ProgressPercent; // 0-99 during a run
extern uint32_t ProgressCount;   // units counted by the PLD progress
extern uint32_t BufferChecksum;  // result of the last ComputeBufferChecksum
// False when the last ComputeBufferChecksum could not sum the buffer (a row's
// own sum gave 0xFFFFFFFF, or the buffer could not reach the range's end).
extern bool BufferChecksumKnown;

// Progress and break.
int ResetProgress();
void ClearProgress();
void SetProgressPosition(int percent);
// percent -1 or address -1 leave their panel unchanged.
void ShowProgressStatus(int percent, int64_t address);
int ShowPercentDone(uint32_t done, uint32_t total);
int ShowElapsedAndCheckCancel(uint32_t tenths);
int StepProgress(uint32_t address);
int StepProgressByAddress(uint32_t address);

// Per-datum services: 1, or -1 with BufferIndex left on the failing datum.
int ProcessReadByte(int mode);
int ProcessReadWord(int mode);
int AdvanceToNextBank();
int AdvanceToNextBankIf(int flag);
// The buffer byte `index` positions past the current bank's start, read
// through the whole image: a run that walks past the window without moving
// the bank still takes the next bank's data (FillByte past the image's end).
uint8_t RunBufferByte(uint64_t index);
// The 16-bit word `index` words past the current bank's start (little-endian,
// not swapped).
uint32_t RunBufferWord(uint64_t index);

// One line of the compare report for the current datum; the operation driver
// installs its WriteCompareLine here. The default does nothing and returns 1.
using WriteCompareLineFn = int (*)();
extern WriteCompareLineFn WriteCompareLineSlot;

void ShowChipAndDataIds(uint32_t mfg, uint32_t dev);
// Characters read from a chip as text for the log: up to `count` bytes, to
// the first 0. Printable ASCII and Latin-1 characters are kept (as UTF-8, as
// the option dialogs show them), every other byte shows as ".".
std::string ChipCharsForLog(const char* bytes, size_t count);

// Buffer-wide services.
uint32_t ComputeBufferChecksum(uint32_t start, uint32_t end);
// The checksum as every display shows it: its low 16 bits as "%04Xh", or
// "Error" when it could not be computed.
std::string BufferChecksumText();
int FillBufferRange(uint32_t start, uint32_t end, uint32_t value);

// Helpers.
int GetMainFormLeft();
int GetMainFormTop();
void RefreshMainForm();
// The information panel redrawn (a setting it shows changed during a run).
void RefreshInfoPanel();
// 8 bytes as "%02x " groups into text (room for 32); returns text.
char* FormatHexBytes8(char* text, const uint8_t* bytes);
// 8 hexadecimal pairs at 3-character spacing (text of at least 24 characters,
// modified in place).
void ParseHexBytes8(char* text, uint8_t* bytes);
// Hexadecimal text to a number; upper-cases text in place; "" gives 0.
int HexTextToInt(char* text);
// 1-based position of the first c in text, 0 when absent.
int IndexOfChar(const char* text, char c);
// Free bytes of the file system of the current directory, 0 when unknown.
uint64_t GetFreeDiskBytes();

// Back to the start-up state of this area.
void ResetServicesState();
