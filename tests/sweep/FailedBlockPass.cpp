// The erase of a part that fails one block, on every device whose record
// offers Erase and whose simulated part can fail a block erase (the command
// flash parts that report through a status register or by their data; the
// pulse-erased parts erase the whole array whatever the block): the part is
// programmed, one block fails (not the first where there are two or more,
// varied by device), and Erase must end "Erase error!" naming that block: a
// " ...h-...h was not erased!" line of the block, or a fail-address line
// inside it with the datum the part holds there; a part erased as a whole
// names no block (" Chip was not erased!", or a range holding it). Every block
// before the failed one must be erased, and every block after it too on the
// rows that go on after a failed block.
#include <cstdio>

#include "sim/CommandFlashChip.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr const char* kFailedBlock = "erase of a block the part fails";
constexpr const char* kFailedErase = "erase the part cannot finish (a stuck cell)";
constexpr const char* kCellLeft = "erase over a cell that does not erase";

// Rows that end an erase at the first block that failed, as they end on
// their other status errors (row 79's part never reads ready on a failed
// sector: its wait runs out, which ends any erase); the others erase the
// remaining blocks first.
bool EndsAtFailedBlock(uint32_t row) { return row == 26 || row == 91 || row == 79; }

// The seated part's model when it can fail a block erase; nullptr otherwise.
sim::CommandFlashChip* FailingModel(sim::CatalogChip* chip) {
    auto* m = sim::SeatedModel<sim::CommandFlashChip>(chip);
    return m != nullptr && m->Config().scheme != sim::CommandScheme::Pulse ? m : nullptr;
}

// Whether the log from `from` on names the block first..last of the part,
// and only it: each "was not erased!" line names that block (`whole`, the
// part erased as a whole or by dies: a range holding it, or the line of a
// chip erase, which sets `chip`), and each fail-address line a cell inside
// it with the datum the part holds there. `why` tells what a line named
// instead.
bool Named(const RecordingUi& ui, size_t from, const sim::CommandFlashChip& part, uint32_t first,
           uint32_t last, bool whole, bool& chip, std::string& why) {
    const uint32_t mask = part.Config().width == 16 ? 0xFFFF : 0xFF;
    bool named = false;
    char m[128];
    for (size_t i = from; i < ui.Log.size() && why.empty(); ++i) {
        const std::string& l = ui.Log[i];
        if (l.find("hip was not erased!") != std::string::npos) {
            chip = true;
            if (!whole) why = "the part erased each block, a line names the chip";
        }
        unsigned long a = 0, b = 0;
        const size_t dash = l.find("h-");
        if (dash != std::string::npos && l.find("was not erased!") != std::string::npos && dash >= 6 &&
            std::sscanf(l.c_str() + dash - 6, "%lXh-%lXh", &a, &b) == 2) {
            named = whole ? a <= first && b >= last : a == first && b == last;
            std::snprintf(m, sizeof m, "a line names %06lXh-%06lXh", a, b);
            if (!named) why = m;
        }
        const size_t at = l.find("Chip addr: ");
        unsigned long x = 0;
        unsigned datum = 0;
        if (at != std::string::npos &&
            std::sscanf(l.c_str() + at, "Chip addr: %lXh  data: %X", &x, &datum) == 2) {
            const uint32_t held = part.Cell(static_cast<uint32_t>(x)) & mask;
            named = x >= first && x <= last && datum == held;
            std::snprintf(m, sizeof m, "the line at %06lXh shows %04Xh, the part holds %04Xh", x, datum,
                          held);
            if (!named) why = m;
        }
    }
    return why.empty() && (named || chip);
}

TEST_P(EveryDevice, EraseOfAFailedBlock) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "no blocks";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kFailedBlock, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!(SupportedOperationMask & OpMaskErase)) GTEST_SKIP() << p.line << " no Erase";
    sim::CommandFlashChip* flash = FailingModel(SeatedSimChip());
    if (flash == nullptr) GTEST_SKIP() << p.line << " the part cannot fail a block erase";
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    const sim::CommandFlashConfig& cfg = flash->Config();
    const uint32_t cells = static_cast<uint32_t>(flash->Bytes());
    const uint32_t start = DeviceStart, end = DeviceEnd;
    const uint16_t blank = cfg.width == 16 ? 0xFFFF : 0xFF;

    // Program as a user does (over the sample's range where one is set),
    // then a datum in every block, so each block has something to erase.
    size_t most = 0;
    if (const char* range = std::getenv("VEXLOR_SWEEP_RANGE")) most = std::strtoul(range, nullptr, 0);
    const size_t bytes = RangeBytes(false, most, p.line);
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    SelectBank(0, 0);
    LoadUserImage(false, bytes, static_cast<uint32_t>(GetParam()) + 17);
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    const size_t from = ui.Log.size();
    if (RunOperation(MainEngine, OpProgram) != ResultOk) p.Fail("program FAILED (" + FirstError(ui, from) + ")");
    DeviceStart = start;
    DeviceEnd = end;

    // The part's blocks inside the erase's range, one of them failing.
    std::vector<uint32_t> blocks;
    for (uint32_t b = 0; b < cfg.blockStarts.size(); ++b) {
        const uint32_t first = cfg.blockStarts[b], last = flash->BlockEnd(b) - 1;
        if (first >= start && last <= end) blocks.push_back(b);
    }
    if (blocks.empty()) p.Fail("no block of the part inside the range");
    const size_t pick = blocks.size() > 1 ? 1 + GetParam() % (blocks.size() - 1) : 0;
    const uint32_t bad = blocks.empty() ? 0 : blocks[pick];
    // A datum no driver starts its read or expected value from (not 0, not
    // blank), so a fail line that shows the part's datum names a real read.
    const uint16_t held = cfg.width == 16 ? 0xA55A : 0xA5;
    for (const uint32_t b : blocks) {
        flash->SetCell(cfg.blockStarts[b], held);
        flash->SetCell(flash->BlockEnd(b) - 1, held);
    }
    const uint32_t badFirst = cfg.blockStarts[bad], badLast = flash->BlockEnd(bad) - 1;
    char m[128];
    std::snprintf(m, sizeof m, " block %u of %zu (%06Xh-%06Xh) fails;", bad, blocks.size(), badFirst, badLast);
    p.line += m;
    flash->FailBlock(bad);

    const size_t at = ui.Log.size();
    const int wholeBefore = flash->WholeErases();
    const int r = p.failed ? ResultFailed : RunOperation(MainEngine, OpErase);
    bool chip = false;
    std::string why;
    if (p.failed) {
    } else if (r != ResultFailed || !Logged(ui, at, "Erase error!")) {
        p.Fail(r == ResultOk ? "Erase ended ok" : "Erase ended without \"Erase error!\"");
    } else if (blocks.size() == 1 && cfg.blockStarts.size() == 1) {
        chip = true; // the part is one block: its erase is the chip's
    } else if (!Named(ui, at, *flash, badFirst, badLast, flash->WholeErases() != wholeBefore, chip, why)) {
        p.Fail("Erase error! names no line holding the failed block" + (why.empty() ? "" : " (" + why + ")"));
    }
    // The other blocks: erased before the failed one, and after it where the
    // row goes on.
    for (const uint32_t b : blocks) {
        if (p.failed || b == bad || (b > bad && EndsAtFailedBlock(CurrentAlgorithm))) continue;
        for (uint32_t c = cfg.blockStarts[b]; c < flash->BlockEnd(b) && c < cells; ++c) {
            if (flash->Cell(c) == blank) continue;
            std::snprintf(m, sizeof m, "block %u %s the failed one not erased: cell %Xh holds %Xh", b,
                          b < bad ? "before" : "after", c, flash->Cell(c));
            p.Fail(m);
            break;
        }
    }
    if (!p.failed) p.line += chip ? " Erase error! (chip erase)" : " Erase error! naming the block, the others erased";
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) p.Fail("violation: " + v);
    Report(p, kFailedBlock, GetParam(), p.failed, ui, from);
}

// The embedded-erase parts (DQ7/DQ5 or toggle polling): one programmed cell
// stuck, so the part's erase runs past its limit and sets DQ5. Erase must
// end "Erase error!"; the stuck cell keeps its datum.
TEST_P(EveryDevice, EraseThePartCannotFinish) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "no erase";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kFailedErase, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!(SupportedOperationMask & OpMaskErase)) GTEST_SKIP() << p.line << " no Erase";
    // The stuck cell in the range's middle, holding a programmed datum.
    const uint32_t a = DeviceStart + (DeviceEnd - DeviceStart) / 2;
    uint32_t word = a;
    sim::JedecFlashChip* die = JedecDieAt(SeatedSimChip(), word);
    if (die == nullptr) GTEST_SKIP() << p.line << " not an embedded-erase part";
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    SeatedSimChip()->SetCell(a, 0);
    die->StickCell(word);
    char m[64];
    std::snprintf(m, sizeof m, " cell %Xh stuck at 0;", a);
    p.line += m;
    const size_t from = ui.Log.size();
    const int r = RunOperation(MainEngine, OpErase);
    if (r != ResultFailed || !Logged(ui, from, "Erase error!"))
        p.Fail(r == ResultOk ? "Erase ended ok" : "Erase ended without \"Erase error!\"");
    else
        p.line += " Erase error!";
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) p.Fail("violation: " + v);
    Report(p, kFailedErase, GetParam(), p.failed, ui, from);
}

// The pass that proves a part's erase failure where the part reports it
// itself (its status, its data polling); nullptr where none does.
const char* EraseStatusPass(sim::CatalogChip* chip, uint32_t a) {
    if (FailingModel(chip) != nullptr) return kFailedBlock;
    if (JedecDieAt(chip, a) != nullptr) return kFailedErase;
    return nullptr;
}

// Erase over a cell that does not erase, on every memory device that offers
// Erase (PLD and microcontroller rows are not asked): on a part that reports
// no erase error it must end "Erase error!" with the fail-address line of
// that cell and the datum it holds; a part whose status reports the failure
// without a cell (a NAND block, a status-register flash) must end "Erase
// error!"; a part that reports its erase failures itself by block or by data
// polling is named with the pass that proves them. A device whose part is
// none of these fails: its erase would go unproven.
TEST_P(EveryDevice, EraseOverACellThatDoesNotErase) {
    static CountPair& covered = ShardCounts("[sweep] erase over a cell that does not erase: %d device(s) whose part "
                                            "reports the erase failure itself, proven by \"erase of a block the part "
                                            "fails\", %d by \"erase the part cannot finish (a stuck cell)\"\n");
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld || d.section == SectionMicro) GTEST_SKIP() << "not a memory device";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kCellLeft, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!(SupportedOperationMask & OpMaskErase)) GTEST_SKIP() << p.line << " no Erase";
    const uint32_t a = DeviceStart + (DeviceEnd - DeviceStart) / 2;
    const long datum = LeaveUnerasedCell(SeatedSimChip(), a);
    if (datum < 0 && FailEraseByStatus(SeatedSimChip(), a)) {
        // The part's status fails the erase and names no cell.
        const size_t from = ui.Log.size();
        const int r = RunOperation(MainEngine, OpErase);
        if (r != ResultFailed || !Logged(ui, from, "Erase error!"))
            p.Fail(r == ResultOk ? "a failed erase status: Erase ended ok"
                                 : "a failed erase status: Erase ended without \"Erase error!\"");
        else
            p.line += " the part's erase status fails: Erase error! (the status names no cell)";
        if (const std::string v = UnexpectedViolation(*ProgramSimulator()); !v.empty()) p.Fail("violation: " + v);
        Report(p, kCellLeft, GetParam(), p.failed, ui, from);
        return;
    }
    if (datum < 0) {
        if (const char* pass = EraseStatusPass(SeatedSimChip(), a)) {
            std::printf("[device] %s the part reports its erase failures: proven by \"%s\"\n", p.line.c_str(), pass);
            (pass == kFailedBlock ? covered.first : covered.second) += 1;
            return;
        }
        p.Fail("no fault of a cell that does not erase for this part, and no erase-status pass proves it");
        Report(p, kCellLeft, GetParam(), true, ui, ui.Log.size());
        return;
    }
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    char m[96];
    std::snprintf(m, sizeof m, " cell %Xh keeps %02lXh;", a, datum);
    p.line += m;
    const size_t from = ui.Log.size();
    const int r = RunOperation(MainEngine, OpErase);
    unsigned long x = 0;
    unsigned shown = 0;
    bool named = false;
    for (size_t i = from; i < ui.Log.size() && !named; ++i)
        named = std::sscanf(ui.Log[i].c_str(), " Chip addr: %lXh  data: %X", &x, &shown) == 2;
    if (r != ResultFailed || !Logged(ui, from, "Erase error!")) {
        p.Fail(r == ResultOk ? "Erase ended ok" : "Erase ended without \"Erase error!\"");
    } else if (!named) {
        p.Fail("Erase error! names no cell");
    } else if (x != a || shown != static_cast<unsigned long>(datum)) {
        std::snprintf(m, sizeof m, "the line names %06lXh data %04Xh", x, shown);
        p.Fail(m);
    } else {
        p.line += " Erase error! naming the cell";
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) p.Fail("violation: " + v);
    Report(p, kCellLeft, GetParam(), p.failed, ui, from);
}

} // namespace
