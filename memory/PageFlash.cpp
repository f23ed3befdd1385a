// Register use of the queue images: 0-2 address, 3 socket mask, 4 lines
// (1Fh idle, 0Fh read, 19h queue run), 5 mode (0 idle and queue load, 6 run
// with addresses, 3 run data-only, 8 powered idle, 9 read with increment,
// 1 sequential read), 6-7 data, 9-10 run length, 12 queue bytes, 2 read:
// bit 0 queue busy. A new queue is begun by register 5 = 0 and the DAC
// strobe.
#include "memory/PageFlash.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/Gang.h"
#include "memory/MemoryFrame.h"
#include "memory/MuxEeprom.h"

uint32_t DataProtectMode = 1;
ShowOptProtectDialogFn ShowOptProtectDialogHook = nullptr;

const char* BootBlockStateText(uint32_t state) {
    if (state == 0xFE) return "Lockout Deactivated.";
    if (state == 0xFF) return "Lockout Activated.";
    return "Unknown.";
}

namespace {

constexpr uint32_t kQueueEntries = 512;

struct Command {
    uint32_t address, data;
};
// Byte-wide sequences; the 16-bit row doubles each datum.
constexpr Command kSdpOn[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xA0}};
constexpr Command kSdpOff[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80},
                               {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x20}};
// The 16-bit row sends the protection sequences' second cycle to AAAAh.
constexpr Command kSdpOnWord[] = {{0x5555, 0xAA}, {0xAAAA, 0x55}, {0x5555, 0xA0}};
constexpr Command kSdpOffWord[] = {{0x5555, 0xAA}, {0xAAAA, 0x55}, {0x5555, 0x80},
                                   {0x5555, 0xAA}, {0xAAAA, 0x55}, {0x5555, 0x20}};
constexpr Command kChipErase[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80},
                                  {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x10}};
constexpr Command kIdOn[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x90}};
constexpr Command kIdOff[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xF0}};
constexpr Command kLockLower[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80}, {0x5555, 0xAA},
                                  {0x2AAA, 0x55}, {0x5555, 0x40}, {0x0000, 0x00}};
constexpr Command kLockUpper[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80}, {0x5555, 0xAA},
                                  {0x2AAA, 0x55}, {0x5555, 0x40}, {0xFFFF, 0xFF}};

bool g_word = false;        // row 5
uint32_t g_page = 1;        // page length in use
uint32_t g_load = 1;        // data of the page being written: the range's part of it
bool g_addressMode = true;  // queue entries carry their addresses

bool SdpDevice() { return (DeviceFlags & 0x40) != 0; }
// Row 1 on image 5 reaches the part's page data with address bit 13 set.
bool Bit13Image() { return !g_word && LogicImageNumber == 5; }
// The page length PowerOn will use.
uint32_t PageInUse() { return DeviceVariant3 == 6 && PulseWidth != 0 ? 1 : PageSize; }

void SetMask(uint32_t mask) {
    if (g_word) {
        WriteRegister3(mask);
    } else {
        WriteRegister(3, mask);
    }
}

void SetAddress(uint32_t a) { WriteAddress16(a, Bit13Image() ? 0x20 : 0); }

void PowerOn(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    if (!g_word) {
        SetVccRange(0, mode == 1 ? 33 : static_cast<int>(ReadVccInUse));
    } else if (LogicImageNumber == 315) {
        SetVccRange(1, 33);
    } else {
        SetVccRange(0, static_cast<int>(SupplyVoltage));
    }
    g_page = PageInUse();
    g_addressMode = !g_word;
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(3, 0xFF);
    WriteRegister(4, 0x1F);
    WriteRegister(5, g_word ? 8 : 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(g_word ? 100 : 20);
}

void PowerOff() { ParkAndPowerOff({{{4, 0x1F}, {5, 0}, {3, 0xFF}}}, !g_word); }

void Read() {
    WriteRegister(4, 0x0F);
    ReadValue = ReadRegister(6);
    if (g_word) ReadValue |= static_cast<uint32_t>(ReadRegister(7)) << 8;
    WriteRegister(4, 0x1F);
}

void BeginQueue() {
    WriteRegister(5, 0);
    StrobeDac();
}

void QueueEntry(uint32_t address, uint32_t data) {
    if (g_addressMode) {
        WriteRegister(12, address & 0xFF);
        WriteRegister(12, (address >> 8) & 0xFF);
    }
    WriteRegister(12, data & 0xFF);
    if (g_word) WriteRegister(12, (data >> 8) & 0xFF);
}

template <size_t N> uint32_t QueueCommands(const Command (&cycles)[N]) {
    for (const Command& c : cycles) QueueEntry(c.address, g_word ? c.data * 0x101 : c.data);
    return N;
}

void RunQueue(uint32_t n) {
    WriteRegister(4, 0x19);
    WriteRegister(5, g_word && !g_addressMode ? 3 : 6);
    StrobeDac();
    WriteRegister(9, n >> 8);
    WriteRegister(10, n & 0xFF);
    for (int i = 0; i < 5000; ++i) {
        DelayShortUsSlot(10);
        if ((ReadRegister(2) & 1) == 0) break;
    }
    WriteRegister(4, 0x1F);
    WriteRegister(5, 0);
}

uint32_t PageDatum(uint32_t i) { return g_word ? RunWordAt(i) : RunByteAt(i); }

// Queues the page at ChipAddress (the last datum twice; it becomes
// ExpectedValue); the command entries queued before it.
uint32_t QueuePage() {
    BeginQueue();
    const uint32_t commands = !g_word && SdpDevice() ? QueueCommands(kSdpOn) : 0;
    const uint32_t bit13 = Bit13Image() ? 0x2000 : 0;
    for (uint32_t i = 0; i < g_load; ++i) QueueEntry(((ChipAddress + i) | bit13) & 0xFFFF, PageDatum(i));
    ExpectedValue = PageDatum(g_load - 1);
    QueueEntry(((ChipAddress + g_load - 1) | bit13) & 0xFFFF, ExpectedValue);
    return commands;
}

// Polls the last datum of the page at base on every socket in turn.
int PollPage(uint32_t base) {
    if (g_word) SetAddress(base + g_load - 1);
    const bool all = OnEverySocket(GangPass{0, true}, [](uint32_t) {
        for (int n = 0; n < 1000; ++n) {
            DelayShortUsSlot(20);
            Read();
            if (ReadValue == ExpectedValue) return true;
        }
        return false;
    });
    const int result = all ? 1 : -1;
    if (g_word) SetAddress(result == 1 ? base + g_load : base);
    return result;
}

int WritePagePolled() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        RunQueue(QueuePage() + g_load);
        if (PollPage(ChipAddress) == 1) return 1;
        DelayMsSlot(100);
    }
    return -1;
}

int WritePageTimed() {
    RunQueue(QueuePage() + g_load);
    DelayUsSlot(PulseWidth);
    SetAddress(ChipAddress + g_load - 1);
    Read();
    SetAddress(ChipAddress + g_load);
    return ReadValue == ExpectedValue ? 1 : -1;
}

// Software data protection on or off: the first page is read back and
// rewritten behind the sequence.
int SwitchSdp(bool on) {
    uint32_t data[kQueueEntries];
    g_load = g_page; // the whole first page goes back
    WriteRegister(0, 0);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    SetMask(0xFE);
    WriteRegister(4, 0x0F);
    WriteRegister(5, 1);
    for (uint32_t i = 0; i < g_page; ++i) {
        data[i] = ReadRegister(6);
        if (g_word) data[i] |= static_cast<uint32_t>(ReadRegister(7)) << 8;
    }
    WriteRegister(5, 0);
    WriteRegister(4, 0x1F);
    SetMask(0);
    BeginQueue();
    g_addressMode = true;
    uint32_t commands = 0;
    if (g_word) {
        commands = on ? QueueCommands(kSdpOnWord) : QueueCommands(kSdpOffWord);
    } else {
        commands = on ? QueueCommands(kSdpOn) : QueueCommands(kSdpOff);
    }
    for (uint32_t i = 0; i < g_page; ++i) QueueEntry(i, data[i]);
    ExpectedValue = data[g_page - 1];
    QueueEntry(g_page - 1, ExpectedValue);
    RunQueue(commands + g_page);
    const int result = PollPage(0);
    g_addressMode = !g_word;
    return result;
}

int Program(bool word) {
    g_word = word;
    if (!PageLengthUsable(PageInUse())) return -1;
    if (!word) ProgressStep = DeviceVariant3 == 6 && PulseWidth >= 5000 ? 16 : 256;
    PowerOn(1);
    int result = word && SdpDevice() ? SwitchSdp(false) : 1;
    if (result != 1) {
        ShowMessageLine(" Software data protection could not be switched off!");
        PowerOff();
        return -1;
    }
    SetAddress(DeviceStart);
    WriteRegister(2, DeviceStart >> 16);
    SetMask(0);
    const uint32_t lastIndex = word ? 0x7FFF : 0xFFFF;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; a += g_page) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFFFF) == 0) WriteRegister(2, ChipAddress >> 16);
        // A range that ends inside a page loads only its own bytes there.
        g_load = InRangeFrom(a, g_page);
        // A method the row does not know is taken as the polled one.
        result = !word && DeviceVariant3 == 6 ? WritePageTimed() : WritePagePolled();
        if (result != 1) {
            BufferIndex += (g_load - 1) * AddressStep; // the page's last datum
            break;
        }
        BufferIndex += g_page * AddressStep;
        if (BufferIndex > lastIndex && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    if (result == 1 && SdpDevice() && DataProtectMode == (word ? 1u : 0u) && SwitchSdp(word) != 1) {
        ShowMessageLine(word ? " Software data protection could not be switched on!"
                             : " Software data protection could not be switched off!");
        result = -1;
    }
    PowerOff();
    return result;
}

int Read(bool word, int mode) {
    g_word = word;
    PowerOn(word ? 2 : mode);
    WriteRegister(5, 9);
    SetAddress(DeviceStart);
    SetMask(NotSocket(CurrentSocket));
    WriteRegister(4, 0x0F);
    const int result = WalkAddresses(word ? 0x7FFF : 0xFFFF, mode != 0, [word, mode](bool first) {
        if (first || (ChipAddress & 0xFFFF) == 0) WriteRegister(2, ChipAddress >> 16);
        ReadValue = ReadRegister(6);
        if (!word) return ProcessReadByte(mode);
        ReadValue |= static_cast<uint32_t>(ReadRegister(7)) << 8;
        return ProcessReadWord(mode);
    });
    PowerOff();
    return result;
}

int Erase(bool word) {
    g_word = word;
    // The part reports no erase error: the blank check after the erase
    // decides, and names the first cell left.
    BlankCheckAfterErase = 1;
    PowerOn(1);
    if (!word) {
        WriteRegister(5, 0);
        WriteRegister(4, 0x1F);
    }
    SetMask(0);
    g_addressMode = true;
    BeginQueue();
    RunQueue(QueueCommands(kChipErase));
    DelayMsSlot(20);
    PowerOff();
    return 1;
}

int Options() {
    if (ShowOptProtectDialogHook) ShowOptProtectDialogHook();
    return 1;
}

int Alg1Read(int mode) { return Read(false, mode); }
int Alg5Read(int mode) { return Read(true, mode); }
int Alg1Program() { return Program(false); }
int Alg5Program() { return Program(true); }
int Alg1Erase() { return Erase(false); }
int Alg5Erase() { return Erase(true); }

// The row-1 power-up with the lines idle and every socket selected.
void PowerOnIdle() {
    g_word = false;
    PowerOn(1);
    WriteRegister(5, 0);
    WriteRegister(4, 0x1F);
    WriteRegister(3, 0);
}

} // namespace

void ReadBootBlockStatus1() {
    PowerOnIdle();
    BeginQueue();
    RunQueue(QueueCommands(kIdOn));
    DelayMsSlot(20);
    uint32_t record[4] = {};
    for (uint32_t a = 0; a < 3; ++a) {
        SetAddress(a);
        Read();
        record[a] = ReadValue;
    }
    WriteRegister(2, 0x0F);
    SetAddress(0xFFF2);
    Read();
    record[3] = ReadValue;
    BeginQueue();
    RunQueue(QueueCommands(kIdOff));
    DelayMsSlot(20);
    PowerOff();
    ShowMessageLine("Lower(First) Boot Block: %s", BootBlockStateText(record[2]));
    ShowMessageLine(" Upper(Last) Boot Block: %s", BootBlockStateText(record[3]));
}

void ActivateBootBlockLockout1(int which) {
    PowerOnIdle();
    WriteRegister(2, 0);
    BeginQueue();
    const uint32_t n = which == 3 ? QueueCommands(kLockUpper) : QueueCommands(kLockLower);
    if (which == 3) WriteRegister(2, 0x0F);
    RunQueue(n);
    DelayMsSlot(20);
    PowerOff();
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 1,
     .Read = Alg1Read,
     .Program = Alg1Program,
     .Erase = Alg1Erase,
     .Options = Options,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = PageInUse},
    {.Row = 5,
     .Read = Alg5Read,
     .Program = Alg5Program,
     .Erase = Alg5Erase,
     .Options = Options,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = PageInUse},
};

namespace {

// Every install starts with the software data protection on.
void PageFlashAtInstall() { DataProtectMode = 1; }

} // namespace

ROW_FAMILY("PageFlash", Memory, 260, kAlgorithmRows, PageFlashAtInstall);
