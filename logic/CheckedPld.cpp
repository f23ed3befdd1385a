#include "logic/CheckedPld.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
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
constexpr int kAfterSecure = 6;
constexpr int kLogicSupply = 50;
constexpr int kMaxPulses = 25;

// --- Row 259 tables (entries for positions 0, 1, 2, 3, 5, 6)

constexpr int kPositions259[6] = {0, 1, 2, 3, 5, 6};
constexpr uint16_t Plane259K0[6] = {10880, 0, 2176, 4352, 6528, 8704};
constexpr uint16_t Plane259K1[6] = {9792, 5440, 1088, 3264, 11968, 7616};
constexpr uint16_t Plane259K2[6] = {12240, 1360, 3536, 5712, 7888, 10064};
constexpr uint16_t Plane259K3[6] = {13680, 13600, 13616, 13632, 13648, 13664};
constexpr uint16_t Plane259K4[6] = {13688, 13608, 13624, 13640, 13656, 13672};
// The ranges below 13713 no other kind uses: six of 264 and six of 544 fuses.
constexpr uint16_t Kind3Short259[6] = {1096, 3272, 5448, 7624, 9800, 11976};
constexpr uint16_t Kind3Long259[6] = {1632, 3808, 5984, 8160, 10336, 12512};
constexpr int kShort259 = 264, kLong259 = 544;
constexpr uint32_t kMain259 = 0x6F; // positions 0-3, 5, 6

CheckedWord Word(int kind, int plane, int row, int column, uint32_t compared) {
    CheckedWord w;
    w.Kind = kind;
    w.Plane = plane;
    w.Row = row;
    w.Column = column;
    w.Compared = compared;
    return w;
}

uint32_t Kind3Fuse259(int i, int n) {
    if (n < kShort259) return static_cast<uint32_t>(Kind3Short259[i] + n);
    if (n < kShort259 + kLong259) return static_cast<uint32_t>(Kind3Long259[i] + n - kShort259);
    return static_cast<uint32_t>(Plane259K3[i] + n - kShort259 - kLong259);
}

std::vector<CheckedWord> Walk259() {
    std::vector<CheckedWord> walk;
    auto main = [&](int kind, int plane, int row, int column, auto fuse) {
        CheckedWord w = Word(kind, plane, row, column, kMain259);
        for (int i = 0; i < 6; ++i) w.Fuses.push_back({kPositions259[i], fuse(i)});
        walk.push_back(w);
    };
    for (int a = 0; a <= 15; ++a)
        for (int b = 0; b <= 67; ++b)
            main(0, 1, a, b, [&](int i) { return static_cast<uint32_t>(Plane259K0[i] + 68 * a + b); });
    for (int b = 0; b <= 7; ++b) main(1, 1, 16, b + 11, [&](int i) { return static_cast<uint32_t>(Plane259K1[i] + b); });
    for (int b = 0; b <= 16; ++b) {
        CheckedWord w = Word(5, 1, 16, b + 1, 0x10);
        w.Fuses.push_back({4, static_cast<uint32_t>(13696 + b)});
        walk.push_back(w);
    }
    for (int a = 0; a <= 7; ++a)
        for (int b = 0; b <= 67; ++b) {
            CheckedWord w = Word(6, 1, a + 8, b, 0x10);
            w.Fuses.push_back({4, static_cast<uint32_t>(13056 + 68 * a + b)});
            walk.push_back(w);
        }
    for (int a = 0; a <= 3; ++a)
        for (int b = 0; b <= 67; ++b)
            main(2, 2, a + 32, b, [&](int i) { return static_cast<uint32_t>(Plane259K2[i] + 68 * a + b); });
    for (int a = 0; a <= 11; ++a)
        for (int b = 0; b <= 67; ++b) main(3, 2, a + 36, b, [&](int i) { return Kind3Fuse259(i, 68 * a + b); });
    for (int b = 0; b <= 7; ++b) main(4, 2, 48, b + 11, [&](int i) { return static_cast<uint32_t>(Plane259K4[i] + b); });
    return walk;
}

// --- Row 258 tables

constexpr uint16_t Extra258V1Low[9] = {2914, 2882, 2886, 2890, 2894, 2892, 2888, 2884, 2880};
constexpr uint16_t Extra258V1High[9] = {2912, 2910, 2906, 2902, 2898, 2896, 2900, 2904, 2908};
constexpr uint16_t Extra258V2K1[9] = {0, 2882, 2886, 2890, 2894, 2892, 2888, 2884, 2880}; // a = 1..8
constexpr uint16_t Extra258V2K2[9] = {0, 2910, 2906, 2902, 2898, 2896, 2900, 2904, 2908};
constexpr int kVariants258 = 3;
constexpr int kVariantTenths258[kVariants258] = {127, 127, 137};

std::vector<CheckedWord> Walk258(uint32_t variant) {
    std::vector<CheckedWord> walk;
    if (variant >= kVariants258) return walk;
    const int shift = variant == 0 ? 0 : 2;
    for (int a = 0; a <= (variant == 2 ? 8 : 9); ++a)
        for (int b = 0; b <= 35; ++b) {
            CheckedWord w = Word(0, 0, a, b + shift, 0xFF);
            if (a <= 8) {
                for (int p = 0; p < 8; ++p) w.Fuses.push_back({p, static_cast<uint32_t>(36 * a + 324 * p + b)});
            } else if (variant == 0) {
                w.Compared = 0x81;
                w.Fuses.push_back({0, static_cast<uint32_t>(2592 + b)});
                w.Fuses.push_back({7, static_cast<uint32_t>(2628 + b)});
            } else {
                for (int p = 0; p < 8; ++p) w.Fuses.push_back({p, static_cast<uint32_t>(2592 + 36 * p + b)});
            }
            walk.push_back(w);
        }
    if (variant == 0) {
        for (int b = 40; b <= 46; ++b) {
            CheckedWord w = Word(0, 0, 11, b, 0xFF);
            for (int p = 0; p < 8; ++p) w.Fuses.push_back({p, static_cast<uint32_t>(2624 + 7 * p + b)});
            walk.push_back(w);
        }
    } else if (variant == 1) {
        for (int a = 0; a <= 8; ++a)
            for (int b = 0; b <= 1; ++b) {
                CheckedWord w = Word(1, 0, a, b, 0x81);
                w.Fuses.push_back({0, static_cast<uint32_t>(Extra258V1Low[a] + b)});
                w.Fuses.push_back({7, static_cast<uint32_t>(Extra258V1High[a] + b)});
                walk.push_back(w);
            }
    } else {
        for (int kind = 1; kind <= 2; ++kind)
            for (int a = 1; a <= 8; ++a) {
                CheckedWord w = Word(kind, 0, a, kind == 1 ? 38 : 41, 1u << (a - 1));
                w.Fuses.push_back({a - 1, kind == 1 ? Extra258V2K1[a] : Extra258V2K2[a]});
                walk.push_back(w);
            }
    }
    return walk;
}

uint32_t MapWord(const CheckedWord& w, uint32_t read, int mode) {
    uint32_t v = 0;
    for (const CheckedFuse& f : w.Fuses)
        v |= ProcessFuseBit(static_cast<int>(f.Fuse), f.Position, static_cast<int>(read), mode);
    return v;
}

// --- Row 259 frame

enum Groups259 { kRows259 = 0, kBus259 = 1, kIdle259 = 2 };
constexpr int kP0 = 16, kP1 = 17, kStrobe259 = 15, kBias259 = 13, kVccPin259 = 36;
constexpr int kBias259Tenths = 127, kRetryBias259Tenths = 135, kRetrySupply259 = 45;
constexpr uint8_t kPlane1 = 0x34, kPlane2 = 0x2B;
constexpr int kIdRow259 = 16, kIdColumn259 = 66;
constexpr int kSecurityRow259 = 16, kSecurityColumn259 = 18;
constexpr uint32_t kSecurityBit259 = 0x10;
constexpr uint32_t kPulse259Us = 200, kExtra259Us = 100;

void Operation259(int p0, int p1) {
    SetPin(kP0, p0);
    SetPin(kP1, p1);
}

void LoadCommand259(uint8_t code) {
    Operation259(0, 0);
    for (int i = 0; i < 8; ++i) {
        WritePinGroup(kBus259, 0, 6, (code >> i) & 1 ? 0x7F : 0);
        SetPin(kStrobe259, 0);
        SetPin(kStrobe259, 1);
    }
    FloatPinGroup(kBus259, 0, 6);
}

void LoadAddress259(int row, int column) {
    Operation259(0, 1);
    WritePinGroup(kRows259, 0, 5, static_cast<uint64_t>(row));
    WritePinGroup(kBus259, 0, 6, static_cast<uint64_t>(column));
    SetPin(kStrobe259, 0);
    SetPin(kStrobe259, 1);
    FloatPinGroup(kBus259, 0, 6);
}

void Read259() {
    Operation259(1, 0);
    SetPin(kStrobe259, 0);
    DelayShortUsSlot(100);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(kBus259, 0, 6));
    SetPin(kStrobe259, 1);
}

void Pulse259(uint32_t us) {
    Operation259(1, 1);
    WritePinGroup(kBus259, 0, 6, ExpectedValue & 0x7F);
    SetPin(kStrobe259, 0);
    DelayUsSlot(us);
    SetPin(kStrobe259, 1);
    FloatPinGroup(kBus259, 0, 6);
}

void PowerDown259() {
    ApplyVoltageToPin(1, kBias259, 0, kLogicSupply);
    DelayMsSlot(1);
    SetPin(kBias259, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetPin(kVccPin259, 0);
    DelayMsSlot(1);
}

bool IdentityBits259(uint32_t expected) {
    LoadCommand259(kPlane1);
    LoadAddress259(kIdRow259, kIdColumn259);
    Read259();
    return (ReadValue & 3) == expected;
}

// Power-up and the identity check: 01 at the normal levels, else 00 at
// 4.5 V supply and 13.5 V bias, which the rest of the run then keeps.
int PowerUp259() {
    BlankValue = 0;
    DefinePinGroup("", kRows259, 18, 19, 20, 21, 22, 25, 0);
    DefinePinGroup("", kBus259, 14, 23, 27, 29, 30, 32, 34, 0);
    DefinePinGroup("", kIdle259, 26, 28, 31, 35, 0);
    SupplyVoltage = kLogicSupply;
    SetVccRange(0, kLogicSupply);
    SetAllDacVoltages(kBias259Tenths, kLogicSupply, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(kRows259, 0, 5, 0);
    Operation259(0, 0);
    SetPin(kStrobe259, 1);
    SetDevicePower(1, kLogicSupply);
    DelayMsSlot(100);
    ApplyVoltageToPin(1, kBias259, 1, kBias259Tenths);
    DelayMsSlot(1);
    if (IdentityBits259(1)) return 1;
    PowerDown259();
    DelayMsSlot(1);
    Operation259(0, 0);
    SetPin(kStrobe259, 1);
    SupplyVoltage = kRetrySupply259;
    SetVccRange(0, kRetrySupply259);
    SetDevicePower(1, kRetrySupply259);
    DelayMsSlot(10);
    ApplyVoltageToPin(1, kBias259, 1, kRetryBias259Tenths);
    DelayMsSlot(10);
    if (IdentityBits259(0)) return 1;
    PowerDown259();
    return RefuseIdentity(false, "Invalid Device!");
}

// Up to 25 pulses of 200 us, each read back; on a match one more pulse of
// 100 us times the pulses it took (none after the 25th).
int ProgramWord259(uint32_t compared) {
    for (int n = 0; n < kMaxPulses; ++n) {
        Pulse259(kPulse259Us);
        Read259();
        if ((ReadValue & compared) != (ExpectedValue & compared)) continue;
        if (n + 1 < kMaxPulses) {
            Pulse259(kExtra259Us * static_cast<uint32_t>(n + 1));
            Read259();
        }
        return 1;
    }
    CompareFailed = 1;
    return -1;
}

int Access259(const CheckedWord& w, int mode) {
    ReadValue = 0;
    if (mode == kWriting) ExpectedValue = MapWord(w, 0, kWriting);
    LoadAddress259(w.Row, w.Column);
    if (mode == kWriting) return ProgramWord259(w.Compared);
    Read259();
    MapWord(w, ReadValue, mode);
    return CompareFailed == 1 ? -1 : 1;
}

int Run259(int mode) {
    CompareFailed = 0;
    if (PowerUp259() == -1) {
        PowerDown259();
        return -1;
    }
    int result = 1;
    int plane = 0;
    for (const CheckedWord& w : Walk259()) {
        if (w.Plane != plane) {
            plane = w.Plane;
            LoadCommand259(plane == 1 ? kPlane1 : kPlane2);
        }
        result = Access259(w, mode);
        if (result == -1) break;
    }
    PowerDown259();
    return result;
}

int Alg259Read(int mode) { return Run259(mode); }
int Alg259Program() { return Run259(kWriting); }
int Alg259Secure() {
    ReadBackAfterSecure = 0;
    if (PowerUp259() == -1) {
        PowerDown259();
        return -1;
    }
    LoadCommand259(kPlane1);
    CompareFailed = 0;
    ReadValue = 0;
    ExpectedValue = kSecurityBit259;
    LoadAddress259(kSecurityRow259, kSecurityColumn259);
    const int result = ProgramWord259(kSecurityBit259);
    PowerDown259();
    return result;
}

// --- Row 258 frame

enum Groups258 { kData258 = 0, kRows258 = 1, kColumns258 = 2 };
constexpr int kStrobe258 = 15, kRowHigh258 = 18, kColumnHigh258 = 23, kLow258 = 25;
constexpr int kRowChannel258 = 2, kColumnChannel258 = 3;
constexpr int kSupply258 = 60;
constexpr int kIdRow258 = 10, kIdColumn258 = 47;

int Tenths258() { return kVariantTenths258[DeviceVariant < kVariants258 ? DeviceVariant : 0]; }

void PowerDown258() {
    SetDeviceVpp(0, kLogicSupply);
    DelayShortUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
}

void Address258(int row, int column) {
    WritePinGroup(kRows258, 0, 2, static_cast<uint64_t>(row & 7));
    WritePinGroup(kColumns258, 0, 4, static_cast<uint64_t>(column & 31));
    if (row > 7) ApplyVoltageToPin(kRowChannel258, kRowHigh258, 1, Tenths258());
    if (column > 31) ApplyVoltageToPin(kColumnChannel258, kColumnHigh258, 1, Tenths258());
}

void Read258() {
    ApplyVoltageToPin(kColumnChannel258, kStrobe258, 1, Tenths258());
    ReadValue = static_cast<uint32_t>(ReadPinGroup(kData258, 0, 7));
    ApplyVoltageToPin(kColumnChannel258, kStrobe258, 0, kLogicSupply);
    ApplyVoltageToPin(kRowChannel258, kRowHigh258, 0, kLogicSupply);
    ApplyVoltageToPin(kColumnChannel258, kColumnHigh258, 0, kLogicSupply);
}

void Pulse258() {
    WritePinGroup(kData258, 0, 7, ExpectedValue & 0xFF);
    DelayShortUsSlot(100);
    SetPin(kStrobe258, 0);
    if (DeviceVariant == 2) DelayShortUsSlot(100);
    else DelayMsSlot(1);
    SetPin(kStrobe258, 1);
    FloatPinGroup(kData258, 0, 7);
}

// Variant 2's identity nibble (8 or 9) at its word; a secured part reads 0.
bool IdAnswers258() {
    Address258(kIdRow258, kIdColumn258);
    Read258();
    const uint32_t nibble = (ReadValue >> 4) & 0xF;
    return nibble == 0x8 || nibble == 0x9;
}

int PowerUp258(int mode) {
    BlankValue = 0;
    ReadBackAfterSecure = 0;
    CompareFailed = 0;
    DefinePinGroup("", kData258, 33, 32, 31, 30, 29, 28, 27, 26, 0);
    DefinePinGroup("", kRows258, 16, 17, 18, 0);
    DefinePinGroup("", kColumns258, 19, 20, 21, 22, 23, 0);
    SupplyVoltage = mode == kWriting || mode == kAfterSecure ? kSupply258 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    // Channels 2 and 3 idle at 5.0 V: the first read switches the idle-high
    // program strobe onto channel 3, which at 0 V would pull it low for the
    // microseconds before the channel rises - a program pulse with VPP on.
    SetAllDacVoltages(0, kLogicSupply, kLogicSupply, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(kRows258, 0, 2, 0);
    WritePinGroup(kColumns258, 0, 4, 0);
    SetPin(kStrobe258, 1);
    SetPin(kLow258, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    SetDeviceVpp(1, Tenths258());
    DelayMsSlot(10);
    if (DeviceVariant != 2 || IdAnswers258()) return 1;
    PowerDown258();
    return RefuseIdentity(false, "Invalid device or device is secured!");
}

int Access258(const CheckedWord& w, int mode) {
    if (mode == kWriting) ExpectedValue = MapWord(w, 0, kWriting);
    for (int round = 0; round < kMaxPulses; ++round) {
        Address258(w.Row, w.Column);
        if (mode == kWriting) Pulse258();
        Read258();
        if (mode != kWriting) {
            MapWord(w, ReadValue, mode);
            return CompareFailed == 1 ? -1 : 1;
        }
        if ((ReadValue & w.Compared) == (ExpectedValue & w.Compared)) return CompareFailed == 1 ? -1 : 1;
    }
    return -1;
}

// Refuses a variant past the geometry table before any pin moves.
bool Variant258Known() {
    if (DeviceVariant < kVariants258) return true;
    RefuseRun(" Device not supported!");
    return false;
}

// Variant 2 has cells for fuses 0-2591 and the even numbers 2880-2910
// only; the numbers between read 0.
bool Cellless258(uint32_t n) { return DeviceVariant == 2 && n >= 2592 && (n < 2880 || n % 2 == 1); }

// A map that sets a fuse without a cell is refused before any pin moves.
bool MapFits258() {
    for (uint32_t n = 2592; n < DeviceSize; ++n)
        if (Cellless258(n) && GetBufferBit(n) != 0) {
            FailAddress = n;
            ShowMessageLine(" Fuse %u is fixed at 0 on this device; the file sets 1.", n);
            return false;
        }
    return true;
}

int Run258(int mode) {
    if (!Variant258Known()) return -1;
    if (mode == kWriting && !MapFits258()) return -1;
    if (mode == 2)
        for (uint32_t n = 2592; n < DeviceSize; ++n)
            if (Cellless258(n)) SetBufferBit(n, 0);
    if (PowerUp258(mode) == -1) return -1;
    int result = 1;
    for (const CheckedWord& w : Walk258(DeviceVariant)) {
        result = Access258(w, mode);
        // Variant 1's row 9 never fails a blank check.
        if (mode == 0 && DeviceVariant == 1 && w.Kind == 0 && w.Row == 9) {
            CompareFailed = 0;
            result = 1;
        }
        if (result == -1) break;
    }
    PowerDown258();
    return result;
}

int Alg258Read(int mode) { return Run258(mode); }
int Alg258Program() { return Run258(kWriting); }
int Alg258Secure() {
    if (!Variant258Known()) return -1;
    if (PowerUp258(kAfterSecure) == -1) return -1;
    auto pulseAt = [](int row, int column, uint32_t value) {
        ExpectedValue = value;
        Address258(row, column);
        Pulse258();
        ApplyVoltageToPin(kRowChannel258, kRowHigh258, 0, kLogicSupply);
        ApplyVoltageToPin(kColumnChannel258, kColumnHigh258, 0, kLogicSupply);
    };
    if (DeviceVariant == 0) {
        pulseAt(11, 47, 0x40);
    } else if (DeviceVariant == 2) {
        pulseAt(9, 38, 0x80);
        // A secured part reads 00h: an identity nibble still answering is a
        // security cell that did not take.
        if (IdAnswers258()) {
            LockNotTaken(" Security bit not programmed: the identity still reads.");
            CompareFailed = 1;
        }
    } else {
        pulseAt(9, 0, 0x01);
        pulseAt(9, 1, 0x01);
    }
    PowerDown258();
    return CompareFailed == 1 ? -1 : 1;
}

// Only row 258's variant 2 answers an identity.
bool Checks258Identity() { return DeviceVariant == 2; }

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 259,
     .Read = Alg259Read,
     .Program = Alg259Program,
     .Secure = Alg259Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 258,
     .Read = Alg258Read,
     .Program = Alg258Program,
     .Secure = Alg258Secure,
     .VariantCount = kVariants258,
     .VariantTable = "geometry table",
     .ChecksIdentity = Checks258Identity},
};

} // namespace

std::vector<CheckedWord> CheckedPldWalk(uint32_t row, uint32_t variant) {
    if (row == 259) return Walk259();
    if (row == 258) return Walk258(variant);
    return {};
}

ROW_FAMILY("CheckedPld", Logic, 200, kAlgorithmRows);
