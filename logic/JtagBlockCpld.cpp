#include "logic/JtagBlockCpld.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "logic/FuseCells.h"
#include "logic/PldPower.h"

namespace {

enum Instruction : uint32_t {
    kIdentify = 1,
    kRowSelect = 3,
    kProgramData = 4,
    kErase = 5,
    kProgram = 6,
    kReadData = 7,
    kSecure = 8,
    kEnable = 15,
};
constexpr int kIrLength = 6;
constexpr int kRows = 62;
constexpr uint32_t kEnableValue = 0x08;
constexpr int kProgramSupply = 50;

int SpecialCounter = 0; // cells taken in the current block of a special or E row

// Four register writes per TCK: levels, TCK high, TCK low, all low.
void Clock(int tms, int tdi) {
    const uint32_t v = 4u * static_cast<uint32_t>(tms & 1) + 2u * static_cast<uint32_t>(tdi & 1);
    WriteRegister(0, v);
    WriteRegister(0, v | 1);
    WriteRegister(0, v);
    WriteRegister(0, 0);
}

int Tdo() { return ReadRegister(7) & 1; }

void ResetTap() {
    for (int i = 0; i < 10; ++i) Clock(1, 0);
}

void LoadInstruction(uint32_t value) {
    for (int t : {1, 1, 0, 0}) Clock(t, 0);
    uint32_t captured = 0;
    for (int i = 0; i < kIrLength; ++i) {
        captured |= static_cast<uint32_t>(Tdo()) << i;
        Clock(i == kIrLength - 1 ? 1 : 0, (value >> i) & 1);
    }
    Clock(1, 0);
    Clock(0, 0);
    if (captured != 1) CompareFailed = 1;
}

// A data scan of count bits with TDI from bitAt(i), entered from and left to
// Run-Test/Idle.
template <class BitAt> void Scan(int count, BitAt bitAt) {
    for (int t : {1, 0, 0}) Clock(t, 0);
    for (int i = 0; i < count; ++i) Clock(i == count - 1 ? 1 : 0, bitAt(i));
    Clock(1, 0);
    Clock(0, 0);
}
void ScanValue(uint64_t value, int count) {
    Scan(count, [&](int i) { return static_cast<int>((value >> i) & 1); });
}
void ScanConstant(int count, int bit, int last) {
    Scan(count, [&](int i) { return i == count - 1 ? last : bit; });
}

int Bits(const JtagBlockType& t) { return t.Layout->Blocks * t.Layout->Clocks; }

void PowerDown() {
    ResetTap();
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    WriteRegister(4, 0);
}

int PowerUp(const JtagBlockType& t, int mode) {
    SecureCheckValue = 0;
    if (mode == 1) {
        SupplyVoltage = kProgramSupply;
        Vccp = kProgramSupply;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    const int supply = static_cast<int>(SupplyVoltage);
    PldSupplyRangeAndGround(supply);
    WriteRegister(4, 1);
    SetDevicePower(1, supply);
    DelayMsSlot(1);
    ResetTap();
    Clock(0, 0);
    LoadInstruction(kIdentify);
    uint32_t id = 0;
    Scan(32, [&](int i) {
        id |= static_cast<uint32_t>(Tdo()) << i;
        return 0;
    });
    // Another part is powered down before its line; the entry ends there.
    if (id != t.Idcode) {
        PowerDown();
        return RefuseIdentity(false, " Incorrect device ID");
    }
    LoadInstruction(kEnable);
    ScanValue(kEnableValue, 5);
    return 1;
}

// The fuse of one bit of a row scan, or -1. Mode 1 counts program bits;
// the other modes captured bits, which come in the reverse order.
int32_t FuseOfBit(const JtagBlockType& t, int bit, int row, int mode, bool& eCell) {
    const BlockCpldLayout& l = *t.Layout;
    eCell = false;
    const int h = bit / l.Clocks;
    const int c = bit % l.Clocks;
    if (c == 0) SpecialCounter = 0;
    const int block = mode == 1 ? l.Blocks - 1 - h : h;
    const int clock = mode == 1 ? c : l.Clocks - 1 - c;
    const int32_t base = static_cast<int32_t>(l.BlockFuses) * block;
    if (row < l.ArrayRows) {
        const int32_t f = l.ArrayFuse(row, clock);
        return f < 0 ? -1 : base + f;
    }
    if (SpecialCounter > 15) return -1;
    const int k = mode == 1 ? SpecialCounter : 15 - SpecialCounter; // the cell in program order
    if (clock != l.SpecialClocks[k]) return -1;
    if (row == l.ERow) {
        eCell = true;
        if (mode == 0) return -1; // the E row is never blank-checked
        ++SpecialCounter;
        return l.EFuse(block, k);
    }
    ++SpecialCounter;
    const int32_t f = l.SpecialFuse(row, k);
    return f < 0 ? -1 : base + f;
}

void MapCell(const JtagBlockType& t, int bit, int row, int mode) {
    ExpectedValue = 0;
    bool eCell = false;
    const int32_t fuse = FuseOfBit(t, bit, row, mode, eCell);
    if (fuse < 0) return;
    ExpectedValue = ProcessFuseBit(fuse, 0, static_cast<int>(ReadValue), mode);
    if (eCell && mode == 1) ExpectedValue = (~ExpectedValue) & 1; // the E row goes in complemented
}

void ProgramRow(const JtagBlockType& t, int row) {
    LoadInstruction(kProgramData);
    Scan(Bits(t), [&](int i) {
        MapCell(t, i, row, 1);
        return static_cast<int>(ExpectedValue & 1);
    });
}

void ReadRow(const JtagBlockType& t, int row, int mode) {
    LoadInstruction(kReadData);
    const int count = Bits(t);
    for (int tms : {1, 0, 0}) Clock(tms, 0);
    for (int i = 0; i < count; ++i) {
        ReadValue = static_cast<uint32_t>(Tdo());
        MapCell(t, i, row, mode);
        const bool last = i == count - 1;
        Clock(last ? 1 : 0, last ? 1 : 0);
    }
    Clock(1, 0);
    Clock(0, 0);
}

int RunFuseMap(const JtagBlockType& t, int mode) {
    if (PowerUp(t, mode) == -1) return -1;
    if (mode == 1) {
        LoadInstruction(kRowSelect);
        ScanConstant(kRows, 0, 0);
        LoadInstruction(kProgramData);
        ScanConstant(Bits(t), 0, 0);
        LoadInstruction(kProgram);
        DelayMsSlot(100);
    }
    LoadInstruction(kRowSelect);
    ScanConstant(kRows, 0, 1); // a single 1 last: row 0
    if (mode != 1) {
        LoadInstruction(kProgramData);
        ScanConstant(Bits(t), 0, 1);
    }
    int r = 1;
    for (int row = 0; row < kRows && r == 1; ++row) {
        if (mode == 1) {
            ProgramRow(t, row);
            LoadInstruction(kProgram);
            DelayMsSlot(50);
        } else {
            ReadRow(t, row, mode);
        }
        LoadInstruction(kRowSelect);
        ScanConstant(1, 0, 0);
        if (CompareFailed == 1) r = -1;
    }
    PowerDown();
    return r;
}

int Erase(const JtagBlockType& t) {
    const int r = PowerUp(t, 1);
    if (r != 1) return r;
    LoadInstruction(kRowSelect);
    ScanConstant(kRows, 1, 1);
    LoadInstruction(kErase);
    DelayMsSlot(100);
    PowerDown();
    return r;
}

int Secure(const JtagBlockType& t) {
    const int r = PowerUp(t, 1);
    if (r != 1) return r;
    LoadInstruction(kSecure);
    DelayMsSlot(50);
    PowerDown();
    return r;
}

} // namespace

const JtagBlockType JtagBlock264 = {264, 0x07458003, &BlockCpldLayout260};
const JtagBlockType JtagBlock265 = {265, 0x07058003, &BlockCpldLayout261};

int Alg264Read(int mode) { return RunFuseMap(JtagBlock264, mode); }
int Alg264Program() { return RunFuseMap(JtagBlock264, 1); }
int Alg264Erase() { return Erase(JtagBlock264); }
int Alg264Secure() { return Secure(JtagBlock264); }
int Alg265Read(int mode) { return RunFuseMap(JtagBlock265, mode); }
int Alg265Program() { return RunFuseMap(JtagBlock265, 1); }
int Alg265Erase() { return Erase(JtagBlock265); }
int Alg265Secure() { return Secure(JtagBlock265); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 264,
     .Read = Alg264Read,
     .Program = Alg264Program,
     .Erase = Alg264Erase,
     .Secure = Alg264Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 265,
     .Read = Alg265Read,
     .Program = Alg265Program,
     .Erase = Alg265Erase,
     .Secure = Alg265Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("JtagBlock", Logic, 90, kAlgorithmRows);
