// The configuration file and project files: one 1791-byte ConfigurationBlock
// that keeps the user's settings, the current device, the data file and (for
// projects) an author and a description.
//
// Block layout (byte offsets; a 32-bit setting is stored as its low byte and
// read back sign-extended unless noted):
//
//     0  30   header "Configuration File Rev%s. " or "Project File       Rev%s. "
//             with ProgramRevision (at 22-25), then 1Ah, zero-padded
//    30   1   WordMode
//    31   1   FillByte (unsigned)
//    32   1   PortIndex
//    33   2   PortBase, low byte first
//    35   1   LastSocketIndex
//    36   2   ConfigSpareWord, high byte first
//    38   1   DeviceSection
//    39   1   PortDelayCount
//    40  12   TimerPrescale, BufferClearBeforeLoad, BlankCheckBeforeProgram,
//             VerifyAfterRead, VerifyAfterProgram, UnusedConfigOptions[4],
//             ByteSwap, DeviceInsertTest, AutoRepeatEnabled
//    52 119   CurrentDeviceRecord (92) and CurrentDeviceRecordTail (27)
//   171  80   ProgramDirectory (written, never restored)
//   251  80   DataFileName (78 characters and its zero at most), byte 330 DataFileType
//   331  80   SavedFileName
//   411  80   empty
//   491  80   empty
//   571 720   RecentDevices: 9 texts of 80 bytes, the list ends at the first empty
//  1291 100   ProjectAuthor
//  1391 400   ProjectDescription
//
// Every text field holds its text and a terminating zero inside the field.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Buffer.h"

constexpr size_t ConfigurationBlockSize = 1791;

struct ConfigurationBlock {
    uint8_t Bytes[ConfigurationBlockSize];
};

// Field offsets and sizes of the block.
enum : size_t {
    CfgHeader = 0, CfgHeaderSize = 30,
    CfgRevisionAt = 22,
    CfgWordMode = 30,
    CfgFillByte = 31,
    CfgPortIndex = 32,
    CfgPortBase = 33,
    CfgLastSocketIndex = 35,
    CfgSpareWord = 36,
    CfgDeviceSection = 38,
    CfgPortDelayCount = 39,
    CfgOptions = 40, CfgOptionCount = 12,
    CfgDeviceRecord = 52, CfgDeviceRecordTailSize = 27,
    CfgProgramDirectory = 171,
    CfgDataFileName = 251,
    CfgDataFileType = 330,
    CfgSavedFileName = 331,
    CfgSpareText1 = 411,
    CfgSpareText2 = 491,
    CfgRecentDevices = 571, CfgRecentDeviceCount = 9,
    CfgProjectAuthor = 1291, CfgProjectAuthorSize = 100,
    CfgProjectDescription = 1391, CfgProjectDescriptionSize = 400,
    CfgTextSize = 80,
};

// The program's revision, written into every block ("2.8i").
extern const char* const ProgramRevision;

// Operation and load settings of the configuration dialog that the
// configuration keeps (the port settings live in engine/Port.h, FillByte in
// engine/Buffer.h, WordMode, LastSocketIndex and ByteSwap in engine/Device.h).
extern uint32_t BufferClearBeforeLoad;   // 0
extern uint32_t BlankCheckBeforeProgram; // 1
extern uint32_t VerifyAfterRead;         // 0
extern uint32_t VerifyAfterProgram;      // 1
extern uint32_t DeviceInsertTest;        // 0
extern uint32_t AutoRepeatEnabled;       // 0
// Four option words kept for the file and used nowhere (100, 0, 0, 1).
extern int32_t UnusedConfigOptions[4];
// Offsets of a data-file load: file offset skipped, buffer address of its first byte.
extern uint32_t LoadFileOffset;
extern uint32_t LoadBufferStart;
// A 16-bit value the file keeps and the program uses nowhere else.
extern uint16_t ConfigSpareWord;
// The 27 bytes stored after CurrentDeviceRecord, kept unchanged.
extern uint8_t CurrentDeviceRecordTail[CfgDeviceRecordTailSize];

// The file name of the last Save.
extern std::string SavedFileName;
// "maker device" of earlier selections, oldest first; at most 9 are kept.
constexpr size_t RecentDeviceMax = 9;
extern std::vector<std::string> RecentDevices;
extern std::string ProjectAuthor;      // at most 99 bytes are stored
extern std::string ProjectDescription; // at most 399 bytes are stored

// Error codes of the two file functions (texts of ErrorTextTable).
enum : int { CfgErrorOpen = 41, CfgErrorRead = 39, CfgErrorIllegal = 48, CfgErrorWrite = 49 };

// Reads a configuration file (projectFlag 0) or a project file (1): restores
// the settings and the device, refills the buffer, reloads the data file,
// logs the checksum and brings the programmer up. Returns 0, 41 (cannot
// open), 39 (read failure or short file) or 48 (not such a file). A refused
// file changes nothing; only the programmer is still searched.
int LoadConfigOrProjectFile(const std::string& path, int projectFlag);
// The outcome of a save: the program's own error code (49, write failure) or
// the system's error number of a failed create, never both. The two ranges
// overlap (36 is "Chip address mismatching." and ENAMETOOLONG), so each is
// shown by its own function: ShowErrorByCode or ShowSystemError.
struct FileSaveResult {
    int Code = 0;        // 0 or the program's error code
    int SystemError = 0; // 0 or errno of the failed create
    bool Ok() const { return Code == 0 && SystemError == 0; }
    // The text of the failure ("" when none).
    std::string Text() const;
    // Logs the failure's text (nothing when none).
    void Show() const;
};
// Writes the block of the current settings.
FileSaveResult SaveConfigOrProjectFile(const std::string& path, int projectFlag);

// The block of the current settings. Paths that do not fit their field are
// stored empty and a line says so.
void BuildConfigurationBlock(ConfigurationBlock& block, int projectFlag);
// The settings a block holds, checked value by value.
struct ConfigurationValues {
    uint32_t WordMode = 0;
    uint32_t FillByte = 0xFF;
    uint32_t PortIndex = 0;
    uint32_t PortBase = 0x378;
    uint32_t LastSocketIndex = 0;
    uint16_t SpareWord = 0;
    uint32_t DeviceSection = 0;
    uint32_t PortDelayCount = 0;
    int32_t Options[CfgOptionCount] = {};
    bool RecordValid = false;
    uint8_t Record[92] = {};
    uint8_t RecordTail[CfgDeviceRecordTailSize] = {};
    std::string DataFileName;
    uint8_t DataFileType = 0;
    std::string SavedFileName;
    std::vector<std::string> RecentDevices;
    std::string ProjectAuthor;
    std::string ProjectDescription;
};
// Checks the header (0 or 48) and decodes every field into values; a value
// outside its range is replaced by its default and logged.
int DecodeConfigurationBlock(const ConfigurationBlock& block, int projectFlag,
                             ConfigurationValues& values);

// Back to the start-up state of this area.
void ResetConfigState();
