// Per-row hooks: the few places where engine code treats an algorithm row in
// its own way. Engine code asks this table by row number; the device families
// fill the function pointers of their rows when they install them. The data
// fields (identity-check exception, checksum extras, JEDEC extra fields) hold
// their values from the start.
#pragma once
#include <cstdint>
#include <string>

// Writes the encryption table into the chip; 1, -1 or 3.
using EncryptionWriterFn = int (*)();
// Writes the configuration fuses (words, option bits); 1, -1 or 3.
using ConfigFuseWriterFn = int (*)();
// The row's own buffer checksum: sets BufferChecksum and returns it;
// 0xFFFFFFFF (-1) when it cannot compute one.
using ChecksumFn = uint32_t (*)();
// Appends the row's configuration and ID words as Intel-hex records (text
// lines with CR LF) to `out`, before the end record.
using HexConfigWriterFn = void (*)(std::string& out);

struct RowHooks {
    EncryptionWriterFn EncryptionWriter = nullptr;
    ConfigFuseWriterFn ConfigFuseWriter = nullptr;
    ChecksumFn Checksum = nullptr;
    HexConfigWriterFn HexConfigWriter = nullptr;

    // The identity check skips the comparison in Erase and Auto and reports
    // a mismatch as "Device secured or incorrect device.".
    bool SecuredIdentityException = false;

    // The byte sum also adds this many buffer bytes from DeviceSize on.
    uint8_t ChecksumBytesAfterDevice = 0;
    // The byte sum's end address is extended by this many bytes.
    uint8_t ChecksumEndExtension = 0;

    // JEDEC "E" and "U" fields: base fuse of the bits read (-1: none) and
    // the number of fuses written back when saving (0: not written).
    int32_t JedecEFieldFuse = -1;
    uint32_t JedecEFieldSaveCount = 0;
    int32_t JedecUFieldFuse = -1;
    uint32_t JedecUFieldSaveCount = 0;

    // POF name: the text starting three characters after "as" in the name.
    bool PofNameAfterAs = false;
};

constexpr uint32_t RowHookCount = 324;
extern RowHooks RowHookTable[RowHookCount];

// The hooks of a row; a row outside the table has none.
const RowHooks& HooksOfRow(uint32_t row);

// Runs at every device selection (after the address range is set), so the
// families reset the option choices they keep between operations. Returns
// false when the list is full (64 hooks).
using SelectionDefaultsFn = void (*)();
bool AddSelectionDefaultsHook(SelectionDefaultsFn hook);
void RunSelectionDefaultsHooks();

// The start-up table: no function hooks, the data fields at their values.
void ResetRowHooks();
