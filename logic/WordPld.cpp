#include "logic/WordPld.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "logic/GalFrame.h"
#include "logic/PldPower.h"

uint32_t WordPldBuilt = 0;

namespace {

const WordPldPins kAdapters[] = {
    {24, 11, 12, {13, 14, 15}, {16, 17, 18, 19, 20, 21}, {25, 26, 27},
     {22, 23, 28, 29, 30, 16, 17, 18, 19, 20, 21, 25, 26, 27, 31, 32, 33, 34, 35, 36}},
    {82, 15, 12, {13, 34, 35}, {16, 17, 19, 21, 23, 26}, {28, 30, 32},
     {4, 6, 8, 10, 11, 16, 17, 19, 21, 23, 26, 28, 30, 32, 33, 38, 39, 41, 43, 45}},
};

enum Command { kIdle = 0, kReadWord = 1, kProgramPulse = 2, kLoadWord = 3, kSecurePulse = 4, kErasePulse = 5,
               kLatchAddress = 7 };
enum Group { kCommandGroup = 0, kRowGroup = 1, kDataGroup = 2, kSubBlockGroup = 3 };
constexpr int kWriting = 1;
constexpr int kEditTenths = 92;
constexpr int kIdleEditTenths = 50;
constexpr uint32_t kProgramUs = 50000;
constexpr uint32_t kEraseUs = 100000;
constexpr int kInputs = 44;
constexpr int kSpecialRows[4] = {60, 61, 62, 63};
constexpr uint32_t kSpecialBase = 6160;
constexpr uint32_t kQBase = 6416;

// Terms of sub-blocks 0 (1-3: plus s), 4 (5, 6: plus s - 4) and 7, and the
// word bits their terms take in order.
constexpr int kTerms0[20] = {3, 11, 19, 27, 31, 35, 39, 47, 55, 63, 73, 81, 89, 97, 101, 105, 109, 117, 125, 133};
constexpr int kTerms4[16] = {0, 7, 15, 23, 43, 51, 59, 67, 70, 77, 85, 93, 113, 121, 129, 137};
constexpr int kTerms7[12] = {10, 18, 26, 46, 54, 62, 80, 88, 96, 116, 124, 132};
constexpr int kBits4[16] = {0, 1, 2, 3, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 18, 19};
constexpr int kBits7[12] = {1, 2, 3, 6, 7, 8, 11, 12, 13, 16, 17, 18};
// Special rows.
constexpr int kM[20] = {0, 2, 4, 6, 7, 8, 9, 11, 13, 15, 16, 18, 20, 22, 23, 24, 25, 27, 29, 31};
constexpr int kN[12] = {1, 3, 5, 10, 12, 14, 17, 19, 21, 26, 28, 30};
constexpr int kQBits[4] = {0, 9, 19, 10};

const WordPldPins* Pins = nullptr;

// Each (word bit, fuse) of a sub-block of a row.
struct BitFuse {
    int bit;
    uint32_t fuse;
};
struct SubBlockLayout {
    BitFuse cells[20];
    int count = 0;
    void Add(int bit, uint32_t fuse) { cells[count++] = {bit, fuse}; }
};

SubBlockLayout Layout(int row, int s) {
    SubBlockLayout l;
    if (row < kInputs) {
        const auto r = static_cast<uint32_t>(row);
        auto fuse = [&](int term) { return static_cast<uint32_t>(term) * kInputs + r; };
        if (s < 4) {
            for (int k = 0; k < 20; ++k) l.Add(k, fuse(kTerms0[k] + s));
        } else if (s < 7) {
            for (int k = 0; k < 16; ++k) l.Add(kBits4[k], fuse(kTerms4[k] + s - 4));
        } else {
            for (int k = 0; k < 12; ++k) l.Add(kBits7[k], fuse(kTerms7[k]));
        }
        return l;
    }
    const int j = row - kSpecialRows[0];
    if (s == 7 && j >= 2) return l; // no fuse: written as 0, not checked
    if (s < 2) {
        for (int k = 0; k < 20; ++k) l.Add(k, kSpecialBase + static_cast<uint32_t>(8 * kM[k] + 2 * j + s));
        return l;
    }
    if (s == 4 || s == 5) {
        for (int k = 0; k < 12; ++k) l.Add(kBits7[k], kSpecialBase + static_cast<uint32_t>(8 * kN[k] + 2 * j + s - 4));
    }
    const int e = 12 * (j / 2) + 2 * (s - 2) + j % 2;
    for (int q = 0; q < 4; ++q) l.Add(kQBits[q], kQBase + static_cast<uint32_t>(22 * q + e));
    return l;
}

void DefineGroups(const WordPldPins& p) {
    DefinePinGroup("", kCommandGroup, p.Command[0], p.Command[1], p.Command[2], 0);
    DefinePinGroup("", kRowGroup, p.Row[0], p.Row[1], p.Row[2], p.Row[3], p.Row[4], p.Row[5], 0);
    const int* d = p.Data;
    DefinePinGroup("", kDataGroup, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10], d[11], d[12],
                   d[13], d[14], d[15], d[16], d[17], d[18], d[19], 0);
    DefinePinGroup("", kSubBlockGroup, p.SubBlock[0], p.SubBlock[1], p.SubBlock[2], 0);
}

void PutCommand(int c) { WritePinGroup(kCommandGroup, 0, 2, static_cast<uint64_t>(c)); }

void StrobePulse() {
    SetPin(Pins->Strobe, 1);
    SetPin(Pins->Strobe, 0);
}

void PulseCommand(int c, uint32_t us) {
    PutCommand(c);
    SetPin(Pins->Strobe, 1);
    DelayUsSlot(us);
    SetPin(Pins->Strobe, 0);
}

// The adapter's pins, or -1 with nothing powered for a code without them.
int OpenDeviceAccess(int mode) {
    SecureCheckValue = 0;
    Pins = WordPldPinsFor(AdapterCode);
    if (Pins == nullptr) return -1;
    DefineGroups(*Pins);
    GalChooseSupply(mode);
    PldSupplyRangeAndGround(static_cast<int>(SupplyVoltage));
    FloatPinRange(1, 48);
    SetPin(Pins->Strobe, 0);
    PutCommand(kIdle);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(1);
    ApplyVoltageToPin(2, Pins->Edit, 1, kEditTenths);
    DelayShortUsSlot(10);
    WritePinGroup(kDataGroup, 0, 19, 0);
    return 1;
}

void PowerDown() {
    FloatPinGroup(kDataGroup, 0, 19);
    ApplyVoltageToPin(2, Pins->Edit, 0, kIdleEditTenths);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// Checks fuse bit v read from the chip by mode; the first mismatch names its fuse.
void CheckBit(uint32_t fuse, uint32_t v, int mode) {
    StepProgressByAddress(fuse); // a user break does not stop this module
    uint32_t expected = v;
    switch (mode) {
    case 2: SetBufferBit(fuse, v); return;
    case 0: expected = BlankValue; break;
    case 3: expected = GetBufferBit(fuse); break;
    case 6: expected = SecureCheckValue; break;
    default: return;
    }
    if (v == expected) return;
    if (CompareFailed == 0) FailAddress = fuse;
    CompareFailed = 1;
}

int RowAccess(int row, int mode) {
    for (int s = 0; s < 8; ++s) {
        PutCommand(kLatchAddress);
        WritePinGroup(kRowGroup, 0, 5, static_cast<uint64_t>(row));
        WritePinGroup(kSubBlockGroup, 0, 2, static_cast<uint64_t>(s));
        StrobePulse();
        const SubBlockLayout l = Layout(row, s);
        if (mode == kWriting) {
            WordPldBuilt = 0;
            for (int k = 0; k < l.count; ++k) {
                StepProgressByAddress(l.cells[k].fuse);
                WordPldBuilt |= GetBufferBit(l.cells[k].fuse) << l.cells[k].bit;
            }
            PutCommand(kLoadWord);
            WritePinGroup(kDataGroup, 0, 15, WordPldBuilt);
            WritePinGroup(kDataGroup, 16, 19, WordPldBuilt >> 16);
            StrobePulse();
            continue;
        }
        PutCommand(kReadWord);
        FloatPinGroup(kDataGroup, 0, 19);
        SetPin(Pins->Strobe, 1);
        ReadValue = static_cast<uint32_t>(ReadPinGroup(kDataGroup, 0, 19));
        SetPin(Pins->Strobe, 0);
        for (int k = 0; k < l.count; ++k) CheckBit(l.cells[k].fuse, (ReadValue >> l.cells[k].bit) & 1, mode);
        if (CompareFailed == 1) return -1;
    }
    if (mode == kWriting) PulseCommand(kProgramPulse, kProgramUs);
    return 1;
}

int Walk(int mode) {
    CompareFailed = 0;
    if (OpenDeviceAccess(mode) != 1) return -1;
    int r = 1;
    for (int row = 0; row < kInputs && r != -1; ++row) r = RowAccess(row, mode);
    for (int j = 0; j < 4 && r != -1; ++j) r = RowAccess(kSpecialRows[j], mode);
    PowerDown();
    return r;
}

int Pulse(int command) {
    if (OpenDeviceAccess(kWriting) != 1) return -1;
    PulseCommand(command, kEraseUs);
    PowerDown();
    return 1;
}

} // namespace

const WordPldPins* WordPldPinsFor(uint32_t adapterCode) {
    for (const WordPldPins& p : kAdapters)
        if (p.AdapterCode == adapterCode) return &p;
    return nullptr;
}

int Alg211Read(int mode) { return Walk(mode); }
int Alg211Program() { return Walk(kWriting); }
int Alg211Erase() { return Pulse(kErasePulse); }
int Alg211Secure() { return Pulse(kSecurePulse); }

namespace {
std::string AdapterPinsCheck(uint32_t row, const RowRecordFacts& r) {
    if (WordPldAdapterSupported(r.Adapter)) return "";
    return "adapter " + std::to_string(r.Adapter) + " has no pin roles in algorithm " + std::to_string(row);
}
} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 211,
     .Read = Alg211Read,
     .Program = Alg211Program,
     .Erase = Alg211Erase,
     .Secure = Alg211Secure,
     .RecordCheck = AdapterPinsCheck},
};

ROW_FAMILY("WordPld", Logic, 130, kAlgorithmRows);
