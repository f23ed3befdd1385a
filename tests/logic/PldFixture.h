// The memory suite's simulated programmer brought up for the logic modules:
// a PLD device selected from the built library, a part seated from the
// simulator's GAL table, JEDEC texts written by the test.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "../engine/LibrarySelect.h"
#include "engine/JedecPof.h"
#include "engine/RowDef.h"
#include "logic/GalFrame.h"
#include "logic/GalRowSerial.h"
#include "logic/InstallLogicRows.h"
#include "logic/PalEmulation.h"
#include "memory/MemoryFixture.h"
#include "sim/Catalog.h"
#include "sim/GalChip.h"
#include "sim/GalParts.h"
#include "sim/LargePldChip.h"
#include "sim/Universal.h"

class PldRun : public MemoryRun {
protected:
    void SetUp() override {
        MemoryRun::SetUp();
        ResetPalEmulationState();
        InstallLogicAlgorithms();
    }

    // Selects a device of the PLD section of the built library.
    bool SelectPld(const std::string& maker, const std::string& name) {
        return SelectLibraryDevice(kLibraryEntryPld, SectionPld, maker, name);
    }

    // Seats a part with the given facts (a catalog part, or one changed by the test).
    sim::GalChip* SeatGal(const sim::GalPartFacts& facts) {
        auto chip = std::make_unique<sim::GalChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    sim::GalChip* SeatGal(const std::string& maker, const std::string& name) {
        const sim::GalPartFacts* facts = sim::FindFacts<sim::GalPartFacts>(maker, name);
        EXPECT_NE(facts, nullptr) << maker << " " << name;
        return facts ? SeatGal(*facts) : nullptr;
    }

    // A fresh chip of model Chip built from facts, alone in the socket.
    template <class Chip, class Facts> Chip* SeatAlone(const Facts& facts) {
        socket->Clear();
        elec->WithdrawAllChips();
        auto chip = std::make_unique<Chip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }

    // Any part of the simulator's PLD tables.
    sim::CellArrayChip* SeatPart(const std::string& maker, const std::string& name) {
        if (sim::FindFacts<sim::GalPartFacts>(maker, name) != nullptr) return SeatGal(maker, name);
        const sim::LargePldFacts* facts = sim::FindLargePld(maker, name);
        EXPECT_NE(facts, nullptr) << maker << " " << name;
        return facts ? SeatLarge(*facts) : nullptr;
    }
    sim::LargePldChip* SeatLarge(const sim::LargePldFacts& facts) {
        auto chip = std::make_unique<sim::LargePldChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }

    // A JEDEC text of the fuses (one byte per fuse, 0 or 1) with its "C"
    // field, as a fitter writes it; written to `file`.
    static uint32_t WriteJedec(const char* file, const std::vector<uint8_t>& fuses, uint32_t rowWidth) {
        std::vector<uint8_t> bytes((fuses.size() + 7) / 8, 0);
        for (size_t n = 0; n < fuses.size(); ++n) bytes[n / 8] |= static_cast<uint8_t>((fuses[n] & 1) << (n % 8));
        uint32_t sum = 0;
        for (uint8_t b : bytes) sum += b;
        std::string text = "\x02\nTest pattern*\nQP20*QF" + std::to_string(fuses.size()) + "*\nF0*\n";
        for (size_t first = 0; first < fuses.size(); first += rowWidth) {
            char head[32];
            std::snprintf(head, sizeof head, "L%05zu ", first);
            text += head;
            for (size_t n = first; n < fuses.size() && n < first + rowWidth; ++n) text += fuses[n] ? '1' : '0';
            text += "*\n";
        }
        char tail[32];
        std::snprintf(tail, sizeof tail, "C%04X*\n\x03" "0000", sum & 0xFFFF);
        text += tail;
        std::ofstream(file, std::ios::binary) << text;
        return sum & 0xFFFF;
    }

    // A fuse pattern with both values in every row and field.
    static std::vector<uint8_t> Pattern(size_t count, uint32_t seed = 7) {
        std::vector<uint8_t> f(count);
        uint32_t x = seed;
        for (auto& b : f) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>((x >> 16) & 1);
        }
        return f;
    }

    static std::vector<uint8_t> UserFuses(uint32_t count) {
        std::vector<uint8_t> f(count);
        for (uint32_t n = 0; n < count; ++n) f[n] = static_cast<uint8_t>(GetBufferBit(n));
        return f;
    }
    static void SetUserFuses(const std::vector<uint8_t>& f) {
        for (uint32_t n = 0; n < f.size(); ++n) SetBufferBit(n, f[n]);
    }
    static void ClearUserMap(uint32_t count) {
        for (uint32_t n = 0; n < count; ++n) SetBufferBit(n, 0);
    }

    // Loads a JEDEC text of the fuses; the file's "C" matches the buffer's sum.
    void LoadFuses(const std::vector<uint8_t>& fuses, uint32_t rowWidth) {
        const uint32_t written = WriteJedec("in.jed", fuses, rowWidth);
        uint32_t fileSum = 0, blown = 0;
        ASSERT_EQ(LoadJedecFile("in.jed", fileSum, blown), 1);
        EXPECT_EQ(fileSum, written);
        EXPECT_EQ(ComputeBufferChecksum(BufferStart, BufferEnd) & 0xFFFF, fileSum);
    }
    // A file that sets fuse `n`, which the part has no cell for, is refused
    // by Program and Verify before any pin moves, naming the fuse and setting
    // the fail address; the fuse is then cleared as the user would.
    // `pulses`: the part's programming pulses, which must not grow.
    void ExpectCelllessRefused(std::vector<uint8_t>& fuses, uint32_t n, uint32_t rowWidth,
                               const std::vector<uint64_t>& pulses) {
        const size_t pulsesBefore = pulses.size();
        char line[64], address[64];
        std::snprintf(line, sizeof line, " Fuse %u has no cell in this device.", n);
        std::snprintf(address, sizeof address, " Fail address : %u(%Xh)", n, n);
        fuses[n] = 1;
        LoadFuses(fuses, rowWidth);
        for (int op : {OpProgram, OpVerify}) {
            SCOPED_TRACE(op);
            const uint64_t revision = elec->Revision();
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(line)) << LogText();
            EXPECT_TRUE(HasLine(address)) << LogText();
            EXPECT_EQ(elec->MovedSince(revision), 0u);
            EXPECT_EQ(pulses.size(), pulsesBefore);
        }
        fuses[n] = 0;
        LoadFuses(fuses, rowWidth);
    }
    // The part's cells in the JEDEC numbering.
    static std::vector<uint8_t> Cells(const sim::CellArrayChip* chip, uint32_t count) {
        std::vector<uint8_t> c(count);
        for (uint32_t n = 0; n < count; ++n) c[n] = static_cast<uint8_t>(chip->Cell(n));
        return c;
    }
    // Programs the fuses from a JEDEC file, compares the part's cells, verifies,
    // reads back equal (the saved file keeps the "C" field) and erases.
    template <class CellsOf>
    void ExpectRoundTripThenErase(const std::vector<uint8_t>& fuses, uint32_t rowWidth, CellsOf cells) {
        const auto count = static_cast<uint32_t>(fuses.size());
        LoadFuses(fuses, rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(cells(), fuses);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(count);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(count), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
    }
    // The strobes as (address, write) pairs.
    static std::vector<std::pair<int, bool>> Sequence(const sim::GalChip* chip) {
        std::vector<std::pair<int, bool>> s;
        for (const auto& e : chip->Strobes()) s.emplace_back(e.address, e.write);
        return s;
    }
    static int LastWrite(const sim::GalChip* chip) {
        int a = -2;
        for (const auto& e : chip->Strobes())
            if (e.write) a = e.address;
        return a;
    }
    static size_t Writes(const sim::GalChip* chip) {
        size_t n = 0;
        for (const auto& e : chip->Strobes()) n += e.write;
        return n;
    }
    static sim::GalPartFacts GalFacts(const char* maker, const char* name) {
        return *sim::FindFacts<sim::GalPartFacts>(maker, name);
    }
    static sim::GalPartFacts Changed(const char* maker, const char* name, void (*change)(sim::GalPartFacts&)) {
        sim::GalPartFacts f = GalFacts(maker, name);
        change(f);
        return f;
    }
    sim::GalChip* SelectAndSeat(const sim::GalPartFacts& f) {
        EXPECT_TRUE(SelectPld(f.maker, f.name));
        return Reseat(f);
    }
    sim::GalChip* SelectAndSeat(const char* maker, const char* name) { return SelectAndSeat(GalFacts(maker, name)); }
    // An empty socket whose floating pins read as a blank part: the run goes on
    // as if a part were there; then only the insertion test stops it, before
    // any entry. check runs between the two.
    template <class Check> void ExpectOnlyInsertionTestStopsEmptySocket(Check check) {
        socket->Clear();
        elec->WithdrawAllChips();
        sim::FindPinDriver(simp)->SetFloatingLevel(1);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!"));
        check();
        DeviceInsertTest = 1;
        const size_t violations = simp.Violations().size();
        EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
        EXPECT_FALSE(HasLine("Blank checking ...")) << LogText();
        EXPECT_EQ(simp.Violations().size(), violations);
        DeviceInsertTest = 0;
    }
    sim::GalChip* Reseat(const sim::GalPartFacts& facts) {
        socket->Clear();
        elec->WithdrawAllChips();
        return SeatGal(facts);
    }

    // The part refused in every operation with `line`, the run ending there:
    // only the identification row strobed, the socket powered down, nothing
    // written, no fuse named.
    void ExpectRefusedEverywhere(const sim::GalPartFacts& part, const std::string& line) {
        SCOPED_TRACE(std::string(part.name) + line);
        ASSERT_TRUE(SelectPld(part.maker, part.name));
        sim::GalChip* chip = Reseat(part);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        for (int op : {OpBlankCheck, OpProgram, OpRead, OpVerify, OpErase, OpSecurity}) {
            SCOPED_TRACE(op);
            chip->ClearStrobes();
            EXPECT_EQ(Run(op), -1);
            EXPECT_EQ(IdentityRefusalLine(), line) << LogText();
            EXPECT_EQ(DatumLines(), "") << LogText();
            for (const auto& s : chip->Strobes()) EXPECT_EQ(s.address, 58); // the identification row only
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        EXPECT_TRUE(chip->Blank());
        EXPECT_FALSE(chip->Secured());
        ExpectNoViolations();
    }

    // A cell that never programs: the verify after programming fails at its fuse.
    void ExpectStuckCellFailsVerify(const char* maker, const char* name) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SelectPld(maker, name));
        sim::GalChip* chip = Reseat(GalFacts(maker, name));
        std::vector<uint8_t> fuses(DeviceSize, 1);
        fuses[1001] = 0;
        chip->StickCell(1001);
        LoadFuses(fuses, FuseRowLength);
        VerifyAfterProgram = 1;
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Verification error!")) << LogText();
        EXPECT_TRUE(HasLine(" Fail address : 1001(3E9h)")) << LogText();
    }

    // ESC answered No during the program walk: reported as a break with the
    // part half written and the socket powered down.
    void ExpectProgramBreak(const char* maker, const char* name) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SelectPld(maker, name));
        sim::GalChip* chip = Reseat(GalFacts(maker, name));
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpProgram), 3);
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
        EXPECT_FALSE(HasLine("Program ok!"));
        EXPECT_GT(Writes(chip), 0u);
        EXPECT_LT(Writes(chip), 30u);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }

    // One entry of a programming table: the signature's voltage and maker
    // codes, and the edit voltage (0.1 V) and pulse (ms) they call for.
    struct TableEntry {
        uint8_t code, makerCode;
        int tenths;
        uint32_t pulseMs;
    };
    // Each entry against a part that needs exactly those conditions: Program
    // with its verify succeeds, and every write strobe is at the voltage (the
    // DAC's step) and lasts the pulse, not much longer.
    void ExpectProgrammingTable(const char* maker, const char* name, const std::vector<TableEntry>& table) {
        for (const TableEntry& e : table) {
            SCOPED_TRACE(std::string(name) + " code " + std::to_string(e.code) + " maker " +
                         std::to_string(e.makerCode));
            sim::GalPartFacts f = GalFacts(maker, name);
            f.voltageCode = e.code;
            f.makerCode = e.makerCode;
            f.programTenths = e.tenths;
            f.pulseUs = e.pulseMs * 1000;
            sim::GalChip* chip = SelectAndSeat(f);
            LoadFuses(Pattern(DeviceSize, e.code), FuseRowLength);
            VerifyAfterProgram = 1;
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            size_t writes = 0;
            for (const auto& s : chip->Strobes()) {
                if (!s.write) continue;
                ++writes;
                EXPECT_NEAR(s.editTenths, e.tenths, 1);
                EXPECT_GE(s.widthUs, uint64_t{e.pulseMs} * 1000);
                EXPECT_LT(s.widthUs, uint64_t{e.pulseMs} * 1000 + 2000); // the timer's own wait
            }
            EXPECT_GT(writes, 0u);
            ExpectNoViolations();
        }
    }

    // A file of PAL type `index` (list `set`) programmed, verified and read
    // back into the same map.
    void PalRoundTrip(const char* maker, const char* name, int index, int set) {
        SCOPED_TRACE(std::string(name) + " " + PalEmulationNames[set][index]);
        ASSERT_TRUE(SelectPld(maker, name));
        PalTypeRoundTrip(Reseat(GalFacts(maker, name)), index, set);
    }
    // The same with the device selected and `chip` seated by the caller.
    void PalTypeRoundTrip(const sim::CellArrayChip* chip, int index, int set) {
        ApplyPalEmulationChoice(index, set);
        ASSERT_EQ(DeviceSize, PalEmulationGeometry[set][index].Fuses);
        const std::vector<uint8_t> fuses = Pattern(DeviceSize, static_cast<uint32_t>(index));
        LoadFuses(fuses, PalEmulationGeometry[set][index].RowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        EXPECT_FALSE(chip->Blank());
        ClearUserMap(DeviceSize);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(DeviceSize), fuses);
        ExpectNoViolations();
    }

    // One record through every operation of the driver: blank check, load a
    // JEDEC file, program, verify, read into a cleared buffer, save with the
    // same fuses and "C" field, erase with the driver's blank check, secure;
    // a read then shows the array below `arrayFuses` as ones and the rest
    // kept (or is refused with " Device Secured!"). Fuses from `zeroFrom` on
    // and `zeroFuse` are 0 in the file (the part has no cell there or the
    // program keeps them 0).
public:
    struct Cycle {
        const char* maker;
        const char* name;
        uint32_t fuses, rowWidth, ues, arrayFuses;
        uint32_t zeroFrom = UINT32_MAX;
        uint32_t zeroFuse = UINT32_MAX;
        uint32_t absentFuse = UINT32_MAX; // no cell: 0 in the file, the cell not compared
        bool securedReadRefused = false;
    };

protected:
    void RunCycle(const Cycle& c) {
        SCOPED_TRACE(std::string(c.maker) + " " + c.name);
        ASSERT_TRUE(SelectPld(c.maker, c.name));
        EXPECT_EQ(DeviceSize, c.fuses);
        EXPECT_EQ(FuseRowLength, c.rowWidth);
        EXPECT_EQ(UesFuseStart, c.ues);
        EXPECT_EQ(SupportedOperationMask & OpMaskCompare, 0u);
        socket->Clear();
        elec->WithdrawAllChips();
        sim::CellArrayChip* chip = SeatPart(c.maker, c.name);
        ASSERT_NE(chip, nullptr);

        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        std::vector<uint8_t> fuses = Pattern(c.fuses, c.fuses + c.rowWidth);
        for (uint32_t n = c.zeroFrom; n < c.fuses; ++n) fuses[n] = 0;
        if (c.zeroFuse < c.fuses) fuses[c.zeroFuse] = 0;
        if (c.absentFuse < c.fuses) fuses[c.absentFuse] = 0;
        LoadFuses(fuses, c.rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        const uint32_t cells = std::min(c.fuses, c.zeroFrom);
        std::vector<uint8_t> expected(fuses.begin(), fuses.begin() + cells);
        if (c.absentFuse < cells) expected[c.absentFuse] = 1;
        EXPECT_EQ(Cells(chip, cells), expected); // the datasheet's map, cell for cell
        EXPECT_EQ(Run(OpVerify), 1) << LogText();

        ClearUserMap(c.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(c.fuses), fuses);
        const std::string saved = FormatJedecText(nullptr, 0);
        EXPECT_EQ(ReadJedecChecksumField(saved), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_NE(saved.find("QF" + std::to_string(c.fuses) + "*"), std::string::npos);
        std::vector<uint8_t> map(c.fuses / 8 + 1, 0);
        std::string vectors;
        uint32_t sum = 0;
        JedecLayout layout;
        layout.FuseCount = c.fuses;
        ASSERT_EQ(ParseJedecText(saved, layout, map.data(), map.size(), vectors, sum), JedecOk);
        for (uint32_t n = 0; n < c.fuses; ++n) ASSERT_EQ((map[n / 8] >> (n % 8)) & 1, fuses[n]) << n;

        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        EXPECT_TRUE(chip->Blank());

        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!"));
        EXPECT_TRUE(chip->Secured());
        ClearUserMap(c.fuses);
        if (c.securedReadRefused) {
            EXPECT_EQ(Run(OpRead), -1);
            EXPECT_TRUE(HasLine(" Device Secured!")) << LogText();
            ExpectNoViolations();
            return;
        }
        EXPECT_EQ(Run(OpRead), 1);
        for (uint32_t n = 0; n < c.arrayFuses; ++n) ASSERT_EQ(GetBufferBit(n), 1u) << n;
        for (uint32_t n = c.arrayFuses; n < c.fuses; ++n) ASSERT_EQ(GetBufferBit(n), fuses[n]) << n;
        ExpectNoViolations();
    }

    // The seated part answers another identity: the row declares its check
    // for the selected device, and Verify, Program and Blank check each end
    // at `line` with no datum line after it, the socket already powered down
    // when the line is logged (the engine resets the outputs only after the
    // run).
    void ExpectRunsEndAtIdentityLine(const std::string& line) {
        const RowDef* def = RowDefinition(CurrentAlgorithm);
        ASSERT_TRUE(def != nullptr && def->ChecksIdentity != nullptr) << CurrentAlgorithm;
        EXPECT_TRUE(def->ChecksIdentity());
        bool said = false;
        std::vector<int> suppliedAtLine;
        ui.OnAppended = [&](const std::string& text) {
            if (said || text != line) return;
            said = true;
            suppliedAtLine = elec->SuppliedPins();
        };
        for (int op : {OpVerify, OpProgram, OpBlankCheck}) {
            SCOPED_TRACE(op);
            said = false;
            suppliedAtLine.clear();
            EXPECT_EQ(Run(op), -1);
            EXPECT_EQ(IdentityRefusalLine(), line) << LogText();
            EXPECT_EQ(DatumLines(), "") << LogText();
            EXPECT_TRUE(said) << LogText();
            EXPECT_EQ(suppliedAtLine, std::vector<int>{}) << "supplied as \"" << line << "\" is logged";
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        ui.OnAppended = nullptr;
    }
    // As above for the blank part `chip`, made to answer another identity:
    // no question is asked and the part stays untouched; answering its own
    // identity again, it blank-checks.
    void ExpectIdentityRefusedAtItsLine(sim::CellArrayChip* chip, const std::string& line) {
        SCOPED_TRACE(line);
        ASSERT_NE(chip, nullptr);
        ASSERT_TRUE(chip->Blank());
        const size_t boxes = ui.Boxes.size();
        chip->AnswerAnotherIdentity();
        ExpectRunsEndAtIdentityLine(line);
        EXPECT_EQ(ui.Boxes.size(), boxes);
        EXPECT_TRUE(chip->Blank());
        EXPECT_FALSE(chip->Secured());
        chip->AnswerAnotherIdentity(false);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    }
};
