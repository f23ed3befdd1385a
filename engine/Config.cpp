#include "engine/Config.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/JedecPof.h"
#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/Services.h"

static_assert(sizeof(ConfigurationValues::Record) == CurrentDeviceRecordSize);
static_assert(CfgProjectDescription + CfgProjectDescriptionSize == ConfigurationBlockSize);
static_assert(CfgDeviceRecord + CurrentDeviceRecordSize + CfgDeviceRecordTailSize == CfgProgramDirectory);

const char* const ProgramRevision = "2.8i";

uint32_t BufferClearBeforeLoad = 0;
uint32_t BlankCheckBeforeProgram = 1;
uint32_t VerifyAfterRead = 0;
uint32_t VerifyAfterProgram = 1;
uint32_t DeviceInsertTest = 0;
uint32_t AutoRepeatEnabled = 0;
int32_t UnusedConfigOptions[4] = {100, 0, 0, 1};
uint32_t LoadFileOffset = 0;
uint32_t LoadBufferStart = 0;
uint16_t ConfigSpareWord = 0;
uint8_t CurrentDeviceRecordTail[CfgDeviceRecordTailSize] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

std::string SavedFileName;
std::vector<std::string> RecentDevices;
std::string ProjectAuthor;
std::string ProjectDescription;

namespace {

const char* const ConfigHeaderText = "Configuration File Rev";
const char* const ProjectHeaderText = "Project File       Rev";
constexpr size_t HeaderTextLength = 22;

// Option word slots of the block, in file order.
enum : int {
    OptTimerPrescale,
    OptBufferClearBeforeLoad,
    OptBlankCheckBeforeProgram,
    OptVerifyAfterRead,
    OptVerifyAfterProgram,
    OptUnused0,
    OptUnused1,
    OptUnused2,
    OptUnused3,
    OptByteSwap,
    OptDeviceInsertTest,
    OptAutoRepeatEnabled,
};

// Defaults of the option words (the program's start-up values).
constexpr int32_t OptionDefaults[CfgOptionCount] = {1, 0, 1, 0, 1, 100, 0, 0, 1, 0, 0, 0};
const char* const OptionNames[CfgOptionCount] = {
    "timer prescale", "buffer clear option", "blank check option", "verify after read option",
    "verify after program option", nullptr, nullptr, nullptr, nullptr, "byte swap option",
    "device insert test option", "auto repeat option"};

// A port the programmer can sit on.
bool IsKnownPortBase(uint32_t base) { return base == 0x378 || base == 0x3BC || base == 0x278; }

const char* FileKind(int projectFlag) { return projectFlag ? "project" : "configuration"; }

void LogFallback(const char* what, int projectFlag) {
    ShowMessageLine("Invalid %s in the %s file, default used.", what, FileKind(projectFlag));
}

// Stores a text with its terminator inside the field; false (field left
// empty) when it does not fit.
bool PutText(ConfigurationBlock& block, size_t offset, size_t capacity, const std::string& text) {
    if (text.size() + 1 > capacity || text.find('\0') != std::string::npos) return false;
    std::memcpy(block.Bytes + offset, text.data(), text.size());
    return true;
}

// Stores a path, or leaves its field empty and says so: a cut path would name
// another file.
void PutPath(ConfigurationBlock& block, size_t offset, size_t capacity, const std::string& path,
             const char* what) {
    if (!PutText(block, offset, capacity, path))
        ShowMessageLine("%s too long to be stored; stored empty.", what);
}

// Free text (author, description): cut to the field, never inside a
// multi-byte character.
void PutFreeText(ConfigurationBlock& block, size_t offset, size_t capacity, const std::string& text) {
    size_t n = text.find('\0');
    if (n == std::string::npos) n = text.size();
    if (n + 1 > capacity) {
        n = capacity - 1;
        while (n > 0 && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(block.Bytes + offset, text.data(), n);
}

// The text of a field; false when it does not end inside the field.
bool GetText(const ConfigurationBlock& block, size_t offset, size_t capacity, std::string& text) {
    const void* end = std::memchr(block.Bytes + offset, 0, capacity);
    if (end == nullptr) return false;
    text.assign(reinterpret_cast<const char*>(block.Bytes + offset),
                static_cast<const uint8_t*>(end) - (block.Bytes + offset));
    return true;
}

int32_t SignedByte(const ConfigurationBlock& block, size_t offset) {
    return static_cast<int8_t>(block.Bytes[offset]);
}

// A value read sign-extended must lie in lo..hi, else the default is used.
uint32_t RangedByte(const ConfigurationBlock& block, size_t offset, int32_t lo, int32_t hi,
                    uint32_t fallback, const char* what, int projectFlag) {
    const int32_t v = SignedByte(block, offset);
    if (v < lo || v > hi) {
        LogFallback(what, projectFlag);
        return fallback;
    }
    return static_cast<uint32_t>(v);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void RestoreValues(const ConfigurationValues& v) {
    WordMode = v.WordMode;
    FillByte = v.FillByte;
    PortIndex = v.PortIndex;
    PortBase = static_cast<uint16_t>(v.PortBase);
    LastSocketIndex = v.LastSocketIndex;
    ConfigSpareWord = v.SpareWord;
    if (v.RecordValid) {
        DeviceSection = v.DeviceSection;
        std::memcpy(CurrentDeviceRecord, v.Record, CurrentDeviceRecordSize);
    }
    PortDelayCount = v.PortDelayCount;
    TimerPrescale = static_cast<uint32_t>(v.Options[OptTimerPrescale]);
    BufferClearBeforeLoad = static_cast<uint32_t>(v.Options[OptBufferClearBeforeLoad]);
    BlankCheckBeforeProgram = static_cast<uint32_t>(v.Options[OptBlankCheckBeforeProgram]);
    VerifyAfterRead = static_cast<uint32_t>(v.Options[OptVerifyAfterRead]);
    VerifyAfterProgram = static_cast<uint32_t>(v.Options[OptVerifyAfterProgram]);
    for (int i = 0; i < 4; ++i) UnusedConfigOptions[i] = v.Options[OptUnused0 + i];
    ByteSwap = static_cast<uint32_t>(v.Options[OptByteSwap]);
    DeviceInsertTest = static_cast<uint32_t>(v.Options[OptDeviceInsertTest]);
    AutoRepeatEnabled = static_cast<uint32_t>(v.Options[OptAutoRepeatEnabled]);
    std::memcpy(CurrentDeviceRecordTail, v.RecordTail, CfgDeviceRecordTailSize);
    // The program directory stays the running program's own: a stored one
    // would send a moved installation to its old place.
    DataFileName = v.DataFileName;
    DataFileType = v.DataFileType;
    SavedFileName = v.SavedFileName;
    RecentDevices = v.RecentDevices;
    ProjectAuthor = v.ProjectAuthor;
    ProjectDescription = v.ProjectDescription;
}

// Loads the data file by its type; 1 when it loaded.
int ReloadDataFile() {
    switch (DataFileType) {
    case DataFileBinary:
        return LoadFileAt(DataFileName, LoadFileOffset, LoadBufferStart);
    case DataFileHex:
        return LoadHexFamilyFile(DataFileName, LoadFileOffset, LoadBufferStart);
    case DataFileJedec:
        return LoadJedecFile(DataFileName);
    case DataFilePof:
        return LoadPofFile(DataFileName);
    default:
        return -1;
    }
}

} // namespace

void BuildConfigurationBlock(ConfigurationBlock& block, int projectFlag) {
    std::memset(block.Bytes, 0, sizeof block.Bytes);
    char header[CfgHeaderSize + 8];
    std::snprintf(header, sizeof header, "%sRev%s. ", projectFlag ? "Project File       " : "Configuration File ",
                  ProgramRevision);
    const size_t n = std::strlen(header);
    std::memcpy(block.Bytes + CfgHeader, header, n);
    block.Bytes[CfgHeader + n] = 0x1A;

    block.Bytes[CfgWordMode] = static_cast<uint8_t>(WordMode);
    block.Bytes[CfgFillByte] = static_cast<uint8_t>(FillByte);
    block.Bytes[CfgPortIndex] = static_cast<uint8_t>(PortIndex);
    block.Bytes[CfgPortBase] = static_cast<uint8_t>(PortBase & 0xFF);
    block.Bytes[CfgPortBase + 1] = static_cast<uint8_t>(PortBase >> 8);
    block.Bytes[CfgLastSocketIndex] = static_cast<uint8_t>(LastSocketIndex);
    block.Bytes[CfgSpareWord] = static_cast<uint8_t>(ConfigSpareWord >> 8);
    block.Bytes[CfgSpareWord + 1] = static_cast<uint8_t>(ConfigSpareWord & 0xFF);
    block.Bytes[CfgDeviceSection] = static_cast<uint8_t>(DeviceSection);
    block.Bytes[CfgPortDelayCount] = static_cast<uint8_t>(PortDelayCount);

    const uint32_t options[CfgOptionCount] = {
        TimerPrescale,
        BufferClearBeforeLoad,
        BlankCheckBeforeProgram,
        VerifyAfterRead,
        VerifyAfterProgram,
        static_cast<uint32_t>(UnusedConfigOptions[0]),
        static_cast<uint32_t>(UnusedConfigOptions[1]),
        static_cast<uint32_t>(UnusedConfigOptions[2]),
        static_cast<uint32_t>(UnusedConfigOptions[3]),
        ByteSwap,
        DeviceInsertTest,
        AutoRepeatEnabled,
    };
    for (size_t i = 0; i < CfgOptionCount; ++i) block.Bytes[CfgOptions + i] = static_cast<uint8_t>(options[i]);

    std::memcpy(block.Bytes + CfgDeviceRecord, CurrentDeviceRecord, CurrentDeviceRecordSize);
    std::memcpy(block.Bytes + CfgDeviceRecord + CurrentDeviceRecordSize, CurrentDeviceRecordTail,
                CfgDeviceRecordTailSize);

    PutPath(block, CfgProgramDirectory, CfgTextSize, ProgramDirectory, "Program directory");
    PutPath(block, CfgDataFileName, CfgTextSize - 1, DataFileName, "Data file name");
    block.Bytes[CfgDataFileType] = DataFileType;
    PutPath(block, CfgSavedFileName, CfgTextSize, SavedFileName, "Saved file name");

    size_t slot = 0;
    for (const std::string& name : RecentDevices) {
        if (slot == CfgRecentDeviceCount) break;
        if (name.empty()) continue; // an empty text would end the list
        if (PutText(block, CfgRecentDevices + slot * CfgTextSize, CfgTextSize, name)) ++slot;
    }

    PutFreeText(block, CfgProjectAuthor, CfgProjectAuthorSize, ProjectAuthor);
    PutFreeText(block, CfgProjectDescription, CfgProjectDescriptionSize, ProjectDescription);
}

int DecodeConfigurationBlock(const ConfigurationBlock& block, int projectFlag, ConfigurationValues& v) {
    const char* expected = projectFlag ? ProjectHeaderText : ConfigHeaderText;
    if (std::memcmp(block.Bytes + CfgHeader, expected, HeaderTextLength) != 0) return CfgErrorIllegal;
    if (!projectFlag && std::memcmp(block.Bytes + CfgRevisionAt, ProgramRevision, 4) != 0) return CfgErrorIllegal;

    v = ConfigurationValues{};
    v.WordMode = RangedByte(block, CfgWordMode, 0, 6, 0, "split mode", projectFlag);
    v.FillByte = block.Bytes[CfgFillByte];
    v.PortIndex = RangedByte(block, CfgPortIndex, 0, 3, 0, "port index", projectFlag);
    v.PortBase = block.Bytes[CfgPortBase] | static_cast<uint32_t>(block.Bytes[CfgPortBase + 1]) << 8;
    if (!IsKnownPortBase(v.PortBase)) {
        LogFallback("port address", projectFlag);
        v.PortBase = PortTable[v.PortIndex];
    }
    v.LastSocketIndex = RangedByte(block, CfgLastSocketIndex, 0, 7, 0, "gang setting", projectFlag);
    v.SpareWord = static_cast<uint16_t>(block.Bytes[CfgSpareWord] << 8 | block.Bytes[CfgSpareWord + 1]);
    v.PortDelayCount = RangedByte(block, CfgPortDelayCount, 0, 100, 0, "port speed", projectFlag);

    for (int i = 0; i < static_cast<int>(CfgOptionCount); ++i) {
        const int32_t value = SignedByte(block, CfgOptions + static_cast<size_t>(i));
        v.Options[i] = value;
        if (OptionNames[i] == nullptr) continue; // unused words are kept as they are
        const int32_t hi = i == OptTimerPrescale ? 2 : 1;
        if (value < 0 || value > hi) {
            LogFallback(OptionNames[i], projectFlag);
            v.Options[i] = OptionDefaults[i];
        }
    }

    // The device: the section byte must agree with the record's own.
    std::memcpy(v.Record, block.Bytes + CfgDeviceRecord, CurrentDeviceRecordSize);
    std::memcpy(v.RecordTail, block.Bytes + CfgDeviceRecord + CurrentDeviceRecordSize, CfgDeviceRecordTailSize);
    const DeviceRecord record = DeviceRecordFromStored(v.Record);
    v.DeviceSection = block.Bytes[CfgDeviceSection];
    const uint32_t recordSection = record.Bytes[RecordSectionByte];
    if (v.DeviceSection != recordSection) {
        LogFallback("device section", projectFlag);
        v.DeviceSection = recordSection;
    }
    if (const char* reason = ValidateDeviceRecord(record, v.DeviceSection)) {
        ShowMessageLine("Stored device refused (%s); device unchanged.", reason);
        v.RecordValid = false;
    } else {
        v.RecordValid = true;
    }

    if (!GetText(block, CfgDataFileName, CfgTextSize - 1, v.DataFileName)) {
        LogFallback("data file name", projectFlag);
        v.DataFileName.clear();
    }
    v.DataFileType = block.Bytes[CfgDataFileType];
    if (v.DataFileType > DataFilePof) {
        if (!v.DataFileName.empty()) LogFallback("data file type", projectFlag);
        v.DataFileName.clear();
        v.DataFileType = DataFileBinary;
    }
    if (!GetText(block, CfgSavedFileName, CfgTextSize, v.SavedFileName)) {
        LogFallback("saved file name", projectFlag);
        v.SavedFileName.clear();
    }
    for (size_t i = 0; i < CfgRecentDeviceCount; ++i) {
        std::string name;
        if (!GetText(block, CfgRecentDevices + i * CfgTextSize, CfgTextSize, name)) {
            LogFallback("recent device name", projectFlag);
            break;
        }
        if (name.empty()) break;
        v.RecentDevices.push_back(name);
    }
    if (!GetText(block, CfgProjectAuthor, CfgProjectAuthorSize, v.ProjectAuthor)) {
        LogFallback("project author", projectFlag);
        v.ProjectAuthor.clear();
    }
    if (!GetText(block, CfgProjectDescription, CfgProjectDescriptionSize, v.ProjectDescription)) {
        LogFallback("project description", projectFlag);
        v.ProjectDescription.clear();
    }
    return 0;
}

int LoadConfigOrProjectFile(const std::string& path, int projectFlag) {
    int code = 0;
    ConfigurationValues values;
    {
        FilePtr file(std::fopen(path.c_str(), "rb"));
        if (!file) {
            code = CfgErrorOpen;
        } else {
            ConfigurationBlock block;
            // A short file is a damaged one.
            if (std::fread(block.Bytes, 1, ConfigurationBlockSize, file.get()) != ConfigurationBlockSize) {
                code = CfgErrorRead;
            } else {
                code = DecodeConfigurationBlock(block, projectFlag, values);
            }
        }
    }

    if (code == 0) {
        RestoreValues(values);
        DeviceRecord record = DeviceRecordFromStored(CurrentDeviceRecord);
        SetCurrentDevice(record);

        if (DeviceSection == SectionPld) {
            SelectBank(0, 0);
            std::memset(BufferWindow, 0, BufferBankBytes);
        } else {
            FillBufferRange(0, 0xFFFF, FillByte);
        }

        if (!DataFileName.empty()) {
            ShowMessageLine("File Loading...");
            if (ReloadDataFile() == 1) ShowMessageLine("File Load ok!");
        }
        ShowMessageLine("Calculating CheckSum...");
        ComputeBufferChecksum(BufferStartByte(), BufferEnd);
        ShowMessageLine("-CheckSum : %s", BufferChecksumText().c_str());
    }

    // The port the configuration names, before the programmer is looked for.
    OpenConfiguredPort();
    ConnectProgrammer(1);
    return code;
}

std::string FileSaveResult::Text() const {
    if (SystemError != 0) return SystemErrorText(SystemError);
    if (Code != 0) return ErrorTextByCode(Code);
    return {};
}

void FileSaveResult::Show() const {
    if (SystemError != 0) {
        ShowSystemError(SystemError);
    } else if (Code != 0) {
        ShowErrorByCode(Code);
    }
}

FileSaveResult SaveConfigOrProjectFile(const std::string& path, int projectFlag) {
    ConfigurationBlock block;
    BuildConfigurationBlock(block, projectFlag);
    FileSaveResult result;
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        result.SystemError = errno != 0 ? errno : EIO;
        return result;
    }
    if (std::fwrite(block.Bytes, 1, ConfigurationBlockSize, file.get()) != ConfigurationBlockSize)
        result.Code = CfgErrorWrite;
    if (std::fclose(file.release()) != 0) result.Code = CfgErrorWrite;
    return result;
}

void ResetConfigState() {
    BufferClearBeforeLoad = 0;
    BlankCheckBeforeProgram = 1;
    VerifyAfterRead = 0;
    VerifyAfterProgram = 1;
    DeviceInsertTest = 0;
    AutoRepeatEnabled = 0;
    UnusedConfigOptions[0] = 100;
    UnusedConfigOptions[1] = 0;
    UnusedConfigOptions[2] = 0;
    UnusedConfigOptions[3] = 1;
    LoadFileOffset = 0;
    LoadBufferStart = 0;
    ConfigSpareWord = 0;
    std::memset(CurrentDeviceRecordTail, 0, sizeof CurrentDeviceRecordTail);
    std::memset(CurrentDeviceRecordTail, 0xFF, 5);
    DataFileName.clear();
    DataFileType = DataFileBinary;
    SavedFileName.clear();
    RecentDevices.clear();
    ProjectAuthor.clear();
    ProjectDescription.clear();
}
