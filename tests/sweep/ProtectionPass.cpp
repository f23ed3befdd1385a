// Sector and block protection through the Option command, on every device
// whose record offers Option in a row whose Options entry is the sector
// protection dialog: Option runs as the main window runs it, the dialog's
// choices set as a user sets them. One sector (the second, where there are
// two or more) is protected; Program over it and a little around it fails
// with the fail address inside the sector and leaves the sector's cells of
// the part as they were; the rest of that range programs; the dialog reads
// the sector back as protected and every other as not; then everything is
// unprotected, read back so, and the sector programs. A row whose writer
// only locks (the lock is for good) must refuse the unprotect with its error
// line and keep the sector locked.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

#include "engine/NeighbourState.h"
#include "engine/Power.h"
#include "memory/OptSecProt.h"
#include "memory/SectorLayout.h"
#include "memory/SectorProtection.h"
#include "sim/CommandFlashChip.h"
#include "sim/StatusPageFlashChip.h"
#include "tests/sweep/OptionDialog.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr const char* kProtect = "protecting a sector";
constexpr const char* kTwoProtected = "erasing around two protected sectors";
constexpr const char* kGangProtected = "erasing a gang with a protected sector in one socket";

// Rows whose writer locks and never opens a lock again (row 55: sector
// lockdown, lifted only while its override voltage is on).
bool LocksForGood(uint32_t row) { return row == 55 || row == 74 || row == 78; }

bool RunOption(const std::function<void(TOptSecProt1&)>& act) { return RunOptionDialog<TOptSecProt1>(act); }

std::vector<std::string> Modes(const TOptSecProt1& d) {
    std::vector<std::string> m;
    for (int i = 0; i < d.ListView->topLevelItemCount(); ++i) m.push_back(d.ListView->topLevelItem(i)->text(1).toStdString());
    return m;
}

// A sector in chip addresses, inclusive.
struct ChipSpan {
    uint32_t first = 0, last = 0;
};

// The chip addresses of the dialog's sector `index`: its caption's range, or
// for a chip shown as one "Boot Sector" the layout's boot sector (row 42's
// one-sector parts: the bottom one for the even device codes 82h and 84h,
// the top one for 83h and 85h). A range past the chip's end wraps as the
// part's address lines do.
bool SectorOf(const TOptSecProt1& d, int index, ChipSpan& span) {
    const std::string caption = d.ListView->topLevelItem(index)->text(0).toStdString();
    unsigned long first = 0, last = 0;
    if (caption == "Boot Sector") {
        const std::vector<SectorSpan> all = SectorLayoutSectors(d.SectorLayoutRow, CurrentAlgorithm == 42);
        if (all.empty()) return false;
        const SectorSpan s = all.size() > 1 && (ExpectedDeviceId & 1) != 0 ? all.back() : all.front();
        first = s.start * 4096ul;
        last = s.end * 4096ul - 1;
    } else if (std::sscanf(caption.c_str(), "%lXh-%lXh", &first, &last) != 2) {
        return false;
    }
    if (DeviceSize == 0 || last < first || last - first >= DeviceSize) return false;
    span = {static_cast<uint32_t>(first % DeviceSize), static_cast<uint32_t>(last % DeviceSize)};
    return span.last >= span.first;
}

// The fail address the engine's error line names after a run from `from`;
// -1 when it names none.
long FailChipAddress(const RecordingUi& ui, size_t from) {
    for (size_t i = from; i < ui.Log.size(); ++i) {
        const size_t at = ui.Log[i].find("Chip addr: ");
        if (at != std::string::npos) return std::strtol(ui.Log[i].c_str() + at + 11, nullptr, 16);
    }
    return -1;
}

TEST_P(EveryDevice, ProtectingASector) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "no sectors";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kProtect, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!(SupportedOperationMask & OpMaskOption) || AlgorithmTable[CurrentAlgorithm].Options != Alg6Options)
        GTEST_SKIP() << p.line << " no sector protection offered";
    ASSERT_EQ(DeviceStart, 0u);
    ASSERT_EQ(BufferStart, 0u);
    OffscreenApplication();
    InstallOptSecProtDialog();
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    sim::CatalogChip* chip = SeatedSimChip();
    const unsigned unit = DataWidth > 8 ? 2 : 1;
    const uint32_t top = DeviceEnd;
    const size_t start = ui.Log.size();

    // Protect one sector as a user does: everything unprotected, the sector
    // clicked, written.
    ChipSpan sector;
    int index = -1, count = 0;
    bool placed = false;
    const bool shown = RunOption([&](TOptSecProt1& dialog) {
        count = dialog.ListView->topLevelItemCount();
        if (count == 0) return;
        index = count > 1 ? 1 : 0;
        if (!(placed = SectorOf(dialog, index, sector))) return;
        dialog.ButtonUnprotectAllClick();
        dialog.ListView->setCurrentItem(dialog.ListView->topLevelItem(index));
        dialog.ListViewClick();
        dialog.ButtonWrote->click();
    });
    if (!shown) p.Fail("Option showed no dialog");
    if (shown && !placed) p.Fail("the dialog lists no sector it can place on the chip");
    if (!p.failed && !Logged(ui, start, " Sector (Un)protection completed!"))
        p.Fail("protect write: " + (FirstError(ui, start).empty() ? std::string("no line") : FirstError(ui, start)));
    char where[96];
    std::snprintf(where, sizeof where, " sector %d of %d (%06Xh-%06Xh) protected;", index, count, sector.first, sector.last);
    p.line += where;

    // The range a user programs: the sector with up to 1K addresses either
    // side, from a random image of the whole chip.
    const uint32_t margin = 0x400;
    const uint32_t low = sector.first > margin ? sector.first - margin : 0;
    const uint32_t high = std::min<uint32_t>(top, sector.last + margin);
    std::vector<uint8_t> whole(size_t{top + 1} * unit);
    FillRandom(whole.data(), whole.size(), static_cast<uint32_t>(GetParam()) + 11);
    ShapeData(CurrentAlgorithm, whole.data(), whole.size());
    // The buffer grown to the chip's image before it is filled.
    ASSERT_EQ(SelectBank(static_cast<uint32_t>(whole.size() - 1), 1), 1);
    SelectBank(0, 0);
    std::copy(whole.begin(), whole.end(), BufferImage());
    auto slice = [&](uint32_t a, uint32_t e) {
        return std::vector<uint8_t>(whole.begin() + static_cast<ptrdiff_t>(size_t{a} * unit),
                                    whole.begin() + static_cast<ptrdiff_t>(size_t{e + 1} * unit));
    };
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    auto program = [&](uint32_t a, uint32_t e, size_t& from) {
        DeviceStart = a;
        DeviceEnd = e;
        BufferStart = a;
        BufferEnd = static_cast<uint32_t>(size_t{e + 1} * unit - 1);
        from = ui.Log.size();
        return RunOperation(MainEngine, OpProgram);
    };
    std::vector<uint16_t> before;
    for (uint32_t a = sector.first; placed && a <= sector.last; ++a) before.push_back(chip->Cell(a));
    auto sectorKept = [&](const char* when) -> std::string {
        for (uint32_t a = sector.first; !before.empty() && a <= sector.last; ++a)
            if (chip->Cell(a) != before[a - sector.first]) {
                char m[96];
                std::snprintf(m, sizeof m, "%s: protected cell %Xh holds %Xh, %Xh before", when, a, chip->Cell(a),
                              before[a - sector.first]);
                return m;
            }
        return "";
    };
    size_t from = ui.Log.size();
    if (!p.failed) {
        const int r = program(low, high, from);
        const long at = FailChipAddress(ui, from);
        if (r == ResultOk) {
            p.Fail("Program over the protected sector passed");
        } else if (at < static_cast<long>(sector.first) || at > static_cast<long>(sector.last)) {
            char m[96];
            std::snprintf(m, sizeof m, "Program failed at %lXh, outside the protected sector (%s)", at,
                          FirstError(ui, from).c_str());
            p.Fail(m);
        } else {
            char m[64];
            std::snprintf(m, sizeof m, " program refused at %06lXh;", at);
            p.line += m;
        }
        p.Fail(sectorKept("after the refused Program"));
    }
    // The rest of the range programs around it.
    auto programRest = [&] {
        for (const auto& [a, e] : {std::pair{low, sector.first}, std::pair{sector.last + 1, high + 1}}) {
            if (p.failed || a >= e) continue;
            if (program(a, e - 1, from) != ResultOk) {
                char m[96];
                std::snprintf(m, sizeof m, "Program of %06Xh-%06Xh beside the sector failed (%s)", a, e - 1,
                              FirstError(ui, from).c_str());
                p.Fail(m);
            } else {
                p.Fail(CellsHold(*chip, *p.part, slice(a, e - 1), a, unit, "beside the sector"));
            }
        }
    };
    programRest();
    if (!p.failed) p.line += " the rest programs;";
    p.Fail(sectorKept("after the rest"));

    // An erase leaves the protected sector as it was and says so: a line
    // naming the sector after an erase that passed, or the fail address in
    // it after one that failed on it. The rest is written again after it.
    if (!p.failed && (SupportedOperationMask & OpMaskErase)) {
        DeviceStart = 0;
        DeviceEnd = top;
        BufferStart = 0;
        BufferEnd = static_cast<uint32_t>(size_t{top + 1} * unit - 1);
        from = ui.Log.size();
        const int r = RunOperation(MainEngine, OpErase);
        int named = 0;
        bool inSector = false;
        for (size_t i = from; i < ui.Log.size(); ++i) {
            unsigned long first = 0, last = 0;
            if (std::sscanf(ui.Log[i].c_str(), " Protected sector %lXh-%lXh was not erased!", &first, &last) != 2) continue;
            ++named;
            inSector = inSector || (first % DeviceSize == sector.first && last % DeviceSize == sector.last);
        }
        const long at = FailChipAddress(ui, from);
        if (r == ResultFailed && at >= static_cast<long>(sector.first) && at <= static_cast<long>(sector.last)) {
            p.line += " erase fails on the sector;";
        } else if (named != 1 || !inSector) {
            p.Fail("the erase does not name the protected sector it left (" +
                 (FirstError(ui, from).empty() ? std::string("no error line") : FirstError(ui, from)) + ")");
        } else {
            p.line += " erase names the sector it left;";
        }
        p.Fail(sectorKept("after the erase"));
        programRest();
    }

    // The dialog reads the protection back.
    auto readBack = [&](int protectedIndex, const char* when) {
        std::vector<std::string> modes;
        from = ui.Log.size();
        if (!RunOption([&](TOptSecProt1& dialog) { modes = Modes(dialog); })) return p.Fail(std::string(when) + ": no dialog");
        for (int i = 0; i < static_cast<int>(modes.size()); ++i)
            if (modes[static_cast<size_t>(i)] != (i == protectedIndex ? "Protect  " : "Unprotect"))
                return p.Fail(std::string(when) + ": sector " + std::to_string(i) + " reads \"" + modes[static_cast<size_t>(i)] + "\"");
    };
    if (!p.failed) readBack(index, "read back");
    if (!p.failed) p.line += " reads back protected;";

    // Unprotect as a user does, read back, and program the sector.
    bool refused = false;
    if (!p.failed) {
        from = ui.Log.size();
        RunOption([](TOptSecProt1& dialog) {
            dialog.ButtonUnprotectAllClick();
            dialog.ButtonWrote->click();
        });
        if (LocksForGood(CurrentAlgorithm)) {
            if (!Logged(ui, from, " Sector (Un)protection error!")) p.Fail("the unprotect of a lock for good passed");
            readBack(index, "after the refused unprotect");
            if (!p.failed) p.line += " unprotect refused (the lock is for good), the sector stays locked";
            refused = true;
        } else if (!Logged(ui, from, " Sector (Un)protection completed!")) {
            p.Fail("unprotect write: " + FirstError(ui, from));
        } else {
            readBack(-1, "after the unprotect");
            if (!p.failed && program(sector.first, sector.last, from) != ResultOk)
                p.Fail("Program of the unprotected sector failed (" + FirstError(ui, from) + ")");
            p.Fail(CellsHold(*chip, *p.part, slice(low, high), low, unit, "after the unprotect"));
            if (!p.failed) p.line += " unprotected, programs";
        }
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) p.Fail("violation: " + v);
    Report(p, kProtect, GetParam(), p.failed, ui, start, refused && !p.failed);
}


// The sectors an erase's lines name as left protected, in chip addresses,
// from `from` on, with the socket each names (0: no socket named).
struct NamedSector {
    unsigned socket = 0;
    unsigned long first = 0, last = 0;
};
std::vector<NamedSector> SectorsNamedLeft(const RecordingUi& ui, size_t from) {
    std::vector<NamedSector> named;
    for (size_t i = from; i < ui.Log.size(); ++i) {
        NamedSector n;
        const char* line = ui.Log[i].c_str();
        if (std::sscanf(line, "Socket%u Protected sector %lXh-%lXh was not erased!", &n.socket, &n.first, &n.last) == 3 ||
            std::sscanf(line, " Protected sector %lXh-%lXh was not erased!", &n.first, &n.last) == 2) {
            n.first %= DeviceSize;
            n.last %= DeviceSize;
            named.push_back(n);
        }
    }
    return named;
}

// Erases the whole chip; its result.
int EraseWholeChip() {
    DeviceStart = 0;
    BufferStart = 0;
    DeviceEnd = DeviceSize - 1;
    BufferEnd = static_cast<uint32_t>(size_t{DeviceSize} * (DataWidth > 8 ? 2 : 1) - 1);
    return RunOperation(MainEngine, OpErase);
}

// Two sectors protected through the dialog, the first and the last it
// lists: an erase names both, or fails on one of them.
TEST_P(EveryDevice, ErasingAroundTwoProtectedSectors) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "no sectors";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kTwoProtected, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!(SupportedOperationMask & OpMaskOption) || AlgorithmTable[CurrentAlgorithm].Options != Alg6Options ||
        !(SupportedOperationMask & OpMaskErase))
        GTEST_SKIP() << p.line << " no sector protection and erase offered";
    OffscreenApplication();
    InstallOptSecProtDialog();
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    const size_t start = ui.Log.size();
    ChipSpan spans[2];
    int count = 0;
    bool placed = false;
    RunOption([&](TOptSecProt1& dialog) {
        count = dialog.ListView->topLevelItemCount();
        if (count < 2) return;
        placed = SectorOf(dialog, 0, spans[0]) && SectorOf(dialog, count - 1, spans[1]);
        if (!placed) return;
        dialog.ButtonUnprotectAllClick();
        for (const int index : {0, count - 1}) {
            dialog.ListView->setCurrentItem(dialog.ListView->topLevelItem(index));
            dialog.ListViewClick();
        }
        dialog.ButtonWrote->click();
    });
    if (count < 2) GTEST_SKIP() << p.line << " one sector listed";
    if (!placed) p.Fail("the dialog lists sectors it cannot place on the chip");
    else if (!Logged(ui, start, " Sector (Un)protection completed!")) p.Fail("protect write: " + FirstError(ui, start));
    if (!p.failed) {
        char m[96];
        std::snprintf(m, sizeof m, " %06Xh-%06Xh and %06Xh-%06Xh protected;", spans[0].first, spans[0].last,
                      spans[1].first, spans[1].last);
        p.line += m;
        const size_t from = ui.Log.size();
        const int r = EraseWholeChip();
        const long at = FailChipAddress(ui, from);
        const std::vector<NamedSector> named = SectorsNamedLeft(ui, from);
        auto namedOnce = [&](const ChipSpan& s) {
            return std::count_if(named.begin(), named.end(), [&](const NamedSector& n) {
                       return n.socket == 0 && n.first == s.first && n.last == s.last;
                   }) == 1;
        };
        auto inSpan = [&](const ChipSpan& s) { return at >= static_cast<long>(s.first) && at <= static_cast<long>(s.last); };
        if (r == ResultFailed && (inSpan(spans[0]) || inSpan(spans[1]))) p.line += " erase fails on a protected sector";
        else if (r != ResultOk) p.Fail("erase failed (" + FirstError(ui, from) + ")");
        else if (named.size() != 2 || !namedOnce(spans[0]) || !namedOnce(spans[1]))
            p.Fail("the erase names " + std::to_string(named.size()) + " sector(s) left, not both");
        else p.line += " erase names both";
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) p.Fail("violation: " + v);
    Report(p, kTwoProtected, GetParam(), p.failed, ui, start);
}

// Protects the sector or block holding chip word `a` in the part's model,
// as a part comes protected from an earlier programmer; false for a model
// without such sectors.
bool ProtectInPart(sim::CatalogChip* chip, uint32_t a) {
    if (auto* j = JedecDieAt(chip, a)) {
        j->Protect(j->SectorOf(a));
        return true;
    }
    if (auto* s = sim::SeatedModel<sim::StatusPageFlashChip>(chip)) {
        s->SetSectorProtected(a / static_cast<const sim::StatusPageFlashFacts&>(s->Facts()).sectorBytes, true);
        return true;
    }
    if (auto* c = sim::SeatedModel<sim::CommandFlashChip>(chip)) {
        c->SetLock(c->BlockOf(a), true);
        return true;
    }
    return false;
}

// On a gang of 4, one socket's part with the dialog's second sector
// protected (the socket moves over the devices): an erase names that sector
// and that socket alone.
TEST_P(EveryDevice, ErasingAGangWithAProtectedSectorInOneSocket) {
    const LibraryDevice& d = Devices()[GetParam()];
    constexpr int kSockets = 4;
    if (d.section == SectionPld) GTEST_SKIP() << "no sectors";
    DeviceSection = d.section;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    if ((DeviceFlags & 0x30) == 0) GTEST_SKIP() << "no gang offered";
    if (!(SupportedOperationMask & OpMaskOption) || AlgorithmTable[CurrentAlgorithm].Options != Alg6Options ||
        !(SupportedOperationMask & OpMaskErase))
        GTEST_SKIP() << "no sector protection and erase offered";
    OffscreenApplication();
    InstallOptSecProtDialog();
    // The sector's place, from the dialog on the programmer's own socket.
    ChipSpan span;
    bool placed = false;
    RunOption([&](TOptSecProt1& dialog) {
        const int count = dialog.ListView->topLevelItemCount();
        placed = count > 0 && SectorOf(dialog, count > 1 ? 1 : 0, span);
    });
    InstallSimulator(kSockets);
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kGangProtected, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    LastSocketIndex = kSockets - 1;
    const unsigned socket = 1 + static_cast<unsigned>(GetParam() % (kSockets - 1));
    const size_t start = ui.Log.size();
    if (!placed) p.Fail("the dialog lists no sector it can place on the chip");
    else if (!ProtectInPart(SeatedSimChip(static_cast<int>(socket)), span.first))
        GTEST_SKIP() << p.line << " the part's model has no sector protection to set";
    if (!p.failed) {
        char m[96];
        std::snprintf(m, sizeof m, " %06Xh-%06Xh protected in socket %u;", span.first, span.last, socket + 1);
        p.line += m;
        const int r = EraseWholeChip();
        const std::vector<NamedSector> named = SectorsNamedLeft(ui, start);
        const std::string prefix = "Socket" + std::to_string(socket + 1) + " ";
        const bool socketFails = std::any_of(ui.Log.begin() + static_cast<ptrdiff_t>(start), ui.Log.end(), [&](const std::string& l) {
            return l.rfind(prefix, 0) == 0 && (l.find("rror") != std::string::npos || l.find("not erased") != std::string::npos);
        });
        if (r == ResultFailed && socketFails)
            p.line += " erase fails in that socket";
        else if (r != ResultOk) p.Fail("erase failed (" + FirstError(ui, start) + ")");
        else if (named.size() != 1 || named[0].socket != socket + 1 || named[0].first != span.first ||
                 named[0].last != span.last)
            p.Fail("the erase names " + std::to_string(named.size()) + " sector(s) left" +
                 (named.empty() ? "" : ", the first in socket " + std::to_string(named[0].socket)));
        else p.line += " erase names the sector and its socket";
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) p.Fail("violation: " + v);
    Report(p, kGangProtected, GetParam(), p.failed, ui, start);
}

} // namespace
