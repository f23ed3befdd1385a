// JEDEC command-set NOR flash on the flash bus: address latches 0-2, socket
// /CE mask 3 (active low), line patterns 4 (93h unpowered, D3h idle, DDh write
// mode, DFh read strobe, DBh/C7h read loop, 83h die-ID read), read loop 5,
// data 6-7, auto-command mode 8, mode line 9.
//
// One engine from small helpers: the power-up by the row's table, command
// cycles with the doubling rule, the program cycle of a datum by the row's
// style, the DQ7 and DQ6 polls (per socket or on socket 0), the erase passes;
// per-row tables and named functions say what each row does. The sector
// protection procedures are in JedecProtectProcedures.cpp, the dialog's
// readers and writers in JedecProtectRoutines.cpp.
#include "memory/JedecFlash.h"

#include <algorithm>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/FlashBus.h"
#include "memory/JedecFlashShared.h"
#include "memory/MemoryFrame.h"
#include "memory/SectorProtection.h"

using namespace jedec;

namespace {

using namespace flashbus;

// The read of a powered-up row: /CE of the socket under test, the loop, power-down.
int ReadOnSocket(int mode, bool word) {
    WriteRegister3(NotSocket(CurrentSocket));
    const int r = ReadLoop(mode, word, 0xDB);
    PowerOff();
    return r;
}

// ---- rows 50 and 51: plain write cycles ------------------------------------------

void PowerOnPlain(int mode, int reg7) {
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.Park = 0xD3;
    p.RangeTenths = static_cast<int>(SupplyVoltage);
    p.Reg7 = reg7;
    p.Reg8 = false;
    p.SettleMs = 100;
    p.Idle = false;
    flashbus::PowerOn(p);
}

int Row50Reg7() { return DeviceVariant == 0 ? 1 : DeviceVariant == 3 ? 2 : 0; }

int Alg50Read(int mode) {
    UseFrame(false);
    PowerOnPlain(2, Row50Reg7());
    return ReadOnSocket(mode, false);
}

// Row 51 reads the socket under test as row 50 does: with every socket
// selected a gang's per-socket verify would read them all at once.
int Alg51Read(int mode) {
    UseFrame(true);
    PowerOnPlain(2, -1);
    return ReadOnSocket(mode, true);
}

template <bool Word> int PlainProgram() {
    UseFrame(Word);
    PowerOnPlain(1, Word ? -1 : Row50Reg7());
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    const int r = WalkAddresses(Word ? 0x7FFF : 0xFFFF, 1, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, false}, ChipAddress, first);
        WriteRegister(4, 0xDD);
        if (Word) {
            // Every word is written, FFFFh too: the part is a RAM, whose
            // cells hold whatever they held, not an erased array.
            ExpectedValue = BufferWordAt(BufferIndex);
            WriteRegister(0, ChipAddress & 0xFF);
            WriteRegister(6, ExpectedValue & 0xFF); // the high byte last: it ends the write
            WriteRegister(7, (ExpectedValue >> 8) & 0xFF);
        } else {
            ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
            WriteRegister(0, ChipAddress & 0xFF);
            WriteRegister(6, ExpectedValue);
        }
        BufferIndex += AddressStep;
        return 1;
    });
    PowerOff();
    return r;
}
constexpr AlgOperationFn Alg50Program = PlainProgram<false>;
constexpr AlgOperationFn Alg51Program = PlainProgram<true>;

// ---- rows 6, 56, 58 -------------------------------------------------------------

// Row 6's high-voltage pin A (A9) by adapter.
int Row6PinA() { return AdapterCode == 'P' ? 43 : AdapterCode == 'Q' ? 11 : 34; }

// Variant 14, sub-variant 1 reads the die identifier at power-up.
bool ChecksDieId6() { return DeviceVariant == 14 && DeviceSubVariant == 1; }

int ReadDieId() {
    WriteRegister(3, 0);
    SetSupplyPinA(Row6PinA(), 1);
    DelayShortUsSlot(4);
    WriteRegister(4, 0x83);
    WriteRegister(0, 3);
    DelayShortUsSlot(10);
    g_dieId = ReadRegister(6);
    const bool ok = g_dieId == 0 || g_dieId == 1;
    if (!ok) RefuseIdentity(false, " Incorrect die ID!");
    SetSupplyPinA(Row6PinA(), 0);
    DelayMsSlot(2);
    WriteRegister(0, DeviceStart & 0xFF);
    WriteRegister(1, (DeviceStart >> 8) & 0xFF);
    WriteRegister(2, (DeviceStart >> 16) & 0xFF);
    return ok ? 1 : -1;
}

int PowerOn6(int mode) {
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.RangeTenths = 33;
    p.Dac = 120;
    const uint32_t v = DeviceVariant;
    if (v == 10 || v == 11 || v == 31 || v == 32) p.Reg9 = 1;
    p.Reg9First = true;
    flashbus::PowerOn(p);
    if (v != 14) return 1;
    if (ChecksDieId6()) return ReadDieId();
    if (DeviceSubVariant == 0) g_dieId = 1;
    if (DeviceSubVariant == 2) g_dieId = 0;
    return 1;
}

int PowerOn56(int mode) {
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.RangeTenths = static_cast<int>(SupplyVoltage);
    static constexpr int kReg9[3] = {2, 5, 0};
    if (CurrentAlgorithm == 58) p.Reg9 = 8;
    else if (DeviceVariant < 3) p.Reg9 = kReg9[DeviceVariant];
    p.Reg9First = true;
    p.Idle = false;
    flashbus::PowerOn(p);
    return 1;
}

} // namespace

namespace jedec {

uint32_t g_dieId = 0;

int PowerOnCore(int mode) { return CurrentAlgorithm == 6 ? PowerOn6(mode) : PowerOn56(mode); }

} // namespace jedec

namespace {

template <bool Word> int CoreRead(int mode) {
    return OnCore(Word, mode, [&] {
        WriteRegister3(NotSocket(CurrentSocket));
        return ReadLoop(mode, Word, 0xDB);
    });
}

// Rows 6 and 56: the auto-command program of a byte; DQ7 in write mode or
// row 56's toggle poll in the read strobe.
int CoreByteDatum() {
    ProgramCycle(false, Prefix::Auto);
    if (CurrentAlgorithm == 6 || DeviceSubVariant == 0) return PollDq7(200, ExpectedValue) ? 1 : -1;
    WriteRegister(4, 0xDF);
    const bool ok = PollToggle(10);
    WriteRegister(4, 0xDD);
    return ok ? 1 : -1;
}

// Row 58: each command byte on both data registers, toggle poll in write mode.
int Row58Datum() {
    ProgramCycle(true, Prefix::Auto, 0xA0, true);
    return PollToggle(10, true) ? 1 : -1;
}

template <bool Word> int CoreProgram() {
    return OnCore(Word, 1, [] {
        WriteRegister(8, 8);
        WriteRegister3(0);
        WriteRegister(4, 0xDD);
        return Word ? ProgramLoop(true, Row58Datum) : ProgramLoop(false, CoreByteDatum);
    });
}

int CoreErase() {
    const bool word = CurrentAlgorithm == 58;
    return OnCore(word, 1, [&] {
        WriteRegister3(0);
        WriteRegister(4, 0xDD);
        ChipEraseCommands(kUnlock5555, word);
        const uint32_t doneBits = word ? 0x8080 : 0x80;
        return ErasePasses(CurrentAlgorithm == 6 ? 900 : 50, [&] { return (ReadData(word) & doneBits) != 0; });
    });
}

constexpr AlgReadFn Alg6Read = CoreRead<false>;
constexpr AlgOperationFn Alg6Program = CoreProgram<false>;
constexpr AlgOperationFn Alg6Erase = CoreErase;
constexpr AlgReadFn Alg56Read = CoreRead<false>;
constexpr AlgOperationFn Alg56Program = CoreProgram<false>;
constexpr AlgOperationFn Alg56Erase = CoreErase;
constexpr AlgReadFn Alg58Read = CoreRead<true>;
constexpr AlgOperationFn Alg58Program = CoreProgram<true>;
constexpr AlgOperationFn Alg58Erase = CoreErase;

// ---- rows 78, 87, 93, 72, 46 ---------------------------------------------------------

int Capped33(uint32_t v) { return static_cast<int>(std::min<uint32_t>(v, 33)); }

} // namespace

namespace jedec {

bool Flag(uint32_t bit) { return (DeviceFlags & bit) != 0; }
int PackagePins() { return PackageRow(PackageIndex).PinCount; }

// Row 72's pins by the package's pin count: the reset pin for 32 pins only.
HvPins PinsOf72() {
    if (PackagePins() == 32) return {.A9 = 34, .Oe = 32, .Reset = 9, .Ce = 30, .We = 39};
    if (PackagePins() == 40) return {.A9 = 11, .Oe = 28, .Ce = 26, .We = 13};
    return {};
}

// Row 46's pins by adapter; an adapter without a table row has none.
HvPins PinsOf46() {
    const bool set = Flag(0x200);
    switch (AdapterCode) {
    case 0x50:
        return {43, 16, 0, !set && Flag(0x800) ? 3 : 46};
    case 0x51:
        return set ? HvPins{9, 27, 0, 1} : HvPins{7, 28, 14, 12};
    case 0x5C:
    case 0x78:
        return set ? HvPins{} : HvPins{7, 28, 14, 11};
    case 0x6B:
        return {33, 0, 0, 26};
    default:
        return {};
    }
}

int PowerOnFamily(int mode) {
    SupplyVoltage = Supply(mode);
    PowerUp p;
    p.RangeTenths = static_cast<int>(SupplyVoltage);
    switch (CurrentAlgorithm) {
    case 78:
        p.RangeMode = Flag(0x100) ? 1 : 0;
        if (Flag(0x200)) p.Reg9 = 1;
        p.IdleMs = 10;
        if (DeviceSubVariant != 1) ProtectOverride = 0;
        break;
    case 93:
        if (mode == 1) p.RangeTenths = Capped33(SupplyVoltage);
        p.Dac = 120;
        break;
    case 72:
        if (mode == 1) p.RangeTenths = Capped33(SupplyVoltage);
        p.Dac = DeviceSubVariant == 2 ? 100 : 120;
        if (Flag(0x100)) p.Reg9 = 1;
        p.Doubling = Flag(0x400);
        break;
    case 46:
        if (SupplyVoltage < 29) SupplyVoltage += mode == 1 ? 4 : 2;
        p.RangeTenths = Capped33(SupplyVoltage);
        if (Flag(0x400)) p.Reg9 = 1;
        p.Doubling = Flag(0x400);
        p.IdleMs = 100;
        break;
    case 87:
        if (SupplyVoltage < 30) p.SupplyBump = 2;
        p.IdleMs = 100;
        break;
    default:
        break;
    }
    flashbus::PowerOn(p);
    return 1;
}

} // namespace jedec

namespace {

bool Word(uint32_t row) { return row == 78 || row == 87 || row == 46; }

// Identify: unlock and 90h at the row's addresses on socket 0, the two codes.
int FamilyIdentify() {
    const uint32_t row = CurrentAlgorithm;
    const bool word = Word(row);
    UseFrame(word);
    PowerOnFamily(2);
    WriteRegister3(0xFE);
    WriteRegister(4, 0xDD);
    const flashbus::UnlockPair pair = row == 78 ? kUnlock5555 : kUnlock555;
    int result = 1;
    const bool byVoltage = row == 72 && (DeviceSubVariant == 3 || DeviceSubVariant == 6);
    const int a9 = PinsOf72().A9;
    if (byVoltage && a9 == 0) {
        ShowMessageLine(" No high-voltage pin for this package!");
        result = -1;
    } else if (byVoltage) {
        SetSupplyPinA(a9, 1);
    } else {
        Unlock(pair, 0x90);
    }
    if (result == 1) {
        if (row == 72) {
            WriteRegister(0, 0);
            ChipMakerId = StrobedDatum(false);
            WriteRegister(0, 1);
            ChipDeviceId = StrobedDatum(false);
        } else {
            WriteAddress(0);
            ChipMakerId = StrobedDatum(word);
            WriteAddress(1);
            ChipDeviceId = StrobedDatum(word);
        }
        if (byVoltage) SetSupplyPinA(a9, 0);
        if (row == 78) Unlock(pair, 0xF0);
        if (row == 46) CommandCycle(0, 0xF0);
    }
    WriteRegister3(0xFF);
    WriteRegister(4, 0xD3);
    PowerOff();
    return result;
}
constexpr AlgOperationFn Alg78Identify = FamilyIdentify;
constexpr AlgOperationFn Alg72Identify = FamilyIdentify;
constexpr AlgOperationFn Alg46Identify = FamilyIdentify;

// Row 46's Vpp step of sub-variant 2 (9.0 V on the adapter's Vpp pin): 1, or
// -1 when the adapter has no Vpp pin.
int Row46Vpp(int state) {
    if (CurrentAlgorithm != 46 || DeviceSubVariant != 2) return 1;
    const int pin = PinsOf46().Vpp;
    if (pin == 0) {
        ShowMessageLine(" No Vpp pin for this adapter!");
        return -1;
    }
    ApplyVppToPin(pin, state, state == 1 ? 90 : 33);
    return 1;
}

void OverrideOn() {
    if (ProtectOverride == 1) ApplyVppToPin(12, 1, 120);
}
void OverrideOff() {
    if (ProtectOverride == 1) ApplyVppToPin(12, 0, 50);
}

int FamilyRead(int mode) {
    const bool word = Word(CurrentAlgorithm);
    UseFrame(word);
    PowerOnFamily(2);
    return ReadOnSocket(mode, word);
}
constexpr AlgReadFn Alg78Read = FamilyRead;
constexpr AlgReadFn Alg93Read = FamilyRead;
constexpr AlgReadFn Alg72Read = FamilyRead;
constexpr AlgReadFn Alg46Read = FamilyRead;

// Row 78: sub-variant 0 sends the command bytes per word (auto-command), 1
// enters the fast mode once; socket 0 is polled.
int Row78Datum() {
    ProgramCycle(true, DeviceSubVariant == 0 ? Prefix::Auto : Prefix::None);
    if (GangInUse()) WriteRegister3(0xFE);
    WriteRegister(4, 0xDF);
    const bool ok = DeviceSubVariant == 1 ? PollDq7(10, ExpectedValue, false, true) : PollToggle(10, true);
    if (GangInUse()) WriteRegister3(0);
    return ok ? 1 : -1;
}

int Alg78Program() {
    UseFrame(true);
    PowerOnFamily(1);
    OverrideOn();
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    if (DeviceSubVariant == 1) {
        Unlock(kUnlock5555, 0x80); // the fast program mode, entered once
        Unlock(kUnlock5555, 0xA0);
    } else {
        WriteRegister(8, 8);
    }
    const int r = ProgramLoop(true, Row78Datum);
    OverrideOff();
    PowerOff();
    return r;
}

int Alg78Erase() {
    UseFrame(true);
    PowerOnFamily(1);
    OverrideOn();
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    ChipEraseCommands(kUnlock5555);
    const int r = EraseEverySocket(DeviceSubVariant == 0 ? 30 : 100, true);
    OverrideOff();
    PowerOff();
    return r;
}

// Rows 93, 72, 46: bypass (A0h per datum) or auto-command (AAh 55h A0h), a
// DQ7 poll of every socket.
int BypassOrAuto() {
    if (Flag(CurrentAlgorithm == 46 ? 0x100 : 0x200)) {
        Unlock(kUnlock555, 0x20);
        return 1;
    }
    WriteRegister(8, 8);
    return 0;
}

bool g_bypass = false;

int ProgramCycleAndPoll(bool word) {
    ProgramCycle(word, g_bypass ? Prefix::Command : Prefix::Auto);
    WriteRegister(4, 0xDF);
    return PollDq7EverySocket(200, ExpectedValue, word) ? 1 : -1;
}

// Rows 93 and 72 give a datum up to 10 command-and-poll attempts.
int ByteDatumWithRetries() {
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (ProgramCycleAndPoll(false) == 1) return 1;
    }
    return -1;
}
int WordDatumOnce() { return ProgramCycleAndPoll(true); }

// Power-up for programming, row 46's Vpp step around body() with every socket
// in write mode, power-down.
template <class Body> int ProgramSession(Body&& body) {
    PowerOnFamily(1);
    int r = Row46Vpp(1);
    if (r == 1) {
        WriteRegister3(0);
        WriteRegister(4, 0xDD);
        r = body();
        Row46Vpp(0);
    }
    PowerOff();
    return r;
}

int FamilyProgram() {
    const bool word = Word(CurrentAlgorithm);
    UseFrame(word);
    return ProgramSession([&] {
        g_bypass = BypassOrAuto() == 1;
        return word ? ProgramLoop(true, WordDatumOnce) : ProgramLoop(false, ByteDatumWithRetries);
    });
}
constexpr AlgOperationFn Alg93Program = FamilyProgram;
constexpr AlgOperationFn Alg72Program = FamilyProgram;
constexpr AlgOperationFn Alg46Program = FamilyProgram;

uint32_t Row46EraseLimit() {
    if (SupplyVoltage < 29) return 1500;
    return MakerIndex == MakerAmd || MakerIndex == MakerFujitsu ? 1300 : 1500;
}

int FamilyErase() {
    const uint32_t row = CurrentAlgorithm;
    const bool word = Word(row);
    UseFrame(word);
    return ProgramSession([&] {
        ChipEraseCommands(row == 46 ? kUnlock555 : kUnlock5555);
        const int r = EraseEverySocket(row == 46 ? Row46EraseLimit() : 900, word);
        WriteRegister3(0);
        return r;
    });
}
constexpr AlgOperationFn Alg93Erase = FamilyErase;
constexpr AlgOperationFn Alg72Erase = FamilyErase;
constexpr AlgOperationFn Alg46Erase = FamilyErase;

// Row 87: three 512K-word dies on /CE bits 0-2.
constexpr uint32_t kDieWords = 0x80000;

void SelectDieIfDue(bool first) {
    if (!first && ChipAddress % kDieWords != 0) return;
    WriteRegister3(NotSocket(ChipAddress / kDieWords));
    DelayMsSlot(10);
}

int Row87Datum() {
    ProgramCycle(true, Prefix::Auto, ChipAddress < 0x100000 ? 0xA0 : 0xA5);
    WriteRegister(4, 0xDF);
    return (DeviceSubVariant == 1 ? PollDq7(10, ExpectedValue, false, true) : PollToggle(10, true)) ? 1 : -1;
}

int Alg87Read(int mode) {
    UseFrame(true);
    PowerOnFamily(2);
    const int r = ReadLoop(mode, true, 0xC7, 1, SelectDieIfDue);
    PowerOff();
    return r;
}

int Alg87Program() {
    UseFrame(true);
    PowerOnFamily(1);
    WriteRegister(4, 0xDD);
    WriteRegister(8, 8);
    const int r = ProgramLoop(true, SelectDieIfDue, Row87Datum);
    PowerOff();
    return r;
}

int Alg87Erase() {
    UseFrame(true);
    PowerOnFamily(1);
    int r = 1;
    for (uint32_t die = 0; die < 3 && r == 1; ++die) {
        WriteRegister3(NotSocket(die));
        DelayMsSlot(100);
        WriteRegister(4, 0xDD);
        ChipEraseCommands(kUnlock5555);
        r = ErasePasses(30, [] {
            const uint32_t a = StrobedDatum(true), b = StrobedDatum(true);
            return ((a ^ b) & 0x40) == 0;
        });
    }
    PowerOff();
    return r;
}

} // namespace

// ---- row 58: the SRAM test -------------------------------------------------------

int Alg58Options() {
    const uint32_t keepStart = DeviceStart, keepEnd = DeviceEnd;
    static constexpr uint32_t kEnds[3] = {0xFFFF, 0x1FFFF, 0x3FFFF};
    DeviceStart = 0;
    if (DeviceVariant < 3) DeviceEnd = kEnds[DeviceVariant];
    ShowMessageLine("SRAM Testing...");
    ProgressStep = 256;
    UseFrame(true);
    PowerOn56(1);
    WriteRegister(9, 0);
    WriteRegister(4, 0xDD);
    int r = WalkAddresses(0xFFFFFFFFu, 0, [](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, false}, ChipAddress, first);
        WriteRegister(0, ChipAddress & 0xFF);
        for (uint32_t pattern : {0xAAu, 0x55u}) {
            WriteRegister(7, pattern);
            WriteRegister(6, pattern);
            if (ReadData(true) != (pattern | (pattern << 8))) return -1;
        }
        return 1;
    });
    PowerOff();
    if (r == 1) {
        ReplaceLastMessageLine("SRAM Test ok!");
        ShowProgressStatus(100, DeviceEnd);
    } else {
        ReplaceLastMessageLine("SRAM Test error!");
    }
    Beep(r == 1 ? 1 : -1);
    DeviceStart = keepStart;
    DeviceEnd = keepEnd;
    return r;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 50, .Read = Alg50Read, .Program = Alg50Program, .Options = Alg50Options},
    {.Row = 51, .Read = Alg51Read, .Program = Alg51Program, .Options = Alg51Options},
    {.Row = 6,
     .Read = Alg6Read,
     .Program = Alg6Program,
     .Erase = EraseNamingProtectedSectors<Alg6Erase>,
     .Options = Alg6Options,
     .ChecksIdentity = ChecksDieId6},
    {.Row = 56, .Read = Alg56Read, .Program = Alg56Program, .Erase = Alg56Erase},
    {.Row = 58, .Read = Alg58Read, .Program = Alg58Program, .Erase = Alg58Erase, .Options = Alg58Options},
    {.Row = 78,
     .Identify = Alg78Identify,
     .Read = Alg78Read,
     .Program = Alg78Program,
     .Erase = EraseNamingProtectedSectors<Alg78Erase>,
     .Options = Alg6Options},
    {.Row = 87, .Read = Alg87Read, .Program = Alg87Program, .Erase = Alg87Erase},
    {.Row = 93, .Read = Alg93Read, .Program = Alg93Program, .Erase = EraseNamingProtectedSectors<Alg93Erase>, .Options = Alg6Options},
    {.Row = 72,
     .Identify = Alg72Identify,
     .Read = Alg72Read,
     .Program = Alg72Program,
     .Erase = EraseNamingProtectedSectors<Alg72Erase>,
     .Options = Alg6Options},
    {.Row = 46,
     .Identify = Alg46Identify,
     .Read = Alg46Read,
     .Program = Alg46Program,
     .Erase = EraseNamingProtectedSectors<Alg46Erase>,
     .Options = Alg6Options},
};

ROW_FAMILY("JedecFlash", Memory, 40, kAlgorithmRows);
