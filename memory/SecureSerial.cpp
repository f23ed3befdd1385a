#include "memory/SecureSerial.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

const uint8_t kX76DefaultPassword[8] = {0x5A, 0x3C, 0x91, 0xE7, 0x06, 0x4D, 0xB2, 0x8F};
uint8_t X76PasswordSlots[kX76SlotCount][9];
uint8_t X76NewPassword[8];
X76DialogFn ShowOptX76F100DialogHook = nullptr;
X76DialogFn ShowOptX76F640DialogHook = nullptr;

void ResetX76PasswordState() {
    for (auto& slot : X76PasswordSlots) {
        std::memcpy(slot, kX76DefaultPassword, 8);
        slot[8] = 0;
    }
    std::memcpy(X76NewPassword, kX76DefaultPassword, 8);
}

namespace {
// The slots hold the default password from program start.
[[maybe_unused]] const bool g_slotsReady = (ResetX76PasswordState(), true);
} // namespace

namespace secure {
namespace {

constexpr int kSelect = 25, kData = 26, kClock = 27, kReset = 28;
constexpr int kPolls = 1000;
constexpr uint32_t kSector45 = 8;

// ---- bit layer --------------------------------------------------------------

void Start() {
    SetPin(kData, 1);
    SetPin(kClock, 1);
    SetPin(kData, 0);
    SetPin(kClock, 0);
    SetPin(kData, 2);
}

void Stop() {
    constexpr std::pair<int, int> kSteps[] = {{kClock, 0}, {kData, 0}, {kClock, 1}, {kData, 1}, {kClock, 0}, {kData, 0}};
    for (auto [pin, level] : kSteps) SetPin(pin, level);
    SetPin(kData, 2);
}

// True when the chip acknowledged the byte.
bool Send(uint32_t b) {
    PinShiftOutMsbFirst(kData, kClock, 3, b, 8);
    SetPin(kData, 2);
    SetPin(kClock, 1);
    const bool ack = GetPin(kData) == 0;
    SetPin(kClock, 0);
    return ack;
}

void Receive() {
    ReadValue = PinShiftInMsbFirst(kData, kClock, 3, 8);
    SetPin(kData, 0); // the programmer's acknowledge
    PulsePin(kClock, 3);
    SetPin(kData, 2);
}

int AckPoll(uint32_t command) {
    for (int i = 0; i < kPolls; ++i) {
        Start();
        if (Send(command)) return 1;
        DelayUs(10);
    }
    return -1;
}

// ---- the two rows -------------------------------------------------------------

struct Row {
    const SerialRow* Frame;
    uint8_t Answer[4];
    uint8_t PasswordPoll;
    uint8_t WritePoll;  // acknowledge polling after a write
    bool Addressed;     // a 16-bit address follows the password
};

uint32_t g_page = 8;
void CopyPage() { g_page = PageSize; }
void IdleLines() {
    SetPin(kData, 2);
    SetPin(kSelect, 1);
}
void Settle10() {
    SetPin(21, 2);
    DelayMs(10);
}
void Settle20() {
    SetPin(21, 2);
    DelayMs(20);
}
constexpr SerialRow kFrame45{1, 16, true, false, CopyPage, IdleLines, Settle10, nullptr};
constexpr SerialRow kFrame47{1, 16, true, false, CopyPage, IdleLines, Settle20, nullptr};
constexpr Row kRow45{&kFrame45, {0x19, 0x00, 0xAA, 0x55}, 0x55, 0x81, false};
constexpr Row kRow47{&kFrame47, {0x19, 0x54, 0x45, 0x4B}, 0xF0, 0x80, true};

// The 32-bit answer to reset, least significant bit of each byte first.
bool AnswerToReset(const Row& row) {
    SetPin(kSelect, 0);
    SetPin(kReset, 1);
    PulsePin(kClock, 3);
    SetPin(kReset, 0);
    bool match = true;
    for (uint8_t expected : row.Answer) {
        uint32_t b = 0;
        for (int bit = 0; bit < 8; ++bit) {
            b |= static_cast<uint32_t>(GetPin(kData)) << bit;
            PulsePin(kClock, 3);
        }
        match &= b == expected;
    }
    SetPin(kSelect, 1);
    DelayMs(200);
    return match;
}

// mode 1 program, 2 read; -1 (powered down) when the chip does not answer.
int PowerUp(const Row& row, int mode) {
    SerialPowerOn(*row.Frame, mode);
    if (AnswerToReset(row)) return 1;
    SerialPowerOff(*row.Frame);
    return RefuseIdentity(false, "-No response from device!");
}

void PowerDown(const Row& row) { SerialPowerOff(*row.Frame); }

// Command byte and password, slot byte 7 first; -1 at a refused byte or a
// password the chip does not take within the polls.
int SendPassword(const Row& row, uint32_t command, const uint8_t* password, uint32_t address) {
    Start();
    if (!Send(command)) return -1;
    for (int i = 7; i >= 0; --i)
        if (!Send(password[i])) return -1;
    if (AckPoll(row.PasswordPoll) != 1) {
        ShowMessageLine("-Wrong Password!");
        return -1;
    }
    if (row.Addressed) {
        Send(address >> 8);
        Send(address & 0xFF);
    }
    return 1;
}

void SendNewPassword(const uint8_t* password) {
    for (int i = 7; i >= 0; --i) Send(password[i]);
}

// One block read under its command and password, addresses from..to; the
// chip starts at `address` (the row-47 address field) and the first `skip`
// bytes it sends lie before `from`.
int ReadBlock(const Row& row, int mode, uint32_t command, const uint8_t* password, uint32_t address, uint32_t skip,
              uint32_t from, uint32_t to) {
    SetPin(kSelect, 0);
    int r = SendPassword(row, command, password, address);
    for (uint32_t i = 0; r == 1 && i < skip; ++i) Receive();
    for (uint64_t a = from; r == 1 && a <= to; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r == 1) {
            Receive();
            r = ProcessReadByte(mode);
        }
    }
    Stop();
    SetPin(kSelect, 1);
    return r;
}

// The page loop: from DeviceStart on while ChipAddress is not above
// DeviceEnd, one write per page up to the page's end (a start inside a page
// sends only the bytes from the start: the chip would roll the rest over to
// the page's first bytes); command(address) gives the write command and its
// password.
template <class Command> int ProgramPages(const Row& row, Command&& command) {
    if (!SerialPageSizeValid(PageSize)) return -1;
    if (PowerUp(row, 1) != 1) return -1;
    int r = 1;
    for (uint64_t a = DeviceStart; r == 1 && a <= DeviceEnd;) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        // A range that ends inside a page sends only its own bytes there.
        const uint32_t count = InRangeFrom(a, static_cast<uint32_t>(g_page - a % g_page));
        const auto [code, password] = command(ChipAddress);
        SetPin(kSelect, 0);
        r = SendPassword(row, code, password, ChipAddress);
        if (r == 1) {
            for (uint32_t i = 0; i < count; ++i) {
                ExpectedValue = RunBufferByte(BufferIndex + i);
                Send(ExpectedValue);
            }
            Stop();
            r = AckPoll(row.WritePoll);
        }
        SetPin(kSelect, 1);
        if (r == 1) { // a failed page stays the fail address
            BufferIndex += count;
            a += count;
            // A page's bytes come through the whole image; the run goes on
            // in the next bank past this one's end.
            if (BufferIndex > 0xFFFF && AdvanceToNextBank() == -1) r = -1;
        }
    }
    PowerDown(row);
    return r;
}

struct PageCommand {
    uint32_t Code;
    const uint8_t* Password;
};

int Alg45Read(int mode) {
    if (PowerUp(kRow45, 2) != 1) return -1;
    // The read starts in the sector of DeviceStart (a read command always
    // starts at a sector's first byte).
    const uint32_t sector = DeviceStart / kSector45;
    const int r = ReadBlock(kRow45, mode, 0x81 | (sector << 1), X76PasswordSlots[kX76Slot45Read], 0, DeviceStart % kSector45,
                            DeviceStart, DeviceEnd);
    PowerDown(kRow45);
    return r;
}

int Alg45Program() {
    // A write command names a sector and the chip takes the bytes from the
    // sector's first one: a range must start on a sector.
    if (DeviceStart % kSector45 != 0) {
        RefuseRun("-Start address must be a multiple of 8!");
        return -1;
    }
    return ProgramPages(kRow45, [](uint32_t a) {
        return PageCommand{0x80 | (a / kSector45) << 1, X76PasswordSlots[kX76Slot45Write]};
    });
}

int Alg47Read(int mode) {
    if (PowerUp(kRow47, 2) != 1) return -1;
    // Each array from the first address of the range that lies in it; the
    // address field puts the chip there.
    const uint32_t from1 = std::max<uint32_t>(DeviceStart, 0x2000);
    int r = 1;
    if (DeviceStart <= 0x1FFF)
        r = ReadBlock(kRow47, mode, 0x80, X76PasswordSlots[kX76Slot47Read0], DeviceStart, 0, DeviceStart,
                      std::min<uint32_t>(DeviceEnd, 0x1FFF));
    if (r == 1 && DeviceEnd >= 0x2000)
        r = ReadBlock(kRow47, mode, 0x88, X76PasswordSlots[kX76Slot47Read1], from1 - 0x2000, 0, from1, DeviceEnd);
    PowerDown(kRow47);
    return r;
}

int Alg47Program() {
    return ProgramPages(kRow47, [](uint32_t a) {
        return a <= 0x1FFF ? PageCommand{0x90, X76PasswordSlots[kX76Slot47Write0]}
                           : PageCommand{0x98, X76PasswordSlots[kX76Slot47Write1]};
    });
}

// A password change: command, the authorising password, the new bytes (sent
// `copies` times); 1 when the chip finished the write.
int Change(const Row& row, uint32_t command, const uint8_t* password, const uint8_t* newPassword, int copies) {
    int r = PowerUp(row, 1);
    if (r == 1) {
        SetPin(kSelect, 0);
        r = SendPassword(row, command, password, 0);
        if (r == 1) {
            for (int c = 0; c < copies; ++c) SendNewPassword(newPassword);
            Stop();
            r = AckPoll(row.WritePoll);
        }
        SetPin(kSelect, 1);
        PowerDown(row);
    }
    ShowMessageLine(r == 1 ? "-Password changed!" : "-Can not change password!");
    Beep(r);
    return r;
}

int Alg45Options() { return ShowOptX76F100DialogHook ? ShowOptX76F100DialogHook() : 0; }
int Alg47Options() { return ShowOptX76F640DialogHook ? ShowOptX76F640DialogHook() : 0; }

} // namespace
} // namespace secure

int ChangePassword45(int which, const uint8_t* newPassword) {
    using namespace secure;
    return Change(kRow45, which == 0 ? 0xFE : 0xFC, X76PasswordSlots[kX76Slot45Write], newPassword, 1);
}

int ChangePassword47(uint32_t command, const uint8_t* oldPassword, const uint8_t* newPassword) {
    return secure::Change(secure::kRow47, command, oldPassword, newPassword, 2);
}

// A refused command or password byte ends like every other failure: socket
// powered down, the failure line and the low beep.
int ResetPasswordOrDevice47(uint32_t command) {
    using namespace secure;
    int r = PowerUp(kRow47, 1);
    if (r == 1) {
        SetPin(kSelect, 0);
        Start();
        r = Send(command) ? 1 : -1;
        for (int i = 7; r == 1 && i >= 0; --i)
            if (!Send(X76PasswordSlots[kX76Slot47Reset][i])) r = -1;
        if (r == 1) r = AckPoll(0x80);
        SetPin(kSelect, 1);
        PowerDown(kRow47);
    }
    const bool passwords = command == 0xE0;
    if (r == 1) ShowMessageLine(passwords ? "-Reset Passwrod Command completed!" : "-Reset Device Command completed!");
    else ShowMessageLine(passwords ? "-Can not Reset Password!" : "-Can not Reset Devie!");
    Beep(r);
    return r;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 45,
     .Read = secure::Alg45Read,
     .Program = secure::Alg45Program,
     .Options = secure::Alg45Options,
     .LeastPage = 1,
     .StartRefusal = "-Start address must be a multiple of 8!",
     .NoByteLanes = true,
     .StartUnit = [] { return secure::kSector45; },
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 47,
     .Read = secure::Alg47Read,
     .Program = secure::Alg47Program,
     .Options = secure::Alg47Options,
     .LeastPage = 1,
     .NoByteLanes = true,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("SecureSerial", Memory, 170, kAlgorithmRows);
