#include "memory/ConfigProm.h"

#include <algorithm>
#include <array>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

uint32_t ResetPolarityBit30 = 0;
uint32_t ResetPolarityBit34 = 0;
ShowConfigPromDialogFn ShowOptXc17xxxHook = nullptr;

// The clock-burst engine's busy bit is bit 1 of register 9, as the word
// engine's: the bounded wait is the frame's.
int ClockBurst(uint32_t n) {
    for (uint32_t i = 0; i < n / 200; ++i) {
        if (SerialEngineLost()) return -1;
        WriteRegister(8, 200);
        if (WordEngineWaitIdle() != 1) return -1;
    }
    if (SerialEngineLost()) return -1;
    if (n % 200 != 0) WriteRegister(8, n % 200);
    return WordEngineWaitIdle();
}

namespace {

constexpr uint32_t kMostPageBytes30 = 21;
constexpr std::array<uint32_t, 4> kIdClocks30 = {2056, 4600, 19791, 65632};
constexpr std::array<uint32_t, 4> kPolarityClocks30 = {2048, 4104, 16384, 65536};

void ShiftInByte(uint32_t b) {
    WriteRegister(6, b & 0xFF);
    ClockBurst(8);
}
uint32_t ShiftOutByte(uint8_t reg) {
    ClockBurst(8);
    return ReadRegister(reg);
}
void AdvanceAddress() {
    WriteRegister(0, 1);
    ClockBurst(1);
    WriteRegister(0, 3);
}
// Byte k of the piece at BufferIndex (split modes step by AddressStep); FFh
// (a cell left unprogrammed) past DeviceEnd; -1 past the buffer window.
int PieceByte(uint32_t k) {
    if (uint64_t{ChipAddress} + k > DeviceEnd) return 0xFF;
    const uint64_t at = BufferIndex + uint64_t{k} * AddressStep;
    return RunBufferByte(at);
}
// The bytes of the page at ChipAddress that lie in the range.
uint32_t PieceBytes(uint32_t page) {
    return static_cast<uint32_t>(std::min<uint64_t>(page, uint64_t{DeviceEnd} - ChipAddress + 1));
}
// The parts stream their bytes from address 0 and program page after page
// from there: a start inside a page cannot be served.
bool StartOnPage(uint32_t page) {
    if (DeviceStart % page == 0) return true;
    RefuseRun(" Start address must be a multiple of %u.", static_cast<unsigned>(page));
    return false;
}
// The read loop of both rows: pages of `page` bytes from address 0,
// `endPage` after each; the bytes before DeviceStart are clocked out and
// dropped.
template <class EndPage> int ReadPages(int mode, uint32_t page, EndPage&& endPage) {
    for (uint64_t a = 0; a <= DeviceEnd; a += page) {
        int r = 1;
        if (a + page > DeviceStart) {
            ChipAddress = static_cast<uint32_t>(std::max<uint64_t>(a, DeviceStart));
            r = StepProgress(ChipAddress);
        }
        for (uint32_t i = 0; r == 1 && i < page && a + i <= DeviceEnd; ++i) {
            const uint32_t value = ShiftOutByte(6);
            if (a + i < DeviceStart) continue;
            ChipAddress = static_cast<uint32_t>(a + i);
            ReadValue = value;
            r = ProcessReadByte(mode);
            if (r == 1 && BufferIndex > 0xFFFF) r = AdvanceToNextBankIf(mode);
        }
        if (r == 1 && SerialEngineLost()) r = -1;
        if (r != 1) return r;
        endPage();
    }
    return 1;
}
// The program loop of both rows: the address clocked past the pages before
// DeviceStart (a start on a page), then pages of `page` bytes written by
// `program` from BufferIndex on, each followed by the address clocked on.
template <class Program> int ProgramPages(uint32_t page, Program&& program) {
    for (uint64_t a = 0; a < DeviceStart; a += page) {
        AdvanceAddress();
        if (SerialEngineLost()) return -1;
    }
    for (uint64_t a = DeviceStart; a <= DeviceEnd; a += page) {
        ChipAddress = static_cast<uint32_t>(a);
        int r = StepProgress(ChipAddress);
        if (r == 1) r = program();
        if (r == 1) {
            AdvanceAddress();
            BufferIndex += page * AddressStep;
            if (BufferIndex > 0xFFFF) r = AdvanceToNextBank();
        }
        if (r == 1 && SerialEngineLost()) r = -1;
        if (r != 1) return r;
    }
    return 1;
}

// ---- row 30 --------------------------------------------------------------------------

namespace row30 {

int g_programPin = 0;
uint32_t g_pageBytes = 4;
int g_vppIdle = 50;

void PowerOn() {
    SerialEngineArm();
    SetVccRange(0, 33);
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMs(100);
    WriteRegister(4, 3);
    WriteRegister(3, 0);
    WriteRegister(0, 3);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayShortUs(100);
    if (g_programPin != 0) SetSupplyPinA(g_programPin, 1);
    SetDacVoltage(1, g_vppIdle);
    DelayMs(1);
}

void EnterProgramMode() {
    PowerOn();
    SetDacVoltage(1, static_cast<int>(Vpp / 10));
    DelayShortUs(10);
    for (uint32_t v : {2u, 0u, 14u}) WriteRegister(3, v);
    SetDacVoltage(1, 50);
    DelayShortUs(10);
    ClockBurst(1);
}

void PowerOff() {
    WriteRegister(0, 3);
    WriteRegister(3, 0);
    DelayMs(1);
    if (g_programPin != 0) SetSupplyPinA(g_programPin, 0);
    DelayShortUs(10);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(4, 2);
    ResetProgrammerOutputs();
}

void Pulse(uint32_t us) {
    SetDacVoltage(1, static_cast<int>(Vpp / 10));
    DelayUs(us);
    SetDacVoltage(1, g_vppIdle);
}

// A device code with no bits 4-7 is compared with the high nibble.
bool IdMatches(uint32_t maker, uint32_t device) {
    if (maker != ExpectedMakerId) return false;
    return (ExpectedDeviceId & 0xF0) != 0 ? device == ExpectedDeviceId : (device >> 4) == ExpectedDeviceId;
}

int CheckId() {
    EnterProgramMode();
    WriteRegister(0, 1);
    ClockBurst(kIdClocks30[DeviceVariant]);
    WriteRegister(0, 3);
    WriteRegister(0, 2);
    const uint32_t maker = ShiftOutByte(7);
    const uint32_t device = ShiftOutByte(7);
    PowerOff();
    if (SerialEngineLost()) return -1;
    if (SkipIdCheck != 0 || IdMatches(maker, device)) return 1;
    if (RefuseIdentity(true, " Manufacturer or Device ID Error.") != 1) return -1;
    SkipIdCheck = 1;
    return 1;
}

int ReadPolarity() {
    EnterProgramMode();
    WriteRegister(4, 1);
    WriteRegister(6, 0xFF);
    WriteRegister(0, 1);
    ClockBurst(kPolarityClocks30[DeviceVariant]);
    WriteRegister(0, 3);
    WriteRegister(0, 2);
    ResetPolarityBit30 = (ReadRegister(9) >> 2) & 1;
    PowerOff();
    return SerialEngineLost() ? -1 : 1;
}

// A Page of 0 would never move the loops on, and the page store holds 21.
int Setup(int mode) {
    if (DeviceVariant >= kIdClocks30.size() || PageSize < 1 || PageSize > kMostPageBytes30) return -1;
    const uint32_t pins = PackageRow(PackageIndex).PinCount;
    g_programPin = pins == 8 ? 27 : pins == 44 ? 43 : 0;
    g_pageBytes = PageSize;
    SupplyVoltage = Vccp / 10;
    g_vppIdle = static_cast<int>(Vccp / 10);
    if (CheckId() != 1 || ReadPolarity() != 1) return -1;
    if (mode == 1) {
        SupplyVoltage = Vccp / 10;
        g_vppIdle = 50;
    } else if (mode == 3) {
        SupplyVoltage = ReadVccInUse;
        g_vppIdle = DeviceSubVariant == 1 ? 52 : DeviceSubVariant == 2 ? 37 : static_cast<int>(ReadVccInUse);
    } else {
        SupplyVoltage = ReadVccInUse;
        g_vppIdle = static_cast<int>(ReadVccInUse);
    }
    return 1;
}

int End(int r) {
    PowerOff();
    return SerialEngineLost() ? -1 : r;
}

int Read(int mode) {
    if (Setup(mode) != 1) return -1;
    PowerOn();
    WriteRegister(3, 14);
    if (mode == 2) ShowMessageLine(ResetPolarityBit30 == 0 ? " RESET active high(default)." : " RESET active low.");
    WriteRegister(0, ResetPolarityBit30 == 0 ? 0 : 2);
    return End(ReadPages(mode, g_pageBytes, [] {}));
}

// The page's bytes past DeviceEnd are not compared. A mismatch leaves the
// byte it was found at in `failed`, with its data in ReadValue and
// ExpectedValue.
int Verify(const std::array<uint8_t, kMostPageBytes30>& page, uint32_t& failed) {
    WriteRegister(0, 2);
    int r = 1;
    const uint32_t inRange = PieceBytes(g_pageBytes);
    for (uint32_t i = 0; i < g_pageBytes && r == 1; ++i) {
        ExpectedValue = page[i];
        ReadValue = ShiftOutByte(6);
        if (i < inRange && ReadValue != ExpectedValue) {
            failed = i;
            r = -1;
        }
    }
    WriteRegister(0, 3);
    return r;
}

int ProgramPage() {
    WriteRegister(4, 1);
    std::array<uint8_t, kMostPageBytes30> page{};
    bool blank = true;
    for (uint32_t i = 0; i < g_pageBytes; ++i) {
        const int b = PieceByte(i);
        if (b < 0) return -1;
        page[i] = static_cast<uint8_t>(b);
        blank = blank && b == 0xFF;
    }
    if (blank) return 1;
    for (uint32_t i = 0; i < g_pageBytes; ++i) ShiftInByte(page[i]);
    WriteRegister(4, 3);
    Pulse(PulseWidth);
    if (OverPulseWidth == 0) return 1;
    uint32_t failed = 0;
    for (int over = 0; over < 2; ++over) {
        if (Verify(page, failed) == 1) return 1;
        Pulse(OverPulseWidth);
    }
    if (Verify(page, failed) == 1) return 1;
    BufferIndex += failed * AddressStep;
    return -1;
}

int Program() {
    if (PageSize >= 1 && !StartOnPage(PageSize)) return -1;
    if (Setup(1) != 1) return -1;
    EnterProgramMode();
    return End(ProgramPages(g_pageBytes, ProgramPage));
}

} // namespace row30

// ---- row 34 --------------------------------------------------------------------------

namespace row34 {

constexpr int kProgramPin = 27;
int g_vpp = 125;
int g_vppIdle = 50;

void PowerOn() {
    SerialEngineArm();
    WriteRegister(4, 3);
    WriteRegister(3, 0);
    WriteRegister(0, 3);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetSupplyPinA(kProgramPin, 1);
    SetDacVoltage(1, g_vppIdle);
    DelayMs(1);
}

void EnterProgramMode() {
    PowerOn();
    SetDacVoltage(1, g_vpp);
    DelayShortUs(50);
    for (uint32_t v : {2u, 0u, 14u}) WriteRegister(3, v);
    SetDacVoltage(1, g_vppIdle);
    DelayShortUs(50);
    ClockBurst(1);
}

void PowerOff() {
    WriteRegister(0, 0);
    WriteRegister(3, 0);
    DelayMs(1);
    SetSupplyPinA(kProgramPin, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
}

void Pulse() {
    SetDacVoltage(1, g_vpp);
    DelayUs(PulseWidth);
    SetDacVoltage(1, g_vppIdle);
}

// Reads the polarity bit on the way; the codes must match.
int CheckId() {
    EnterProgramMode();
    WriteRegister(0, 1);
    ClockBurst(DeviceVariant == 2 ? 4104 : 2056);
    WriteRegister(0, 3);
    WriteRegister(0, 2);
    ResetPolarityBit34 = (ReadRegister(9) >> 2) & 1;
    const uint32_t maker = ShiftOutByte(6);
    const uint32_t device = ShiftOutByte(6);
    PowerOff();
    if (SerialEngineLost()) return -1;
    if (maker == ExpectedMakerId && device == ExpectedDeviceId) return 1;
    return RefuseIdentity(false, " Invalid device ID.");
}

int Setup(int mode) {
    g_vpp = static_cast<int>(Vpp / 10);
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    g_vppIdle = mode == 1 ? 60 : 50;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMs(100);
    return CheckId();
}

int End(int r) {
    PowerOff();
    return SerialEngineLost() ? -1 : r;
}

// Verify reads at the read supply too.
int Read(int mode) {
    if (Setup(2) != 1) return -1;
    PowerOn();
    WriteRegister(3, 14);
    if (mode == 2) ShowMessageLine(ResetPolarityBit34 == 0 ? " RESET active high(default)." : " RESET active low.");
    const uint32_t base = ResetPolarityBit34 == 0 ? 0 : 2;
    WriteRegister(0, base);
    return End(ReadPages(mode, 4, [base] {
        WriteRegister(0, base | 1);
        WriteRegister(0, base);
    }));
}

void ProgramWord(const std::array<uint8_t, 4>& bytes) {
    WriteRegister(0, 2);
    WriteRegister(0, 3);
    WriteRegister(4, 1);
    for (uint8_t b : bytes) ShiftInByte(b);
    WriteRegister(4, 3);
}

int Program() {
    if (!StartOnPage(4)) return -1;
    if (Setup(1) != 1) return -1;
    EnterProgramMode();
    return End(ProgramPages(4, [] {
        std::array<uint8_t, 4> bytes{};
        bool blank = true;
        for (uint32_t i = 0; i < 4; ++i) {
            const int b = PieceByte(i);
            if (b < 0) return -1;
            bytes[i] = static_cast<uint8_t>(b);
            blank = blank && b == 0xFF;
        }
        if (!blank) {
            ProgramWord(bytes);
            Pulse();
        }
        return 1;
    }));
}

} // namespace row34

int Options() { return ShowOptXc17xxxHook ? ShowOptXc17xxxHook() : 0; }

} // namespace

int ProgramResetPolarity30() {
    using namespace row30;
    if (Setup(1) != 1) return -1;
    EnterProgramMode();
    WriteRegister(0, 1);
    WriteRegister(4, 1);
    ClockBurst(kPolarityClocks30[DeviceVariant]);
    WriteRegister(0, 3);
    WriteRegister(4, 1);
    for (uint32_t i = 0; i < g_pageBytes; ++i) ShiftInByte(0);
    WriteRegister(4, 3);
    Pulse(5000);
    PowerOff();
    if (ReadPolarity() != 1) return -1;
    return ResetPolarityBit30 != 0 ? 1 : -1;
}

// The bit is read back as the identity check reads it.
int ProgramResetPolarity34() {
    using namespace row34;
    if (Setup(1) != 1) return -1;
    EnterProgramMode();
    WriteRegister(0, 1);
    ClockBurst(DeviceEnd / 4 + 1);
    WriteRegister(0, 3);
    ProgramWord({0, 0, 0, 0});
    Pulse();
    PowerOff();
    if (CheckId() != 1) return -1;
    return ResetPolarityBit34 != 0 ? 1 : -1;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 30,
     .Read = row30::Read,
     .Program = row30::Program,
     .Options = Options,
     .VariantCount = 4,
     .VariantTable = "the identification offsets",
     .LeastPage = 1,
     .MostPage = 21,
     .StartRefusal = " Start address must be a multiple of",
     .StartUnit = [] { return PageSize >= 1 ? PageSize : 1u; },
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 34,
     .Read = row34::Read,
     .Program = row34::Program,
     .Options = Options,
     .VariantCount = 3,
     .VariantTable = "the identification offsets",
     .StartRefusal = " Start address must be a multiple of",
     .StartUnit = [] { return 4u; },
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("ConfigProm", Memory, 220, kAlgorithmRows);
