#include "engine/Device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Library.h"
#include "engine/Messages.h"
#include "engine/NeighbourState.h"
#include "engine/Port.h"
#include "engine/RowHooks.h"
#include "engine/Tables.h"

// The settings start as the built-in device (AMD Am27128, a 16 KB EPROM in a
// 28-pin DIP); ResetDeviceState decodes the same record.
std::string CurrentMakerName = "AMD";
std::string CurrentDeviceName = "Am27128";
uint32_t MakerIndex = MakerAmd;
uint32_t CurrentAlgorithm = 0;
uint32_t GangAdapterIndex = 0;
uint8_t AdapterCode = 0;
uint32_t LogicImageNumber = 5;
uint32_t SupportedOperationMask = 0x41F;
uint8_t FileFormatMask = 0x1F;
uint32_t DeviceFlags = 0x30;
uint8_t DeviceVariant = 0;
uint8_t DeviceSubVariant = 0;
uint8_t DeviceVariant3 = 2;
uint32_t PackageIndex = 13;
uint32_t DeviceSize = 16384;
uint8_t DataWidth = 8;
uint32_t FuseRowLength = 0;
uint32_t UesFuseStart = 0;
uint32_t ExpectedMakerId = 0x01;
uint32_t ExpectedDeviceId = 0x16;
uint32_t Vccp = 625;
uint32_t Vpp = 1275;
uint32_t ReadVcc = 50;
uint32_t ReadVccLow = 50;
uint32_t ReadVccHigh = 50;
uint32_t PulseWidth = 100;
uint32_t OverPulseWidth = 0;
uint32_t PulseMul = 0;
uint32_t Retry = 25;
uint32_t PageSize = 25;

uint32_t DeviceStart = 0;
uint32_t DeviceEnd = 0x3FFF;
uint32_t BufferStart = 0;
uint32_t BufferEnd = 0x3FFF;
uint32_t BufferByteSize = 16384;
uint32_t SaveBufferEnd = 0x3FFF;
uint32_t SaveBufferStart = 0;

uint32_t BufferStartByte() {
    const uint64_t first = DeviceSection != SectionPld && DataWidth > 8 ? 2 * uint64_t{BufferStart} : BufferStart;
    return static_cast<uint32_t>(std::min<uint64_t>(first, 0xFFFFFFFFu));
}

uint32_t DeviceSection = SectionEprom;
uint32_t WordMode = 0;

SplitLane SplitLaneOf(uint32_t mode) {
    static constexpr uint8_t kSteps[7] = {1, 2, 2, 4, 4, 4, 4};
    static constexpr uint8_t kLanes[7] = {0, 0, 1, 0, 1, 2, 3};
    if (mode > 6) mode = 0;
    return {kSteps[mode], kLanes[mode]};
}
uint32_t LastSocketIndex = 0;
uint32_t ByteSwap = 0;

uint32_t ChipMakerId = 0;
uint32_t ChipDeviceId = 0;

const int8_t ChangeAlgorithmItemTable[12][10] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 99}, // 0
    {0, 2, 3, 4, 9, 99},             // 1
    {0, 1, 2, 3, 4, 99},             // 2
    {0, 1, 2, 3, 4, 8, 99},          // 3
    {0, 2, 3, 4, 5, 9, 99},          // 4
    {0, 2, 3, 4, 5, 99},             // 5
    {0, 1, 2, 3, 4, 5, 99},          // 6
    {0, 1, 2, 3, 4, 8, 99},          // 7
    {0, 1, 2, 3, 4, 5, 8, 99},       // 8
    {0, 2, 3, 4, 99},                // 9
    {0, 1, 2, 3, 4, 9, 99},          // 10
    {0, 1, 2, 3, 4, 5, 6, 99},       // 11
};

// Maker 2 (AMD), name field of 8 bytes, then the 47 parameter bytes.
constexpr uint8_t BuiltInLibraryRecord[] = {
    2,    8,    'A',  'm', '2', '7', '1', '2', '8', 0,
    0,                             // parameter byte 0, not read
    0,    0,                       // 0: algorithm 0
    0,                             // 2: gang adapter
    0,                             // 3: adapter code
    0,    0,                       // 4-5: not used
    0,    5,                       // 6: logic image 5
    0x04, 0x1F,                    // 8: blank check, program, read, verify, compare, auto
    0x1F,                          // 10: file formats
    0x00, 0x30,                    // 11: flags: gang operation allowed
    0,                             // 13: variant
    0,                             // 14: sub-variant
    2,                             // 15: programming algorithm "Quick"
    0,    13,                      // 16: package DIP28, Vpp on pin 1
    0,    0,    0x40, 0,           // 18: 16384 words
    8,                             // 22: 8 bits
    0,    25,                      // 23: page 25
    0x02, 0x71,                    // 25: Vccp 6.25 V
    0x04, 0xFB,                    // 27: Vpp 12.75 V
    0,    100,                     // 29: pulse 100 us
    0,    0,                       // 31: no over-program pulse
    0,    0x01,                    // 33: maker id
    0,    0x16,                    // 35: device id
    50,   50,   50,                // 37-39: read, low and high verify supply 5.0 V
    0,    0,    0,    0,   0,   0, // 40-45
};
const size_t BuiltInLibraryRecordSize = sizeof BuiltInLibraryRecord;

namespace {

// Byte i of the built-in device as a stored record (bytes 0-91).
constexpr uint8_t BuiltInStoredByte(size_t i) {
    constexpr char kNames[] = "AMD\0Am27128"; // maker, 0, device name
    if (i < sizeof kNames) return static_cast<uint8_t>(kNames[i]);
    if (i < DeviceRecordNameArea) return 0;
    if (i == RecordNameOffsetByte) return 4;
    if (i == RecordSectionByte) return SectionEprom;
    if (i == RecordMakerByte) return BuiltInLibraryRecord[0];
    return BuiltInLibraryRecord[10 + (i - RecordParameterStart)];
}

} // namespace

#define VX_B4(n)                                                                                             \
    BuiltInStoredByte(n), BuiltInStoredByte(n + 1), BuiltInStoredByte(n + 2), BuiltInStoredByte(n + 3)
#define VX_B16(n) VX_B4(n), VX_B4(n + 4), VX_B4(n + 8), VX_B4(n + 12)
constinit uint8_t CurrentDeviceRecord[CurrentDeviceRecordSize] = {
    VX_B16(0), VX_B16(16), VX_B16(32), VX_B16(48), VX_B16(64), VX_B4(80), VX_B4(84), VX_B4(88),
};
#undef VX_B16
#undef VX_B4

namespace {

// The section the current device was accepted with; DeviceSection is put
// back to it when a record is refused.
uint32_t g_acceptedSection = SectionEprom;

uint32_t ReadBigEndian(const uint8_t* p, uint32_t size) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < size; ++i)
        v = (v << 8) | p[i];
    return v;
}

// Index of the device name in the record's name area, or -1 when the maker
// name and the device name do not both end inside bytes 0-47.
int DeviceNameStart(const DeviceRecord& record) {
    const uint8_t* b = record.Bytes;
    const void* z1 = std::memchr(b, 0, DeviceRecordNameArea);
    if (z1 == nullptr) return -1;
    size_t start = static_cast<const uint8_t*>(z1) - b + 1;
    if (start >= DeviceRecordNameArea) return -1;
    if (std::memchr(b + start, 0, DeviceRecordNameArea - start) == nullptr) return -1;
    return static_cast<int>(start);
}

void DecodeRecord(const DeviceRecord& r, bool logSelection) {
    const uint8_t* b = r.Bytes;
    auto field = [&r](uint32_t offset, uint32_t size) { return ReadRecordField(r, offset, size); };

    MakerIndex = b[RecordMakerByte];
    CurrentMakerName = MakerName(MakerIndex);
    int nameStart = DeviceNameStart(r);
    CurrentDeviceName =
        nameStart < 0 ? std::string() : std::string(reinterpret_cast<const char*>(b + nameStart));

    if (logSelection) ShowMessageLine("%s %s", CurrentMakerName.c_str(), CurrentDeviceName.c_str());

    CurrentAlgorithm = field(FieldAlgorithm, 2);
    GangAdapterIndex = field(FieldGangAdapter, 1);
    AdapterCode = static_cast<uint8_t>(field(FieldAdapterCode, 1));
    LogicImageNumber = field(FieldLogicImage, 2);
    SupportedOperationMask = field(FieldOperationMask, 2);
    FileFormatMask = static_cast<uint8_t>(field(FieldFileFormatMask, 1));
    DeviceFlags = field(FieldDeviceFlags, 2);
    DeviceVariant = static_cast<uint8_t>(field(FieldVariant, 1));
    DeviceSubVariant = static_cast<uint8_t>(field(FieldSubVariant, 1));
    ReadVcc = field(FieldReadVcc, 1);
    ReadVccLow = field(FieldReadVccLow, 1);
    ReadVccHigh = field(FieldReadVccHigh, 1);

    if (b[RecordSectionByte] == SectionPld) {
        PackageIndex = field(FieldPldPackage, 2);
        DeviceSize = field(FieldPldDeviceSize, 4);
        FuseRowLength = field(FieldPldFuseRowLength, 2);
        UesFuseStart = field(FieldPldUesFuseStart, 4);
    } else {
        DeviceVariant3 = static_cast<uint8_t>(field(FieldVariant3, 1));
        PackageIndex = field(FieldPackage, 2);
        DeviceSize = (field(FieldDeviceSize, 2) << 16) | field(FieldDeviceSize + 2, 2);
        DataWidth = static_cast<uint8_t>(field(FieldDataWidth, 1));
        PageSize = field(FieldPageSize, 2);
        SetEncryptionTableSize(PageSize);
        Vccp = field(FieldVccp, 2);
        Vpp = field(FieldVpp, 2);
        PulseWidth = field(FieldPulseWidth, 2);
        uint32_t over = field(FieldOverPulseWidth, 2);
        if (over > 10000) {
            PulseMul = 1;
            OverPulseWidth = over - 10000;
        } else {
            PulseMul = 0;
            OverPulseWidth = over;
        }
        ExpectedMakerId = field(FieldMakerId, 2);
        ExpectedDeviceId = field(FieldDeviceId, 2);
        Retry = 25;
    }

    std::memcpy(CurrentDeviceRecord, b, CurrentDeviceRecordSize);

    SetupAddressRange();

    if ((DeviceFlags & 0x30) == 0) LastSocketIndex = 0;

    ApplyAlgorithmDefaults();

    if (logSelection && CurrentAlgorithm == 186) {
        ShowMessageLine(" ECON addr  : %lxh", static_cast<unsigned long>(DeviceSize - 9));
        ShowMessageLine(" USER Bytes : %lxh - %lxh", static_cast<unsigned long>(DeviceSize - 8),
                        static_cast<unsigned long>(DeviceSize - 1));
        Beep(-1);
    }
}

} // namespace

uint32_t ReadRecordField(const uint8_t* record, size_t recordSize, uint32_t offset, uint32_t size) {
    if (record == nullptr || size < 1 || size > 4) return 0;
    uint64_t start = RecordFieldBase + static_cast<uint64_t>(offset);
    if (start + size > recordSize) return 0;
    return ReadBigEndian(record + start, size);
}

uint32_t ReadRecordField(const DeviceRecord& record, uint32_t offset, uint32_t size) {
    return ReadRecordField(record.Bytes, DeviceRecordSize, offset, size);
}

void WriteParameterField(DeviceParameters& params, uint32_t offset, uint32_t size, uint32_t value) {
    if (size < 1 || size > 4) return;
    uint64_t start = static_cast<uint64_t>(offset) + 1;
    if (start + size > DeviceParameterCount) return;
    for (uint32_t i = 0; i < size; ++i) {
        params.Bytes[start + size - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

bool MakeDeviceRecord(uint32_t section, uint8_t maker, const std::string& deviceName,
                      const DeviceParameters& params, DeviceRecord& out) {
    std::memset(out.Bytes, 0, sizeof out.Bytes);
    if (maker >= MakerRowCount) return false;
    if (deviceName.find('\0') != std::string::npos) return false;
    const char* makerName = MakerNameTable[maker];
    size_t makerLen = std::strlen(makerName);
    if (makerLen + 1 + deviceName.size() + 1 > DeviceRecordNameArea) return false;
    std::memcpy(out.Bytes, makerName, makerLen);
    std::memcpy(out.Bytes + makerLen + 1, deviceName.data(), deviceName.size());
    out.Bytes[RecordNameOffsetByte] = static_cast<uint8_t>(makerLen + 1);
    out.Bytes[RecordSectionByte] = static_cast<uint8_t>(section);
    out.Bytes[RecordMakerByte] = maker;
    std::memcpy(out.Bytes + RecordParameterStart, params.Bytes, DeviceParameterCount);
    return true;
}

bool ParseLibraryRecord(const uint8_t* data, size_t size, size_t pos, uint32_t section, DeviceRecord& out,
                        size_t& next) {
    std::memset(out.Bytes, 0, sizeof out.Bytes);
    if (data == nullptr || pos >= size || size - pos < 2) return false;
    uint8_t maker = data[pos];
    size_t n = data[pos + 1];
    if (size - pos - 2 < n + DeviceParameterCount) return false;
    const uint8_t* name = data + pos + 2;
    const void* z = std::memchr(name, 0, n);
    if (z == nullptr) return false;
    std::string deviceName(reinterpret_cast<const char*>(name), static_cast<const uint8_t*>(z) - name);
    DeviceParameters params;
    std::memcpy(params.Bytes, name + n, DeviceParameterCount);
    if (!MakeDeviceRecord(section, maker, deviceName, params, out)) return false;
    next = pos + 2 + n + DeviceParameterCount;
    return true;
}

std::vector<DeviceRecord> ReadLibraryRecords() {
    const uint32_t entries[4] = {kLibraryEntryEprom, kLibraryEntryPld, kLibraryEntryMicro, kLibraryEntryProm};
    std::vector<DeviceRecord> out;
    for (uint32_t section = 0; section < 4; ++section) {
        std::vector<uint8_t> list(OpenLibraryEntry(entries[section]));
        for (uint32_t k = 0; k < list.size(); ++k) list[k] = ReadLibraryByte(k);
        DeviceRecord r{};
        for (size_t pos = 0, next = 0;
             pos < list.size() && ParseLibraryRecord(list.data(), list.size(), pos, section, r, next); pos = next)
            out.push_back(r);
    }
    return out;
}

DeviceRecord DeviceRecordFromStored(const uint8_t* stored92) {
    DeviceRecord r{};
    if (stored92 != nullptr) std::memcpy(r.Bytes, stored92, CurrentDeviceRecordSize);
    return r;
}

DeviceRecord BuiltInDeviceRecord() {
    DeviceRecord r{};
    size_t next = 0;
    ParseLibraryRecord(BuiltInLibraryRecord, BuiltInLibraryRecordSize, 0, SectionEprom, r, next);
    return r;
}

static_assert(MaxFuseCount == 526336 && MaxImageBytes == 256u << 20, "the refusal texts name these limits");

const char* ValidateDeviceRecord(const DeviceRecord& r, uint32_t section) {
    const uint8_t* b = r.Bytes;
    if (section > SectionProm || b[RecordSectionByte] != section) return "device section invalid";
    if (b[RecordMakerByte] >= MakerRowCount) return "maker out of range";
    if (DeviceNameStart(r) < 0) return "device name does not end inside its field";
    if (ReadRecordField(r, FieldAlgorithm, 2) >= AlgorithmRowCount) return "algorithm row out of range";
    if (ReadRecordField(r, FieldAdapterCode, 1) >= AdapterRowCount) return "adapter out of range";
    bool pld = section == SectionPld;
    uint32_t package = ReadRecordField(r, pld ? FieldPldPackage : FieldPackage, 2);
    if (package >= PackageRowCount) return "package out of range";
    uint64_t size = pld ? ReadRecordField(r, FieldPldDeviceSize, 4) : ReadRecordField(r, FieldDeviceSize, 4);
    if (size == 0) return "device size is 0";
    // The device must fit what the buffer holds: the image, or for a PLD
    // the fuse map.
    if (pld) {
        if (size > MaxFuseCount) return "fuse count larger than the fuse map (526336 fuses)";
    } else {
        uint64_t bytes = ReadRecordField(r, FieldDataWidth, 1) > 8 ? 2 * size : size;
        if (bytes > MaxImageBytes) return "device size larger than the buffer (256 MB)";
    }
    return nullptr;
}

int SetCurrentDevice(const DeviceRecord& record) {
    if (const char* why = ValidateDeviceRecord(record, DeviceSection)) {
        ShowMessageLine("Invalid device record: %s.", why);
        DeviceSection = g_acceptedSection;
        return -1;
    }
    g_acceptedSection = DeviceSection;
    DecodeRecord(record, true);
    return 1;
}

void SetupAddressRange() {
    DeviceStart = 0;
    BufferStart = 0;
    if (DeviceSection == SectionPld) {
        // One fuse per bit: the image is bytes 0 to the byte holding the last
        // fuse, read and saved byte-wide.
        WordMode = 0;
        DataWidth = 8;
        DeviceEnd = BufferEnd = DeviceSize / 8;
        BufferByteSize = BufferEnd + 1;
        SaveBufferEnd = BufferEnd;
        return;
    }
    uint64_t size = DeviceSize == 0 ? 1 : DeviceSize;
    uint64_t bytes = DataWidth <= 8 ? size : 2 * size;
    uint64_t end = bytes - 1;
    end = uint64_t{SplitLaneOf(WordMode).Step} * (end + 1) - 1;
    DeviceEnd = static_cast<uint32_t>(size - 1);
    BufferByteSize = static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
    SaveBufferEnd = static_cast<uint32_t>(std::min<uint64_t>(bytes - 1, UINT32_MAX));
    BufferEnd = static_cast<uint32_t>(std::min<uint64_t>(end, UINT32_MAX));
}

void ApplyAlgorithmDefaults() {
    switch (CurrentAlgorithm) {
    case 100:
    case 104:
    case 173:
    case 193:
    case 195:
    case 196:
        Retry = DeviceSubVariant & 63;
        break;
    case 0:
    case 66:
    case 301:
    case 302:
        Retry = PageSize;
        break;
    case 172: {
        static const uint32_t kStarts[5] = {0xF000, 0xE000, 0xC000, 0xA000, 0x8000};
        if (DeviceVariant < 5) DeviceStart = BufferStart = kStarts[DeviceVariant];
        break;
    }
    case 175:
        DeviceStart = BufferStart = 0xF800;
        break;
    case 185:
        if (AdapterCode == 134) {
            if (DeviceVariant == 1) {
                DeviceStart = 0xE080;
                DeviceEnd = 0xFFFD;
                BufferStart = 0;
                BufferEnd = 0x1F7D;
            } else if (DeviceVariant == 2) {
                DeviceStart = 0xC080;
                DeviceEnd = 0xFFFD;
                BufferStart = 0;
                BufferEnd = 0x3F7D;
            }
        }
        break;
    default:
        break;
    }
    // The families reset the option choices they keep between operations
    // (microcontroller option states, NAND read mode and block size).
    RunSelectionDefaultsHooks();
}

uint32_t* ProgrammingParameterByItem(int itemCode) {
    static uint32_t* const kItems[10] = {&Vccp,        &Vpp,        &ReadVcc,        &ReadVccLow,
                                         &ReadVccHigh, &PulseWidth, &OverPulseWidth, &PulseMul,
                                         &Retry,       &PageSize};
    return itemCode >= 0 && itemCode < 10 ? kItems[itemCode] : nullptr;
}

std::string FormatPulseWidth(uint32_t microseconds) {
    char text[32];
    if (microseconds == 0) return "None";
    if (microseconds < 1000) {
        std::snprintf(text, sizeof text, "%uUs", microseconds);
    } else {
        std::snprintf(text, sizeof text, "%uMs", microseconds / 1000);
    }
    return text;
}

std::string FormatVoltage(uint32_t hundredths) {
    char text[32];
    if (hundredths == 0) return "None";
    uint32_t whole = hundredths / 100;
    uint32_t rest = hundredths % 100;
    if (rest == 0) {
        std::snprintf(text, sizeof text, "%u.0V", whole);
    } else {
        std::snprintf(text, sizeof text, "%u.%02uV", whole, rest);
    }
    return text;
}

void ResetDeviceState() {
    DeviceSection = SectionEprom;
    g_acceptedSection = SectionEprom;
    WordMode = 0;
    LastSocketIndex = 0;
    ByteSwap = 0;
    ChipMakerId = 0;
    ChipDeviceId = 0;
    DeviceVariant3 = 0;
    DataWidth = 8;
    FuseRowLength = 0;
    UesFuseStart = 0;
    SaveBufferStart = 0;
    DecodeRecord(BuiltInDeviceRecord(), false);
}
