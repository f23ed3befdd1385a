// The every-device sweep's security pass: every device whose record offers
// Security, on a fresh part over its first 16 KB (a PLD: its whole map).
// Program (with its verify) writes the image, Secure reports success, and
// the part's own state says it is secured where its model keeps one: a
// 68HC705 part's option byte holds its security bit at the part's address,
// and Secure moved no other cell. Then Read or Verify behave as the row
// gives: a row whose Secure locks reads refuses Read with its line and
// leaves the buffer; a secured 68HC705 part's bootstrap stays silent, so
// Verify fails. Where the row reads the lock back, a fresh part whose lock
// does not take fails Secure. A device whose part's model shows no security
// state fails on a line of its own.
#include <iterator>
#include <optional>

#include "tests/sweep/Sweep.h"

#include "sim/AddressListChip.h"
#include "sim/AvrCells.h"
#include "sim/ByteEpldChip.h"
#include "sim/CellArrayChip.h"
#include "sim/CheckedPldChip.h"
#include "sim/CmdByteBusChip.h"
#include "sim/CmdLatch51Chip.h"
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

namespace {

using namespace sweep;

constexpr const char* kSecured = "secured";
constexpr const char* kSecuredUnseen = "secured (the part's model shows no security state)";

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

// Rows whose Secure asks the part for its lock state after writing it; a
// part whose lock does not take then fails Secure.
constexpr uint32_t kLockReadBackRows[] = {195, 107, 128, 117, 119, 125, 188, 192, 126};

// Makes the seated part's lock (lock bits, HSB, security bits) refuse to
// program; false where its model has no such fault.
bool RefuseLock(sim::CatalogChip* chip) {
    using namespace sim;
    if (auto* c = SeatedModel<Mcu8051Chip>(chip)) {
        c->RefuseLocks();
        return true;
    }
    if (auto* c = SeatedModel<AvrCells>(chip)) {
        c->StickLocks();
        return true;
    }
    if (auto* c = SeatedModel<PageRd2Chip>(chip)) {
        c->StickHsb();
        return true;
    }
    if (auto* c = SeatedModel<Rx51FlashChip>(chip)) {
        c->RefuseSecurity();
        return true;
    }
    if (auto* c = SeatedModel<CmdLatch51Chip>(chip)) {
        c->RefuseLocks();
        return true;
    }
    return false;
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
    run("program, verify", OpProgram);
    std::vector<uint16_t> before(chip->Words());
    for (size_t a = 0; a < before.size(); ++a) before[a] = chip->Cell(static_cast<uint32_t>(a));
    run("secure", OpSecurity);
    const std::optional<bool> secured = failed ? std::optional<bool>() : PartSecured(chip);
    if (!failed && secured.has_value()) {
        p.line += *secured ? ", the part secured" : ", the part NOT secured";
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
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
        p.line += " violation: " + v;
        failed = true;
    }
    // Where the row asks the part, a fresh part whose lock does not take
    // fails Secure with its error line.
    const uint32_t row = CurrentAlgorithm;
    if (!failed && std::find(std::begin(kLockReadBackRows), std::end(kLockReadBackRows), row) !=
                       std::end(kLockReadBackRows)) {
        InstallSimulator(0);
        PassDevice fresh;
        std::string skip;
        if (!Ready(fresh, d, GetParam(), kSecured, skip) || !RefuseLock(SeatedSimChip())) {
            p.line += ", NO PART whose lock does not take";
            failed = true;
        } else {
            const size_t at = ui.Log.size();
            const int r = RunOperation(MainEngine, OpSecurity);
            const bool caught = r == ResultFailed && Logged(ui, at, "Security error!");
            p.line += caught ? ", a lock that does not take fails" : ", a lock that does not take PASSED";
            failed = !caught;
            if (const std::string v = UnexpectedViolation(*ProgramSimulator()); !v.empty()) {
                p.line += " violation: " + v;
                failed = true;
            }
        }
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
