// The current device: the settings decoded from the selected device record,
// the address range of an operation, the per-algorithm defaults applied at
// each selection, the error-code texts and the two value formatters.
//
// Exactly one device is current. SetCurrentDevice decodes a DeviceRecord into
// the program-wide settings below; every operation then reaches the device's
// algorithm through AlgorithmTable[CurrentAlgorithm] (engine/AlgorithmTable.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Device record layouts
//
// Library form (a device-list entry of the device library file holds these
// packed back to back, no count, no terminator):
//
//   offset 0        u8   maker index (row of MakerNameTable)
//   offset 1        u8   n, length of the name field
//   offset 2        n    device name, 0-terminated inside the field
//   offset 2 + n    47   parameter bytes (DeviceParameters)
//
// In-memory form, DeviceRecord, 99 bytes (98 used):
//
//   bytes 0-47      maker name, 0, device name, 0 (both inside bytes 0-47)
//   byte  48        offset of the device name (maker name length + 1)
//   byte  49        section: 0 EPROM, 1 PLD, 2 MICRO, 3 PROM
//   byte  50        maker index
//   bytes 51-97     the 47 parameter bytes, unchanged
//   byte  98        unused
//
// The parameter bytes: byte 0 is not read. Parameter field k lies at
// parameter byte k + 1, i.e. at DeviceRecord byte 52 + k. A field of n bytes
// is an unsigned BIG-ENDIAN number (the byte at the field offset is the most
// significant). Field offsets and sizes (k: size):
//
//   every section:
//     0: 2   algorithm row (CurrentAlgorithm, 0-323)
//     2: 1   gang adapter row (GangAdapterIndex)
//     3: 1   socket adapter code (AdapterCode, row of AdapterNameTable)
//     4: 2   present, not used
//     6: 2   logic image entry (LogicImageNumber)
//     8: 2   supported operations (SupportedOperationMask)
//    10: 1   file formats (FileFormatMask)
//    11: 2   DeviceFlags
//    13: 1   DeviceVariant
//    14: 1   DeviceSubVariant
//    37: 1   ReadVcc       (0.1 V)
//    38: 1   ReadVccLow    (0.1 V)
//    39: 1   ReadVccHigh   (0.1 V)
//   non-PLD sections (0, 2, 3):
//    15: 1   DeviceVariant3 (programming algorithm name index)
//    16: 2   PackageIndex
//    18: 4   DeviceSize in device words (18-19 high word, 20-21 low word)
//    22: 1   DataWidth (bits per word)
//    23: 2   PageSize ("Page")
//    25: 2   Vccp (0.01 V)
//    27: 2   Vpp  (0.01 V)
//    29: 2   PulseWidth (microseconds)
//    31: 2   over-pulse: above 10000 means PulseMul 1 and value - 10000
//    33: 2   ExpectedMakerId
//    35: 2   ExpectedDeviceId
//   PLD section (1):
//    15: 2   PackageIndex
//    17: 4   DeviceSize (fuse count)
//    21: 2   FuseRowLength
//    23: 4   UesFuseStart (0 none)
//    27: -   present, not used
//
// Fields 40-45 (record bytes 92-97) exist in the library but are not copied
// into CurrentDeviceRecord (bytes 0-91).
// ---------------------------------------------------------------------------

constexpr size_t DeviceRecordSize = 99;
constexpr size_t DeviceRecordNameArea = 48; // bytes 0-47
constexpr size_t RecordNameOffsetByte = 48;
constexpr size_t RecordSectionByte = 49;
constexpr size_t RecordMakerByte = 50;
constexpr size_t RecordParameterStart = 51; // parameter byte 0
constexpr size_t RecordFieldBase = 52;      // parameter field 0
constexpr size_t DeviceParameterCount = 47;
constexpr size_t DeviceParameterFieldCount = 46; // fields 0-45
constexpr size_t CurrentDeviceRecordSize = 92;   // record bytes 0-91

// Parameter field offsets (see the table above).
enum DeviceField : uint32_t {
    FieldAlgorithm = 0,
    FieldGangAdapter = 2,
    FieldAdapterCode = 3,
    FieldLogicImage = 6,
    FieldOperationMask = 8,
    FieldFileFormatMask = 10,
    FieldDeviceFlags = 11,
    FieldVariant = 13,
    FieldSubVariant = 14,
    FieldVariant3 = 15,
    FieldPackage = 16,
    FieldDeviceSize = 18,
    FieldDataWidth = 22,
    FieldPageSize = 23,
    FieldVccp = 25,
    FieldVpp = 27,
    FieldPulseWidth = 29,
    FieldOverPulseWidth = 31,
    FieldMakerId = 33,
    FieldDeviceId = 35,
    FieldReadVcc = 37,
    FieldReadVccLow = 38,
    FieldReadVccHigh = 39,
    FieldPldPackage = 15,
    FieldPldDeviceSize = 17,
    FieldPldFuseRowLength = 21,
    FieldPldUesFuseStart = 23,
};

// Device sections (record byte 49, DeviceSection).
enum : uint32_t { SectionEprom = 0, SectionPld = 1, SectionMicro = 2, SectionProm = 3 };

struct DeviceRecord {
    uint8_t Bytes[DeviceRecordSize];
};

// The 47 parameter bytes in the library's form.
struct DeviceParameters {
    uint8_t Bytes[DeviceParameterCount];
};

// ---------------------------------------------------------------------------
// Current-device settings
// ---------------------------------------------------------------------------

extern std::string CurrentMakerName;  // MakerNameTable row of record byte 50
extern std::string CurrentDeviceName; // record text after the maker name
extern uint32_t MakerIndex;
extern uint32_t CurrentAlgorithm; // row of AlgorithmTable, 0-323
extern uint32_t GangAdapterIndex;
extern uint8_t AdapterCode; // row of AdapterNameTable, 0 none
extern uint32_t LogicImageNumber;
extern uint32_t SupportedOperationMask;
extern uint8_t FileFormatMask;
extern uint32_t DeviceFlags; // bit 3 bit view; bits 4-5 gang allowed
extern uint8_t DeviceVariant;
extern uint8_t DeviceSubVariant;
extern uint8_t DeviceVariant3;
extern uint32_t PackageIndex;  // row of PackageTable
extern uint32_t DeviceSize;    // device words; PLD: fuse count
extern uint8_t DataWidth;      // bits per device word; above 8: 16-bit
extern uint32_t FuseRowLength; // PLD only
extern uint32_t UesFuseStart;  // PLD only, 0 none
extern uint32_t ExpectedMakerId;
extern uint32_t ExpectedDeviceId;
extern uint8_t CurrentDeviceRecord[CurrentDeviceRecordSize];

// ProgrammingParameters, edited by the Change Algorithm dialog.
extern uint32_t Vccp;           // 0.01 V
extern uint32_t Vpp;            // 0.01 V
extern uint32_t ReadVcc;        // 0.1 V
extern uint32_t ReadVccLow;     // 0.1 V
extern uint32_t ReadVccHigh;    // 0.1 V
extern uint32_t PulseWidth;     // microseconds
extern uint32_t OverPulseWidth; // microseconds
extern uint32_t PulseMul;       // 0 or 1
extern uint32_t Retry;          // most program pulses per unit
extern uint32_t PageSize;       // "Page"

// AddressRange, derived by SetupAddressRange.
extern uint32_t DeviceStart;    // first device address (inclusive)
extern uint32_t DeviceEnd;      // last device address (inclusive)
extern uint32_t BufferStart;    // first byte (a 16-bit device's first word) of the image in the buffer
extern uint32_t BufferEnd;      // last byte of the image in the buffer
extern uint32_t BufferByteSize; // bytes the image occupies
extern uint32_t SaveBufferEnd;  // last byte of a binary save
// The buffer byte the image starts at: Buffer Start counts a 16-bit
// device's words.
uint32_t BufferStartByte();
// First byte of a data-file save (set in the configuration dialog, 0 at start).
extern uint32_t SaveBufferStart;

// Settings the selection reads or writes that are kept with the user's
// configuration: the section of the current device, the split mode (0 byte,
// 1-2 even/odd byte of two, 3-6 one byte of four), the gang sockets minus 1
// (0-7), and the byte swap of 16-bit words.
extern uint32_t DeviceSection;
extern uint32_t WordMode;
// The buffer-unit step and lane of a split mode (WordMode 1-6: the Even and
// Odd bytes of two, the four bytes of four); step 1 and lane 0 without one.
struct SplitLane {
    uint32_t Step = 1, Lane = 0;
};
SplitLane SplitLaneOf(uint32_t mode);
extern uint32_t LastSocketIndex;
extern uint32_t ByteSwap;

// Identity read by an algorithm's Identify entry.
extern uint32_t ChipMakerId;
extern uint32_t ChipDeviceId;

// ---------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------

// Change Algorithm items shown per ParameterGroup, in display order; item
// codes 0 Vccp, 1 Vpp, 2 Read Vcc, 3 Read Vcc Low, 4 Read Vcc High,
// 5 Pulse Width, 6 Over Pulse Width, 7 Pulse Mul, 8 Retry, 9 Page; 99 ends.
constexpr int ChangeAlgorithmItemEnd = 99;
constexpr int NoParameterGroup = 99;
extern const int8_t ChangeAlgorithmItemTable[12][10];

// The programming parameter of a Change Algorithm item code (0-9), or
// nullptr for another code.
uint32_t* ProgrammingParameterByItem(int itemCode);

// The built-in device (AMD Am27128), current at start-up, in the library's
// own form: maker index, name length, name, 47 parameter bytes.
extern const uint8_t BuiltInLibraryRecord[];
extern const size_t BuiltInLibraryRecordSize;

// ---------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------

// Makes a record current. The caller first sets DeviceSection from record
// byte 49. The record is checked first (ValidateDeviceRecord): a bad record
// is refused with a log line, DeviceSection is put back and the current
// device stays as it was. Returns 1 when the record became current, -1 when
// refused.
int SetCurrentDevice(const DeviceRecord& record);

// nullptr when the record may become current with the given section, else a
// short reason ("algorithm row out of range", ...).
const char* ValidateDeviceRecord(const DeviceRecord& record, uint32_t section);

// Unsigned big-endian value of `size` bytes (1-4) at parameter field
// `offset` (record byte 52 + offset). A field outside the record reads 0.
uint32_t ReadRecordField(const DeviceRecord& record, uint32_t offset, uint32_t size);
uint32_t ReadRecordField(const uint8_t* record, size_t recordSize, uint32_t offset, uint32_t size);

// Writes a big-endian field into library-form parameter bytes (field k at
// parameter byte k + 1). Fields outside the 47 bytes are ignored.
void WriteParameterField(DeviceParameters& params, uint32_t offset, uint32_t size, uint32_t value);

// Builds the in-memory record from the library's form. Returns false (and
// leaves `out` zeroed) when the maker is outside MakerNameTable or the two
// names do not fit in the 48-byte name area.
bool MakeDeviceRecord(uint32_t section, uint8_t maker, const std::string& deviceName,
                      const DeviceParameters& params, DeviceRecord& out);

// Parses one library-form record at data[pos..size). On success fills `out`
// and the position of the next record and returns true; false when the
// record runs past the end, its name does not end inside its field, or it
// does not fit a DeviceRecord.
bool ParseLibraryRecord(const uint8_t* data, size_t size, size_t pos, uint32_t section, DeviceRecord& out,
                        size_t& next);

// Every record of the four device sections of the library file, in library
// order (the section in each record's section byte); a section's walk ends at
// the first record that does not parse.
std::vector<DeviceRecord> ReadLibraryRecords();

// The in-memory record of a stored CurrentDeviceRecord (bytes 0-91; the
// bytes 92-98 read as 0).
DeviceRecord DeviceRecordFromStored(const uint8_t* stored92);

// The built-in device as a DeviceRecord (section 0).
DeviceRecord BuiltInDeviceRecord();

void SetupAddressRange();
void ApplyAlgorithmDefaults();

// "None" for 0, "%uUs" below 1000, else "%uMs" of whole milliseconds.
std::string FormatPulseWidth(uint32_t microseconds);
// "None" for 0, else volts with two decimals ("3.05V", "12.50V"), whole
// volts with one ("13.0V").
std::string FormatVoltage(uint32_t hundredths);

// Start-up state: the built-in device current (without log line), the
// configuration-kept settings at their defaults.
void ResetDeviceState();
