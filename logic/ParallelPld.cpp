#include "logic/ParallelPld.h"

#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "logic/FuseCells.h"

namespace {

constexpr int kWriting = 1;
constexpr int kLogicSupply = 50;

// --- Row 280

constexpr uint8_t Address280[37] = {19, 18, 15, 14, 21, 20, 13, 12, 23, 22, 11, 10, 25, 24, 9,  8,  27, 26, 7,
                                    6,  29, 28, 5,  4,  31, 30, 3,  2,  33, 32, 1,  0,  17, 16, 35, 34, 45};
constexpr uint8_t RowSelect280[18] = {6, 17, 16, 15, 14, 13, 12, 8, 7, 18, 9, 21, 11, 10, 23, 22, 20, 19};
constexpr uint8_t RowSelectK1_280[6] = {5, 4, 1, 3, 2, 0};
constexpr uint16_t BlockBaseLow280[4] = {2268, 1296, 972, 0};
constexpr uint16_t BlockBaseHigh280[4] = {1944, 1620, 648, 324};
constexpr uint16_t Kind1Fuses280[24] = {2614, 2608, 2606, 2600, 2615, 2609, 2607, 2601, 2599, 2596, 2595, 2592,
                                        2612, 2610, 2604, 2602, 2613, 2611, 2605, 2603, 2598, 2597, 2594, 2593};

enum Groups280 { kData280 = 0, kAddress280 = 1, kSelect280 = 2 };
constexpr int kPulse280 = 16, kOutputEnable280 = 17, kBias280 = 15;
constexpr int kBias280Tenths = 130;
constexpr int kSecureAddress280 = 47, kSecureSelect280 = 25;

PldWord Word(int kind, int select, int address, uint32_t compared) {
    PldWord w;
    w.Kind = kind;
    w.Select = select;
    w.Address = address;
    w.HighPage = false;
    w.Compared = compared;
    return w;
}

std::vector<PldWord> Walk280() {
    std::vector<PldWord> walk;
    for (int a = 0; a <= 17; ++a)
        for (int b = 0; b <= 35; ++b) {
            PldWord w = Word(0, RowSelect280[a], Address280[b], 0xF);
            for (int p = 0; p < 4; ++p)
                w.Fuses.push_back({p, static_cast<uint32_t>(a <= 8 ? BlockBaseLow280[p] + 36 * a + b
                                                                   : BlockBaseHigh280[p] + 36 * (a - 9) + b)});
            walk.push_back(w);
        }
    for (int a = 0; a <= 5; ++a) {
        PldWord w = Word(1, RowSelectK1_280[a], Address280[36], 0xF);
        for (int p = 0; p < 4; ++p) w.Fuses.push_back({p, Kind1Fuses280[4 * a + p]});
        walk.push_back(w);
    }
    PldWord k2 = Word(2, 24, Address280[36], 0x8);
    k2.Fuses.push_back({3, 2616});
    walk.push_back(k2);
    for (int b = 0; b <= 35; ++b) {
        PldWord w = Word(3, 24, Address280[b], 0x6);
        for (int k = 0; k <= 1; ++k) w.Fuses.push_back({k + 1, static_cast<uint32_t>(2617 + 36 * k + b)});
        walk.push_back(w);
    }
    return walk;
}

// --- Row 291

constexpr uint8_t RowCount291[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr uint16_t RowBase291[10] = {88, 484, 968, 1540, 2200, 2948, 3696, 4356, 4928, 5412};

enum Groups291 { kLines291 = 0, kData291 = 1 };
constexpr int kProgram291 = 25, kBias291 = 13, kHighSelect291 = 23, kSecurePin291 = 15;
constexpr int kLevel291 = 125, kBiasChannel291 = 3;
constexpr uint32_t kPulse291Us = 400, kOverPulse291Us = 1200, kPulseCap291Us = 50000;
constexpr int kPulseTries291 = 5;

std::vector<PldWord> Walk291() {
    std::vector<PldWord> walk;
    for (int a = 0; a <= 15; ++a)
        for (int b = 0; b <= 43; ++b) {
            PldWord w = Word(0, a, b, 0);
            for (int j = 0; j < 10; ++j) {
                if (RowCount291[j] <= a) continue;
                w.Fuses.push_back({9 - j, static_cast<uint32_t>(RowBase291[j] + 44 * a + b)});
                w.Compared |= 1u << (9 - j);
            }
            walk.push_back(w);
        }
    for (int b = 0; b <= 43; ++b) {
        PldWord w = Word(1, 7, b, 0x3FF);
        w.HighPage = true;
        for (int j = 0; j < 10; ++j) w.Fuses.push_back({9 - j, static_cast<uint32_t>(RowBase291[j] - 44 + b)});
        walk.push_back(w);
    }
    for (int kind = 2; kind <= 3; ++kind) {
        PldWord w = Word(kind, kind == 2 ? 0 : 2, 0, 0x3FF);
        w.HighPage = true;
        for (int j = 0; j < 10; ++j) w.Fuses.push_back({9 - j, static_cast<uint32_t>(5806 + kind + 2 * j)});
        walk.push_back(w);
    }
    for (int b = 0; b <= 43; ++b) {
        PldWord w = Word(4, 15, b, (1u << 6) | (1u << 3));
        w.Fuses.push_back({6, static_cast<uint32_t>(b)});
        w.Fuses.push_back({3, static_cast<uint32_t>(5764 + b)});
        walk.push_back(w);
    }
    return walk;
}

// Mode 1: the word to program from the buffer's fuses; other modes check or
// store each fuse of `read`.
uint32_t MapWord(const PldWord& w, uint32_t read, int mode) {
    uint32_t v = 0;
    for (const WordFuse& f : w.Fuses)
        v |= ProcessFuseBit(static_cast<int>(f.Fuse), f.Position, static_cast<int>(read), mode);
    return v;
}

// --- Row 280 frame

void PowerUp280(int mode) {
    DefinePinGroup("", kData280, 26, 27, 28, 29, 0);
    DefinePinGroup("", kAddress280, 23, 22, 21, 20, 19, 18, 0);
    DefinePinGroup("", kSelect280, 25, 30, 31, 32, 33, 0);
    SupplyVoltage = mode == kWriting ? kLogicSupply : ReadVccInUse;
    BlankValue = 0;
    ReadBackAfterSecure = 0;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(kAddress280, 0, 5, 0);
    SetPin(kPulse280, 1);
    SetPin(kOutputEnable280, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(500);
    SetDacVoltage(1, kBias280Tenths);
    SetSupplyPinA(kBias280, 1);
    DelayShortUsSlot(100);
}

void PowerDown280() {
    SetDacVoltage(1, kLogicSupply);
    SetSupplyPinA(kBias280, 0);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

void Address280Lines(int select, int address) {
    WritePinGroup(kAddress280, 0, 5, static_cast<uint64_t>(address));
    WritePinGroup(kSelect280, 0, 4, static_cast<uint64_t>(select));
}

uint32_t Read280() {
    FloatPinGroup(kData280, 0, 3);
    SetPin(kOutputEnable280, 0);
    const auto v = static_cast<uint32_t>(ReadPinGroup(kData280, 0, 3));
    SetPin(kOutputEnable280, 1);
    return v;
}

void Pulse280(uint32_t lines) {
    WritePinGroup(kData280, 0, 3, lines & 0xF);
    PulsePinTimed(kPulse280, 2, 10000);
}

int Access280(const PldWord& w, int mode) {
    ReadValue = ExpectedValue = 0;
    if (mode == kWriting) ExpectedValue = MapWord(w, 0, kWriting);
    Address280Lines(w.Select, w.Address);
    if (mode == kWriting) Pulse280(~ExpectedValue);
    ReadValue = Read280();
    if (mode == kWriting) {
        // One pulse, no retry: a word that does not read back fails the run.
        if ((ExpectedValue & w.Compared) != (~ReadValue & w.Compared)) return -1;
    } else {
        MapWord(w, ~ReadValue & 0xF, mode);
    }
    return CompareFailed == 1 ? -1 : 1;
}

int Run280(int mode) {
    CompareFailed = 0;
    PowerUp280(mode);
    int result = 1;
    for (const PldWord& w : Walk280()) {
        result = Access280(w, mode);
        if (result == -1) break;
    }
    PowerDown280();
    return result;
}

int Alg280Read(int mode) { return Run280(mode); }
int Alg280Program() { return Run280(kWriting); }
int Alg280Secure() {
    PowerUp280(kWriting);
    Address280Lines(kSecureSelect280, kSecureAddress280);
    Pulse280(7);
    Read280();
    PowerDown280();
    return 1;
}

// --- Row 291 frame

void PowerUp291(int mode) {
    BlankValue = 0;
    SecureCheckValue = 1;
    DefinePinGroup("", kLines291, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 0);
    DefinePinGroup("", kData291, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 0);
    SupplyVoltage = mode == kWriting ? kLogicSupply : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(kLevel291, kLevel291, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(kProgram291, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(25);
    ApplyVoltageToPin(kBiasChannel291, kBias291, 1, kLevel291);
    DelayShortUsSlot(100);
}

void PowerDown291() {
    ApplyVoltageToPin(kBiasChannel291, kBias291, 0, kLogicSupply);
    DelayMsSlot(25);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// The word on D0-D9, complemented into ReadValue.
void Read291() {
    SetPin(kProgram291, 0);
    const auto raw = static_cast<uint32_t>(ReadPinGroup(kData291, 0, 9));
    SetPin(kProgram291, 1);
    ReadValue = ~raw & 0x3FF;
}

void Pulse291(uint32_t us) {
    WritePinGroup(kData291, 0, 9, ExpectedValue & 0x3FF);
    SetSupplyPinA(kProgram291, 1);
    DelayUsSlot(us < kPulseCap291Us ? us : kPulseCap291Us);
    SetSupplyPinA(kProgram291, 0);
    FloatPinGroup(kData291, 0, 9);
}

// Up to five 400 us pulses, each read back; on a match one over-pulse of
// 1200 us times the pulses it took.
int ProgramWord291(uint32_t compared) {
    for (int n = 1; n <= kPulseTries291; ++n) {
        Pulse291(kPulse291Us);
        Read291();
        if ((ReadValue & compared) == (ExpectedValue & compared)) {
            Pulse291(kOverPulse291Us * static_cast<uint32_t>(n));
            return 1;
        }
    }
    return -1;
}

int Access291(const PldWord& w, int mode) {
    if (mode == kWriting) ExpectedValue = MapWord(w, 0, kWriting);
    WritePinGroup(kLines291, 0, 9, static_cast<uint64_t>(w.Address | w.Select << 6));
    if (w.HighPage) SetSupplyPinA(kHighSelect291, 1);
    int programmed = 1;
    if (mode == kWriting) programmed = ProgramWord291(w.Compared);
    else Read291();
    if (w.HighPage) SetSupplyPinA(kHighSelect291, 0);
    if (mode != kWriting) MapWord(w, ReadValue, mode);
    return CompareFailed == 1 || programmed == -1 ? -1 : 1;
}

int Run291(int mode) {
    CompareFailed = 0;
    PowerUp291(mode);
    int result = 1;
    for (const PldWord& w : Walk291()) {
        result = Access291(w, mode);
        if (result == -1) break;
    }
    PowerDown291();
    return result;
}

int Alg291Read(int mode) { return Run291(mode); }
int Alg291Program() { return Run291(kWriting); }
int Alg291Secure() {
    PowerUp291(kWriting);
    SetSupplyPinA(kSecurePin291, 1);
    SetSupplyPinA(kProgram291, 1);
    DelayMsSlot(1);
    SetSupplyPinA(kProgram291, 0);
    SetSupplyPinA(kSecurePin291, 0);
    PowerDown291();
    return 1;
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 280, .Read = Alg280Read, .Program = Alg280Program, .Secure = Alg280Secure},
    {.Row = 291, .Read = Alg291Read, .Program = Alg291Program, .Secure = Alg291Secure},
};

} // namespace

std::vector<PldWord> ParallelPldWalk(uint32_t row) {
    if (row == 280) return Walk280();
    if (row == 291) return Walk291();
    return {};
}

ROW_FAMILY("ParallelPld", Logic, 190, kAlgorithmRows);
