// Every device of the built library through the operation driver, on the
// simulator as the program makes it (PROGRAMMER_PORT=sim): the rack seats the
// catalog's part at each selection, and the device's own operations run
// against it: program from random data with its blank check and verify, read
// back into a cleared buffer and compared, erase and blank check again, each
// as the record offers it (and where Secure locks reads, secure and a read
// refused), each checked on the part's own cells as well as
// through the read back. Then the passes a user can take too: from an odd
// chip address, on a gang of four sockets (one of them faulty), and in two
// split modes (a row without byte lanes refuses them before power-up), and
// with the part answering another identity (each run ends at its identity
// line, or goes on where the row says) and with the socket empty (no
// Program or Verify ends ok). One line per device and pass names its
// result; a device whose part has no datasheet and follows the
// algorithm row is marked, and listed again at the end apart from the
// others: its pass checks the row against its own reading, not against a
// chip. What the sweep knows of where a row puts its data comes from the
// row's declaration (RowDef) or the catalog part.
// VEXLOR_SWEEP_LIBRARY=file sweeps another library beside the binary instead
// of krd.dat, leaving out the devices krd.dat holds too (the test build's
// library of the rows only the tests know, rows.dat).
// VEXLOR_SWEEP_MAX_BYTES=n leaves out the devices of more than n bytes (for a
// quick run by hand); VEXLOR_SWEEP_RANGE=n runs a larger device over its
// first n bytes only (the sanitizer build's sample: every row's code paths,

#include "tests/sweep/Sweep.h"

#include "sim/EpromChip.h"
#include "engine/RowHooks.h"
#include "tests/engine/ScratchDir.h"

namespace {

using namespace sweep;

TEST_P(EveryDevice, Works) {
    const LibraryDevice& d = Devices()[GetParam()];
    DeviceSection = d.section;
    // A PLD record carries no identity codes (selection keeps those it finds).
    ExpectedMakerId = 0;
    ExpectedDeviceId = 0;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    const sim::CatalogPart* part = sim::FindPart(d.maker, d.name);
    const bool rowModel = part != nullptr && part->facts != nullptr && part->facts->followsRow;
    std::string line = d.maker + " " + d.name + " row " + std::to_string(CurrentAlgorithm) +
                       (rowModel ? " [model follows the row]" : "") + ":";
    if (!RowHasModule(CurrentAlgorithm)) {
        std::printf("[device] %s no module yet\n", line.c_str());
        return;
    }
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    if (SeatedSimChip() == nullptr) {
        std::printf("[device] %s no simulated part\n", line.c_str());
        ADD_FAILURE() << line << " no simulated part";
        SweepSummary::Count(kMainPass, GetParam(), rowModel, false);
        return;
    }
    // The record must describe the part: a wrong size or identity code fails
    // here even where a run over the record's range would pass.
    if (const std::string why = Disagreement(part); !why.empty()) {
        std::printf("[device] %s record disagrees with the part: %s\n", line.c_str(), why.c_str());
        ADD_FAILURE() << line << " record disagrees with the part: " << why;
        SweepSummary::Count(kMainPass, GetParam(), rowModel, false);
        return;
    }
    if (const char* cap = std::getenv("VEXLOR_SWEEP_MAX_BYTES"); cap && BufferByteSize > std::strtoul(cap, nullptr, 0)) {
        std::printf("[device] %s skipped (size)\n", line.c_str());
        return;
    }
    const bool pld = d.section == SectionPld;
    size_t most = 0;
    if (const char* range = std::getenv("VEXLOR_SWEEP_RANGE")) most = std::strtoul(range, nullptr, 0);
    const size_t bytes = RangeBytes(pld, most, line);
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    SelectBank(0, 0);
    std::vector<uint8_t> image = LoadUserImage(pld, bytes, static_cast<uint32_t>(GetParam()) + 1);
    uint8_t* buffer = pld ? FuseMap() : BufferImage() + BufferStart;

    // Program as a user runs it: the blank check before and the verify
    // after come with it where the device offers them.
    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    bool failed = false;
    auto step = [&](const char* what, uint32_t mask, int op) {
        if (failed || !(SupportedOperationMask & mask)) return;
        const size_t from = ui.Log.size();
        int r = RunOperation(MainEngine, op);
        // A signature that does not match is a failure, whatever the answer
        // to the question that follows it.
        bool signature = false;
        for (size_t i = from; i < ui.Log.size(); ++i) {
            signature = signature || ui.Log[i] == "Incorrect device ID." || ui.Log[i] == "Device secured or incorrect device.";
        }
        if (signature) r = ResultFailed;
        line += std::string(" ") + what + (r == ResultOk ? " ok" : signature ? " FAILED (signature)" : " FAILED");
        if (r == ResultOk) return;
        failed = true;
        for (size_t i = from; i < ui.Log.size(); ++i) {
            if (ui.Log[i].find("error") != std::string::npos || ui.Log[i].find("Error") != std::string::npos) {
                line += " (" + ui.Log[i] + ")";
                break;
            }
        }
    };
    // A file that sets a fuse no cell holds: Program and Verify refuse it
    // before any supply is switched on, naming the fuse as the fail address;
    // the file without it is what runs on.
    for (const uint32_t n : pld ? CelllessFuses() : std::vector<uint32_t>{}) {
        SetFuse(image.data(), n, false);
        SetFuse(buffer, n, true);
        SupplyWatch watch;
        simp->AttachComponent(&watch);
        BlankCheckBeforeProgram = 0; // its blank check would switch the part on whatever Program does
        const size_t from = ui.Log.size();
        const int programmed = RunOperation(MainEngine, OpProgram);
        const int verified = RunOperation(MainEngine, OpVerify);
        BlankCheckBeforeProgram = 1;
        simp->DetachComponent(&watch);
        char said[64], address[64];
        std::snprintf(said, sizeof said, " Fuse %u has no cell in this device.", n);
        std::snprintf(address, sizeof address, " Fail address : %u(%Xh)", n, n);
        int lines = 0;
        for (size_t i = from; i < ui.Log.size(); ++i) lines += ui.Log[i] == said || ui.Log[i] == address;
        const bool refused =
            programmed == ResultFailed && verified == ResultFailed && lines == 4 && !watch.switchedOn;
        line += " fuse " + std::to_string(n) +
                (refused ? " refused" : " NOT REFUSED with its line and fail address");
        if (watch.switchedOn) line += " (a supply was switched on)";
        failed = failed || !refused;
        SetFuse(buffer, n, false);
    }
    step(SupportedOperationMask & OpMaskBlankCheck ? "blank check, program, verify" : "program, verify",
         OpMaskProgram, OpProgram);
    // Buffer byte i stands for chip address DeviceStart + i / unit.
    const unsigned unit = !pld && DataWidth > 8 ? 2 : 1;
    const sim::CatalogChip* chip = SeatedSimChip();
    const uint8_t fill = pld ? 0 : 0x5A;
    auto expectedWith = [&](size_t i, uint8_t f) -> Expected {
        if (pld) return {image[i], false};
        return ExpectedAt(i, image[i], *part, *chip, DeviceStart, unit, f);
    };
    auto expected = [&](size_t i) { return expectedWith(i, fill); };
    // The part's own cells after Program: the programmed range holds the
    // image at its chip addresses (a misplacement Program and Read share
    // shows here).
    if (!failed && !pld) {
        const std::string why = CellsHold(*chip, *part, image, DeviceStart, unit, "after Program");
        line += why;
        failed = !why.empty();
    }
    // A PLD's cells through its placement table (the places the logic suite
    // proves fuse by fuse), where it has one.
    const placement::DeviceTable* places = pld ? placement::DeviceTableOf(d.maker, d.name) : nullptr;
    if (pld && !failed) {
        SweepSummary::CountPldCells(places != nullptr);
        const std::string why =
            places != nullptr ? PldCellsHold(*places, *chip, *part, image, "after Program") : "";
        line += places == nullptr ? " (no placement table: cells unchecked)"
                : why.empty()     ? " (placement table: " + std::to_string(places->spots.size()) + " cells hold)"
                                  : why;
        failed = !why.empty();
    }
    if (!failed && (SupportedOperationMask & OpMaskRead)) {
        // The buffer holds first what the part does not (a fuse map: 0).
        std::memset(buffer, fill, bytes);
        if (!pld)
            FillUnlikeThePart(buffer, bytes, DeviceStart, unit, *part, fill, [&](uint32_t a, unsigned lane, uint8_t f) {
                return expectedWith(size_t{a - DeviceStart} * unit + lane, f);
            });
        // A fuse no cell holds: the part's 0 replaces the buffer's 1.
        for (const uint32_t n : pld ? CelllessFuses() : std::vector<uint32_t>{}) SetFuse(buffer, n, true);
        step("read", OpMaskRead, OpRead);
        for (size_t i = 0; !failed && i < bytes; ++i) {
            const Expected e = expected(i);
            if (buffer[i] != e.value) {
                char m[128];
                std::snprintf(m, sizeof m, " mismatch at %zXh: %02Xh read, %02Xh expected (%02Xh written)", i,
                              buffer[i], e.value, image[i]);
                line += m;
                failed = true;
            }
        }
    }
    if (SupportedOperationMask & OpMaskErase) {
        step("erase", OpMaskErase, OpErase);
        // Rows 141, 137, 140 and 120 erase the EEPROM only; their EPROM (and
        // row 120's CONFIG) stays.
        if (CurrentAlgorithm != 141 && CurrentAlgorithm != 137 && CurrentAlgorithm != 140 && CurrentAlgorithm != 120) {
            step("blank check", OpMaskBlankCheck, OpBlankCheck);
            // The part's own cells: the range erased.
            if (!failed && !pld && chip->Words() > 0) {
                const std::string why = CellsHold(*chip, *part, image, DeviceStart, unit, "after erase", true);
                line += why;
                failed = !why.empty();
            }
            if (!failed && places != nullptr) {
                const std::string why = PldCellsHold(*places, *chip, *part, image, "after erase", true);
                line += why;
                failed = !why.empty();
            }
        }
    }
    if (const ReadLock* lock = ReadLockOf(CurrentAlgorithm); lock && (SupportedOperationMask & OpMaskSecurity)) {
        step("secure", OpMaskSecurity, OpSecurity);
        if (!failed && (SupportedOperationMask & OpMaskRead)) {
            std::memset(buffer, 0x5A, bytes);
            const size_t from = ui.Log.size();
            const int r = RunOperation(MainEngine, OpRead);
            bool said = false;
            for (size_t i = from; i < ui.Log.size(); ++i) said = said || ui.Log[i] == lock->line;
            const bool untouched = std::all_of(buffer, buffer + bytes, [](uint8_t b) { return b == 0x5A; });
            const bool refused = r == ResultFailed && said && untouched;
            line += refused ? " read refused" : " read after secure NOT REFUSED";
            failed = failed || !refused;
        }
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
        line += " violation: " + v;
        failed = true;
    }
    std::printf("[device] %s\n", line.c_str());
    if (rowModel) SweepSummary::RowModelLines().push_back(line);
    const OpenFault* open = failed ? OpenFaultOf(CurrentAlgorithm, kMainPass, line) : nullptr;
    SweepSummary::Count(kMainPass, GetParam(), rowModel, !failed, false, open != nullptr);
    if (open != nullptr) {
        SweepSummary::OpenLines().push_back(line + " (open fault: " + open->what + ")");
    } else if (failed) {
        std::string log;
        for (const auto& l : ui.Log) log += l + "\n";
        ADD_FAILURE() << line << "\n" << log;
    }
}



// Every device from an odd chip address on a fresh part (a fuse map is
// programmed whole: not the PLDs): Program (with its blank check and verify)
// writes the range, the part's cells hold it at its chip addresses and
// nothing below it or just above it, and Read fills the range's buffer bytes
// with it and no others. A row whose declaration says it cannot serve such a
// start refuses it with its line before any supply is switched on, and the
// part stays blank.
TEST_P(EveryDevice, FromAnOddAddress) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "a fuse map is programmed whole";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kOddStart, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    // A row whose range starts above 0 keeps its buffer start at the range's.
    // The range lies in the part's largest window of cells (its whole
    // layout where cells fill it), an odd distance from the row's first
    // address.
    const uint32_t base = DeviceStart, top = DeviceEnd;
    const CellWindow w = LargestWindow(CellWindows(*p.part, base, top, DataWidth > 8 ? 2 : 1));
    uint32_t start = w.first + (w.Size() > 0x400 ? 0x123 : 1);
    if ((start - base) % 2 == 0 && start < w.last) ++start;
    if (start > w.last) GTEST_SKIP() << p.line << " one address";
    const uint32_t end = std::min<uint32_t>(w.last, start + 0x2FE);
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    RunRange(ui, d, GetParam(), kOddStart, start, end, def != nullptr ? def->StartRefusal : nullptr, 7, true);
}


// Every device whose record offers gang sockets, on a gang module of four
// over its first 16 KB: Program (blank check, program, verify) passes on
// every socket by its lines and its lamp, and each socket's part holds the
// image. Then one socket's part is faulty and that socket alone fails, by its
// line and its lamp (the faulty socket moves with the device's index, so
// every socket of the gang, the last included, is the faulty one for a
// quarter of the devices): a part whose cell lost its datum fails its verify while
// the others pass it; a part already written fails the blank check before
// Program, which then writes no socket and lights no lamp.
TEST_P(EveryDevice, OnAGangOfFour) {
    const LibraryDevice& d = Devices()[GetParam()];
    constexpr int kSockets = 4;
    const int kFaulty = static_cast<int>(GetParam() % kSockets);
    const std::string faulty = "socket " + std::to_string(kFaulty + 1);
    DeviceSection = d.section;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    if ((DeviceFlags & 0x30) == 0) GTEST_SKIP() << "no gang offered";
    InstallSimulator(kSockets);
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kGang, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    const bool pld = d.section == SectionPld;
    const unsigned unit = !pld && DataWidth > 8 ? 2 : 1;
    std::vector<uint8_t> image;
    // Selects the device on a fresh gang and loads the image.
    auto load = [&](bool fresh) {
        if (fresh) {
            InstallSimulator(kSockets);
            SetCurrentDevice(d.record);
            simp = ProgramSimulator();
        }
        std::string ignored;
        const size_t bytes = RangeBytes(pld, 0x4000, ignored);
        LastSocketIndex = kSockets - 1;
        BlankCheckBeforeProgram = 1;
        VerifyAfterProgram = 1;
        VerifyAfterRead = 0;
        if (SelectBank(BufferEnd, 1) != 1) return false;
        SelectBank(0, 0);
        image.assign(bytes, 0);
        FillRandom(image.data(), bytes, static_cast<uint32_t>(GetParam()) + 11);
        if (pld) {
            ShapeFuses(CurrentAlgorithm, image.data(), DeviceSize);
            // A file that sets a fuse no cell holds is refused (the main pass).
            for (const uint32_t n : CelllessFuses()) SetFuse(image.data(), n, false);
        } else {
            ShapeData(CurrentAlgorithm, image.data(), bytes);
        }
        std::copy(image.begin(), image.end(), pld ? FuseMap() : BufferImage() + BufferStart);
        return true;
    };
    ASSERT_TRUE(load(false));
    const bool blankCheck = (SupportedOperationMask & OpMaskBlankCheck) != 0;
    const bool verify = (SupportedOperationMask & OpMaskVerify) != 0;
    p.line += " (" + std::to_string(image.size()) + " bytes)";
    const size_t from = ui.Log.size();
    bool failed = false;
    auto fail = [&](const std::string& why) {
        if (failed || why.empty()) return;
        p.line += why;
        failed = true;
    };
    // Every socket's lines and lamps for a run whose socket `bad` (-1: none)
    // fails the step `step`; `lit` says which lamps pass.
    auto sockets = [&](size_t at, const char* step, int bad, bool lit) {
        for (int s = 0; s < kSockets; ++s) {
            const std::string which = "Socket" + std::to_string(s + 1) + " ";
            if (!Logged(ui, at, which + step + (s == bad ? " error!" : " ok!")))
                fail(" no \"" + which + step + (s == bad ? " error!" : " ok!") + "\"");
            if (sim::GangAdapter::PassLamp(*simp, s) != (lit && s != bad))
                fail(" " + which + "lamp " + (lit && s != bad ? "dark" : "lit"));
        }
    };
    const int programmed = RunOperation(MainEngine, OpProgram);
    p.line += programmed == ResultOk ? " program ok" : " program FAILED (" + FirstError(ui, from) + ")";
    if (programmed != ResultOk) failed = true;
    if (blankCheck) sockets(from, "Blank check", -1, true);
    if (verify) sockets(from, "Verification", -1, true);
    for (int s = 0; s < kSockets && !failed && !pld; ++s) {
        const std::string what = "socket " + std::to_string(s + 1);
        fail(CellsHold(*SeatedSimChip(s), *p.part, image, DeviceStart, unit, what.c_str()));
    }
    const placement::DeviceTable* places = pld ? placement::DeviceTableOf(d.maker, d.name) : nullptr;
    if (pld && places == nullptr) p.line += " (no placement table: cells unchecked)";
    for (int s = 0; s < kSockets && !failed && places != nullptr; ++s) {
        const std::string what = "socket " + std::to_string(s + 1);
        fail(PldCellsHold(*places, *SeatedSimChip(s), *p.part, image, what.c_str()));
    }
    // A cell of one socket's part loses its datum: its verify alone fails.
    // (Where the row places the data through a map, which cell holds a
    // datum is the map's: no cell is spoiled there.)
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    const bool byMap = def != nullptr && def->PlacesByMap;
    if (!failed && verify && !pld && !byMap) {
        sim::CatalogChip* chip = SeatedSimChip(kFaulty);
        const uint32_t a = DeviceStart + static_cast<uint32_t>(image.size() / unit / 2);
        chip->SetCell(a, static_cast<uint16_t>(chip->Cell(a) ^ 1));
        const size_t at = ui.Log.size();
        const int verified = RunOperation(MainEngine, OpVerify);
        p.line += verified == ResultFailed ? ", a lost cell fails " + faulty + "'s verify"
                                           : ", a lost cell in " + faulty + " passed verify";
        if (verified != ResultFailed) failed = true;
        sockets(at, "Verification", kFaulty, true);
    }
    // A part already written in one socket: the blank check before Program
    // fails it alone, and Program then writes none.
    if (!failed && blankCheck && !pld && !byMap) {
        ASSERT_TRUE(load(true));
        sim::CatalogChip* chip = SeatedSimChip(kFaulty);
        chip->SetCell(DeviceStart, static_cast<uint16_t>(chip->Cell(DeviceStart) ^ 1));
        const size_t at = ui.Log.size();
        const int refused = RunOperation(MainEngine, OpProgram);
        p.line += refused == ResultFailed ? ", a written part fails " + faulty + "'s blank check"
                                          : ", a written part in " + faulty + " passed the blank check";
        if (refused != ResultFailed) failed = true;
        sockets(at, "Blank check", kFaulty, false);
        for (int s = 0; s < kSockets && !failed; ++s)
            if (s != kFaulty) fail(CellsNotBlank(*SeatedSimChip(s), *p.part, DeviceStart, 64, "after the refused Program"));
    }
    // An EPROM part in one socket whose cell takes more program pulses than
    // the others': a row that reads every socket back while it programs
    // gives that socket the pulses it needs. Only where the row programs a
    // part whose cell needs them in every socket (it retries at all).
    if (!failed && !pld && !byMap && sim::SeatedModel<sim::EpromChip>(SeatedSimChip(0)) != nullptr) {
        size_t b = image.size() / 3;
        while (b < image.size() && image[b] == 0xFF) ++b;
        const uint32_t a = DeviceStart + static_cast<uint32_t>(b / unit);
        auto slow = [&](int s) {
            if (auto* e = sim::SeatedModel<sim::EpromChip>(SeatedSimChip(s))) e->SetPulsesNeeded(a, 3);
        };
        ASSERT_TRUE(load(true));
        for (int s = 0; s < kSockets; ++s) slow(s);
        if (b < image.size() && RunOperation(MainEngine, OpProgram) == ResultOk) {
            ASSERT_TRUE(load(true));
            slow(kFaulty);
            const size_t at = ui.Log.size();
            const int programmed = RunOperation(MainEngine, OpProgram);
            p.line += programmed == ResultOk ? ", a slow cell in " + faulty + " gets its pulses"
                                             : ", a slow cell in " + faulty + " fails Program (" + FirstError(ui, at) + ")";
            if (programmed != ResultOk) failed = true;
            for (int s = 0; s < kSockets && !failed; ++s)
                fail(CellsHold(*SeatedSimChip(s), *p.part, image, DeviceStart, unit, "after the slow cell"));
        }
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) fail(" violation: " + v);
    Report(p, kGang, GetParam(), failed, ui, from);
    // A cell that does not erase in a later socket's part (socket 2, 3 or 4
    // by the device's index): on a part whose erase reports no error of its
    // own, the blank check after the erase fails that socket alone, by its
    // line and its lamp, and passes the others. A row that ends its own
    // Erase entry on the cell (its erase verify), or a part that reports the
    // failure itself (the cell's block failing its erase, a failed erase
    // status), fails every socket it served: the line says so, and it counts
    // as a pass only there. An embedded-erase part whose erase runs past its
    // limit on a stuck cell stays busy: the row's own poll must fail every
    // socket. A part with none of these faults fails the pass.
    static CountPair& erases = ShardCounts("[sweep] erase on a gang of 4: %d embedded-erase device(s) whose stuck "
                                           "cell fails every socket, %d device(s) with another fault passed\n");
    if (failed || pld || byMap || !(SupportedOperationMask & OpMaskErase)) return;
    ASSERT_TRUE(load(true));
    const int later = 1 + static_cast<int>(GetParam() % (kSockets - 1));
    const uint32_t a = DeviceStart + static_cast<uint32_t>(image.size() / unit / 3);
    sim::CatalogChip* laterChip = SeatedSimChip(later);
    uint32_t word = a;
    bool embedded = false;
    if (LeaveUnerasedCell(laterChip, a) >= 0 || FailEraseByStatus(laterChip, a)) {
        // the part's model holds the fault
    } else if (sim::JedecFlashChip* die = JedecDieAt(laterChip, word)) {
        laterChip->SetCell(a, 0);
        die->StickCell(word);
        embedded = true;
    } else if (auto* flash = sim::SeatedModel<sim::CommandFlashChip>(laterChip)) {
        const std::vector<uint32_t>& starts = flash->Config().blockStarts;
        uint32_t block = 0;
        while (block + 1 < starts.size() && starts[block + 1] <= a) ++block;
        flash->SetCell(a, flash->Config().width == 16 ? 0xA55A : 0xA5);
        flash->FailBlock(block);
    } else {
        p.line = d.maker + " " + d.name + " row " + std::to_string(CurrentAlgorithm) + " " + kGangErase +
                 ": no fault of a cell that does not erase for this part";
        Report(p, kGangErase, GetParam(), true, ui, ui.Log.size());
        return;
    }
    PassDevice e = p;
    char cell[64];
    std::snprintf(cell, sizeof cell, ": socket %d's cell %Xh does not erase;", later + 1, a);
    e.line = d.maker + " " + d.name + " row " + std::to_string(CurrentAlgorithm) + " " + kGangErase + cell;
    failed = false;
    const size_t mark = p.line.size(); // fail() puts its reasons on p.line from here
    const size_t at = ui.Log.size();
    const int erased = RunOperation(MainEngine, OpErase);
    if (erased != ResultFailed) {
        fail(erased == ResultOk ? " Erase ended ok" : " Erase ended without a failure");
    } else if (embedded && Logged(ui, at, "Socket1 Erase")) {
        fail(" the row's erase passed a socket whose part was still erasing");
    } else if (Logged(ui, at, "Socket1 Erase")) {
        sockets(at, "Erase", later, true);
        if (!failed) e.line += " that socket alone fails its erase, the others pass";
    } else if (Logged(ui, at, "Erase error!")) {
        e.line += " the row's own erase check fails every socket";
        for (int s = 0; s < kSockets; ++s)
            if (sim::GangAdapter::PassLamp(*simp, s)) fail(" socket " + std::to_string(s + 1) + " lamp lit");
    } else {
        fail(" no \"Erase error!\" line");
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) fail(" violation: " + v);
    if (failed) e.line += p.line.substr(mark);
    else (embedded ? erases.first : erases.second) += 1;
    Report(e, kGangErase, GetParam(), failed, ui, at);
}

// Every device whose row offers byte lanes in every split mode, its data in
// one byte lane of a wider buffer (Even and Odd: every second byte from
// byte 0 or 1; Word0-Word3: every fourth from byte 0-3), over its first 1 K
// addresses where the layout allows a shorter range, and in Odd and Word2
// again from a start on the row's boundary whose lane data cross the
// buffer's first 64 KB bank end:
// Program writes the lane's data to the part's cells at their chip addresses
// (the bytes between hold other data), Read fills the lane and leaves the
// bytes between.
TEST_P(EveryDevice, InByteLanes) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "a fuse map has no byte lanes";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kSplit, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!(SupportedOperationMask & OpMaskRead)) GTEST_SKIP() << p.line << " no Read";
    const size_t from = ui.Log.size();
    // A row without byte lanes refuses both operations with its line before
    // any supply is switched on: the part stays blank, the buffer as it was.
    if (const RowDef* def = RowDefinition(CurrentAlgorithm); def != nullptr && def->NoByteLanes) {
        InstallSimulator(0);
        WordMode = 2;
        SetCurrentDevice(d.record);
        sim::SimProgrammer* simp = ProgramSimulator();
        sim::CatalogChip* chip = SeatedSimChip();
        ASSERT_NE(chip, nullptr);
        SupplyWatch watch;
        simp->AttachComponent(&watch);
        const std::vector<uint8_t> before(BufferImage(), BufferImage() + std::min<size_t>(BufferByteSize, 0x800));
        const int programmed = RunOperation(MainEngine, OpProgram);
        const int read = RunOperation(MainEngine, OpRead);
        simp->DetachComponent(&watch);
        int said = 0;
        for (size_t i = from; i < ui.Log.size(); ++i) said += ui.Log[i] == "Cannot support Split mode!";
        p.line += programmed == ResultOk || read == ResultOk ? " Odd served" : " refused";
        if (said != 2) p.line += " without the line \"Cannot support Split mode!\" on both runs";
        if (watch.switchedOn) p.line += " after a supply was switched on";
        const bool kept = std::equal(before.begin(), before.end(), BufferImage());
        if (!kept) p.line += " with the buffer changed";
        const uint32_t end = std::min<uint32_t>(DeviceEnd, DeviceStart + 0x3FF);
        const std::string written = CellsNotBlank(*chip, *p.part, DeviceStart, end - DeviceStart + 1, "after the refusal");
        p.line += written;
        Report(p, kSplit, GetParam(),
               programmed == ResultOk || read == ResultOk || said != 2 || watch.switchedOn || !kept || !written.empty(),
               ui, from, true);
        return;
    }
    bool failed = false;
    // Each mode from the row's first address, then from a start on the row's
    // boundary just below the buffer's first 64 KB bank end, so that the
    // lane's data cross into the next bank (where the part holds that much).
    for (const uint32_t mode : {1u, 2u, 3u, 4u, 5u, 6u, 2u | 0x100u, 5u | 0x100u}) {
        if (failed) break;
        const bool crossing = (mode & 0x100) != 0;
        InstallSimulator(0);
        WordMode = mode & 0xFF;
        SetCurrentDevice(d.record);
        sim::SimProgrammer* simp = ProgramSimulator();
        sim::CatalogChip* chip = SeatedSimChip();
        ASSERT_NE(chip, nullptr);
        const uint32_t step = WordMode <= 2 ? 2 : 4, lane = WordMode <= 2 ? WordMode - 1 : WordMode - 3;
        const unsigned unit = DataWidth > 8 ? 2 : 1;
        const uint32_t base = DeviceStart, top = DeviceEnd;
        if (crossing) {
            const RowDef* def = RowDefinition(CurrentAlgorithm);
            const uint32_t rowStep = def != nullptr && def->StartUnit != nullptr ? def->StartUnit()
                                     : def != nullptr && def->StartRefusal != nullptr ? 0
                                                                                     : 1;
            // The start in the buffer's bytes at least 40h data before the
            // bank's end, on the row's boundary; the run 40h data past it.
            const uint64_t below = 0x10000 / unit - 0x40 * step;
            if (rowStep == 0 || BufferStart > DeviceStart + below) continue;
            const uint64_t start = (DeviceStart + below - BufferStart) / rowStep * rowStep;
            if (start <= DeviceStart) continue;
            const uint64_t count = (0x10000 / unit - (BufferStart + (start - DeviceStart))) / step + 0x40;
            if (start + count - 1 > DeviceEnd) continue;
            BufferStart += static_cast<uint32_t>(start - DeviceStart);
            DeviceStart = static_cast<uint32_t>(start);
            DeviceEnd = static_cast<uint32_t>(start + count - 1);
        } else if (DeviceStart == 0 && BufferStart == 0 && DeviceEnd > 0x3FF) {
            DeviceEnd = 0x3FF;
        }
        const size_t count = size_t{DeviceEnd} - DeviceStart + 1;
        BufferEnd = static_cast<uint32_t>((size_t{BufferStart} + step * count) * unit - 1);
        ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
        SelectBank(0, 0);
        uint8_t* buffer = BufferImage() + size_t{BufferStart} * unit;
        const size_t span = step * count * unit;
        // The lane's data, and other data in the bytes between.
        std::vector<uint8_t> data(count * unit), around(span);
        if (crossing) { // the range cut from an image of the whole layout
            std::vector<uint8_t> whole(size_t{top - base + 1} * unit);
            FillRandom(whole.data(), whole.size(), static_cast<uint32_t>(GetParam()) + 13 + mode);
            ShapeData(CurrentAlgorithm, whole.data(), whole.size());
            std::copy_n(whole.begin() + static_cast<ptrdiff_t>(size_t{DeviceStart - base} * unit), data.size(),
                        data.begin());
        } else {
            FillRandom(data.data(), data.size(), static_cast<uint32_t>(GetParam()) + 13 + mode);
            ShapeData(CurrentAlgorithm, data.data(), data.size());
        }
        FillRandom(around.data(), span, static_cast<uint32_t>(GetParam()) + 17 + mode);
        auto at = [&](size_t k) { return (k * step + lane) * unit; }; // datum k's first byte
        std::copy(around.begin(), around.end(), buffer);
        for (size_t k = 0; k < count; ++k) std::memcpy(buffer + at(k), data.data() + k * unit, unit);
        BlankCheckBeforeProgram = 1;
        VerifyAfterProgram = 1;
        VerifyAfterRead = 0;
        const size_t runFrom = ui.Log.size();
        const int programmed = RunOperation(MainEngine, OpProgram);
        char from[48] = "";
        if (crossing) std::snprintf(from, sizeof from, " from %Xh across a bank", DeviceStart);
        static const char* const kModes[] = {"", " Even", " Odd", " Word0", " Word1", " Word2", " Word3"};
        p.line += std::string(kModes[WordMode]) + from +
                  (programmed == ResultOk ? " program ok" : " program FAILED");
        failed = programmed != ResultOk;
        if (failed) p.line += " (" + FirstError(ui, runFrom) + ")";
        if (!failed && chip->Words() > 0) {
            const std::string why = CellsHold(*chip, *p.part, data, DeviceStart, unit, "lane");
            p.line += why;
            failed = !why.empty();
        }
        if (failed) break;
        // The lane holds first what the part does not, the bytes between
        // other data.
        std::memset(buffer, 0x5A, span);
        std::vector<uint8_t> unlike(data.size());
        FillUnlikeThePart(unlike.data(), unlike.size(), DeviceStart, unit, *p.part, 0x5A,
                          [&](uint32_t a, unsigned b, uint8_t f) {
                              const size_t k = size_t{a - DeviceStart} * unit + b;
                              return ExpectedAt(k, data[k], *p.part, *chip, DeviceStart, unit, f);
                          });
        for (size_t k = 0; k < count; ++k) std::memcpy(buffer + at(k), unlike.data() + k * unit, unit);
        const int read = RunOperation(MainEngine, OpRead);
        p.line += read == ResultOk ? " read ok" : " read FAILED";
        failed = read != ResultOk;
        for (size_t i = 0; !failed && i < span; ++i) {
            const size_t k = i / unit / step, b = i % unit;
            const bool inLane = (i / unit) % step == lane;
            const uint8_t want =
                inLane ? ExpectedAt(k * unit + b, data[k * unit + b], *p.part, *chip, DeviceStart, unit, 0x5A).value
                       : uint8_t{0x5A};
            if (buffer[i] != want) {
                char m[112];
                std::snprintf(m, sizeof m, " mismatch at buffer %zXh (%s): %02Xh read, %02Xh expected", i,
                              inLane ? "lane" : "between", buffer[i], want);
                p.line += m;
                failed = true;
            }
        }
        if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
            p.line += " violation: " + v;
            failed = true;
        }
    }
    Report(p, kSplit, GetParam(), failed, ui, from);
}

constexpr const char* kEmptySocket = "empty socket";

// The identity runs of a shard: the devices whose identity check they
// reached, their runs that must be refused (among them those with the
// record's maker code changed) and those that go on as the row says, the
// devices that failed (and among those any device without a declared check
// whose row refused the other identity), and the devices without a check
// that ran with another identity all the same, their runs, and those of
// their runs that ended failed and were run again with the part's own
// identity.
class IdentityTally : public ::testing::Environment {
public:
    int devices = 0, runs = 0, makerRuns = 0, wentOn = 0, failed = 0, open = 0, unchecked = 0, uncheckedRuns = 0,
        again = 0;
    void TearDown() override {
        if (devices + unchecked > 0)
            std::printf("[sweep] identity: %d devices, %d runs refused (%d with the maker code changed), %d runs going "
                        "on as the row says, %d failed, %d open faults, %d devices without an identity check (%d "
                        "runs, %d run again with the part's own identity)\n",
                        devices, runs, makerRuns, wentOn, failed, open, unchecked, uncheckedRuns, again);
    }
};
IdentityTally& g_identity = *static_cast<IdentityTally*>(::testing::AddGlobalTestEnvironment(new IdentityTally));

// How the current device's identity check is reached: a row that declares
// one is run with the seated part answering another identity (the
// simulator's hook); a microcontroller row the engine checks by its
// Identify entry, with the record's identity codes changed.
enum class IdentityCheck { None, Row, Record };
IdentityCheck IdentityCheckOf() {
    if (const RowDef* def = RowDefinition(CurrentAlgorithm);
        def != nullptr && def->ChecksIdentity != nullptr && def->ChecksIdentity())
        return IdentityCheck::Row;
    const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm);
    if (DeviceSection == SectionMicro && row != nullptr && row->Identify != AlgNoOperation)
        return IdentityCheck::Record;
    return IdentityCheck::None;
}

// The operations of the identity run in their order: on a part that answers
// its own identity each would end ok on a fresh part in this order (the
// blank check before Program, Verify after it, Secure on the part Erase
// left blank, Auto, which erases it again, last; without Erase, Auto fails
// at its blank check either way).
struct IdentityOp {
    const char* name;
    int op;
    uint32_t mask;
};
constexpr IdentityOp kIdentityOps[] = {
    {"blank check", OpBlankCheck, OpMaskBlankCheck}, {"program", OpProgram, OpMaskProgram},
    {"verify", OpVerify, OpMaskVerify},              {"read", OpRead, OpMaskRead},
    {"compare", OpCompare, OpMaskCompare},           {"encryption", OpEncryption, OpMaskEncryption},
    {"erase", OpErase, OpMaskErase},                 {"secure", OpSecurity, OpMaskSecurity},
    {"auto", OpAuto, OpMaskAuto},
};

// Every operation the record offers, on the seated part answering another
// identity (the record's device code changed, and in one more run its maker
// code), the question "Device Signature dose not match. Continue?" answered
// No. Where the identity is checked, the part holds the image first (written
// with its own identity): each run ends failed at its identity line
// (IdentityRefusalLine) with no datum, verify level or fail-address line
// after it, a refused Read leaves the buffer as it was, and the part's cells
// stay as they were. A row whose secured part answers another identity (the
// SecuredIdentityException hook) has its Erase and Auto go on without the
// question: those run last, after the part is checked, and must end ok. A
// device whose row declares no check runs every operation with the hook set
// too and must not refuse: no identity line, and a run that ends failed is
// run again with the part's own identity, which must not end ok. `buffer`
// holds `image` on entry and again on return.
void RunAnotherIdentity(RecordingUi& ui, const LibraryDevice& d, uint8_t* buffer, const std::vector<uint8_t>& image) {
    sim::CatalogChip* chip = SeatedSimChip();
    const IdentityCheck check = IdentityCheckOf();
    std::string line = d.maker + " " + d.name + " row " + std::to_string(CurrentAlgorithm) + " another identity";
    line += check == IdentityCheck::Row      ? " (the part's hook):"
            : check == IdentityCheck::Record ? " (the record's identity codes):"
                                             : " (no identity check declared):";
    const uint32_t expectedMaker = ExpectedMakerId, expectedDevice = ExpectedDeviceId;
    auto another = [&](bool on) {
        if (check == IdentityCheck::Record) {
            ExpectedDeviceId = on ? expectedDevice ^ 0x01 : expectedDevice;
        } else {
            chip->AnswerAnotherIdentity(on);
            chip->Model().AnswerAnotherIdentity(on);
        }
    };
    const size_t from = ui.Log.size();
    bool failed = false;
    // A part whose identity is checked first holds the image, written with
    // its own identity, so that a run that went on would change it.
    if (check != IdentityCheck::None && (SupportedOperationMask & OpMaskProgram)) {
        const int r = RunOperation(MainEngine, OpProgram);
        if (r != ResultOk) {
            line += " program with the part's own identity FAILED (" + FirstError(ui, from) + ");";
            failed = true;
        }
    }
    another(true);
    std::vector<uint16_t> before;
    if (check != IdentityCheck::None)
        for (uint32_t a = 0; a < chip->Words(); ++a) before.push_back(chip->Cell(a));
    const UiAnswer answer = ui.DefaultAnswer;
    ui.DefaultAnswer = UiAnswer::No;
    // Compare writes its file into the current folder: a folder of its own.
    // Secure's "Are you sure?" is answered Yes: it comes before a row's own
    // check (the engine's check of the record's codes comes before it).
    auto run = [&](const IdentityOp& o) {
        ScratchDir scratch;
        if (o.op == OpCompare) scratch.Enter("vexlor-sweep-identity-");
        const bool sure = o.op == OpSecurity && check != IdentityCheck::Record;
        if (sure) ui.QueueAnswer(UiAnswer::Yes);
        const int r = RunOperation(MainEngine, o.op);
        scratch.Leave();
        // Not asked: the answer is not left for a later question.
        if (sure) ui.DropAnswers();
        return r;
    };

    const bool secured = HooksOfRow(CurrentAlgorithm).SecuredIdentityException;
    std::vector<IdentityOp> refused, goOn;
    for (const IdentityOp& o : kIdentityOps) {
        if (!(SupportedOperationMask & o.mask)) continue;
        (secured && check != IdentityCheck::None && (o.op == OpErase || o.op == OpAuto) ? goOn : refused).push_back(o);
    }
    if (check == IdentityCheck::None) {
        for (const IdentityOp& o : refused) {
            ++g_identity.uncheckedRuns;
            const int r = run(o);
            if (const std::string said = IdentityRefusalLine(); !said.empty()) {
                line += std::string(" ") + o.name + " refused at \"" + said + "\" without a declared identity check;";
                failed = true;
                continue;
            }
            if (r == ResultOk) continue;
            // Failed with another identity: with the part's own it must fail
            // too, or the row refused the other identity by a check it does
            // not declare.
            ++g_identity.again;
            const size_t at = ui.Log.size();
            another(false);
            const int own = run(o);
            another(true);
            if (own == ResultOk) {
                line += std::string(" ") + o.name + " fails with another identity, ends ok with the part's own;";
                failed = true;
            } else {
                line += std::string(" ") + o.name + " fails with the part's own identity too (" + FirstError(ui, at) +
                        ");";
            }
        }
    } else {
        // A run that must end at the identity line, nothing of the part said
        // after it; a refused Read leaves the buffer as it was (holding then
        // what the part does not: the image's complement, as the row accepts
        // it).
        auto refuse = [&](const IdentityOp& o, const char* what) {
            ++g_identity.runs;
            const size_t at = ui.Log.size();
            std::vector<uint8_t> held;
            if (o.op == OpRead) {
                held.resize(image.size());
                std::transform(image.begin(), image.end(), held.begin(), [](uint8_t b) { return uint8_t(~b); });
                ShapeUserImage(DeviceSection == SectionPld, held, true);
                std::copy(held.begin(), held.end(), buffer);
            }
            const int r = run(o);
            std::string kept;
            const auto changed = std::mismatch(held.begin(), held.end(), buffer).first;
            if (changed != held.end()) {
                char m[96];
                std::snprintf(m, sizeof m, " changed the buffer (byte %zXh: %02Xh, held %02Xh)", changed - held.begin(),
                              buffer[changed - held.begin()], *changed);
                kept = m;
            }
            if (o.op == OpRead) std::copy(image.begin(), image.end(), buffer);
            const std::string said = IdentityRefusalLine();
            std::string wrong, open;
            if (said.empty())
                wrong = std::string(" reached no identity line (") +
                        (r == ResultOk ? "ended ok" : FirstError(ui, at).c_str()) + ")";
            else if (r != ResultFailed)
                wrong = " did not end failed after \"" + said + "\"";
            else
                wrong = DatumAfterRefusal(ui, at, said.c_str());
            if (wrong.empty() && !kept.empty()) {
                if (const OpenFault* f = OpenFaultOf(CurrentAlgorithm, kIdentityRead, line)) {
                    ++g_identity.open;
                    open = " [open fault:" + kept + "]";
                    SweepSummary::OpenLines().push_back(line + " read" + kept + " (open fault: " + f->what + ")");
                } else {
                    wrong = kept;
                }
            }
            line += std::string(" ") + o.name + what + (wrong.empty() ? " ends at \"" + said + "\"" + open : wrong) + ";";
            failed = failed || !wrong.empty();
        };
        for (const IdentityOp& o : refused) refuse(o, "");
        // The maker code is compared too: the first of the runs again, the
        // record's device code its own and its maker code another's.
        if (check == IdentityCheck::Record && !refused.empty()) {
            ExpectedDeviceId = expectedDevice;
            ExpectedMakerId = expectedMaker ^ 0x01;
            ++g_identity.makerRuns;
            refuse(refused.front(), " (maker code)");
            ExpectedMakerId = expectedMaker;
            another(true);
        }
        for (uint32_t a = 0; a < before.size(); ++a) {
            if (chip->Cell(a) == before[a]) continue;
            char m[96];
            std::snprintf(m, sizeof m, " the part changed: cell %Xh holds %Xh, held %Xh", a, chip->Cell(a), before[a]);
            line += m;
            failed = true;
            break;
        }
        // Erase and Auto of a row whose secured part answers another
        // identity: they go on, without the question.
        for (const IdentityOp& o : goOn) {
            ++g_identity.wentOn;
            const size_t at = ui.Log.size();
            const int r = run(o);
            const std::string said = IdentityRefusalLine();
            std::string wrong;
            if (!said.empty())
                wrong = " refused at \"" + said + "\"";
            else if (r != ResultOk)
                wrong = " FAILED (" + FirstError(ui, at) + ")";
            line += std::string(" ") + o.name + (wrong.empty() ? " goes on as the row says" : wrong) + ";";
            failed = failed || !wrong.empty();
        }
    }
    ui.DefaultAnswer = answer;
    another(false);
    ExpectedMakerId = expectedMaker;
    ExpectedDeviceId = expectedDevice;
    std::copy(image.begin(), image.end(), buffer);
    (check == IdentityCheck::None ? g_identity.unchecked : g_identity.devices) += 1;
    g_identity.failed += failed;
    std::printf("[device] %s%s\n", line.c_str(), failed ? " FAILED" : "");
    if (!failed) return;
    std::string log;
    for (size_t i = from; i < ui.Log.size(); ++i) log += ui.Log[i] + "\n";
    ADD_FAILURE() << line << "\n" << log;
}

// Every device with its socket empty (the insertion test off, as it is by
// default), over its first 4 KB where the row serves a shorter range:
// Program of a random image, which the floating bus does not read, never
// ends ok (without its blank check, so Program's own writes and reads are
// what is judged, with the verify after it where the record offers one),
// nor does Verify where the record offers it (a record without Program
// too). A question after a wrong identity is answered Yes: the run must
// still fail on what it reads. The supplies then reach no
// chip, which the simulator records: violations are not judged here.
// Before the socket is emptied, the seated part answers another identity
// (RunAnotherIdentity).
TEST_P(EveryDevice, OnAnEmptySocket) {
    const LibraryDevice& d = Devices()[GetParam()];
    PassDevice p;
    std::string skip;
    const bool ready = Ready(p, d, GetParam(), kEmptySocket, skip);
    // A record without Program is still verified where it offers Verify.
    const bool verifyOnly = !ready && skip == p.line + " no Program" && (SupportedOperationMask & OpMaskVerify);
    if (!ready && !verifyOnly) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    const bool pld = d.section == SectionPld;
    const size_t bytes = RangeBytes(pld, 0x1000, p.line);
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    SelectBank(0, 0);
    const std::vector<uint8_t> image = LoadUserImage(pld, bytes, static_cast<uint32_t>(GetParam()) + 19, true);
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    RunAnotherIdentity(ui, d, pld ? FuseMap() : BufferImage() + BufferStart, image);
    const SimSocketsEmptied emptied;
    ASSERT_EQ(SeatedSimChip(), nullptr);
    const size_t from = ui.Log.size();
    bool failed = false;
    auto run = [&](const char* what, int op) {
        const size_t at = ui.Log.size();
        const int r = RunOperation(MainEngine, op);
        if (r == ResultOk) {
            p.line += std::string(" ") + what + " ENDED OK";
            failed = true;
        } else {
            p.line += std::string(" ") + what + " fails (" + FirstError(ui, at) + ")";
        }
    };
    if (!verifyOnly) run("program", OpProgram);
    if (SupportedOperationMask & OpMaskVerify) run("verify", OpVerify);
    Report(p, kEmptySocket, GetParam(), failed, ui, from);
}

std::string DeviceTestName(const ::testing::TestParamInfo<size_t>& info) {
    const LibraryDevice& d = Devices()[info.param];
    std::string n = std::to_string(info.param) + "_" + d.maker + "_" + d.name;
    for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Library, EveryDevice, ::testing::ValuesIn(DeviceIndexes()), DeviceTestName);
// The test build's library may add no device of its own; the product's
// always holds devices.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(EveryDevice);
TEST(Sweep, TheProductLibraryHoldsDevices) {
    if (SweptLibrary() == "krd.dat") {
        EXPECT_GT(Devices().size(), 100u);
    }
}

} // namespace