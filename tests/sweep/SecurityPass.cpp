// The every-device sweep's security pass: every device whose record offers
// Security, on a fresh part over its first 16 KB (a PLD: its whole map).
// Program (with its verify) writes the image, Secure reports success, and
// the part's own state says it is secured where its model keeps one: a
// 68HC705 part's option byte holds its security bit at the part's address,
// and Secure moved no other cell. Then Read or Verify behave as the row
// gives: a row whose Secure locks reads refuses Read with its line and
// leaves the buffer; a secured 68HC705 part's bootstrap stays silent, so
// Verify fails; a row that refuses the secured part ends Read, Blank check
// and Verify at its secured line. Where the row reads the lock back, each
// lock bit that each mode asks, refused alone on a fresh part (and on one
// already secured at the mode below), fails Secure. A device whose part's
// model shows no security state fails on a line of its own.
//
// Where a row's Secure has modes (how many lock bits, which HSB level, which
// flags), the pass chooses the row's start-up mode for its run and judges
// the part's whole lock state against what that mode asks; each other mode
// then secures a fresh part and is judged the same way. The bits each mode
// asks for are written here from the rows' descriptions.
#include <cctype>
#include <iterator>
#include <optional>
#include <tuple>

#include "tests/sweep/Sweep.h"

#include "sim/AddressListChip.h"
#include "sim/AvrCells.h"
#include "sim/ByteEpldChip.h"
#include "sim/CellArrayChip.h"
#include "sim/CheckedPldChip.h"
#include "sim/CmdByteBusChip.h"
#include "sim/CmdLatch51Chip.h"
#include "sim/ColumnPldChip.h"
#include "sim/EconChip.h"
#include "sim/EeMcuChip.h"
#include "sim/EpmChainChip.h"
#include "sim/EpmJtagChip.h"
#include "sim/EpmRowChip.h"
#include "sim/IscCpldChip.h"
#include "sim/JtagMemoryChip.h"
#include "sim/LatchedOtpChips.h"
#include "sim/Mcu8051Chip.h"
#include "sim/ModeLine51Chip.h"
#include "sim/MuxOtpChip.h"
#include "sim/NibbleMcuChip.h"
#include "sim/PageRd2Chip.h"
#include "sim/ParallelPldChip.h"
#include "sim/ReadBackEpldChip.h"
#include "sim/Rx51FlashChip.h"
#include "sim/SecureMemoryChip.h"
#include "sim/SecurityEpromChip.h"
#include "sim/Sst89Chip.h"
#include "sim/TextListChip.h"
#include "sim/StatusByteMcuChip.h"
#include "sim/TwoWireMcuChip.h"
#include "sim/UvEpldChip.h"
#include "sim/W78FlashChip.h"
#include "sim/Z8OtpChip.h"

#include "mcu/Avr.h"
#include "mcu/Flash89C51Rx.h"
#include "mcu/McuFrame.h"
#include "mcu/Sst89.h"
#include "mcu/T89C51RD2.h"

namespace {

using namespace sweep;

constexpr const char* kSecured = "secured";
constexpr const char* kSecuredUnseen = "secured (the part's model shows no security state)";
constexpr const char* kLockBitRefused = "secure with one lock bit refused (runs)";

// Whether the part is secured, as its own model keeps it; nothing where the
// model shows no such state. A family's own accessor comes before the cell
// array's flag it may be built on.
std::optional<bool> PartSecured(sim::CatalogChip* chip) {
    using namespace sim;
    if (auto* c = SeatedModel<Hc05BootChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<OptionAreaChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<EeMcuChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<TwoWireMcuChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<LatchBusOtpChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<SecurityEpromChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<W78FlashChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<StatusByteMcuChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<NibbleMcuChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<CmdByteBusChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<SecureMemoryChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<Z8OtpChip>(chip)) return c->Protected();
    if (auto* c = SeatedModel<IscCpldChip>(chip)) return c->SecuredCell();
    if (auto* c = SeatedModel<EpmJtagChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<EpmRowChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<EpmChainChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<UvEpldChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<ReadBackEpldChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<RowColumnPldChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<ByteEpldChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<NibblePldChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<TenBitPldChip>(chip)) return c->Locked();
    if (auto* c = SeatedModel<PlanePldChip>(chip)) return c->SecurityCellSet();
    if (auto* c = SeatedModel<AddressListChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<TextListChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<Mcu8051Chip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<AvrCells>(chip)) return c->LockBit1();
    if (auto* c = SeatedModel<PageRd2Chip>(chip)) return (c->Hsb() & 7) != 7;
    if (auto* c = SeatedModel<IspPromChip>(chip)) return c->ReadProtected();
    if (auto* c = SeatedModel<Sst89Chip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<Rx51FlashChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<CmdLatch51Chip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<ModeLine51Chip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<MuxOtpChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<EconChip>(chip)) return c->Secured();
    if (auto* c = SeatedModel<CellArrayChip>(chip)) return c->Secured();
    return std::nullopt;
}

// The setting that chooses how far a row's Secure locks.
enum class LockSetting {
    SecurityMode,
    LockBitLevel,
    LockBitLevel106,
    AvrLockMode,
    AvrLockMode125,
    HsbLevel128,
    SecurityLevel192,
    SecurityLevel188,
    ProtectOption,
    SfstOption,
    None,
};

void Choose(LockSetting s, int mode) {
    switch (s) {
    case LockSetting::SecurityMode: SecurityMode = static_cast<uint32_t>(mode); break;
    case LockSetting::LockBitLevel: LockBitLevel = mode; break;
    case LockSetting::LockBitLevel106: LockBitLevel106 = mode; break;
    case LockSetting::AvrLockMode: AvrLockMode = mode; break;
    case LockSetting::AvrLockMode125: AvrLockMode125 = mode; break;
    case LockSetting::HsbLevel128: HsbLockLevel128 = mode; break;
    case LockSetting::SecurityLevel192: SecurityLevel192 = mode; break;
    case LockSetting::SecurityLevel188: SecurityLevel188 = mode; break;
    case LockSetting::ProtectOption: ProtectOption = mode; break;
    case LockSetting::SfstOption: SfstOption = mode; break;
    case LockSetting::None: break;
    }
}

// A row's lock modes: the setting, the mode the pass chooses for its run
// (the setting's start-up value) and, by mode, the whole lock state the part
// then holds: lock bit (or security bit) n as bit n - 1 on the 8051 and AVR
// parts, the HSB on row 128, the security byte (variant 0) or the SFST7,
// SFST6, SFST5 flags as bits 0-2 (variant 1) on row 118.
struct LockModes {
    uint32_t row;
    int variant; // the record's DeviceVariant it serves; -1 any
    LockSetting setting;
    int chosen;
    std::vector<uint32_t> states;
};

const std::vector<LockModes>& AllLockModes() {
    using enum LockSetting;
    // Lock bit 1; bits 1 and 2; bits 1, 2 and 3.
    const std::vector<uint32_t> three{0x1, 0x3, 0x7};
    // Lock bit 1; bits 1 and 2 (any further mode as the second).
    const std::vector<uint32_t> two{0x1, 0x3, 0x3};
    static const std::vector<LockModes> modes = {
        {100, -1, SecurityMode, 1, three},
        {195, -1, SecurityMode, 1, three},
        {196, -1, SecurityMode, 1, three},
        {107, -1, SecurityMode, 1, three},
        {123, -1, SecurityMode, 1, two},
        {173, -1, SecurityMode, 1, two},
        // Security bit 1, or bits 1 and 2.
        {104, -1, SecurityMode, 1, two},
        // Level 2 (lock bit 1) for mode 0, level 3 (lock bit 2) otherwise.
        {129, -1, SecurityMode, 1, {0x1, 0x2, 0x2}},
        // Lock bit 2 alone, whatever the settings.
        {101, -1, None, 0, {0x2}},
        // The special register's lock bit (bit 0), whatever the options.
        {108, -1, None, 0, {0x1}},
        {122, -1, None, 0, {0x1}},
        // The status byte's lock bit; the security bit of group B's byte 3.
        {127, -1, None, 0, {0x1}},
        {150, -1, None, 0, {0x1}},
        {151, -1, None, 0, {0x1}},
        {105, -1, LockBitLevel, 2, three},
        {178, -1, LockBitLevel, 2, three},
        {187, -1, LockBitLevel, 2, three},
        {193, -1, LockBitLevel, 2, three},
        {197, -1, LockBitLevel, 2, three},
        {126, -1, LockBitLevel, 2, three},
        {199, -1, LockBitLevel, 2, three},
        {106, -1, LockBitLevel106, 1, {0x1, 0x3}},
        {117, -1, AvrLockMode, 1, {0x1, 0x3}},
        {119, -1, AvrLockMode, 1, {0x1, 0x3}},
        {125, -1, AvrLockMode125, 1, {0x1, 0x3}},
        // HSB[2:0] 111b, 110b, 100b, 000b; BLLB, BLJB, SB and bits 3-4 stay 1.
        {128, -1, HsbLevel128, 3, {0xFF, 0xFE, 0xFC, 0xF8}},
        {192, -1, SecurityLevel192, 2, three},
        {188, -1, SecurityLevel188, 2, three},
        // Hard lock, block-1 lock, soft lock as the security byte.
        {118, 0, ProtectOption, 0, {0x55, 0xF5, 0x05}},
        // The combo's flag sets "000", "100", "110", "101", "010", "001", "111".
        {118, 1, SfstOption, 6, {0x0, 0x1, 0x3, 0x5, 0x2, 0x4, 0x7}},
    };
    return modes;
}

const LockModes* LockModesOf(uint32_t row, uint32_t variant) {
    for (const LockModes& m : AllLockModes())
        if (m.row == row && (m.variant < 0 || static_cast<uint32_t>(m.variant) == variant)) return &m;
    return nullptr;
}

// The whole lock state of a part whose security is more than one bit, in
// the terms of LockModes; nothing for a part secured by one bit or cell.
std::optional<uint32_t> LockState(sim::CatalogChip* chip) {
    using namespace sim;
    if (auto* c = SeatedModel<Mcu8051Chip>(chip))
        return (c->Locked(1) ? 1u : 0u) | (c->Locked(2) ? 2u : 0u) | (c->Locked(3) ? 4u : 0u);
    if (auto* c = SeatedModel<AvrCells>(chip)) return (c->LockBit1() ? 1u : 0u) | (c->LockBit2() ? 2u : 0u);
    if (auto* c = SeatedModel<PageRd2Chip>(chip)) return c->Hsb();
    if (auto* c = SeatedModel<Rx51FlashChip>(chip)) return (c->SecurityBits() >> 1) & 7u;
    if (auto* c = SeatedModel<CmdLatch51Chip>(chip)) return (c->LockBits() >> 1) & 7u;
    if (auto* c = SeatedModel<ModeLine51Chip>(chip)) return (c->LockBits() >> 1) & 7u;
    if (auto* c = SeatedModel<Sst89Chip>(chip)) return DeviceVariant == 0 ? c->SecurityByte() : c->Flags();
    // The lock bit alone: the options beside it in the register are not locks.
    if (auto* c = SeatedModel<W78FlashChip>(chip)) return c->Locked() ? 1u : 0u;
    return std::nullopt;
}

// What a mode asks of the part: the mode's state, where the part has fewer
// lock bits than the row writes only those it has.
uint32_t AskedState(sim::CatalogChip* chip, const LockModes& m, int mode) {
    uint32_t state = m.states[static_cast<size_t>(mode)];
    if (const auto* c = sim::SeatedModel<sim::Mcu8051Chip>(chip)) state &= (1u << c->Facts().lockBits) - 1;
    return state;
}

// The part's lock state against what `mode` asks: "" when they agree.
std::string JudgeLockState(sim::CatalogChip* chip, const LockModes& m, int mode) {
    const std::optional<uint32_t> state = LockState(chip);
    const uint32_t asked = AskedState(chip, m, mode);
    if (state.has_value() && *state == asked) return "";
    char line[112];
    if (state.has_value())
        std::snprintf(line, sizeof line, " mode %d asks lock state %02Xh, the part holds %02Xh", mode, asked, *state);
    else
        std::snprintf(line, sizeof line, " mode %d: the part's model shows no lock state", mode);
    return line;
}

// The security words that the address-list rows' Secure programs, with the
// bits written 0 in each: row 250 by variant, four words; row 251 bit 0 of
// 5EBh; row 252 bit 7 of 8000h and BFFFh (7Fh written to both).
struct SecurityWords {
    uint32_t row;
    int variant;
    uint16_t bits;
    std::vector<uint16_t> words;
};
const SecurityWords kSecurityWords[] = {
    {250, 0, 0x00F, {0x5E2, 0x5E8, 0xBE2, 0xBE8}}, {250, 1, 0x03C, {0x5E2, 0x5E8, 0xA62, 0xA68}},
    {250, 2, 0x0FC, {0x5E2, 0x5E8, 0xA62, 0xA68}}, {250, 3, 0xFFC, {0x5E2, 0x5E8, 0xA62, 0xA68}},
    {251, -1, 0x01, {0x5EB}},                      {252, -1, 0x80, {0x8000, 0xBFFF}},
};

// The first security word whose bits do not all read programmed, as a line;
// "" when every one does, nothing when the row has no such list.
std::optional<std::string> JudgeSecurityWords(const sim::AddressListChip& chip, uint32_t row, uint32_t variant) {
    for (const SecurityWords& w : kSecurityWords) {
        if (w.row != row || (w.variant >= 0 && static_cast<uint32_t>(w.variant) != variant)) continue;
        for (uint16_t at : w.words) {
            if ((chip.Word(at) & w.bits) == 0) continue;
            char line[96];
            std::snprintf(line, sizeof line, " security word %Xh holds %03Xh: bits %03Xh not all programmed", at,
                          chip.Word(at), w.bits);
            return std::string(line);
        }
        return std::string();
    }
    return std::nullopt;
}

// Rows whose Secure asks the part for its lock state after writing it; a
// part whose lock bit does not take then fails Secure. Row 105 asks only on
// variant 1, whose read-back shows lock bits 2 and 3 but not lock bit 1.
constexpr uint32_t kLockReadBackRows[] = {195, 107, 128, 117, 119, 125, 188, 192, 126, 104, 129, 193, 199, 105, 108, 122, 127, 150, 151};

// The lock bits a mode asks, as bits of LockState: each one set there (the
// HSB of row 128: each one clear) and one the row reads back.
uint32_t BitsToSee(sim::CatalogChip* chip, const LockModes& m, int mode, uint32_t variant) {
    const uint32_t state = AskedState(chip, m, mode);
    uint32_t bits = sim::SeatedModel<sim::PageRd2Chip>(chip) != nullptr ? ~state & 0xFF : state;
    if (m.row == 105) bits = variant == 1 ? bits & ~1u : 0;
    return bits;
}

// Makes the seated part's lock bit `bit` (a bit of LockState) alone refuse
// to program; false where its model has no such fault.
bool RefuseLockBit(sim::CatalogChip* chip, int bit) {
    using namespace sim;
    if (auto* c = SeatedModel<Mcu8051Chip>(chip)) {
        c->RefuseLock(bit + 1);
        return true;
    }
    if (auto* c = SeatedModel<AvrCells>(chip)) {
        c->StickLock(bit + 1);
        return true;
    }
    if (auto* c = SeatedModel<PageRd2Chip>(chip)) {
        c->StickHsbBit(bit);
        return true;
    }
    if (auto* c = SeatedModel<Rx51FlashChip>(chip)) {
        c->RefuseSecurityBit(bit + 1);
        return true;
    }
    if (auto* c = SeatedModel<CmdLatch51Chip>(chip)) {
        c->RefuseLock(bit + 1);
        return true;
    }
    if (auto* c = SeatedModel<ModeLine51Chip>(chip)) {
        c->RefuseLock(bit + 1);
        return true;
    }
    if (auto* c = SeatedModel<W78FlashChip>(chip)) {
        c->RefuseRegisterBit(bit);
        return true;
    }
    if (auto* c = SeatedModel<StatusByteMcuChip>(chip)) {
        c->RefuseLock();
        return true;
    }
    if (auto* c = SeatedModel<OptionAreaChip>(chip)) {
        c->StickCell(c->GroupBIndex(3));
        return true;
    }
    return false;
}

// PLD rows whose Secure reads the part's security cells back, itself or
// through the driver's check after securing (row 258 on variant 2 only: its
// other variants have no read of their lock).
bool PldReadsSecurityBack(uint32_t row, uint32_t variant) {
    static constexpr uint32_t kRows[] = {204, 205, 206, 250, 251, 252, 255, 256, 257, 283, 284, 295, 296, 299};
    if (row == 258) return variant == 2;
    return std::find(std::begin(kRows), std::end(kRows), row) != std::end(kRows);
}

// The security units the seated PLD part can refuse one at a time: each
// security word of an address-list part, the security cell (or row) of the
// others; 0 where its model has no such fault.
int SecurityUnits(sim::CatalogChip* chip) {
    using namespace sim;
    if (auto* c = SeatedModel<AddressListChip>(chip)) return c->Part().securityCount;
    if (SeatedModel<ReadBackEpldChip>(chip) || SeatedModel<UvEpldChip>(chip) || SeatedModel<RowColumnPldChip>(chip) ||
        SeatedModel<ColumnPldChip>(chip) || SeatedModel<EpmRowChip>(chip) || SeatedModel<EpmChainChip>(chip))
        return 1;
    return 0;
}

// Makes security unit `unit` of the seated PLD part refuse to program.
void RefuseSecurityUnit(sim::CatalogChip* chip, int unit) {
    using namespace sim;
    if (auto* c = SeatedModel<AddressListChip>(chip)) c->RefuseSecurityWord(unit);
    if (auto* c = SeatedModel<ReadBackEpldChip>(chip)) c->RefuseSecurity();
    if (auto* c = SeatedModel<UvEpldChip>(chip)) c->RefuseSecurity();
    if (auto* c = SeatedModel<RowColumnPldChip>(chip)) c->RefuseSecurity();
    if (auto* c = SeatedModel<ColumnPldChip>(chip)) c->StickSecurity();
    if (auto* c = SeatedModel<EpmRowChip>(chip)) c->RefuseSecurity();
    if (auto* c = SeatedModel<EpmChainChip>(chip)) c->RefuseSecurity();
}

// How a fresh part may come besides blank, where its security shares a
// byte with other settings: the W78 part with every option of its special
// register enabled (bits 1, 2 and 7 programmed). Preset 0 is the blank part.
int PartPresets(sim::CatalogChip* chip) { return sim::SeatedModel<sim::W78FlashChip>(chip) != nullptr ? 2 : 1; }
void ApplyPreset(sim::CatalogChip* chip, int preset) {
    if (preset == 0) return;
    if (auto* c = sim::SeatedModel<sim::W78FlashChip>(chip)) c->SetSpecialRegister(0x79);
}
std::string PresetName(int preset) { return preset == 0 ? "" : " (options enabled)"; }

// Rows that read their lock before any code and whose part, secured by the
// pass's Secure, gives no code (an 8051's lock bit 2 and up, row 104's
// security bit 2, the W78 parts' lock bit): each must end Read, Blank check
// and Verify at its secured line, the buffer untouched. Row 105 only in
// variant 1, whose lock byte shows lock bits 2 and 3.
struct SecuredReadsRefused {
    uint32_t row;
    int variant; // -1 any
};
constexpr SecuredReadsRefused kSecuredReadsRefused[] = {
    {104, -1}, {105, 1}, {107, -1}, {108, -1}, {122, -1}, {126, -1},
    {129, -1}, {188, -1}, {192, -1}, {193, -1}, {195, -1}, {199, -1},
};
bool RefusesSecuredReads(uint32_t row, uint32_t variant) {
    return std::any_of(std::begin(kSecuredReadsRefused), std::end(kSecuredReadsRefused), [&](const auto& r) {
        return r.row == row && (r.variant < 0 || static_cast<uint32_t>(r.variant) == variant);
    });
}

bool SaysSecured(const std::string& line) {
    std::string lower = line;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return lower.find("secured") != std::string::npos;
}

// Whether a run on a secured part ended at the part's secured line (or
// lines, one per lock bit set): "" when no such line was logged (the row
// does not refuse) or when the run failed and nothing followed but the
// engine's own closing lines (a Read's buffer checksum, the elapsed time);
// else what was wrong.
std::string EndsAtSecuredLine(const RecordingUi& ui, size_t from, int r, bool& said) {
    said = false;
    size_t at = from;
    for (; at < ui.Log.size() && !said; ++at) said = SaysSecured(ui.Log[at]);
    if (!said) return "";
    if (r != ResultFailed) return " PASSED after the secured line";
    while (at < ui.Log.size() && SaysSecured(ui.Log[at])) ++at;
    for (; at < ui.Log.size(); ++at)
        if (ui.Log[at].rfind("---", 0) != 0 && ui.Log[at].rfind("-CheckSum : ", 0) != 0)
            return " went on past the secured line: \"" + ui.Log[at] + "\"";
    return "";
}

TEST_P(EveryDevice, Secured) {
    const LibraryDevice& d = Devices()[GetParam()];
    DeviceSection = d.section;
    ExpectedMakerId = 0;
    ExpectedDeviceId = 0;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    if (!(SupportedOperationMask & OpMaskSecurity)) GTEST_SKIP() << "no Security offered";
    SweepSummary::Declare(kSecured);
    SweepSummary::Declare(kSecuredUnseen);
    SweepSummary::Declare(kLockBitRefused);
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kSecured, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    sim::CatalogChip* chip = SeatedSimChip();
    const bool pld = d.section == SectionPld;
    std::string range;
    const size_t bytes = RangeBytes(pld, 0x4000, range);
    p.line += range;
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    SelectBank(0, 0);
    // A file that sets a fuse without a cell is refused (the main pass
    // proves that); this pass programs one the part can hold.
    LoadUserImage(pld, bytes, static_cast<uint32_t>(GetParam()) + 19, /*holdable=*/true);
    uint8_t* buffer = pld ? FuseMap() : BufferImage() + BufferStart;
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    const size_t from = ui.Log.size();
    bool failed = false;
    auto run = [&](const char* what, int op) {
        if (failed) return;
        const size_t at = ui.Log.size();
        const int r = RunOperation(MainEngine, op);
        p.line += std::string(" ") + what + (r == ResultOk ? " ok" : " FAILED (" + FirstError(ui, at) + ")");
        failed = r != ResultOk;
    };
    const uint32_t row = CurrentAlgorithm;
    const uint32_t variant = DeviceVariant;
    const LockModes* modes = LockModesOf(row, variant);
    if (modes != nullptr) Choose(modes->setting, modes->chosen);
    run("program, verify", OpProgram);
    std::vector<uint16_t> before(chip->Words());
    for (size_t a = 0; a < before.size(); ++a) before[a] = chip->Cell(static_cast<uint32_t>(a));
    run("secure", OpSecurity);
    std::optional<bool> secured = failed ? std::optional<bool>() : PartSecured(chip);
    // A part whose security is more than one bit: its whole lock state
    // against what the chosen mode asks.
    std::string judged;
    if (failed) {
    } else if (const auto* list = sim::SeatedModel<sim::AddressListChip>(chip)) {
        const std::optional<std::string> words = JudgeSecurityWords(*list, row, variant);
        judged = words.has_value() ? *words : " no security words known for the row";
        secured = judged.empty();
        if (judged.empty()) judged = ", every security word programmed";
    } else if (LockState(chip).has_value()) {
        judged = modes != nullptr ? JudgeLockState(chip, *modes, modes->chosen) : " no lock modes known for the row";
        secured = judged.empty();
        if (judged.empty()) judged = ", the lock state mode " + std::to_string(modes->chosen) + " asks";
    }
    if (!failed && secured.has_value()) {
        p.line += *secured ? ", the part secured" : ", the part NOT secured:";
        if (!judged.empty()) p.line += judged;
        failed = !*secured;
    }
    // A 68HC705 part: the option byte at the part's address holds the
    // security bit, and Secure burnt no other cell.
    const auto* boot = sim::FactsAs<sim::Hc05BootFacts>(&chip->Facts());
    if (!failed && boot != nullptr) {
        const uint32_t at = boot->securityAt;
        if (((chip->Cell(at) ^ boot->blank) & boot->securityBit) == 0) {
            char m[96];
            std::snprintf(m, sizeof m, ", option byte %Xh holds %02Xh: no security bit", at, chip->Cell(at));
            p.line += m;
            failed = true;
        }
        for (uint32_t a = 0; !failed && a < before.size(); ++a) {
            if (a != at && chip->Cell(a) != before[a]) {
                char m[96];
                std::snprintf(m, sizeof m, ", Secure changed cell %Xh from %02Xh to %02Xh", a, before[a], chip->Cell(a));
                p.line += m;
                failed = true;
            }
        }
    }
    // What Read or Verify then do on the secured part.
    if (!failed) {
        if (const ReadLock* lock = ReadLockOf(CurrentAlgorithm); lock && (SupportedOperationMask & OpMaskRead)) {
            std::memset(buffer, 0x5A, bytes);
            const size_t at = ui.Log.size();
            const int r = RunOperation(MainEngine, OpRead);
            const bool untouched = std::all_of(buffer, buffer + bytes, [](uint8_t b) { return b == 0x5A; });
            const bool refused = r == ResultFailed && Logged(ui, at, lock->line) && untouched;
            p.line += refused ? ", read refused" : ", read after secure NOT REFUSED";
            failed = !refused;
        } else if (boot != nullptr) {
            const int r = RunOperation(MainEngine, OpVerify);
            p.line += r == ResultFailed ? ", verify fails on the silent part" : ", verify PASSED on the secured part";
            failed = r != ResultFailed;
        }
    }
    // Every row that refuses the secured part (its run logs the secured
    // line) refuses Read, Blank check and Verify alike and ends each at that
    // line: no chip or buffer line with a datum the part never gave, no
    // supply level's line. A row whose lock is known, or that reads its lock
    // before the code, must refuse each.
    if (!failed) {
        const bool mustRefuse = ReadLockOf(CurrentAlgorithm) != nullptr || RefusesSecuredReads(row, variant);
        if (mustRefuse) std::memset(buffer, 0x5A, bytes);
        std::string refusedBy;
        for (const auto& [name, op, mask] : {std::tuple{"read", OpRead, OpMaskRead},
                                             std::tuple{"blank check", OpBlankCheck, OpMaskBlankCheck},
                                             std::tuple{"verify", OpVerify, OpMaskVerify}}) {
            if (failed || !(SupportedOperationMask & mask)) continue;
            const size_t at = ui.Log.size();
            const int r = RunOperation(MainEngine, op);
            bool said = false;
            std::string wrong = EndsAtSecuredLine(ui, at, r, said);
            if (wrong.empty() && mustRefuse && !std::all_of(buffer, buffer + bytes, [](uint8_t b) { return b == 0x5A; }))
                wrong = " wrote the buffer";
            if (!wrong.empty() || (mustRefuse && !said)) {
                p.line += std::string(", ") + name + " after secure" + (wrong.empty() ? " NOT REFUSED" : wrong);
                failed = true;
            } else if (said) {
                refusedBy += refusedBy.empty() ? name : std::string(", ") + name;
            }
        }
        if (!failed && !refusedBy.empty()) p.line += ", " + refusedBy + " end at the secured line";
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
        p.line += " violation: " + v;
        failed = true;
    }
    // Where the row asks the part: in each mode, each lock bit the mode asks
    // refused alone on a fresh part (the others taking) fails Secure with
    // its error line.
    const bool asks = std::find(std::begin(kLockReadBackRows), std::end(kLockReadBackRows), row) !=
                      std::end(kLockReadBackRows);
    std::vector<uint32_t> toSee;
    for (int mode = 0; asks && modes != nullptr && mode < static_cast<int>(modes->states.size()); ++mode)
        toSee.push_back(BitsToSee(chip, *modes, mode, variant));
    // Each runs on a fresh part, blank or in each preset, and again over a
    // part already secured at the mode below where that mode leaves the bit
    // unasked: a part already at the lower level must not make the bit look
    // taken.
    int refusals = 0;
    const int presets = PartPresets(chip);
    // A fresh part seated in `preset` for a run in `mode`; false (the pass
    // failed) when none could be.
    auto freshPart = [&](int mode, int preset) {
        InstallSimulator(0);
        PassDevice fresh;
        std::string skip;
        if (!Ready(fresh, d, GetParam(), kSecured, skip)) {
            p.line += ", NO fresh part for mode " + std::to_string(mode);
            failed = true;
            return false;
        }
        ApplyPreset(SeatedSimChip(), preset);
        return true;
    };
    // Secure over a part whose lock was just made to refuse: it must fail
    // with its error line; `what` names the run on the device's line.
    auto secureMustFail = [&](const std::string& what) {
        const size_t at = ui.Log.size();
        const int r = RunOperation(MainEngine, OpSecurity);
        const bool caught = r == ResultFailed && Logged(ui, at, "Security error!");
        ++refusals;
        SweepSummary::Count(kLockBitRefused, GetParam(), p.rowModel, caught);
        if (!caught) p.line += what + " PASSED";
        failed = !caught;
        if (const std::string v = UnexpectedViolation(*ProgramSimulator()); !v.empty()) {
            p.line += " violation: " + v;
            failed = true;
        }
    };
    auto refuseRun = [&](int mode, int bit, int preset, bool overLower) {
        if (!freshPart(mode, preset)) return;
        const std::string what = ", mode " + std::to_string(mode) + " with lock state bit " + std::to_string(bit) +
                                 " refused" + PresetName(preset) + (overLower ? " over the mode below" : "");
        if (overLower) {
            Choose(modes->setting, mode - 1);
            const size_t at = ui.Log.size();
            if (RunOperation(MainEngine, OpSecurity) != ResultOk) {
                p.line += what + ": the mode below FAILED (" + FirstError(ui, at) + ")";
                failed = true;
                return;
            }
        }
        if (!RefuseLockBit(SeatedSimChip(), bit)) {
            p.line += ", NO part whose lock bit does not take";
            failed = true;
            return;
        }
        Choose(modes->setting, mode);
        secureMustFail(what);
    };
    for (int mode = 0; !failed && asks && modes != nullptr && mode < static_cast<int>(modes->states.size()); ++mode) {
        if (std::find(modes->states.begin(), modes->states.begin() + mode, modes->states[static_cast<size_t>(mode)]) !=
            modes->states.begin() + mode)
            continue; // the same lock state as an earlier mode
        const auto m = static_cast<size_t>(mode);
        for (int bit = 0; !failed && bit < 8; ++bit) {
            if ((toSee[m] >> bit & 1) == 0) continue;
            for (int preset = 0; !failed && preset < presets; ++preset) refuseRun(mode, bit, preset, false);
            if (!failed && mode > 0 && modes->states[m - 1] != modes->states[m] && (toSee[m - 1] >> bit & 1) == 0)
                refuseRun(mode, bit, 0, true);
        }
    }
    if (modes != nullptr) Choose(modes->setting, modes->chosen);
    // A PLD row that reads its security cells back: each security unit of
    // the part refused alone on a fresh part fails Secure with its error
    // line.
    const bool pldAsks = pld && PldReadsSecurityBack(row, variant);
    const int units = pldAsks ? SecurityUnits(chip) : 0;
    if (!failed && pldAsks && units == 0) {
        p.line += ", NO part whose security does not take";
        failed = true;
    }
    for (int unit = 0; !failed && unit < units; ++unit) {
        if (!freshPart(0, 0)) break;
        RefuseSecurityUnit(SeatedSimChip(), unit);
        secureMustFail(", security unit " + std::to_string(unit) + " refused: Secure");
    }
    if (!failed && refusals > 0) p.line += ", " + std::to_string(refusals) + " runs with a lock bit refused each fail";
    // Each other mode of the row secures a fresh part, and every mode a part
    // in each preset, judged the same way.
    for (int run = 0; !failed && modes != nullptr && run < static_cast<int>(modes->states.size()) * presets; ++run) {
        const int mode = run % static_cast<int>(modes->states.size());
        const int preset = run / static_cast<int>(modes->states.size());
        if (mode == modes->chosen && preset == 0) continue;
        if (!freshPart(mode, preset)) break;
        Choose(modes->setting, mode);
        const size_t at = ui.Log.size();
        const int r = RunOperation(MainEngine, OpSecurity);
        const std::string wrong = JudgeLockState(SeatedSimChip(), *modes, mode);
        if (r != ResultOk || !wrong.empty()) {
            p.line += ", mode " + std::to_string(mode) + PresetName(preset) +
                      (r != ResultOk ? " FAILED (" + FirstError(ui, at) + ")" : wrong);
            failed = true;
        }
        if (const std::string v = UnexpectedViolation(*ProgramSimulator()); !v.empty()) {
            p.line += " violation: " + v;
            failed = true;
        }
    }
    if (modes != nullptr) {
        if (!failed && (modes->states.size() > 1 || presets > 1)) p.line += ", every other mode's lock state right";
        Choose(modes->setting, modes->chosen);
    }
    // Every part that offers Secure is judged on its own state: a model
    // that shows none fails on a line of its own, so no device passes
    // unjudged.
    if (!failed && !secured.has_value()) {
        p.line += " (the part's model shows no security state)";
        Report(p, kSecuredUnseen, GetParam(), true, ui, from);
        return;
    }
    Report(p, kSecured, GetParam(), failed, ui, from);
}

} // namespace
