#include "logic/AddressListPld.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"

namespace {

constexpr int kBlank = 0, kWriting = 1, kStore = 2, kVerify = 3, kCompare = 4;
constexpr uint32_t kBank1 = 0x10000;
constexpr uint32_t kVariantCount = 6, kVariantCount250 = 4;

// The list's words are little-endian 16-bit; an end word with bit 0 cleared
// is FFFEh: FFFFh starts another group, FFFEh ends the list.
bool IsEndWord(uint32_t w) { return (w & 0xFFFE) == 0xFFFE; }

// Row 250 variant 0 passes over these list addresses, matched in order,
// unless the part answered an alternative product code.
constexpr uint16_t kReservedAddresses[] = {0x8E0, 0x8E1, 0x8E2, 0x8E3, 0x8E4, 0x8E8, 0x8E9, 0x8EA, 0x8EB};

struct CodeTable250 {
    uint16_t maker[4], makerMask;
    uint16_t product[4], productMask;
    uint16_t security[4], securityMask;
};
constexpr CodeTable250 kCodeChecks250[kVariantCount250] = {
    {{0xC, 0xC, 0x4, 0x4}, 0x0F, {0xE, 0xE, 0x0, 0x0}, 0x0F, {0x5E2, 0x5E8, 0xBE2, 0xBE8}, 0x00F},
    {{0x30, 0x30, 0x10, 0x10}, 0x3C, {0x30, 0x30, 0x00, 0x00}, 0x3C, {0x5E2, 0x5E8, 0xA62, 0xA68}, 0x03C},
    {{0x30, 0x30, 0x10, 0x10}, 0x3C, {0x04, 0x04, 0x04, 0x04}, 0x3C, {0x5E2, 0x5E8, 0xA62, 0xA68}, 0x0FC},
    {{0x30, 0x30, 0x10, 0x10}, 0x3C, {0x00, 0x00, 0x04, 0x04}, 0x3C, {0x5E2, 0x5E8, 0xA62, 0xA68}, 0xFFC},
};
constexpr uint16_t kMakerReads250[4] = {0x463, 0x4E3, 0x462, 0x4E2};
constexpr uint16_t kProductReads250[4] = {0x464, 0x4E4, 0x468, 0x4E8};

struct CodeRead {
    uint16_t address;
    uint8_t mask, value;
    const char* refusal;
    bool identity; // a maker or product code, not the security cell
};
constexpr CodeRead kCodeReads251[] = {
    {0x462, 0x0F, 0x4, " Manufacturer's Code Error!", true}, {0x463, 0x0F, 0xC, " Manufacturer's Code Error!", true},
    {0x464, 0x0F, 0x9, " Product Code Error!", true},        {0x468, 0x0F, 0x0, " Product Code Error!", true},
    {0x5EB, 0x01, 0x1, " Device Secured!", false},
};
constexpr CodeRead kCodeReads252[] = {
    {0x7C7, 0xFF, 0xC4, " Manufacturer's Code Error!", true},
    {0x7C6, 0xFF, 0x0A, " Product Code Error!", true},
    {0x8000, 0x80, 0x80, " Device Secured!", false},
};

// A code read refused: nothing was compared, so the run ends at its line.
void RefuseCode(const CodeRead& c) {
    if (c.identity) {
        RefuseIdentity(false, "%s", c.refusal);
        return;
    }
    ShowMessageLine("%s", c.refusal);
    ReadRefusedByDevice();
}

// Volts in the tenths the power layer takes.
constexpr int V(double volts) { return static_cast<int>(volts * 10 + 0.5); }

// State of the running slot.
struct Slot {
    uint32_t Row = 0;
    uint32_t Entry = 0, EntrySize = 0;
    uint32_t Mask = 0;
    bool Wide = false;  // row 250 variant 3: 12-bit words
    bool Alternate = false;
    int VppPin = 1;
    // Row 250 variant 3: bank 1 of the buffer for the slot's run, 64 KB.
    std::vector<uint8_t> HighNibbles;
};

uint8_t* Bank1() { return BankCount >= 2 ? BufferImage() + kBank1 : nullptr; }

// Bank 1 of the buffer, made (cleared to 0) when the image has only bank 0.
const uint8_t* EnsureBank1() {
    if (BankCount < 2) {
        const uint32_t bank = CurrentBank;
        if (SelectBank(kBank1, 1) != 1) return nullptr;
        std::memset(BufferImage() + kBank1, 0, BufferBankBytes);
        SelectBank(bank << 16, 0);
    }
    return Bank1();
}

// --- The walk

void SetAddress(uint32_t a) {
    WriteRegister(0, a & 0xFF);
    WriteRegister(1, (a >> 8) & 0xFF);
}

uint32_t BufferWord(const Slot& s, uint32_t a) {
    uint32_t v = BufferImage()[a & 0xFFFF];
    if (s.Wide && !s.HighNibbles.empty()) v |= static_cast<uint32_t>(s.HighNibbles[a & 0xFFFF]) << 8;
    return v;
}

// The walk over the list; `visit` handles one address with the group's mask
// and returns -1 to end the walk. The walk ends at FFFEh and at the entry's
// end, whichever comes first.
template <class Visit> int WalkList(uint32_t entrySize, bool skipReserved, Visit visit) {
    const uint32_t words = entrySize / 2;
    size_t reserved = 0;
    uint32_t k = 0;
    while (k < words) {
        const uint32_t mask = ReadLibraryWord(k++);
        while (k < words) {
            const uint32_t w = ReadLibraryWord(k);
            if (IsEndWord(w)) break;
            ++k;
            if (skipReserved && reserved < std::size(kReservedAddresses) && w == kReservedAddresses[reserved]) {
                ++reserved;
                continue;
            }
            if (visit(w, mask) == -1) return -1;
        }
        if (k >= words) break;
        if (ReadLibraryWord(k++) == 0xFFFE) return 1;
    }
    return 1;
}

int CheckAddressListWord(Slot& s, int mode, uint32_t mask) {
    switch (mode) {
    case kStore:
        BufferImage()[BufferIndex & 0xFFFF] = static_cast<uint8_t>(ReadValue);
        if (s.Wide && !s.HighNibbles.empty())
            s.HighNibbles[BufferIndex & 0xFFFF] = static_cast<uint8_t>(0xF0 | ((ReadValue >> 8) & 0x0F));
        return 1;
    case kBlank:
        return ReadValue == BlankValue ? 1 : -1;
    case kWriting:
    case kVerify:
        return (ReadValue & mask) == (ExpectedValue & mask) ? 1 : -1;
    case kCompare:
        WriteCompareLineSlot();
        return 1;
    default:
        return 1;
    }
}

// --- Row 251

void ModeEntry251(int code) {
    SetAllDacVoltages(V(5.0), 0, 0, 0);
    DelayMsSlot(100);
    WriteRegister(5, 6);
    WriteRegister(4, 3);
    WriteRegister(2, 0);
    SetDevicePower(1, SupplyVoltage);
    WriteRegister(5, 7);
    DelayMsSlot(1);
    SetSupplyPinA(3, 1);
    RampVoltageUp(1, V(5.0), V(10.0), 5, 10);
    DelayShortUsSlot(500);
    RampVoltageDown(1, V(10.0), V(5.0), 5, 10);
    DelayShortUsSlot(500);
    WriteRegister(4, 2);
    DelayShortUsSlot(500);
    WriteRegister(4, 0);
    DelayShortUsSlot(500);
    WriteRegister(2, static_cast<uint32_t>(code));
    DelayShortUsSlot(500);
    WriteRegister(4, 4);
    DelayShortUsSlot(250);
    WriteRegister(4, 0);
    WriteRegister(2, 0);
    WriteRegister(4, 2);
    WriteRegister(4, 3);
    WriteRegister(5, 3);
}

void PowerDown251() {
    WriteRegister(5, 7);
    ApplyVoltageToPin(1, 3, 0, V(5.0));
    WriteRegister(0, 0);
    WriteRegister(1, 0);
    WriteRegister(9, 0);
    WriteRegister(5, 1);
    WriteRegister(2, 0);
    WriteRegister(4, 0);
    DelayMsSlot(1);
    SetDevicePower(0, SupplyVoltage);
    WriteRegister(5, 6);
    DelayMsSlot(10);
}

void Read251() {
    WriteRegister(4, 1);
    ReadValue = ReadRegister(9);
    WriteRegister(4, 3);
}

void Pulse251(uint32_t mask) {
    WriteRegister(9, (~mask | ExpectedValue) & 0xFF);
    WriteRegister(5, 1);
    WriteRegister(4, 0x0B);
    DelayShortUsSlot(100);
    WriteRegister(4, 3);
    WriteRegister(5, 3);
}

void HighVoltageCycle251() {
    SetAllDacVoltages(V(5.0), 0, 0, 0);
    DelayMsSlot(100);
    WriteRegister(5, 6);
    WriteRegister(4, 3);
    WriteRegister(2, 0);
    SetDevicePower(1, V(5.0));
    WriteRegister(5, 7);
    DelayMsSlot(1);
    ApplyVoltageToPin(1, 3, 1, V(10.0));
    DelayShortUsSlot(500);
    RampVoltageUp(1, V(10.0), V(13.5), 1, 50000);
    DelayShortUsSlot(500);
    RampVoltageDown(1, V(13.5), V(5.0), 1, 0);
    DelayShortUsSlot(15);
    SetSupplyPinA(3, 0);
    WriteRegister(0, 0);
    WriteRegister(1, 0);
    WriteRegister(9, 0);
    WriteRegister(5, 1);
    WriteRegister(2, 0);
    WriteRegister(4, 0);
    DelayMsSlot(50);
    SetDevicePower(0, SupplyVoltage);
    WriteRegister(5, 6);
    DelayMsSlot(10);
}

// --- Row 252

void PowerUp252() {
    SupplyVoltage = V(5.0);
    SetVccRange(1, V(5.0));
    SetAllDacVoltages(V(5.0), 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(5, 6);
    WriteRegister(4, 3);
    SetDevicePower(1, V(5.0));
    WriteRegister(5, 7);
    DelayShortUsSlot(600);
    SetSupplyPinA(1, 1);
    DelayShortUsSlot(600);
    RampVoltageUp(1, V(5.0), V(10.0), 10, 10);
    DelayShortUsSlot(600);
    SetDacVoltage(1, V(5.0));
    DelayShortUsSlot(600);
    WriteRegister(5, 0x0B);
}

void PowerDown252() {
    WriteRegister(5, 7);
    SetSupplyPinA(1, 0);
    for (uint32_t r : {0u, 1u, 2u, 9u}) WriteRegister(r, 0);
    WriteRegister(5, 0);
    WriteRegister(4, 0);
    SetDevicePower(0, SupplyVoltage);
    DelayMsSlot(10);
}

void Read252() {
    WriteRegister(4, 0);
    ReadValue = ReadRegister(9);
    WriteRegister(4, 1);
}

void Pulse252() {
    WriteRegister(9, ExpectedValue & 0xFF);
    SetDacVoltage(1, V(11.9));
    WriteRegister(5, 9);
    WriteRegister(4, 2);
    DelayShortUsSlot(100);
    SetDacVoltage(1, V(10.0));
    DelayShortUsSlot(50);
    WriteRegister(4, 3);
    WriteRegister(5, 0x0B);
}

// --- Row 250

void ModeEntry250(Slot& s, int code) {
    SupplyVoltage = V(5.0);
    if (DeviceVariant == 0) SetGroundPin(17, 1);
    if (DeviceVariant == 2)
        for (int p : {30, 31, 32, 33}) SetGroundPin(p, 1);
    const bool pins44 = PackageIndex < PackageRowCount && PackageTable[PackageIndex].PinCount == 44;
    s.VppPin = pins44 ? 43 : 1;
    if (pins44)
        for (int p : {7, 8, 18, 29, 41, 42, 45}) SetGroundPin(p, 1);
    SetVccRange(1, V(5.0));
    SetAllDacVoltages(V(5.0), 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(5, 6);
    WriteRegister(4, 0);
    WriteRegister(2, 0);
    SetSupplyPinA(s.VppPin, 1);
    DelayShortUsSlot(200);
    SetDevicePower(1, V(5.0));
    WriteRegister(5, 7);
    WriteRegister(4, 0);
    WriteRegister(2, 0);
    WriteRegister(4, 4);
    DelayShortUsSlot(10);
    WriteRegister(4, 0);
    DelayShortUsSlot(200);
    WriteRegister(4, 4);
    DelayShortUsSlot(10);
    WriteRegister(4, 7);
    SetDacVoltage(1, V(10.0));
    DelayShortUsSlot(500);
    SetDacVoltage(1, V(5.0));
    DelayShortUsSlot(500);
    WriteRegister(4, 5);
    DelayShortUsSlot(100);
    WriteRegister(4, 4);
    DelayShortUsSlot(100);
    WriteRegister(2, static_cast<uint32_t>(code));
    DelayShortUsSlot(100);
    WriteRegister(4, 12);
    DelayShortUsSlot(60);
    WriteRegister(4, 4);
    DelayShortUsSlot(20);
    WriteRegister(2, 0);
    DelayShortUsSlot(20);
    WriteRegister(4, 5);
    DelayShortUsSlot(20);
    WriteRegister(4, 7);
    WriteRegister(5, 11);
}

void PowerDown250(const Slot& s) {
    WriteRegister(5, 7);
    SetDacVoltage(1, V(5.0));
    SetSupplyPinA(s.VppPin, 0);
    WriteRegister(4, 4);
    DelayShortUsSlot(100);
    WriteRegister(5, 6);
    SetDevicePower(0, SupplyVoltage);
    for (uint32_t r : {0u, 1u, 2u, 4u, 5u, 6u}) WriteRegister(r, 0);
}

void Read250(const Slot& s) {
    ReadValue = ReadRegister(9);
    if (s.Wide) ReadValue |= static_cast<uint32_t>(ReadRegister(10)) << 8;
}

void Pulse250(const Slot& s, uint32_t mask) {
    const uint32_t d = ~mask | ExpectedValue;
    WriteRegister(9, d & 0xFF);
    if (s.Wide) WriteRegister(10, (d >> 8) & 0xFF);
    WriteRegister(5, 9);
    WriteRegister(4, 6);
    DelayShortUsSlot(100);
    SetDacVoltage(1, V(12.3));
    DelayShortUsSlot(100);
    SetDacVoltage(1, V(5.0));
    DelayShortUsSlot(100);
    WriteRegister(4, 7);
    WriteRegister(5, 11);
}

// --- Shared

// The walk of the slot's list in mode m against the chip.
int Walk(Slot& s, int mode) {
    OpenLibraryEntry(s.Entry);
    const bool skip = s.Row == 250 && DeviceVariant == 0 && !s.Alternate;
    return WalkList(s.EntrySize, skip, [&](uint32_t w, uint32_t mask) {
        s.Mask = mask;
        SetAddress(w);
        BufferIndex = FailAddress = w;
        ExpectedValue = BufferWord(s, w);
        if (mode == kWriting) {
            if (s.Row == 251) Pulse251(mask);
            else if (s.Row == 252) Pulse252();
            else Pulse250(s, mask);
            return 1;
        }
        if (s.Row == 251) Read251();
        else if (s.Row == 252) Read252();
        else Read250(s);
        ReadValue = (ReadValue & mask) | ~mask;
        ReadValue &= s.Row == 250 ? BlankValue : 0xFF;
        return CheckAddressListWord(s, mode, mask);
    });
}

// The security bits of the row: word and mask.
struct SecurityBits {
    uint16_t address;
    uint16_t mask;
};

// A list that names a security word would let the file's bits set the
// security cells with the array: a file that programs one (a 0 under the
// security mask) is refused, naming the word and bit, before any word is
// written; Secure sets them instead.
bool RefuseSecurityBits(Slot& s) {
    std::vector<SecurityBits> bits;
    if (s.Row == 251) bits = {{0x5EB, 0x01}};
    if (s.Row == 252) bits = {{0x8000, 0x80}, {0xBFFF, 0x80}};
    if (s.Row == 250) {
        const CodeTable250& t = kCodeChecks250[DeviceVariant];
        for (uint16_t a : t.security) bits.push_back({a, t.securityMask});
    }
    OpenLibraryEntry(s.Entry);
    uint32_t word = 0, bit = 0;
    const int r = WalkList(s.EntrySize, false, [&](uint32_t a, uint32_t mask) {
        for (const SecurityBits& b : bits) {
            const uint32_t programmed = ~BufferWord(s, a) & mask & b.mask;
            if (a != b.address || programmed == 0) continue;
            word = a;
            while (((programmed >> bit) & 1) == 0) ++bit;
            return -1;
        }
        return 1;
    });
    if (r == 1) return false;
    FailAddress = word;
    ShowMessageLine(" Word %Xh bit %u (security) is programmed in the file; use Secure to set it.", word, bit);
    return true;
}

// Variants past the row's tables: refused before any power moves.
bool Supported(const Slot& s) {
    if (DeviceVariant < (s.Row == 250 ? kVariantCount250 : kVariantCount)) return true;
    RefuseRun(" Device not supported!");
    return false;
}

// Opens the variant's list; false (no line) when it is missing or empty.
bool OpenList(Slot& s) {
    s.Entry = AddressListEntry(DeviceVariant);
    s.EntrySize = s.Entry != 0 ? OpenLibraryEntry(s.Entry) : 0;
    return s.EntrySize != 0;
}

int CodeCheck251(Slot& s) {
    if (!Supported(s)) return -1;
    BlankValue = 0xFF;
    ReadBackAfterSecure = 0;
    if (!OpenList(s)) return -1;
    SupplyVoltage = V(5.0);
    SetVccRange(1, V(5.0));
    SetDeviceGround(1);
    SetAllDacVoltages(V(5.0), 0, 0, 0);
    DelayMsSlot(10);
    ModeEntry251(12);
    const CodeRead* refused = nullptr;
    for (const CodeRead& c : kCodeReads251) {
        SetAddress(c.address);
        Read251();
        if ((ReadValue & c.mask) != c.value) {
            refused = &c;
            break;
        }
    }
    // The socket is down before a refusal's line.
    PowerDown251();
    if (refused == nullptr) return 1;
    RefuseCode(*refused);
    return -1;
}

int CodeCheck252(Slot& s) {
    if (!Supported(s)) return -1;
    BlankValue = 0xFF;
    ReadBackAfterSecure = 0;
    if (!OpenList(s)) return -1;
    PowerUp252();
    WriteRegister(4, 1);
    WriteRegister(2, 1);
    const CodeRead* refused = nullptr;
    for (const CodeRead& c : kCodeReads252) {
        SetAddress(c.address);
        Read252();
        if ((ReadValue & c.mask) != c.value) {
            refused = &c;
            break;
        }
    }
    // The socket is down before a refusal's line.
    PowerDown252();
    if (refused == nullptr) return 1;
    RefuseCode(*refused);
    return -1;
}

// Row 250's product words: the variant's own, or an accepted alternative
// (variant 0's marks the part as the sub-type without reserved addresses).
bool ProductAccepted250(Slot& s, const uint32_t (&read)[4]) {
    const CodeTable250& t = kCodeChecks250[DeviceVariant];
    static constexpr uint16_t kAlt0a[4] = {6, 6, 1, 1}, kAlt0b[4] = {6, 6, 0, 0}, kAlt3[4] = {0x2C, 0x2C, 0, 0};
    bool alternate = false;
    for (int i = 0; i < 4; ++i) {
        const uint32_t v = read[i];
        if (v == t.product[i]) continue;
        if (DeviceVariant == 0 && (v == kAlt0a[i] || v == kAlt0b[i])) {
            alternate = true;
            continue;
        }
        if (DeviceVariant == 1 && i >= 2) continue;
        if (DeviceVariant == 3 && v == kAlt3[i]) continue;
        return false;
    }
    if (alternate) s.Alternate = true;
    return true;
}

// Row 250's set-up: the slot's copy of bank 1 (variant 3), the voltages, the list.
int SetUp250(Slot& s) {
    ReadBackAfterSecure = 0;
    if (DeviceVariant == 3) {
        s.Wide = true;
        const uint8_t* bank1 = EnsureBank1();
        if (bank1 == nullptr) {
            ShowErrorByCode(ENOMEM);
            return -1;
        }
        s.HighNibbles.assign(bank1, bank1 + BufferBankBytes);
        BlankValue = 0xFFF;
    } else {
        BlankValue = 0xFF;
    }
    if (!OpenList(s)) return -1;
    return 1;
}

int CodeCheck250(Slot& s) {
    s.Alternate = false;
    if (!Supported(s)) return -1;
    if (SetUp250(s) == -1) return -1;
    const CodeTable250& t = kCodeChecks250[DeviceVariant];
    ModeEntry250(s, 13);
    WriteRegister(4, 5);
    const char* refusal = nullptr;
    for (int i = 0; i < 4 && refusal == nullptr; ++i) {
        SetAddress(kMakerReads250[i]);
        Read250(s);
        if ((ReadValue & t.makerMask) != t.maker[i]) refusal = " Manufacturer's Code Error!";
    }
    uint32_t product[4] = {};
    for (int i = 0; i < 4 && refusal == nullptr; ++i) {
        SetAddress(kProductReads250[i]);
        Read250(s);
        product[i] = ReadValue & t.productMask;
    }
    if (refusal == nullptr && !ProductAccepted250(s, product)) refusal = " Product Code Error!";
    const bool identity = refusal != nullptr;
    for (int i = 0; i < 4 && refusal == nullptr; ++i) {
        SetAddress(t.security[i]);
        Read250(s);
        if ((ReadValue & t.securityMask) != t.securityMask) refusal = " Device Secured!";
    }
    PowerDown250(s);
    if (refusal == nullptr) return 1;
    RefuseCode({0, 0, 0, refusal, identity});
    return -1;
}

// Variant 3's read into the buffer ends by putting its bank-1 copy back.
void FinishRead250(Slot& s, int mode) {
    if (mode == kStore && !s.HighNibbles.empty()) {
        uint8_t* bank1 = Bank1();
        if (bank1 != nullptr) std::memcpy(bank1, s.HighNibbles.data(), BufferBankBytes);
    }
    s.HighNibbles.clear();
}

int Alg251Read(int mode) {
    Slot s{251};
    if (CodeCheck251(s) == -1) return -1;
    if (mode == kBlank) {
        ModeEntry251(12);
        SetDacVoltage(3, V(4.5));
        SupplyVoltage = V(4.5);
        SetDacVoltage(4, V(4.5));
        DelayShortUsSlot(200);
        SetDacVoltage(1, V(4.5));
    } else {
        ModeEntry251(13);
        SetDacVoltage(1, V(5.9));
    }
    DelayShortUsSlot(50);
    const int result = Walk(s, mode);
    PowerDown251();
    return result;
}

int Alg251Program() {
    Slot s{251};
    if (CodeCheck251(s) == -1 || RefuseSecurityBits(s)) return -1;
    HighVoltageCycle251();
    int result = -1;
    for (int pass = 0; pass < 10 && result != 1; ++pass) {
        ModeEntry251(12);
        SetDacVoltage(1, V(11.9));
        DelayShortUsSlot(50);
        Walk(s, kWriting);
        PowerDown251();
        ModeEntry251(13);
        SetDacVoltage(1, V(6.9));
        DelayShortUsSlot(50);
        result = Walk(s, kVerify);
        PowerDown251();
    }
    return result;
}

// A security word read back after its pulses: the bits written must read
// programmed (0), else the line names the word and Secure fails.
bool SecurityWordTook(uint32_t address, uint32_t bits) {
    if ((ReadValue & bits) == 0) return true;
    LockNotTaken(" Security word %Xh not programmed (reads %03Xh).", static_cast<unsigned>(address),
                 static_cast<unsigned>(ReadValue));
    return false;
}

int Alg251Secure() {
    Slot s{251};
    if (CodeCheck251(s) == -1) return -1;
    ModeEntry251(12);
    SetAddress(0x5EB);
    s.Mask = 0x01;
    ExpectedValue = 0xFE;
    SetDacVoltage(1, V(11.9));
    DelayShortUsSlot(50);
    Pulse251(s.Mask);
    SetDacVoltage(1, V(5.0));
    DelayShortUsSlot(50);
    // The cell read back as the code check reads it: one that did not take
    // leaves the part open, and Secure fails.
    Read251();
    const bool took = SecurityWordTook(0x5EB, s.Mask);
    PowerDown251();
    return took ? 1 : -1;
}

int Alg252Read(int mode) {
    Slot s{252};
    if (CodeCheck252(s) == -1) return -1;
    PowerUp252();
    WriteRegister(2, 1);
    if (mode == kBlank) {
        // The supply of socket pin 48 is channel 4 plus 1.1 V: 4.5 V on
        // the channel would raise VCC to 5.6 V instead of lowering it.
        SupplyVoltage = V(4.5);
        SetDacVoltage(4, SupplyVoltage - V(1.1));
        DelayShortUsSlot(100);
        SetDacVoltage(1, V(4.5));
    } else {
        SetDacVoltage(1, V(6.0));
    }
    DelayShortUsSlot(500);
    WriteRegister(4, 1);
    const int result = Walk(s, mode);
    PowerDown252();
    return result;
}

int Alg252Program() {
    Slot s{252};
    if (CodeCheck252(s) == -1 || RefuseSecurityBits(s)) return -1;
    int result = -1;
    for (int pass = 0; pass < 10 && result != 1; ++pass) {
        PowerUp252();
        SetDacVoltage(1, V(11.9));
        DelayShortUsSlot(500);
        Walk(s, kWriting);
        PowerDown252();
        PowerUp252();
        WriteRegister(4, 1);
        WriteRegister(2, 1);
        SetDacVoltage(1, V(6.9));
        DelayShortUsSlot(500);
        result = Walk(s, kVerify);
        SetDacVoltage(1, V(5.0));
        PowerDown252();
    }
    return result;
}

int Alg252Secure() {
    Slot s{252};
    if (CodeCheck252(s) == -1) return -1;
    ExpectedValue = 0x7F;
    PowerUp252();
    SetAddress(0x8000);
    Pulse252();
    SetAddress(0xBFFF);
    Pulse252();
    // Both words read back as the code check reads them: bit 7 of each must
    // have taken, or the part is left open and Secure fails.
    SetDacVoltage(1, V(5.0));
    DelayShortUsSlot(600);
    WriteRegister(4, 1);
    WriteRegister(2, 1);
    int result = 1;
    for (uint32_t a : {0x8000u, 0xBFFFu}) {
        SetAddress(a);
        Read252();
        if (result == 1 && !SecurityWordTook(a, 0x80)) result = -1;
    }
    PowerDown252();
    return result;
}

int Alg250Read(int mode) {
    Slot s{250};
    int result = CodeCheck250(s);
    if (result == 1) {
        if (mode == kBlank) {
            ModeEntry250(s, 12);
            SetDacVoltage(3, V(4.5));
            SupplyVoltage = V(4.5);
            SetDacVoltage(4, SupplyVoltage - V(1.1));
            DelayShortUsSlot(200);
            SetDacVoltage(1, V(4.5));
        } else {
            ModeEntry250(s, 13);
            SetDacVoltage(1, V(7.6));
        }
        DelayShortUsSlot(50);
        WriteRegister(4, 5);
        result = Walk(s, mode);
        PowerDown250(s);
    }
    FinishRead250(s, mode);
    return result;
}

int Alg250Program() {
    Slot s{250};
    int result = CodeCheck250(s);
    if (result == 1 && RefuseSecurityBits(s)) result = -1;
    else if (result == 1) {
        result = -1;
        for (int pass = 0; pass < 5 && result != 1; ++pass) {
            ModeEntry250(s, 12);
            Walk(s, kWriting);
            PowerDown250(s);
            ModeEntry250(s, 13);
            SetDacVoltage(1, V(8.0));
            DelayShortUsSlot(50);
            WriteRegister(4, 5);
            result = Walk(s, kVerify);
            PowerDown250(s);
        }
    }
    s.HighNibbles.clear();
    return result;
}

int Alg250Secure() {
    Slot s{250};
    int result = CodeCheck250(s);
    if (result == 1) {
        const CodeTable250& t = kCodeChecks250[DeviceVariant];
        s.Mask = t.securityMask;
        ModeEntry250(s, 12);
        for (uint16_t a : t.security) {
            SetAddress(a);
            ExpectedValue = ~static_cast<uint32_t>(t.securityMask);
            Pulse250(s, s.Mask);
        }
        // The four words read back with the programming pin at the supply:
        // every security bit written must read programmed, or Secure fails.
        WriteRegister(4, 5);
        for (uint16_t a : t.security) {
            SetAddress(a);
            Read250(s);
            if (result == 1 && !SecurityWordTook(a, t.securityMask)) result = -1;
        }
        PowerDown250(s);
    }
    s.HighNibbles.clear();
    return result;
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 251,
     .Read = Alg251Read,
     .Program = Alg251Program,
     .Secure = Alg251Secure,
     .Options = Alg250Options,
     .Checksum = ComputeChecksum250,
     .VariantCount = kVariantCount,
     .VariantTable = "address-list entries",
     .DataAtChipAddresses = true,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 252,
     .Read = Alg252Read,
     .Program = Alg252Program,
     .Secure = Alg252Secure,
     .Options = Alg250Options,
     .Checksum = ComputeChecksum250,
     .VariantCount = kVariantCount,
     .VariantTable = "address-list entries",
     .DataAtChipAddresses = true,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 250,
     .Read = Alg250Read,
     .Program = Alg250Program,
     .Secure = Alg250Secure,
     .Options = Alg250Options,
     .Checksum = ComputeChecksum250,
     .VariantCount = kVariantCount250,
     .VariantTable = "code checks",
     .DataAtChipAddresses = true,
     .ChecksIdentity = ChecksIdentityAlways},
};

} // namespace

uint32_t AddressListEntry(uint32_t variant) {
    static constexpr uint32_t kEntries[kVariantCount] = {77, 78, 79, 80, 75, 76};
    return variant < kVariantCount ? kEntries[variant] : 0;
}

uint32_t ComputeChecksum250() {
    // Its own copy of bank 1 and its own cursor: it may run on another
    // thread than the operation.
    const bool wide = CurrentAlgorithm == 250 && DeviceVariant == 3;
    std::vector<uint8_t> high;
    if (wide) {
        const uint8_t* bank1 = EnsureBank1();
        if (bank1 == nullptr) return BufferChecksum = 0xFFFFFFFFu;
        high.assign(bank1, bank1 + BufferBankBytes);
    }
    const uint32_t entry = AddressListEntry(DeviceVariant);
    const uint32_t size = entry != 0 ? OpenLibraryEntry(entry) : 0;
    if (size == 0) return BufferChecksum = 0xFFFFFFFFu;
    const uint8_t* low = BufferImage();
    uint32_t sum = 0;
    WalkList(size, CurrentAlgorithm == 250 && DeviceVariant == 0, [&](uint32_t a, uint32_t mask) {
        uint32_t v = low[a];
        if (wide) v |= static_cast<uint32_t>(high[a]) << 8;
        sum += v & mask;
        return 1;
    });
    return BufferChecksum = sum;
}

ROW_FAMILY("AddressListPld", Logic, 220, kAlgorithmRows);
