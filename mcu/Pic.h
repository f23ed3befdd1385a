// The PIC family on the pin driver: serial members (rows 111, 112, 114, 115,
// 116, 121) that send 6-bit commands and framed data words on a clock and a
// data pin, parallel members (rows 110, 113) that move whole words on pin
// groups, the configuration table the option dialog and the log share, and
// the word checksums and Intel-hex records of the configuration.
#pragma once
#include <cstdint>
#include <string>

// The configuration word and the four ID words as last read, loaded from the
// buffer or packed from the fields (the ID text sets bits 0-3 of each ID
// word; the bits above stay as read or loaded).
extern uint32_t PicConfigWord;
extern uint32_t PicIdWords[4];
// Field values of the current configuration record, and the two ID characters.
extern uint32_t PicConfigFields[12];
extern char PicIdText[3];
// Result of the dialog's last Program button.
extern int PicConfigResult;

// One configuration record: 16 layout characters (bit 15 first; '0'-'9', ':',
// ';' mark fields 0-11, 'x' no field), a choice list per field (nullptr: the
// device has no such field) and the module routines for the configuration.
using PicConfigReadFn = void (*)();
using PicConfigProgramFn = int (*)();
struct PicConfigRecord {
    const char* Layout;
    const char* const* Lists[12];
    PicConfigReadFn Read;
    PicConfigProgramFn Program;
};
constexpr uint32_t PicConfigRecordCount = 24;
extern const PicConfigRecord PicConfigTable[PicConfigRecordCount];
// Field labels (dialog) and log formats, by field.
extern const char* const PicFieldLabels[12];
extern const char* const PicFieldLogFormats[12];
// Number of choices of a list.
uint32_t PicListSize(const char* const* list);

// Configuration-word masks of the 14-bit checksums, by DeviceVariant.
constexpr uint32_t PicConfigMask111Count = 7;
constexpr uint32_t PicConfigMask112Count = 4;
extern const uint16_t PicConfigMaskTables111[PicConfigMask111Count];
extern const uint16_t PicConfigMaskTables112[PicConfigMask112Count];

// The record of the selected device; nullptr when DeviceSubVariant is past
// the table (the librarian refuses such records).
const PicConfigRecord* CurrentPicConfigRecord();
// Bits of the configuration word that belong to field n.
uint32_t PicFieldMask(const PicConfigRecord& r, int field);

// Buffer positions (word view) of the configuration word and of the ID words
// (0: none) of the selected row.
struct PicPositions {
    uint32_t Config;
    uint32_t Id;
};
PicPositions PicBufferPositions();

void UnpackPicConfigFields();
// Packs the fields and the ID text into PicConfigWord and PicIdWords and
// stores them at the buffer positions. Bits of the word that no field covers
// keep their value, but for the copies the part keeps of its protection
// bits: those are set from the protection field, as the writer burns them.
void PackPicConfigFields();
// The configuration word with every copy the selected part keeps of its
// code-protection bits set from those bits.
uint32_t PicWithProtectionCopies(uint32_t word);
// Whether a configuration word read from the part puts its code protection
// in force, by the selected record's protection field ("Memory Protect")
// and the row's copies of it: its program words then read 0 or scrambled.
bool PicCodeProtected(uint32_t word);
// The line that says so, after a Read and after a failed Verify.
extern const char* const PicCodeProtectedLine;
// The log lines of the current configuration: the customer ID (when the row
// has ID words), every field that has a list, and the protection line when
// the word shows code protection.
void LogPicConfiguration();
// End of every PIC Read entry: after a failed Verify (mode 3, result -1)
// reads the part's configuration word and logs the protection line when it
// shows code protection; the buffer and the failing datum stay as they were.
void NotePicCodeProtection(int mode, int result);
// The engine's configuration-fuse step: programs the buffer's configuration.
int ProgramPicConfigFromBuffer();
// Options entry of every PIC row.
int Alg110Options();

// Per-word service of the PIC Read entries.
int ProcessReadPicWord(int mode);

// Parallel members: row 110 (12-bit words on 12 pins, OSC1 increment) and
// row 113 (16-bit words on two byte groups, start address loaded at entry).
int Alg110Read(int mode);
int Alg110Program();
void ReadPicConfig110();
int ProgramPicConfig110();
int Alg113Read(int mode);
int Alg113Program();
void ReadPicConfig113();
int ProgramPicConfig113();

void ReadPicConfig111();
int ProgramPicConfig111();
void ReadPicConfig112();
int ProgramPicConfig112();
void ReadPicConfig114();
int ProgramPicConfig114();
void ReadPicConfig115();
int ProgramPicConfig115();
void ReadPicConfig116();
int ProgramPicConfig116();
void ReadPicConfig121();
int ProgramPicConfig121();
int CheckPicSignature121();

uint32_t ComputeChecksum110();
uint32_t ComputeChecksum111();
uint32_t ComputeChecksum112();
uint32_t ComputeChecksum113();
void WritePicConfigHex110(std::string& out);
void WritePicConfigHex111(std::string& out);
void WritePicConfigHex113(std::string& out);

// The dialog launcher the shell installs (none: nothing is shown).
using PicDialogLauncher = int (*)();
void InstallPicDialogLauncher(PicDialogLauncher launcher);

void ResetPicState();

// Why the device library refuses a PIC record (configuration record past
// the table, a variant past its row's table, program words that reach the
// configuration words); empty for a sound record or another row.
std::string PicRecordRefusal(uint32_t row, uint32_t subVariant, uint32_t variant, uint32_t words);
