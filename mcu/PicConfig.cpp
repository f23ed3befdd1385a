// The PIC configuration table, the field packing the dialog and the log
// share, and the word checksums and hex records of the PIC rows. Nothing
// here touches a widget, so the log and the configuration-fuse step run on
// the operation thread.
#include <cstdio>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Services.h"
#include "mcu/Pic.h"
#include "mcu/PicShared.h"

uint32_t PicConfigFields[12] = {};
char PicIdText[3] = {};
int PicConfigResult = 1;

namespace {

const char* const kA[] = {"LP-Low Frequency Crystal", "XT-Standard Crystal", "HS-High Speed Crystal", "RC-Oscillator",
                          nullptr};
const char* const kB[] = {"Enable", "Disable", nullptr};
const char* const kC[] = {"Disable", "Enable", nullptr};
const char* const kD[] = {"All memory protected", "Upper 1/2 memory protected", "Do not use", "Code Protection off",
                          nullptr};
const char* const kE[] = {"All memory protected", "Upper 3/4 memory protected", "Upper 1/2 memory protected",
                          "Code Protection off", nullptr};
const char* const kF[] = {"LF oscillator", "RC oscillator", "XT oscillator", "EC oscillator", nullptr};
const char* const kG[] = {"WDT disabled, 16bit overflow timer", "WDT enabled, postscaler = 64",
                          "WDT enabled, postscaler = 256", "WDT enabled, postscaler = 0", nullptr};
const char* const kH[] = {"Code protected microcontroller mode", "Extended microcontroller mode",
                          "Microcontroller mode", "Microprocessor mode", nullptr};
const char* const kI[] = {"LP oscillator", "XT oscillator", "Int RC oscillator", "Ext RC oscillator", nullptr};
const char* const kJ[] = {"Code Memory Protected", "Code Memory Unprotected", nullptr};
const char* const kK[] = {"MCLR internally connected to Vdd", "MCLR pin enabled", nullptr};
const char* const kL[] = {"All memory protected", "Do not use", "Do not use", "Code Protection off", nullptr};
const char* const kM[] = {"LP oscillator",           "XT oscillator",         "HS oscillator",
                          "Invalid selection",       "INTRC oscillator/GP4",  "INTRC oscillator/CLKOUT",
                          "EXTRC oscillator/GP4",    "EXTRC oscillator/CLKOUT", nullptr};
const char* const kN[] = {"0000h-07FFh code protected", "0200h-07FFh code protected", "0400h-07FFh code protected",
                          "Code Protection off", nullptr};
const char* const kO[] = {"MCLR pin function is digital I/O", "MCLR pin function is MCLR", nullptr};
const char* const kP[] = {"HS oscillator", "Internal RC oscillator", nullptr};
const char* const kQ[] = {"All Protected", "Do not use", "Do not use", "All Unprotected", nullptr};
const char* const kR[] = {"LP oscillator",           "XT oscillator",         "HS oscillator",
                          "Invalid selection",       "INTRC oscillator/RB4",  "INTRC oscillator/CLKOUT",
                          "EXTRC oscillator/RB4",    "EXTRC oscillator/CLKOUT", nullptr};
const char* const kS[] = {"0000h-0FFFh code protected", "0800h-0FFFh code protected", "0F00h-0FFFh code protected",
                          "Code Protection off", nullptr};
const char* const kT[] = {"Mem may not be written to by EECON", "Mem may be written to by EECON", nullptr};
const char* const kU[] = {"Background debugger functional", "Background debugger not enabled", nullptr};
const char* const kV[] = {"0000h-1FFFh code protected", "1000h-1FFFh code protected", "1F00h-1FFFh code protected",
                          "Code Protection off", nullptr};
const char* const kW[] = {"Vbor set to 4.5V", "Vbor set to 4.2V", "Vbor set to 2.7V", "Vbor set to 2.5V", nullptr};
// The 1K-word PIC12C67x: CP1:CP0 01 protects 0200h-03FFh, 10 is reserved.
const char* const kX[] = {"0000h-03FFh code protected", "0200h-03FFh code protected", "Do not use",
                          "Code Protection off", nullptr};

PicDialogLauncher g_launcher = nullptr;

} // namespace

const char* const PicFieldLabels[12] = {"Oscillator",      "Watchdog Timer", "Power-up Timer",   "Memory Protect",
                                        "Data Protect",    "Brown Out",      "MCLR",             "Memory Parity",
                                        "Low Voltage Pgm", "Flash Write Enable", "Background Debug", "Brown Out Voltage"};
const char* const PicFieldLogFormats[12] = {
    "Oscillator: %s",    "Watchdog Timer: %s",  "Power-up Timer: %s",      "Memory Protect: %s",
    "Data Protect: %s",  "Brown Out: %s",       "MCLR: %s",                "Memory Parity: %s",
    "Low Voltage Pgm: %s", "Flash Write Enable: %s", "Background Debug: %s", "Brown Out Voltage: %s"};

const PicConfigRecord PicConfigTable[PicConfigRecordCount] = {
    {"xxxxxxxxxxxx3x00", {kA, nullptr, nullptr, kB}, ReadPicConfig110, ProgramPicConfig110},
    {"xxxxxxxxxxxx3100", {kA, kC, nullptr, kB}, ReadPicConfig110, ProgramPicConfig110},
    {"xxxxxxxxxxx32100", {kA, kC, kC, kB}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxxx5332100", {kA, kC, kB, kD, nullptr, kC}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxxx5332100", {kA, kC, kB, kE, nullptr, kC}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxxxx332100", {kA, kC, kC, kE}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxxxxx32100", {kA, kC, kC, kB}, ReadPicConfig112, ProgramPicConfig112},
    {"xxxxxxxx4xx32100", {kA, kC, kC, kB, kB}, ReadPicConfig112, ProgramPicConfig112},
    {"xxxxxxxxx3x31100", {kF, kG, nullptr, kH}, ReadPicConfig113, ProgramPicConfig113},
    {"xxxxxxxxx5x32100", {kA, kC, kB, kB, nullptr, kC}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxxxxx63100", {kI, kC, nullptr, kJ, nullptr, nullptr, kK}, ReadPicConfig114, ProgramPicConfig114},
    {"xxxxxxxxxx332100", {kA, kC, kB, kL}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxxxx332100", {kA, kC, kB, kD}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxxxx332100", {kA, kC, kB, kE}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxx75332100", {kA, kC, kB, kE, nullptr, kC, nullptr, kC}, ReadPicConfig111, ProgramPicConfig111},
    {"xxxxxxxx63321000", {kM, kC, kB, kN, nullptr, nullptr, kO}, ReadPicConfig115, ProgramPicConfig115},
    {"xxxxxxxxxx3321x0", {kP, kC, kB, kQ}, ReadPicConfig116, ProgramPicConfig116},
    {"xxxxxxxxxx631000", {kR, kC, nullptr, kB, nullptr, nullptr, kO}, ReadPicConfig114, ProgramPicConfig114},
    {"x5xxxxxxx3x31100", {kF, kG, nullptr, kH, nullptr, kC}, ReadPicConfig113, ProgramPicConfig113},
    {"xxxx:x9485332100", {kA, kC, kB, kS, kB, kC, nullptr, nullptr, kC, kT, kU}, ReadPicConfig121,
     ProgramPicConfig121},
    {"xxxx:x9485332100", {kA, kC, kB, kV, kB, kC, nullptr, nullptr, kC, kT, kU}, ReadPicConfig121,
     ProgramPicConfig121},
    {"xxxx;;xxx5332100", {kA, kC, kB, kE, nullptr, kC, nullptr, nullptr, nullptr, nullptr, nullptr, kW},
     ReadPicConfig111, ProgramPicConfig111},
    // PIC16F83/84: as record 6, but PWRTE is active low.
    {"xxxxxxxxxxx32100", {kA, kC, kB, kB}, ReadPicConfig112, ProgramPicConfig112},
    // PIC12C671/CE673: as record 15 with the 1K-word protection ranges.
    {"xxxxxxxx63321000", {kM, kC, kB, kX, nullptr, nullptr, kO}, ReadPicConfig115, ProgramPicConfig115},
};

const uint16_t PicConfigMaskTables111[PicConfigMask111Count] = {0x001F, 0x3F7F, 0x003F, 0x3FFF,
                                                                0x3FFF, 0x3FFF, 0x3FBD};
const uint16_t PicConfigMaskTables112[PicConfigMask112Count] = {0x001F, 0x3FFF, 0x3FFF, 0x0BFF};

uint32_t PicListSize(const char* const* list) {
    uint32_t n = 0;
    while (list != nullptr && list[n] != nullptr) ++n;
    return n;
}

const PicConfigRecord* CurrentPicConfigRecord() {
    return DeviceSubVariant < PicConfigRecordCount ? &PicConfigTable[DeviceSubVariant] : nullptr;
}

uint32_t PicFieldMask(const PicConfigRecord& r, int field) {
    uint32_t mask = 0;
    for (int k = 0; k < 16 && r.Layout[k] != '\0'; ++k) {
        if (r.Layout[k] - '0' == field) mask |= 1u << (15 - k);
    }
    return mask;
}

PicPositions PicBufferPositions() {
    switch (CurrentAlgorithm) {
    case 110:
    case 114: return {0xFFF, DeviceSize}; // after the part's last program word
    case 113: return {0x7E00, 0};
    default: return {0x2007, 0x2000};
    }
}

namespace {

uint16_t& BufferWord(uint32_t index) { return PicFixedWord(index); }

// The configuration words' bank (row 113's is the buffer's second) is
// selected while the object lives, the one shown before again after.
class ConfigBank {
public:
    ConfigBank() : shown_(CurrentBank) { SelectBank(CurrentAlgorithm == 113 ? 0x10000 : 0, 1); }
    ~ConfigBank() { SelectBank(shown_ << 16, 0); }
    ConfigBank(const ConfigBank&) = delete;
    ConfigBank& operator=(const ConfigBank&) = delete;

private:
    uint32_t shown_;
};

} // namespace

void UnpackPicConfigFields() {
    // The ID text from the low nibble of each ID word.
    PicIdText[0] = static_cast<char>((PicIdWords[1] & 15) << 4 | (PicIdWords[0] & 15));
    PicIdText[1] = static_cast<char>((PicIdWords[3] & 15) << 4 | (PicIdWords[2] & 15));
    PicIdText[2] = 0;
    const PicConfigRecord* r = CurrentPicConfigRecord();
    for (int n = 0; n < 12; ++n) {
        uint32_t value = 0;
        int j = 0;
        const uint32_t mask = r != nullptr ? PicFieldMask(*r, n) : 0;
        for (int b = 0; b < 16; ++b) {
            if ((mask >> b) & 1) value |= ((PicConfigWord >> b) & 1) << j++;
        }
        PicConfigFields[n] = value;
    }
}

void PackPicConfigFields() {
    const auto c0 = static_cast<uint8_t>(PicIdText[0]), c1 = static_cast<uint8_t>(PicIdText[1]);
    // The ID text sets bits 0-3 of each ID word; the bits above stay as
    // read or loaded, so a file's ID words program as it holds them.
    const uint32_t nibbles[4] = {c0 & 15u, (c0 >> 4u) & 15u, c1 & 15u, (c1 >> 4u) & 15u};
    for (int i = 0; i < 4; ++i) PicIdWords[i] = (PicIdWords[i] & ~15u) | nibbles[i];
    // Only the bits of the fields change: every other bit keeps the value the
    // word was read or loaded with, so a file's configuration word (code
    // protection off in bits no field shows) programs and saves as it came.
    uint32_t covered = 0, packed = 0;
    if (const PicConfigRecord* r = CurrentPicConfigRecord()) {
        for (int n = 0; n < 12; ++n) {
            const uint32_t mask = PicFieldMask(*r, n);
            int j = 0;
            for (int b = 0; b < 15; ++b) {
                if (((mask >> b) & 1) == 0) continue;
                covered |= 1u << b;
                packed |= ((PicConfigFields[n] >> j++) & 1) << b;
            }
        }
    }
    // The copies of the protection bits follow the choice in the buffer as
    // well, so a saved file holds the word the part is burnt with.
    PicConfigWord = PicWithProtectionCopies((PicConfigWord & 0xFFFFu & ~covered) | packed);
    const PicPositions at = PicBufferPositions();
    BufferWord(at.Config) = static_cast<uint16_t>(PicConfigWord);
    if (at.Id != 0) {
        for (uint32_t i = 0; i < 4; ++i) BufferWord(at.Id + i) = static_cast<uint16_t>(PicIdWords[i]);
    }
}

const char* const PicCodeProtectedLine = " Device code protected! The words read are not its program.";

bool PicCodeProtected(uint32_t word) {
    const PicConfigRecord* r = CurrentPicConfigRecord();
    if (r == nullptr) return false;
    // Field 3 of every record is the protection field.
    const uint32_t bits = PicFieldMask(*r, 3);
    if (bits == 0) return false;
    // Row 113's field chooses the processor mode: only PM1:PM0 both 0 (and
    // PM2, their copy, clear) is the code-protected one. Elsewhere any programmed bit protects (some
    // choices a part of the memory).
    const bool chosen = CurrentAlgorithm == 113 ? (word & bits) == 0 : (word & bits) != bits;
    // Copies that disagree with the bits leave the protection out of force.
    return chosen && (PicWithProtectionCopies(word) & 0xFFFF) == (word & 0xFFFF);
}

void LogPicConfiguration() {
    const PicConfigRecord* r = CurrentPicConfigRecord();
    if (r == nullptr) return;
    const ConfigBank bank;
    UnpackPicConfigFields();
    if (PicBufferPositions().Id != 0) ShowMessageLine("Custmer ID: %s", ChipCharsForLog(PicIdText, 2).c_str());
    for (int n = 0; n < 12; ++n) {
        const char* const* list = r->Lists[n];
        if (list == nullptr) continue;
        const char* text = PicConfigFields[n] < PicListSize(list) ? list[PicConfigFields[n]] : "";
        ShowMessageLine(PicFieldLogFormats[n], text);
    }
    if (PicCodeProtected(PicConfigWord)) ShowMessageLine("%s", PicCodeProtectedLine);
}

void NotePicCodeProtection(int mode, int result) {
    if (mode != ReadModeVerify || result != -1) return;
    const PicConfigRecord* r = CurrentPicConfigRecord();
    if (r == nullptr || r->Read == nullptr) return;
    // The read routine stores what it reads in the variables and at the
    // buffer's configuration and ID words, and leaves the chip's last word
    // where the engine names the failing datum from: all put back after.
    const PicPositions at = PicBufferPositions();
    const uint32_t config = PicConfigWord, read = ReadValue, expected = ExpectedValue, index = BufferIndex,
                   address = ChipAddress, blank = BlankWord, step = ProgressStep;
    uint32_t ids[4];
    uint16_t buffered[5];
    for (uint32_t i = 0; i < 4; ++i) {
        ids[i] = PicIdWords[i];
        buffered[i + 1] = at.Id != 0 ? BufferWord(at.Id + i) : 0;
    }
    buffered[0] = BufferWord(at.Config);
    r->Read();
    const bool on = PicCodeProtected(PicConfigWord);
    PicConfigWord = config;
    BufferWord(at.Config) = buffered[0];
    for (uint32_t i = 0; i < 4; ++i) {
        PicIdWords[i] = ids[i];
        if (at.Id != 0) BufferWord(at.Id + i) = buffered[i + 1];
    }
    ReadValue = read;
    ExpectedValue = expected;
    BufferIndex = index;
    ChipAddress = address;
    BlankWord = blank;
    ProgressStep = step;
    if (on) ShowMessageLine("%s", PicCodeProtectedLine);
}

int ProgramPicConfigFromBuffer() {
    const PicConfigRecord* r = CurrentPicConfigRecord();
    if (r == nullptr || r->Program == nullptr) return -1;
    const ConfigBank bank;
    const PicPositions at = PicBufferPositions();
    if (at.Id != 0) {
        for (uint32_t i = 0; i < 4; ++i) PicIdWords[i] = BufferWord(at.Id + i);
    }
    PicConfigWord = BufferWord(at.Config);
    UnpackPicConfigFields();
    PackPicConfigFields();
    return r->Program();
}

void InstallPicDialogLauncher(PicDialogLauncher launcher) { g_launcher = launcher; }

int Alg110Options() {
    const ConfigBank bank;
    if (g_launcher != nullptr) g_launcher();
    return 1;
}

// ---- checksums ---------------------------------------------------------------------------

namespace {

// Sum of the masked words 0..DeviceEnd. The calibration rows leave out the
// part's last program word (the maker's calibration value), not Chip End's:
// a shorter range sums every word it programs.
uint32_t SumWords(uint32_t mask, bool calibration) {
    uint32_t sum = 0;
    const uint32_t end = DeviceEnd < 0x7FFF ? DeviceEnd : 0x7FFF;
    for (uint32_t i = 0; i <= end; ++i) {
        if (calibration && i + 1 == DeviceSize) continue;
        sum += BufferWords[i] & mask;
    }
    return sum;
}

} // namespace

uint32_t ComputeChecksum110() {
    BufferChecksum = SumWords(0xFFF, CurrentAlgorithm == 114);
    BufferChecksum += (BufferWords[0xFFF] & 0xFFFu) | 0xFF0u;
    return BufferChecksum;
}

uint32_t ComputeChecksum111() {
    // A variant past the mask table counts the whole 14-bit word.
    const uint32_t mask = DeviceVariant < PicConfigMask111Count ? PicConfigMaskTables111[DeviceVariant] : 0x3FFF;
    BufferChecksum = SumWords(0x3FFF, CurrentAlgorithm == 115) + (BufferWords[0x2007] & mask);
    return BufferChecksum;
}

uint32_t ComputeChecksum112() {
    const uint32_t mask = DeviceVariant < PicConfigMask112Count ? PicConfigMaskTables112[DeviceVariant] : 0x3FFF;
    BufferChecksum = SumWords(0x3FFF, false) + (BufferWords[0x2007] & mask);
    return BufferChecksum;
}

uint32_t ComputeChecksum113() {
    BufferChecksum = SumWords(0xFFFF, false);
    const ConfigBank bank;
    const uint32_t mask = DeviceVariant != 0 ? 0x15F : 0xFFFF;
    BufferChecksum += BufferWords[0x7E00] & mask;
    return BufferChecksum;
}

// ---- hex records ---------------------------------------------------------------------------

namespace {

void AppendRecord(std::string& out, const char* text) {
    std::string line(text);
    AppendHexRecordChecksum(line, HexFormatIntel);
    out += line;
}

// The four ID words from byte address a (both bytes, low first, so a word
// with bits above the low byte saves whole), and the configuration word's
// two bytes at byte address c.
void AppendIdAndConfig(std::string& out, uint32_t a, uint32_t c) {
    char line[64];
    auto at = [a](uint32_t k) { return BufferWindow[(a + k) & 0xFFFF]; };
    std::snprintf(line, sizeof line, ":08%04X00%02X%02X%02X%02X%02X%02X%02X%02X", a & 0xFFFF, at(0), at(1), at(2),
                  at(3), at(4), at(5), at(6), at(7));
    AppendRecord(out, line);
    std::snprintf(line, sizeof line, ":02%04X00%02X%02X", c & 0xFFFF, BufferWindow[c & 0xFFFF],
                  BufferWindow[(c + 1) & 0xFFFF]);
    AppendRecord(out, line);
}

} // namespace

void WritePicConfigHex110(std::string& out) { AppendIdAndConfig(out, DeviceSize * 2, 0x1FFE); }

void WritePicConfigHex111(std::string& out) {
    AppendIdAndConfig(out, 0x4000, 0x400E);
    // The data memory of the flash rows, where the toolchains put it: a
    // word a byte from byte 4200h, the data byte in each low byte.
    const uint32_t end = 0x4200 + 2 * PicDataBytes();
    for (uint32_t a = 0x4200; a < end; a += 16) {
        char line[48];
        int n = std::snprintf(line, sizeof line, ":10%04X00", a);
        for (uint32_t k = 0; k < 16 && n > 0; ++k)
            n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X", BufferWindow[a + k]);
        AppendRecord(out, line);
    }
}

// The configuration word 0FE00h at byte 1FC00h: a segment record for the
// base 10000h, left in force up to the end record.
void WritePicConfigHex113(std::string& out) {
    AppendRecord(out, ":020000021000");
    const ConfigBank bank;
    char line[32];
    std::snprintf(line, sizeof line, ":02FC0000%02X%02X", BufferWindow[0xFC00], BufferWindow[0xFC01]);
    AppendRecord(out, line);
}

std::string PicRecordRefusal(uint32_t row, uint32_t subVariant, uint32_t variant, uint32_t words) {
    const bool twelve = row == 110 || row == 114;
    const bool fourteen = row == 111 || row == 112 || row == 115 || row == 116 || row == 121;
    if (!twelve && !fourteen && row != 113) return "";
    if (subVariant >= PicConfigRecordCount)
        return "subvariant " + std::to_string(subVariant) + " past the " + std::to_string(PicConfigRecordCount) +
               " PIC configuration records";
    const bool table111 = row == 111 || row == 115 || row == 116;
    const bool table112 = row == 112 || row == 121;
    if ((table111 && variant >= PicConfigMask111Count) || (table112 && variant >= PicConfigMask112Count))
        return "variant " + std::to_string(variant) + " past algorithm " + std::to_string(row) + "'s " +
               std::to_string(table111 ? PicConfigMask111Count : PicConfigMask112Count);
    // Program words stay below the configuration word (12-bit: 0FFFh, after
    // four ID words), the ID words (14-bit: 2000h) and row 116's 64 extra words.
    const uint32_t limit = twelve ? 0xFFF - 4 : row == 113 ? 0xFE00 : row == 116 ? 0x2000 - 64 : 0x2000;
    if (words == 0 || words > limit)
        return "size of " + std::to_string(words) + " words does not fit below the configuration words";
    return "";
}
