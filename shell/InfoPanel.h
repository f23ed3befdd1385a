// The main window's " System Info " and " Option Info " panels and the
// checksum label, filled from the current device, the settings and the
// programmer's ID block. They are written on the UI thread only; a call from
// the operation thread is passed to the UI thread.
#pragma once
#include <QString>
#include <cstdint>

// printf-style text as a string of its own (safe on any thread, no shared buffer).
QString FormatToStaticBuffer(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "%04Xh" of the low 16 bits of BufferChecksum into the checksum label.
void ShowBufferChecksum();
// After a command changed buffer bytes: the sum over BufferStart..BufferEnd
// computed again and shown.
void ShowFreshBufferChecksum();
// Rewrites every value label of both panels.
void UpdateInfoPanel();

// Names of the programming algorithms, indexed by DeviceVariant3 (parameter
// byte 15 of a non-PLD record); the device selection shows them too.
constexpr int kProgAlgorithmNameCount = 16;
extern const char* const ProgAlgorithmNames[kProgAlgorithmNameCount];
// The name of an index, "" outside the table.
QString ProgAlgorithmNameText(uint32_t index);

// The texts UpdateInfoPanel shows.
// "Unknown" for 0, else "%lXh(%ld)Bytes" of the size (doubled above 8 bits).
QString FormatDeviceSizeText(uint32_t deviceSize, uint32_t dataWidth);
// Thousands separated, then " Bytes" (nothing before it for 0).
QString FormatFreeDiskText(uint64_t bytes);
// Split name of a WordMode (0-6), nine characters.
QString SplitNameText(uint32_t wordMode);
// "Auto" for the automatic port choice, else "%Xh" of the base.
QString BasePortText(uint32_t portIndex, uint32_t portBase);
