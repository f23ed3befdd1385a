#include "logic/TextListPld.h"

#include <cstring>
#include <string>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "logic/FuseCells.h"

namespace {

constexpr int kWriting = 1, kBlank = 0, kVerify = 3, kEraseMode = 5;
enum Groups { kData = 0, kAddress = 1, kModeCode = 2 };
constexpr int kProgramCode = 12, kEraseCode = 13;
constexpr uint8_t kMaker = 0xC9;

// Pin set-ups (socket pins).
struct TextListPins {
    int Address[16], Data[8], Mode[4];
    int Oe, Pgm, Hv, Le;
    int Grounds[8]; // 0 ends the list
    int Vpp;
};
// 44-pin: A13 is pin 16 on row 253 and 47 on row 254 (variant 0); A14/A15
// are 36/1 on row 253 and both 2 on row 254 (variant 1).
constexpr TextListPins kPins44V0{{31, 32, 35, 36, 37, 38, 39, 40, 10, 11, 13, 14, 15, 16, 1, 2},
                                 {20, 21, 22, 17, 24, 26, 27, 28}, {6, 9, 4, 5}, 44, 30, 3, 46,
                                 {19, 29, 7, 8, 18, 41, 42, 45}, 43};
constexpr TextListPins kPins44V1{{44, 46, 4, 9, 16, 17, 19, 26, 27, 28, 29, 30, 31, 32, 36, 1},
                                 {10, 11, 13, 14, 15, 20, 21, 22}, {37, 38, 39, 40}, 6, 5, 3, 35,
                                 {24, 7, 8, 18, 41, 42, 45, 0}, 43};
constexpr TextListPins kPins84{{20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5},
                               {21, 22, 23, 25, 26, 27, 28, 29}, {37, 38, 39, 40}, 36, 35, 41, 34,
                               {0}, 1};

// Voltages (0.1 V) of a row.
struct TextListLevels {
    int Supply, Entry, AfterEntry;
    uint32_t AfterEntryUs;
    int Verify, Read, BlankRead;
};
constexpr TextListLevels kLevels253{52, 113, 52, 500, 70, 66, 35};
constexpr TextListLevels kLevels254{33, 80, 33, 10, 16, 19, 55};
constexpr int kProgram253 = 110, kErase253 = 120;
constexpr int kProgram254[2] = {75, 86}, kErase254[2] = {80, 92}; // set A, set B

// Row 253's code reads.
constexpr uint16_t kMakerReads253[4] = {0x28E, 0x24E, 0x20E, 0x1CE};
constexpr uint16_t kProductReads253[4] = {0x18E, 0x14E, 0x10E, 0xCE};
constexpr uint16_t kSecurity253[13] = {0x060, 0x163, 0x883, 0x2163, 0x2883, 0x4163, 0x4883,
                                        0x6163, 0x6883, 0x8163, 0x8883, 0xA163, 0xA883};
constexpr int kSecurityCount253[3] = {5, 9, 13};

struct Slot {
    uint32_t Row;
    const TextListPins* Pins = nullptr;
    TextListPins Own{};
    const TextListLevels* Levels = nullptr;
    uint32_t Entry = 0;
    int SecurityCells = 0;
    int Set254 = 0; // voltage set A (0) or B (1)
};

// --- The list

bool IsToken(const std::string& t, const char* s) { return t == s; }

// The hexadecimal value of a token, its last character dropped when `trim`.
uint32_t HexValue(std::string t, bool trim) {
    if (trim && !t.empty()) t.pop_back();
    if (t.size() > 8) t.erase(0, t.size() - 8);
    char buffer[9] = {};
    std::memcpy(buffer, t.data(), t.size());
    return static_cast<uint32_t>(HexTextToInt(buffer));
}

// Reads the records of the open entry of `size` bytes.
std::vector<ListRecord> ParseList(uint32_t row, uint32_t size, bool& headerFound) {
    std::vector<ListRecord> records;
    headerFound = false;
    const char* first = row == 253 ? "Version" : "'00'";
    const char* second = row == 253 ? "1.00" : "value.";
    uint32_t pos = 0;
    std::string t;
    auto next = [&](std::string& out) {
        if (pos >= size) return false;
        out.clear();
        pos = ReadLibraryToken(pos, out);
        return !out.empty();
    };
    while (!headerFound && next(t)) {
        while (IsToken(t, first)) {
            if (!next(t)) return records;
            if (IsToken(t, second)) {
                headerFound = true;
                break;
            }
        }
    }
    if (!headerFound) return records;
    uint8_t mask = 0;
    bool marked = false;
    std::string skip, value;
    while (next(t)) {
        if (row == 254 && IsToken(t, "NWL")) {
            marked = true;
            continue;
        }
        if (IsToken(t, "MASK")) {
            if (!next(skip) || !next(value)) break;
            const auto m = static_cast<uint8_t>(HexValue(value, true) & 0xFF);
            if (!next(skip) || !next(skip) || !next(t)) break; // cut short: ignored
            mask = m;
        }
        records.push_back({HexValue(t, row == 253) & 0xFFFF, mask, marked});
        marked = false;
    }
    return records;
}

// --- The frame

void SetAddress(uint32_t a) { WritePinGroup(kAddress, 0, 15, a & 0xFFFF); }

void ModeCode(const Slot& s, int code) {
    SetPin(s.Pins->Oe, 0);
    SetPin(s.Pins->Pgm, 0);
    SetPin(s.Pins->Hv, 0);
    WritePinGroup(kModeCode, 0, 3, static_cast<uint64_t>(code));
    PulsePinTimed(s.Pins->Le, 3, 1);
    WritePinGroup(kModeCode, 0, 3, 0);
    SetPin(s.Pins->Hv, 1);
    SetPin(s.Pins->Oe, 1);
    SetPin(s.Pins->Pgm, 1);
    SetAddress(0);
}

void HighVoltageEntry(const Slot& s) {
    SetPin(s.Pins->Hv, 1);
    SetPin(s.Pins->Oe, 1);
    SetPin(s.Pins->Pgm, 1);
    SetDacVoltage(1, s.Levels->Entry);
    DelayShortUsSlot(200);
    SetDacVoltage(1, s.Levels->AfterEntry);
    DelayShortUsSlot(s.Levels->AfterEntryUs);
    SetPin(s.Pins->Oe, 0);
    SetPin(s.Pins->Pgm, 0);
    SetPin(s.Pins->Hv, 0);
}

uint32_t ReadData(const Slot& s) {
    if (s.Row == 254) SetPin(s.Pins->Oe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(kData, 0, 7));
    if (s.Row == 254) SetPin(s.Pins->Oe, 1);
    return ReadValue;
}

uint32_t ReadAt(const Slot& s, uint32_t address) {
    SetAddress(address);
    return ReadData(s);
}

void WriteByte(const Slot& s, uint8_t mask) {
    if (s.Row == 253) {
        WritePinGroup(kData, 0, 7, (~mask | ExpectedValue) & 0xFF);
        PulsePinTimed(s.Pins->Pgm, 2, 100);
        FloatPinGroup(kData, 0, 7);
    } else {
        WritePinGroup(kData, 0, 7, ExpectedValue & mask);
        PulsePin(s.Pins->Le, 3);
    }
}

void PowerDown(const Slot& s) {
    FloatPinGroup(kData, 0, 7);
    FloatPinGroup(kAddress, 0, 15);
    SetDacVoltage(1, s.Levels->Supply);
    SetSupplyPinA(s.Pins->Vpp, 0);
    SetPin(s.Pins->Pgm, 0);
    SetPin(s.Pins->Oe, 0);
    SetPin(s.Pins->Le, 0);
    DelayShortUsSlot(100);
    SetDevicePower(0, 20);
}

// The pin set-up of the package and variant, the list entry; false (with
// " Device not supported!") where the row has none, before any pin moves.
bool Assign(Slot& s) {
    const uint32_t pins = PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0;
    s.Entry = TextListEntry(s.Row, DeviceVariant);
    if (pins == 44 && DeviceVariant <= 1) {
        s.Own = DeviceVariant == 0 ? kPins44V0 : kPins44V1;
        if (s.Row == 254 && DeviceVariant == 0) s.Own.Address[13] = 47;
        if (s.Row == 254 && DeviceVariant == 1) s.Own.Address[14] = s.Own.Address[15] = 2;
        s.Pins = &s.Own;
    } else if (pins == 84 && s.Row == 253) {
        s.Pins = &kPins84;
    }
    if (s.Pins == nullptr || s.Entry == 0) {
        RefuseRun(" Device not supported!");
        return false;
    }
    s.Levels = s.Row == 253 ? &kLevels253 : &kLevels254;
    s.SecurityCells = s.Row == 253 ? kSecurityCount253[DeviceVariant] : (DeviceVariant == 0 ? 2 : 4);
    return true;
}

// Row 254's product codes by variant: set A, set B (B with extra code 0 on
// variants 0 and 1).
constexpr uint8_t kProductsA254[4] = {0x36, 0x37, 0x35, 0x3A};
constexpr uint8_t kProductsB254[4] = {0x30, 0x31, 0x32, 0x33};

bool ProductAccepted253(uint32_t code) {
    switch (DeviceVariant) {
    case 0: return code == 0x22 || code == 0x29;
    case 1: return code == 0x23;
    case 2: return code == 0x20 || code == 0x26 || code == 0x27;
    default: return true;
    }
}

// Set-up and code check: the device powered, in program mode; -1 (device
// powered down, one line) when a code is refused.
int SetUp(Slot& s, int mode) {
    BlankCheckAfterErase = 0;
    ReadBackAfterSecure = 0;
    if (s.Row == 254) BlankValue = 0;
    s.Set254 = 0;
    if (!Assign(s)) return -1;
    const TextListPins& p = *s.Pins;
    DefinePinGroup("", kData, p.Data[0], p.Data[1], p.Data[2], p.Data[3], p.Data[4], p.Data[5], p.Data[6], p.Data[7], 0);
    DefinePinGroup("", kAddress, p.Address[0], p.Address[1], p.Address[2], p.Address[3], p.Address[4], p.Address[5],
                   p.Address[6], p.Address[7], p.Address[8], p.Address[9], p.Address[10], p.Address[11],
                   p.Address[12], p.Address[13], p.Address[14], p.Address[15], 0);
    DefinePinGroup("", kModeCode, p.Mode[0], p.Mode[1], p.Mode[2], p.Mode[3], 0);
    for (int g : p.Grounds)
        if (g != 0) SetGroundPin(g, 1);
    const int supply = s.Levels->Supply;
    SetVccRange(0, supply);
    SetAllDacVoltages(supply, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    for (int pin : {p.Pgm, p.Oe, p.Hv, p.Le}) SetPin(pin, 0);
    WritePinGroup(kModeCode, 0, 3, 0);
    SetDevicePower(1, supply);
    SetSupplyPinA(p.Vpp, 1);
    DelayShortUsSlot(100);
    HighVoltageEntry(s);
    ModeCode(s, kProgramCode);

    uint32_t maker = 0, product = 0, extra = 0;
    bool secured = false;
    if (s.Row == 253) {
        SetPin(p.Oe, 0);
        // The four maker reads, then the four product reads: two bits each.
        for (int i = 0; i < 4; ++i) maker |= ((ReadAt(s, kMakerReads253[i]) >> 6) & 3) << (2 * i);
        for (int i = 0; i < 4; ++i) product |= ((ReadAt(s, kProductReads253[i]) >> 6) & 3) << (2 * i);
        uint32_t word = 0;
        for (int i = 0; i < s.SecurityCells; ++i) word |= ((ReadAt(s, kSecurity253[i]) >> 6) & 1) << i;
        SetPin(p.Oe, 1);
        secured = word != (1u << s.SecurityCells) - 1;
    } else {
        maker = ReadAt(s, 0x18);
        product = ReadAt(s, 0x19);
        extra = ((ReadAt(s, 0x1DA0) & 0xC0) >> 4) | ((ReadAt(s, 0x1DA1) & 0xC0) >> 6);
        secured = ((ReadAt(s, 0x163) & 0xC0) >> 6 & 1) != 0;
    }
    const char* identity = nullptr;
    if (maker != kMaker) {
        identity = " Manufacturer's Code Error!";
    } else if (s.Row == 253 ? !ProductAccepted253(product) : false) {
        identity = " Product Code Error!";
    } else if (s.Row == 254 && DeviceVariant <= 3) {
        const bool needsExtra = DeviceVariant <= 1;
        if (product == kProductsA254[DeviceVariant]) s.Set254 = 0;
        else if (product == kProductsB254[DeviceVariant] && (!needsExtra || extra == 0)) s.Set254 = 1;
        else identity = " Product Code Error!";
    }
    // Nothing was compared either way: the run ends at the line.
    if (identity != nullptr) {
        PowerDown(s);
        RefuseIdentity(false, "%s", identity);
        return -1;
    }
    if (mode == kEraseMode || !secured) return 1;
    ShowMessageLine(" Device Secured!");
    PowerDown(s);
    ReadRefusedByDevice();
    return -1;
}

int ProgramLevel(const Slot& s) { return s.Row == 253 ? kProgram253 : kProgram254[s.Set254]; }
int EraseLevel(const Slot& s) { return s.Row == 253 ? kErase253 : kErase254[s.Set254]; }

// The walk of the list in mode m: 1 when every fuse checked (or a program
// walk ended), -1 at the first failing fuse or without a list.
int Walk(const Slot& s, int mode) {
    const uint32_t size = OpenLibraryEntry(s.Entry);
    bool header = false;
    const std::vector<ListRecord> records = ParseList(s.Row, size, header);
    if (!header) return -1;
    uint32_t f = 0;
    for (const ListRecord& r : records) {
        if (mode == kWriting) {
            if (s.Row == 254 && r.Marked) PulsePinTimed(s.Pins->Pgm, 2, 50000);
            uint32_t value = 0, n = f;
            for (int bit = 0; bit < 8; ++bit)
                if ((r.Mask >> bit) & 1) value |= GetBufferBit(n++) << bit;
            const uint32_t first = f;
            f = n;
            ExpectedValue = value;
            if (n > first) FailAddress = n - 1;
            if (s.Row == 254 && value == 0) continue;
            SetAddress(r.Address);
            WriteByte(s, r.Mask);
            continue;
        }
        SetAddress(r.Address);
        const uint32_t data = ReadData(s);
        for (int bit = 0; bit < 8; ++bit) {
            if (((r.Mask >> bit) & 1) == 0) continue;
            if (CheckFuseBit(static_cast<int>(f), bit, static_cast<int>(data), mode) == -1) return -1;
            ++f;
        }
    }
    return 1;
}

// Ramp of DAC channel 1 in `step` tenths.
void Ramp(int from, int to, int step, int us) {
    if (to >= from) RampVoltageUp(1, from, to, step, us);
    else RampVoltageDown(1, from, to, step, us);
}

int Read(uint32_t row, int mode) {
    Slot s{row};
    if (SetUp(s, mode) == -1) return -1;
    SetDacVoltage(1, mode == kBlank ? s.Levels->BlankRead : s.Levels->Read);
    DelayShortUsSlot(50);
    if (row == 253) SetPin(s.Pins->Oe, 0);
    const int result = Walk(s, mode);
    if (row == 253) SetPin(s.Pins->Oe, 1);
    PowerDown(s);
    return result;
}

// A list that names a security cell would let the file's fuse there set it
// with the array: a file that programs it (0 on the 5.2 V kind, 1 on the
// 3.3 V kind) is refused, naming the fuse, before any byte is written;
// Secure sets the cells instead.
bool RefuseSecurityFuse(const Slot& s) {
    const uint32_t size = OpenLibraryEntry(s.Entry);
    bool header = false;
    const std::vector<ListRecord> records = ParseList(s.Row, size, header);
    uint32_t f = 0;
    for (const ListRecord& r : records) {
        for (int bit = 0; bit < 8; ++bit) {
            if (((r.Mask >> bit) & 1) == 0) continue;
            const uint32_t n = f++;
            if (bit != 6) continue;
            bool security = false;
            for (int i = 0; i < s.SecurityCells; ++i) {
                const uint32_t cell = s.Row == 253 ? kSecurity253[i] : static_cast<uint32_t>(i) << 12 | 0x163;
                security = security || r.Address == cell;
            }
            if (!security || GetBufferBit(n) != (s.Row == 253 ? 0u : 1u)) continue;
            FailAddress = n;
            ShowMessageLine(" Fuse %u (security) is programmed in the file; use Secure to set it.", n);
            return true;
        }
    }
    return false;
}

int Program(uint32_t row) {
    Slot s{row};
    if (SetUp(s, kWriting) == -1) return -1;
    if (RefuseSecurityFuse(s)) {
        PowerDown(s);
        return -1;
    }
    int result = -1;
    for (int pass = 0; pass < 5 && result != 1; ++pass) {
        Ramp(row == 253 ? 50 : s.Levels->Supply, ProgramLevel(s), 5, 10);
        Walk(s, kWriting);
        Ramp(ProgramLevel(s), s.Levels->Verify, 1, 0);
        if (row == 253) {
            DelayShortUsSlot(50);
            SetPin(s.Pins->Oe, 0);
        } else {
            FloatPinGroup(kData, 0, 7);
        }
        result = Walk(s, kVerify);
        if (row == 253) SetPin(s.Pins->Oe, 1);
    }
    PowerDown(s);
    return result;
}

int Erase253() {
    Slot s{253};
    if (SetUp(s, kEraseMode) == -1) return -1;
    int result = -1;
    for (int pass = 0; pass < 30 && result != 1; ++pass) {
        ModeCode(s, kEraseCode);
        Ramp(52, kErase253, 2, 0);
        SetAddress(0x1010);
        PulsePinTimed(s.Pins->Pgm, 2, 100000);
        SetAddress(0x10);
        PulsePinTimed(s.Pins->Pgm, 2, 100000);
        Ramp(kErase253, 52, 1, 0);
        ModeCode(s, kProgramCode);
        Ramp(52, 33, 1, 0);
        SetPin(s.Pins->Oe, 0);
        result = Walk(s, kBlank);
        SetPin(s.Pins->Oe, 1);
        Ramp(33, 52, 2, 0);
    }
    PowerDown(s);
    return result;
}

int Erase254() {
    for (int pass = 0; pass < 15; ++pass) {
        Slot s{254};
        if (SetUp(s, kEraseMode) == -1) return -1;
        ModeCode(s, kEraseCode);
        Ramp(33, EraseLevel(s), 2, 0);
        SetAddress(0x10);
        PulsePinTimed(s.Pins->Pgm, 2, 200000);
        Ramp(EraseLevel(s), 33, 1, 0);
        ModeCode(s, kProgramCode);
        Ramp(33, 55, 1, 0);
        const int result = Walk(s, kBlank);
        Ramp(55, 33, 2, 0);
        PowerDown(s);
        DelayMsSlot(500);
        if (result == 1) return 1;
    }
    return -1;
}

// One security cell that reads programmed (bit 6 clear) secures the part.
int Secure253() {
    Slot s{253};
    if (SetUp(s, kWriting) == -1) return -1;
    bool taken = false;
    ExpectedValue = 0xBF;
    Ramp(52, kProgram253, 2, 0);
    for (int i = 0; i < s.SecurityCells; ++i) {
        SetAddress(kSecurity253[i]);
        WriteByte(s, 0x40);
    }
    Ramp(kProgram253, 70, 1, 0);
    SetPin(s.Pins->Oe, 0);
    for (int i = 0; i < s.SecurityCells; ++i)
        if (((ReadAt(s, kSecurity253[i]) >> 6) & 1) == 0) taken = true;
    SetPin(s.Pins->Oe, 1);
    PowerDown(s);
    if (taken) return 1;
    return LockNotTaken(" Security cells not programmed (bit 6 reads 1 in all %d).", s.SecurityCells);
}

// Every security cell must read programmed (bit 6 set).
int Secure254() {
    Slot s{254};
    if (SetUp(s, kWriting) == -1) return -1;
    uint32_t openCell = 0, openByte = 0;
    bool taken = true;
    Ramp(33, ProgramLevel(s), 2, 0);
    ExpectedValue = 0x40;
    for (int i = 0; i < s.SecurityCells; ++i) {
        SetAddress(static_cast<uint32_t>(i) << 12 | 0x163);
        WriteByte(s, 0x40);
    }
    PulsePinTimed(s.Pins->Pgm, 2, 50000);
    Ramp(ProgramLevel(s), 16, 1, 0);
    // The check reads the cells, not the byte still driven on the lines.
    FloatPinGroup(kData, 0, 7);
    for (int i = 0; i < s.SecurityCells; ++i) {
        const uint32_t cell = static_cast<uint32_t>(i) << 12 | 0x163;
        const uint32_t byte = ReadAt(s, cell);
        if (!taken || ((byte >> 6) & 1) == 1) continue;
        taken = false;
        openCell = cell;
        openByte = byte;
    }
    PowerDown(s);
    if (taken) return 1;
    return LockNotTaken(" Security cell %Xh not programmed (reads %02Xh).", openCell, openByte);
}

int Alg253Read(int mode) { return Read(253, mode); }
int Alg253Program() { return Program(253); }
int Alg253Erase() { return Erase253(); }
int Alg253Secure() { return Secure253(); }
int Alg254Read(int mode) { return Read(254, mode); }
int Alg254Program() { return Program(254); }
int Alg254Erase() { return Erase254(); }
int Alg254Secure() { return Secure254(); }

// The librarian's check: the package and variant must have pins and a list.
std::string TextListRecordCheck(uint32_t row, const RowRecordFacts& r) {
    if (TextListEntry(row, r.Variant) == 0) return "no list for variant " + std::to_string(r.Variant);
    if (r.PackagePins == 44 && r.Variant <= 1) return "";
    if (r.PackagePins == 84 && row == 253) return "";
    return "no pins for a " + std::to_string(r.PackagePins) + "-pin package of variant " + std::to_string(r.Variant);
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 253,
     .Read = Alg253Read,
     .Program = Alg253Program,
     .Erase = Alg253Erase,
     .Secure = Alg253Secure,
     .Options = Alg250Options,
     .RecordCheck = TextListRecordCheck,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 254,
     .Read = Alg254Read,
     .Program = Alg254Program,
     .Erase = Alg254Erase,
     .Secure = Alg254Secure,
     .RecordCheck = TextListRecordCheck,
     .ChecksIdentity = ChecksIdentityAlways},
};

} // namespace

uint32_t TextListEntry(uint32_t row, uint32_t variant) {
    static constexpr uint32_t k253[3] = {291, 293, 292};
    static constexpr uint32_t k254[2] = {290, 289};
    if (row == 253 && variant < 3) return k253[variant];
    if (row == 254 && variant < 2) return k254[variant];
    return 0;
}

std::vector<ListRecord> TextListRecords(uint32_t row, uint32_t entry, bool& headerFound) {
    return ParseList(row, OpenLibraryEntry(entry), headerFound);
}

ROW_FAMILY("TextListPld", Logic, 210, kAlgorithmRows);
