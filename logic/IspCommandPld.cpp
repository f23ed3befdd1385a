#include "logic/IspCommandPld.h"

#include <string>

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

// Rows without a part hold 0: a variant whose rows carry no fuse is refused.
const IspVariant IspVariants[IspVariantCount] = {
    /* 0 */ {96, 80, 2, 1, 192, 0, {0xFFFD, 0xFFFF, 0xFFFF}},
    {}, {}, {},
    /* 4 */ {156, 240, 2, 5, 202, 0, {0xFFFD, 0xFFFF, 0xFFFF}},
    {}, {}, {}, {}, {}, {}, {}, {}, {},
    /* 14 */ {102, 80, 1, 44, 44, 0, {0xFFFD, 0xFFFF, 0xFFFF}},
    {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
    /* 25 */ {286, 1120, 1, 38, 216, 0, {0xFFFD, 0xFFFF, 0xFFFF}},
    {}, {}, {}, {}, {},
    /* 31 */ {94, 160, 1, 119, 255, 0, {0xFFFD, 0xFFFF, 0xFFFF}},
};

IspCommandState Isp292{};

namespace {

constexpr int kWriting = 1;
constexpr int kSupplyTenths = 50;
constexpr uint32_t kEraseUs = 200000, kReadSettleUs = 25, kSignatureSettleUs = 100;
constexpr uint32_t kAfterProgramUs = 200, kAfterEraseUs = 500;
constexpr uint8_t kMakerA1 = 0xA1;

enum Command : uint32_t {
    kAddressShift = 1,
    kDataShift = 2,
    kErase = 3,
    kProgramShift0 = 7,
    kProgramShift1 = 8,
    kSecure = 9,
    kReadShift0 = 10,
    kReadShift1 = 11,
    kSignatureRead = 17,
};

// The four interface pins and the ground pin of the adapter.
struct IspPins {
    int Mode, Clock, DataOut, DataIn, Ground;
};
IspPins Pins() {
    if (AdapterCode == 'R') return {38, 35, 26, 16, 15};
    return {13, 11, 25, 12, 14};
}

const IspVariant* Variant() { return DeviceVariant < IspVariantCount ? &IspVariants[DeviceVariant] : nullptr; }

// Whether the variant's rows carry fuses (an empty row would never end the walk).
bool Usable(const IspVariant* v) { return v != nullptr && v->Rows != 0 && v->Bits != 0 && v->Shifts != 0; }

uint32_t ProgramPulseUs() {
    const uint32_t v = DeviceVariant;
    if (v >= 14 && v <= 19) return 10000;
    if (v == 22 || v == 23 || v == 26 || v == 27 || v == 28) return 80000;
    return 40000;
}

void ClockPulse(const IspPins& p) { PulsePin(p.Clock, 3); }

// Mode high for one clock: back to the idle state.
void Step0(const IspPins& p) {
    SetPin(p.Mode, 1);
    ClockPulse(p);
    SetPin(p.Mode, 0);
}

// Mode and data in high for one clock: idle to shift, shift to execute,
// execute to shift; the wait comes before the clock.
void Step1(const IspPins& p, uint32_t us) {
    SetPin(p.Mode, 1);
    SetPin(p.DataIn, 1);
    if (us != 0) DelayUsSlot(us);
    ClockPulse(p);
    SetPin(p.DataIn, 0);
    SetPin(p.Mode, 0);
}

// Into the execute state and one clock there (the command runs), then the wait.
void Step2(const IspPins& p, uint32_t us) {
    SetPin(p.Mode, 1);
    SetPin(p.DataIn, 1);
    ClockPulse(p);
    SetPin(p.DataIn, 0);
    SetPin(p.Mode, 0);
    ClockPulse(p);
    if (us != 0) DelayUsSlot(us);
}

void SendBit(const IspPins& p, uint32_t bit) {
    SetPin(p.DataIn, static_cast<int>(bit & 1u));
    ClockPulse(p);
}

void SendCommand(const IspPins& p, uint32_t command) {
    for (int k = 0; k < 5; ++k) SendBit(p, command >> k & 1u);
    SetPin(p.DataIn, 0);
}

uint32_t ReadByte(const IspPins& p) {
    uint32_t v = 0;
    for (int i = 0; i < 8; ++i) {
        v |= static_cast<uint32_t>(GetPin(p.DataOut) & 1) << i;
        ClockPulse(p);
    }
    return v;
}

void PowerDown(const IspPins& p) {
    Step0(p);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    ResetProgrammerOutputs();
}

// Powers the part with its masked pins low, reads the identification byte
// and the signature; a part that is not the variant's ends the run at
// " Invalid device ID.", powered down (-1).
int PowerUp(const IspVariant& v, int mode) {
    const IspPins p = Pins();
    SupplyVoltage = kSupplyTenths; // 3.3 V parts (sub-variant) are powered at 5.0 V too
    SetVccRange(1, kSupplyTenths);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    for (int n = 1; n <= 48; ++n)
        if ((v.Masks[(n - 1) / 16] >> (15 - (n - 1) % 16) & 1u) == 0) SetPin(n, 0);
    SetPin(p.Ground, 0);
    SetGroundPin(p.Ground, 1);
    SetPin(p.Mode, 0);
    SetPin(p.DataIn, 0);
    SetPin(p.Clock, 0);
    SetDevicePower(1, kSupplyTenths);

    Step0(p);
    Isp292.Identity = ReadByte(p);
    Step1(p, 0);
    SendCommand(p, kSignatureRead);
    Step2(p, kSignatureSettleUs);
    Step1(p, 0);
    for (uint32_t j = 0; j < 5; ++j) {
        Isp292.Signature[j] = ReadByte(p);
        if (mode != 2) continue;
        for (uint32_t i = 0; i < 8; ++i) SetBufferBit(DeviceSize + 8 * j + i, Isp292.Signature[j] >> i & 1u);
    }
    bool ok = Isp292.Identity == v.Identity;
    if (ok && Isp292.Signature[3] == kMakerA1) {
        const uint32_t supply = Isp292.Signature[1];
        ok = Isp292.Signature[2] == v.Type && (supply == 5 || supply == 0x25) && Isp292.Signature[0] != 0;
    }
    if (ok) return 1;
    PowerDown(p);
    return RefuseIdentity(false, " Invalid device ID.");
}

// The one-hot address of row r.
void ShiftAddress(const IspPins& p, const IspVariant& v, uint32_t r) {
    SendCommand(p, kAddressShift);
    Step1(p, 0);
    for (uint32_t k = 0; k < v.Rows; ++k) SendBit(p, k == r ? 1u : 0u);
    SetPin(p.DataIn, 0);
    Step1(p, 0);
}

uint32_t RowFuses(const IspVariant& v) { return v.Shifts * v.Bits; }

// The opening every entry shares: the variant known and usable, the part
// powered and identified.
const IspVariant* Open(int mode) {
    const IspVariant* v = Variant();
    if (!Usable(v)) return nullptr;
    return PowerUp(*v, mode) == 1 ? v : nullptr;
}

int Alg292Program() {
    const IspVariant* v = Open(kWriting);
    if (v == nullptr) return -1;
    const IspPins p = Pins();
    const uint32_t pulse = ProgramPulseUs();
    int result = 1;
    for (uint32_t r = 0; r * RowFuses(*v) < DeviceSize && result == 1; ++r) {
        ShiftAddress(p, *v, r);
        for (uint32_t s = 0; s < v->Shifts; ++s) {
            SendCommand(p, kDataShift);
            Step1(p, 0);
            for (uint32_t b = 0; b < v->Bits; ++b) {
                const uint32_t fuse = r * RowFuses(*v) + s * v->Bits + b;
                if (StepProgressByAddress(fuse) == ResultUserBreak) result = -1;
                SendBit(p, GetBufferBit(fuse));
            }
            SetPin(p.DataIn, 0);
            Step1(p, 0);
            SendCommand(p, s == 0 ? kProgramShift0 : kProgramShift1);
            Step2(p, pulse);
            Step1(p, kAfterProgramUs);
        }
    }
    PowerDown(p);
    return result;
}

int Alg292Read(int mode) {
    const IspVariant* v = Open(mode);
    if (v == nullptr) return -1;
    const IspPins p = Pins();
    int result = 1;
    for (uint32_t r = 0; r * RowFuses(*v) < DeviceSize && result == 1; ++r) {
        ShiftAddress(p, *v, r);
        for (uint32_t s = 0; s < v->Shifts; ++s) {
            SendCommand(p, s == 0 ? kReadShift0 : kReadShift1);
            Step2(p, kReadSettleUs);
            Step1(p, 0);
            SendCommand(p, kDataShift);
            Step1(p, 0);
            for (uint32_t b = 0; b < v->Bits; ++b) {
                const auto fuse = static_cast<int>(r * RowFuses(*v) + s * v->Bits + b);
                if (CheckFuseBit(fuse, 0, GetPin(p.DataOut), mode) == -1) result = -1;
                if (b + 1 < v->Bits) ClockPulse(p);
            }
            Step1(p, 0);
        }
    }
    PowerDown(p);
    return result;
}

int Alg292Erase() {
    if (Open(kWriting) == nullptr) return -1;
    const IspPins p = Pins();
    SendCommand(p, kErase);
    Step2(p, kEraseUs);
    Step1(p, kAfterEraseUs);
    PowerDown(p);
    return 1;
}

int Alg292Secure() {
    if (Open(kWriting) == nullptr) return -1;
    const IspPins p = Pins();
    SendCommand(p, kSecure);
    Step2(p, ProgramPulseUs());
    Step1(p, kAfterProgramUs);
    PowerDown(p);
    return 1;
}

// A record's variant must name a row with fuses, and its fuses (and the 40
// signature bits read after them) must fit the variant's rows.
std::string CheckIspRecord(uint32_t, const RowRecordFacts& record) {
    if (record.Variant >= IspVariantCount) return "";
    const IspVariant& v = IspVariants[record.Variant];
    if (!Usable(&v)) return "variant " + std::to_string(record.Variant) + " of algorithm 292 names no part";
    if (record.DeviceSize > v.Rows * v.Shifts * v.Bits)
        return "fuse count " + std::to_string(record.DeviceSize) + " past the variant's " +
               std::to_string(v.Rows * v.Shifts * v.Bits);
    return "";
}

// Every variant with a part identifies it.
bool ChecksIspIdentity() { return Usable(Variant()); }

} // namespace

// The row of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 292,
     .Read = Alg292Read,
     .Program = Alg292Program,
     .Erase = Alg292Erase,
     .Secure = Alg292Secure,
     .VariantCount = IspVariantCount,
     .VariantTable = "the serial-command PLD table",
     .RecordCheck = CheckIspRecord,
     .ChecksIdentity = ChecksIspIdentity},
};

ROW_FAMILY("IspCommand", Logic, 160, kAlgorithmRows);
