#include "engine/Services.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/LogModel.h"
#include "engine/RowHooks.h"
#include "engine/UiBridge.h"

uint32_t ProgressPercent = 0;
uint32_t ProgressCount = 0;
uint32_t BufferChecksum = 0;
bool BufferChecksumKnown = true;

namespace {

int NoCompareLine() { return 1; }

// When the user asked to stop: clear the request and ask; 3 unless Yes.
int BreakPoll() {
    if (UserBreak.exchange(0) == 0) return 1;
    return ConfirmWarning("Continue?") == 1 ? 1 : 3;
}

// Count-based percent of the PLD section.
void CountProgress(int64_t address) {
    if (DeviceSize < 100) return;
    if (ProgressPercent < ProgressCount / (DeviceSize / 100)) {
        if (ProgressPercent < 99) {
            const uint32_t old = ProgressPercent++;
            SetProgressPosition(static_cast<int>(old));
            ShowProgressStatus(static_cast<int>(ProgressPercent), address);
        } else {
            ProgressPercent = 98;
        }
    }
}

uint16_t Swap16(uint32_t v) { return static_cast<uint16_t>((v & 0xFF) << 8 | (v >> 8 & 0xFF)); }

// Sum of n bytes, sixteen at a time: of each two 64-bit words the even bytes
// are added into four 16-bit lanes and the odd bytes into four others, which
// are folded into the total every 128 steps, before a lane (at most
// 128 x 510) can overflow.
uint32_t SumBytes(const uint8_t* p, size_t n) {
    constexpr uint64_t kLow = 0x00FF00FF00FF00FFull;
    const auto fold = [](uint64_t lanes) {
        return static_cast<uint32_t>((lanes & 0xFFFF) + (lanes >> 16 & 0xFFFF) + (lanes >> 32 & 0xFFFF) + (lanes >> 48));
    };
    uint32_t sum = 0;
    while (n >= 16) {
        const size_t steps = std::min<size_t>(n / 16, 128);
        uint64_t even = 0, odd = 0;
        for (size_t i = 0; i < steps; ++i) {
            uint64_t w[2];
            std::memcpy(w, p + 16 * i, 16);
            even += (w[0] & kLow) + (w[1] & kLow);
            odd += (w[0] >> 8 & kLow) + (w[1] >> 8 & kLow);
        }
        sum += fold(even) + fold(odd);
        p += 16 * steps;
        n -= 16 * steps;
    }
    for (size_t i = 0; i < n; ++i) sum += p[i];
    return sum;
}

// Grows the buffer so that `last` exists; past what the image can hold, as far
// as it goes ("Cannot create swap area." logged). Returns the last address
// that exists now, or false in `whole` when it is short of `last`.
uint64_t GrowToReach(uint64_t last, bool& whole) {
    whole = SelectBank(static_cast<uint32_t>(std::min<uint64_t>(last, 0xFFFFFFFFu)), 1) == 1 &&
            last <= 0xFFFFFFFFu;
    if (whole) return last;
    const uint64_t capacity = BufferImageCapacity();
    if (capacity) SelectBank(static_cast<uint32_t>(capacity - 1), 1);
    return std::min<uint64_t>(last, static_cast<uint64_t>(BankCount) * BufferBankBytes - 1);
}

} // namespace

WriteCompareLineFn WriteCompareLineSlot = NoCompareLine;

int ResetProgress() {
    SetProgressPosition(0);
    ProgressPercent = 0;
    ProgressCount = 0;
    return 0;
}

void ClearProgress() {
    ResetProgress();
    CurrentUi().SetStatusPanel(0, "");
    CurrentUi().SetStatusPanel(1, "");
}

void SetProgressPosition(int percent) { CurrentUi().SetProgressBar(percent); }

void ShowProgressStatus(int percent, int64_t address) {
    if (percent > 100) percent = 100;
    char text[32];
    if (percent != -1) {
        std::snprintf(text, sizeof text, "%d%%", percent);
        CurrentUi().SetStatusPanel(0, text);
    }
    if (address != -1) {
        std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(address));
        CurrentUi().SetStatusPanel(1, text);
    }
}

int ShowPercentDone(uint32_t done, uint32_t total) {
    const int percent = total ? static_cast<int>(static_cast<uint64_t>(done) * 100 / total) : 0;
    SetProgressPosition(percent);
    ShowProgressStatus(percent, done);
    return 1;
}

int ShowElapsedAndCheckCancel(uint32_t tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u sec", tenths / 10, tenths % 10);
    CurrentUi().SetStatusPanel(1, text);
    return BreakPoll();
}

int StepProgress(uint32_t address) {
    if (DeviceSection == SectionPld) {
        ++ProgressCount;
        if (BreakPoll() == 3) return 3;
        CountProgress(-1);
        return 1;
    }
    const uint32_t step = ProgressStep ? ProgressStep : 1;
    if (address % step == 0 && StepProgressByAddress(address) == 3) return 3;
    return 1;
}

int StepProgressByAddress(uint32_t address) {
    if (BreakPoll() == 3) return 3;
    if (ProgressPercent >= 99) return 1;
    if (DeviceSection == SectionPld) {
        ++ProgressCount;
        CountProgress(address);
        return 1;
    }
    const uint32_t span = DeviceEnd >= DeviceStart ? DeviceEnd - DeviceStart : 0;
    const uint32_t p = address >= DeviceStart ? (address - DeviceStart) / (span / 100 + 1) : 0;
    if (p > ProgressPercent) {
        ProgressPercent = p;
        SetProgressPosition(static_cast<int>(p));
        ShowProgressStatus(static_cast<int>(p), address);
    } else if (DeviceSize >= 0x400000 && address % 4096 == 0) {
        ShowProgressStatus(static_cast<int>(ProgressPercent), address);
    }
    return 1;
}

namespace {
// The buffer data of a run go on across its banks: a step past the bank's
// last position moves to the next bank (whether or not the row checks that
// itself afterwards).
int NextDatum() {
    BufferIndex += AddressStep;
    return BankSize != 0 && BufferIndex >= BankSize ? AdvanceToNextBank() : 1;
}

// One datum read from the chip, handled by read mode: blank check against
// `blank`, verify against ExpectedValue, store through `store` (refused past
// `capacity` positions), compare line, or the fixed value after securing.
template <class Store> int ProcessReadValue(int mode, uint32_t blank, uint32_t capacity, Store store) {
    switch (mode) {
    case 0:
        if (ReadValue != blank) return -1;
        BufferIndex += 1;
        return 1;
    case 1:
    case 3:
        if (ReadValue != ExpectedValue) return -1;
        return NextDatum();
    case 2:
        if (BufferIndex >= capacity) return -1;
        store();
        return NextDatum();
    case 4:
        WriteCompareLineSlot();
        return NextDatum();
    case 6:
        if (ReadValue != SecureCheckValue) return -1;
        BufferIndex += 1;
        return 1;
    default:
        return 1;
    }
}
} // namespace

int ProcessReadByte(int mode) {
    ExpectedValue = RunBufferByte(BufferIndex);
    // A word narrower than a byte is the low bits of its buffer byte; the bits
    // above are no cells of the part and compare as nothing.
    if (DataWidth > 0 && DataWidth < 8) ExpectedValue &= (1u << DataWidth) - 1;
    // The window's tail is the next bank's head, so it may be written too.
    return ProcessReadValue(mode, BlankValue, BufferWindowBytes,
                            [] { BufferWindow[BufferIndex] = static_cast<uint8_t>(ReadValue); });
}

int ProcessReadWord(int mode) {
    ExpectedValue = RunBufferWord(BufferIndex);
    if (ByteSwap) ExpectedValue = Swap16(ExpectedValue);
    // Modes 1 and 6 mean for words what they mean for bytes.
    return ProcessReadValue(mode, BlankWord, BufferWindowBytes / 2, [] {
        if (ByteSwap) ReadValue = Swap16(ReadValue);
        BufferWords[BufferIndex] = static_cast<uint16_t>(ReadValue);
    });
}

uint8_t RunBufferByte(uint64_t index) {
    const uint64_t at = uint64_t{CurrentBank} * BufferBankBytes + index;
    return at <= 0xFFFFFFFFu ? ReadBufferByteCached(static_cast<uint32_t>(at)) : static_cast<uint8_t>(FillByte);
}

uint32_t RunBufferWord(uint64_t index) {
    return RunBufferByte(2 * index) | static_cast<uint32_t>(RunBufferByte(2 * index + 1)) << 8;
}

int AdvanceToNextBank() {
    // A datum at the buffer's last byte closes its last bank: there is no
    // next one, and nothing of the run follows (the driver refuses a range
    // past the buffer's last byte). The bank stays and the index points past
    // it, into the window's tail beyond the buffer.
    if ((uint64_t{CurrentBank} + 1) * BufferBankBytes >= std::max<uint64_t>(BufferImageCapacity(), BufferBankBytes))
        return 1;
    // SelectBank logs "Cannot create swap area." when the image cannot grow.
    if (CurrentBank >= 0xFFFF) {
        ShowErrorByCode(50);
        return -1;
    }
    if (SelectBank((CurrentBank + 1) << 16, 1) != 1) return -1;
    if (BankSize) BufferIndex %= BankSize;
    BankAdvances += 1;
    return 1;
}

int AdvanceToNextBankIf(int flag) { return flag ? AdvanceToNextBank() : 1; }

void ShowChipAndDataIds(uint32_t mfg, uint32_t dev) {
    ShowMessageLine("Chip Mfg Id:%04Xh, Dev Id:%04Xh", mfg, dev);
    ShowMessageLine("Data Mfg Id:%04Xh, Dev Id:%04Xh", ExpectedMakerId, ExpectedDeviceId);
    ShowMessageLine("-------------------------------------------");
}

std::string ChipCharsForLog(const char* bytes, size_t count) {
    std::string out;
    for (size_t i = 0; i < count && bytes[i] != 0; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (c >= 0xA0) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += '.';
        }
    }
    return out;
}

uint32_t ComputeBufferChecksum(uint32_t start, uint32_t end) {
    const uint32_t rememberedBank = CurrentBank;
    // The bank of the end must exist; past what the image holds, sum what there is.
    bool whole = true;
    GrowToReach(end, whole);
    const RowHooks& hooks = HooksOfRow(CurrentAlgorithm);
    if (hooks.Checksum) {
        const uint32_t sum = hooks.Checksum();
        BufferChecksumKnown = whole && sum != 0xFFFFFFFFu;
        SelectBank(rememberedBank << 16, 0);
        return sum;
    }
    uint64_t last = static_cast<uint64_t>(end) + hooks.ChecksumEndExtension;
    if (DeviceSize == 0) {
        SelectBank(rememberedBank << 16, 0);
        return BufferChecksum;
    }
    last = GrowToReach(last, whole);
    // A sum of part of the range is no checksum of it.
    BufferChecksumKnown = whole;
    const uint8_t* image = BufferImage();
    uint32_t sum = 0;
    if (last >= start) {
        sum = SumBytes(image + start, static_cast<size_t>(last - start + 1));
        if (DeviceSection == SectionPld) {
            // Only the fuses of the last byte count.
            const uint32_t bits = DeviceSize % 8;
            sum -= image[last];
            sum += image[last] & ((1u << bits) - 1);
        }
    }
    if (hooks.ChecksumBytesAfterDevice) {
        const uint64_t from = DeviceSize;
        const uint64_t to = GrowToReach(from + hooks.ChecksumBytesAfterDevice - 1, whole);
        if (to >= from) sum += SumBytes(image + from, static_cast<size_t>(to - from + 1));
        BufferChecksumKnown = BufferChecksumKnown && whole;
    }
    BufferChecksum = sum;
    SelectBank(rememberedBank << 16, 0);
    return BufferChecksum;
}

std::string BufferChecksumText() {
    if (!BufferChecksumKnown) return "Error";
    char text[8];
    std::snprintf(text, sizeof text, "%04Xh", BufferChecksum & 0xFFFF);
    return text;
}

int FillBufferRange(uint32_t start, uint32_t end, uint32_t value) {
    if (end < start) return 1;
    const uint32_t rememberedBank = CurrentBank;
    bool whole = true;
    const uint64_t last = GrowToReach(end, whole);
    const int result = whole ? 1 : -1;
    if (last >= start) std::memset(BufferImage() + start, static_cast<int>(value & 0xFF), last - start + 1);
    SelectBank(rememberedBank << 16, 0);
    return result;
}

int GetMainFormLeft() { return CurrentUi().MainFormLeft(); }

int GetMainFormTop() { return CurrentUi().MainFormTop(); }

void RefreshMainForm() { CurrentUi().RefreshMainForm(); }

void RefreshInfoPanel() { CurrentUi().RefreshInfoPanel(); }

char* FormatHexBytes8(char* text, const uint8_t* bytes) {
    for (int i = 0; i < 8; ++i) std::snprintf(text + 3 * i, 4, "%02x ", bytes[i]);
    return text;
}

void ParseHexBytes8(char* text, uint8_t* bytes) {
    const size_t length = std::strlen(text);
    for (size_t i = 0; i < 8; ++i) {
        char* pair = text + 3 * i;
        if (3 * i >= length) {
            bytes[i] = 0;
            continue;
        }
        if (3 * i + 2 < length) pair[2] = '\0';
        bytes[i] = static_cast<uint8_t>(HexTextToInt(pair));
    }
}

int HexTextToInt(char* text) {
    while (*text == '0') ++text;
    const size_t length = std::strlen(text);
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    uint32_t value = 0;
    for (size_t k = 0; k < length && k < 8; ++k) {
        const char c = text[length - 1 - k];
        const int digit = c < ':' ? c - '0' : c - 55;
        value |= static_cast<uint32_t>(digit & 0xF) << (4 * k);
    }
    return static_cast<int>(value);
}

int IndexOfChar(const char* text, char c) {
    for (int i = 0; text[i]; ++i)
        if (text[i] == c) return i + 1;
    return 0;
}

uint64_t GetFreeDiskBytes() {
    struct statvfs fs {};
    if (statvfs(".", &fs) != 0) return 0;
    return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
}

void ResetServicesState() {
    ProgressPercent = 0;
    ProgressCount = 0;
    BufferChecksum = 0;
    BufferChecksumKnown = true;
    WriteCompareLineSlot = NoCompareLine;
    MainLog().Clear();
}
