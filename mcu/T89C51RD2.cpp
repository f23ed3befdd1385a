#include "mcu/T89C51RD2.h"

#include <algorithm>
#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/GangSockets.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "mcu/Mcu8051Walks.h"
#include "mcu/McuFrame.h"

int HsbLockLevel128 = 3;
int HsbBllb128 = 1;
int HsbBljb128 = 1;
int HsbSb128 = 1;
int Hsb128 = 0xFF;
int PageLength128 = 128;

using namespace mcu8051;

namespace {

// 40-pin DIP and 44-pin PLCC: A0-A15 on P1, P2.0-P2.5, P3.4, P3.5; the
// function on P3.7, P3.6, P2.7, P2.6 (the control group; P2.7 is the read
// strobe too); P3.3 frames write sequences; P3.2 the ready line; P3.0 high.
// clang-format off
constexpr Layout8051 kLayout128[2] = {
    {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 18, 19}, 16,
     {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17, 20, 21, 33, 34, 35, 23, {21, 20, 32, 31}},
    {{4, 5, 6, 7, 8, 9, 10, 11, 26, 27, 28, 29, 30, 31, 18, 19}, 16,
     {45, 44, 43, 42, 41, 40, 39, 38}, 12, 32, 33, 17, 20, 21, 34, 35, 37, 23, {21, 20, 33, 32}},
};
// clang-format on
constexpr uint8_t kP30For128[2] = {14, 13};
constexpr int kReady128 = 16; // P3.2 on both layouts

enum Mode128 : uint32_t {
    Mode128Signature = 0x4,
    Mode128Hsb = 0x5,
    Mode128Load = 0x5,
    Mode128Read = 0x7,
    Mode128Write = 0x7,
    Mode128Erase = 0x8,
    Mode128Sequence = 0xA,
    Mode128WriteHsb = 0xC,
    Mode128SignaturePage = 0xD,
};
constexpr uint32_t kLoadPulseUs128 = 20;
constexpr uint32_t kErasePulseUs128 = 10000;
constexpr int kReadyPolls128 = 150;
constexpr uint32_t kReadyPollUs128 = 100;
constexpr uint32_t kMaxPage128 = 256;
// HSB[2:0] by level, and the HSB that Secure writes.
constexpr int kLockBits128[4] = {0x7, 0x6, 0x4, 0x0};
constexpr int kSecureHsb128[4] = {0xFF, 0xFE, 0xFC, 0xF8};

uint8_t g_p30 = 0;
OptionDialogLauncher g_launcher = nullptr;

void SetStrobe128(uint32_t mask, int level) {
    if (HardwareKind == 3)
        WriteRegister3(mask);
    else
        SetPin(ActiveLayout->strobe, level);
}

void SetAddress128(uint32_t a) { WritePinGroup(0, 0, 15, a & 0xFFFF); }

void LoadByte128(uint32_t v) {
    DriveData(v);
    PulsePinTimed(ActiveLayout->ale, 2, kLoadPulseUs128);
}

uint32_t ReadCodeByte128(uint32_t mask) {
    SetStrobe128(mask, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetStrobe128(0xFF, 1);
    return ReadValue & 0xFF;
}

// The page length the page loops can use: none of 0 or past the buffer
// window's 256-byte tail. A detail line and false otherwise.
bool PageUsable128() {
    if (PageSize == 0 || PageSize > kMaxPage128) {
        RefuseRun(" Page size %u not supported (1 to %u bytes).", PageSize, kMaxPage128);
        return false;
    }
    return true;
}

bool PowerUp128(int phase) {
    const Layout8051* layout = LayoutByPinCount(kLayout128);
    if (layout == nullptr) return false;
    UseLayout(*layout);
    g_p30 = kP30For128[layout == &kLayout128[0] ? 0 : 1];
    PageLength128 = static_cast<int>(PageSize);
    SupplyVoltage = phase == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    for (int pin : {static_cast<int>(g_p30), static_cast<int>(ActiveLayout->p33), static_cast<int>(ActiveLayout->psen),
                    static_cast<int>(ActiveLayout->ale), static_cast<int>(ActiveLayout->ea),
                    static_cast<int>(ActiveLayout->rst)})
        SetPin(pin, 1);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(ActiveLayout->psen, 0);
    SetGroundPin(ActiveLayout->psen, 1);
    DelayMsSlot(10);
    return true;
}

void PowerDown128() {
    SetPin(ActiveLayout->p33, 1);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(12, 0);
    DelayMsSlot(100);
    ResetProgrammerOutputs();
}

void Unlock128() {
    SetControl(Mode128Sequence);
    SetPin(ActiveLayout->p33, 0);
    LoadByte128(0x55);
    LoadByte128(0xAA);
}

void EndSequence128() {
    SetControl(Mode128Sequence);
    SetPin(ActiveLayout->p33, 1);
    PulsePinTimed(ActiveLayout->ale, 2, kLoadPulseUs128);
    SetPin(ActiveLayout->p33, 0);
}

// Byte i of the page in the buffer: the page's bytes lie AddressStep apart
// from BufferIndex, so a split mode takes its own lane.
uint8_t PageByte128(uint32_t i) {
    const uint64_t at = uint64_t{CurrentBank} * BufferBankBytes + BufferIndex + uint64_t{i} * AddressStep;
    return at <= 0xFFFFFFFFu ? ReadBufferByteCached(static_cast<uint32_t>(at)) : 0xFF;
}

// The n bytes from ChipAddress on, inside one chip page, from the buffer at
// BufferIndex: loaded, written, the ready line awaited, read back on every
// gang socket.
int ProgramPage128(uint32_t n) {
    SetControl(Mode128Load);
    SetPin(ActiveLayout->p33, 0);
    for (uint32_t i = 0; i < n; ++i) {
        SetAddress128(ChipAddress + i);
        LoadByte128(PageByte128(i));
    }
    SetControl(Mode128Write);
    PulsePinTimed(ActiveLayout->ale, 2, kLoadPulseUs128);
    if (WaitReady(kReady128, kReadyPolls128, kReadyPollUs128) != 1) return -1;
    FloatPinGroup(1, 0, 7);
    SetPin(ActiveLayout->p33, 1);
    for (uint32_t i = 0; i < n; ++i) {
        SetAddress128(ChipAddress + i);
        if (!EverySocket([i](uint32_t s) { return ReadCodeByte128(NotSocket(s)) == PageByte128(i); })) return -1;
    }
    return 1;
}

// One HSB write in its own unlocked sequence.
void WriteHsb128(uint32_t hsb) {
    PowerUp128(1);
    Unlock128();
    SetControl(Mode128WriteHsb);
    DriveData(hsb);
    PulsePinTimed(ActiveLayout->ale, 2, kErasePulseUs128);
    EndSequence128();
    PowerDown128();
}

} // namespace

// ---- entries ------------------------------------------------------------------------

int Alg128Identify() {
    if (!PowerUp128(2)) return -1;
    SetControl(Mode128Signature);
    SetAddress128(0x30);
    ChipMakerId = ReadCodeByte128(0xFE);
    SetAddress128(0x31);
    ChipDeviceId = ReadCodeByte128(0xFE);
    SetAddress128(0x60);
    ReadCodeByte128(0xFE);
    SetAddress128(0x61);
    ReadCodeByte128(0xFE);
    SetControl(Mode128Hsb);
    Hsb128 = static_cast<int>(ReadCodeByte128(0xFE));
    PowerDown128();
    return 1;
}

int Alg128Read(int mode) {
    if (!PowerUp128(2)) return -1;
    // At level 3 or 4 (HSB[1] or HSB[2] programmed) the part returns no
    // code: Read, Blank check and Verify end after the secured line.
    SetControl(Mode128Hsb);
    SetAddress128(0x61);
    const uint32_t hsb = ReadCodeByte128(0xFE);
    if ((hsb & 0x06) != 0x06) {
        ShowMessageLine((hsb & 0x04) == 0 ? " Device secured!(Level 4)" : " Device secured!(Level 3)");
        PowerDown128();
        ReadRefusedByDevice();
        return -1;
    }
    SetControl(Mode128Read);
    SetPin(ActiveLayout->p33, 1);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        SetAddress128(ChipAddress);
        ReadCodeByte128(~(1u << CurrentSocket) & 0xFF);
        r = ProcessReadByte(mode);
        if (r == -1) break;
        if (mode != 0 && BufferIndex > 0xFFFF && AdvanceToNextBank() == -1) {
            r = -1;
            break;
        }
    }
    // The signature area is not copied into the buffer: at 10000h it would
    // overwrite the data of a lane or of a range from a Buffer Start above 0
    // (the blank check before Program too), and lie past Buffer End
    // otherwise.
    PowerDown128();
    return r;
}

// A page write at a time, each inside one chip page: a range that starts or
// ends inside a page loads only that page's bytes in the range, and the chip
// leaves the bytes it was not given, so cells outside the range keep theirs.
int Alg128Program() {
    if (!PageUsable128()) return -1;
    if (!PowerUp128(1)) return -1;
    Unlock128();
    const uint32_t page = static_cast<uint32_t>(PageLength128);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd;) {
        ChipAddress = static_cast<uint32_t>(a);
        const uint64_t last = std::min<uint64_t>((a / page + 1) * page - 1, DeviceEnd);
        const uint32_t n = static_cast<uint32_t>(last - a + 1);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        r = ProgramPage128(n);
        if (r != 1) break;
        BufferIndex += n * AddressStep;
        if (BufferIndex > 0xFFFF && AdvanceToNextBank() == -1) {
            r = -1;
            break;
        }
        a = last + 1;
    }
    EndSequence128();
    PowerDown128();
    return r;
}

int Alg128Erase() {
    if (!PageUsable128()) return -1;
    BlankCheckAfterErase = 1;
    if (!PowerUp128(1)) return -1;
    Unlock128();
    SetControl(Mode128Erase);
    PulsePinTimed(ActiveLayout->ale, 2, kErasePulseUs128);
    SetControl(Mode128WriteHsb);
    DriveData(0xFF);
    PulsePinTimed(ActiveLayout->ale, 2, kErasePulseUs128);
    // The signature page back: 58h, D7h at 30h, 31h, FCh at 60h.
    SetControl(Mode128SignaturePage);
    SetPin(ActiveLayout->p33, 1);
    for (uint32_t i = 0; i < static_cast<uint32_t>(PageLength128); ++i) {
        SetAddress128(i);
        LoadByte128(i == 0x30 ? 0x58 : i == 0x31 ? 0xD7 : i == 0x60 ? 0xFC : 0xFF);
    }
    SetControl(Mode128SignaturePage);
    SetPin(ActiveLayout->p33, 0);
    PulsePinTimed(ActiveLayout->ale, 2, kLoadPulseUs128);
    WaitReady(kReady128, kReadyPolls128, kReadyPollUs128);
    EndSequence128();
    PowerDown128();
    return 1;
}

int Alg128Secure() {
    const int level = HsbLockLevel128 < 0 ? 0 : HsbLockLevel128 > 3 ? 3 : HsbLockLevel128;
    if (LayoutByPinCount(kLayout128) == nullptr) return -1;
    WriteHsb128(static_cast<uint32_t>(kSecureHsb128[level]));
    // The HSB read back: every lock bit written must read programmed.
    Alg128Identify();
    return LockBitsTook(static_cast<uint32_t>(Hsb128), static_cast<uint32_t>(~kSecureHsb128[level] & 0xFF)) ? 1 : -1;
}

int Alg128Options() {
    if (g_launcher != nullptr) g_launcher();
    return 1;
}

int ComposeHsb128() {
    const int level = HsbLockLevel128 < 0 ? 0 : HsbLockLevel128 > 3 ? 3 : HsbLockLevel128;
    return ((HsbBllb128 & 1) << 5) | ((HsbBljb128 & 1) << 6) | ((HsbSb128 & 1) << 7) | 0x18 | kLockBits128[level];
}

int ReadHsb128() {
    // Without a layout for the package nothing is read: the settings stay.
    if (Alg128Identify() != 1) {
        ShowMessageLine("Hardware Security Byte(HSB) not read!");
        Beep(-1);
        return -1;
    }
    if ((Hsb128 & 7) == 7) HsbLockLevel128 = 0;
    if ((Hsb128 & 1) == 0) HsbLockLevel128 = 1;
    if ((Hsb128 & 2) == 0) HsbLockLevel128 = 2;
    if ((Hsb128 & 4) == 0) HsbLockLevel128 = 3;
    HsbBllb128 = Hsb128 >> 5 & 1;
    HsbBljb128 = Hsb128 >> 6 & 1;
    HsbSb128 = Hsb128 >> 7 & 1;
    ShowMessageLine("Hardware Security Byte(HSB) Read ok!");
    Beep(1);
    return 1;
}

int ProgramHsb128() {
    // A package of neither 40 nor 44 pins has no layout: nothing is written.
    if (LayoutByPinCount(kLayout128) == nullptr) {
        ShowMessageLine("Hardware Security Byte(HSB) not written!");
        Beep(-1);
        return -1;
    }
    const uint32_t hsb = static_cast<uint32_t>(ComposeHsb128());
    WriteHsb128(hsb);
    // The HSB read back: every bit written 0 must read programmed. A bit
    // written 1 may read 0 where it was programmed before; only an erase
    // clears it.
    const bool took = Alg128Identify() == 1 && LockBitsTook(static_cast<uint32_t>(Hsb128), ~hsb & 0xFF);
    ShowMessageLine(took ? "Hardware Security Byte(HSB) Program ok!" : "Hardware Security Byte(HSB) Program error!");
    if (!took) ShowMessageLine(" HSB written %02Xh, read back %02Xh.", hsb, static_cast<unsigned>(Hsb128) & 0xFF);
    Beep(took ? 1 : -1);
    return took ? 1 : -1;
}

void InstallT89C51RD2DialogLauncher(OptionDialogLauncher launcher) { g_launcher = launcher; }

// ---- installation -------------------------------------------------------------------

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 128,
     .Identify = Alg128Identify,
     .Read = Alg128Read,
     .Program = Alg128Program,
     .Erase = Alg128Erase,
     .Secure = Alg128Secure,
     .Options = Alg128Options},
};

ROW_FAMILY("T89C51RD2", Mcu, 120, kAlgorithmRows);

void ResetT89C51RD2State() {
    HsbLockLevel128 = 3;
    HsbBllb128 = HsbBljb128 = HsbSb128 = 1;
    Hsb128 = 0xFF;
    PageLength128 = 128;
    g_p30 = 0;
}
