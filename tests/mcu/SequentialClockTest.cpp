// Rows 143, 133 and 147 against the simulator's address-counter parts: a
// whole run per device, the windows and fillers, the pacing, the power-up
// register sequences, and injected faults.
#include "W78Fixture.h"

#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "sim/SeqClockMcuChip.h"

namespace {

class SeqClockRun : public W78Run {
protected:
    void SetUp() override {
        W78Run::SetUp();
        sim::RegisterSeqClockBusPersonality();
    }
    sim::SeqClockMcuChip* PutSeq(const char* name, void (*change)(sim::SeqClockMcuFacts&) = nullptr) {
        return PutPart<sim::SeqClockMcuChip>("GENERIC-ALGORITHM", name, change);
    }
    // A random 4 KB image written by srec_cat as Motorola records; false
    // when srec_cat is missing.
    static bool WriteSeqToolsFile(std::vector<uint8_t>& image) {
        image.resize(0x1000);
        uint32_t x = 0x1234567u;
        for (uint8_t& b : image) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        image[0x800] = 0x00;
        std::ofstream("seqclk.bin", std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 0x1000);
        return std::system("srec_cat seqclk.bin -binary -o seqclk.mot -motorola >/dev/null 2>&1") == 0;
    }
    // The writes of registers 0-4 from the start of the trace, up to n.
    std::vector<std::pair<int, int>> BusWrites(size_t n) const {
        std::vector<std::pair<int, int>> w;
        for (const auto& r : simp.RegisterTrace()) {
            if (r.write && r.reg <= 4 && w.size() < n) w.emplace_back(r.reg, r.value);
        }
        return w;
    }
    static bool SeqInWindow(const sim::SeqClockMcuChip& chip, uint32_t a) {
        const auto& f = static_cast<const sim::SeqClockMcuFacts&>(chip.Facts());
        for (const auto& w : f.windows)
            if (a >= w.first && a <= w.last) return true;
        return false;
    }
};

class SeqClockDevices : public SeqClockRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, a tools file programmed into the windows, verified at both
// levels, compared, read back (row 143 only compares), saved and reloaded.
TEST_P(SeqClockDevices, WholeRun) {
    sim::SeqClockMcuChip* chip = PutSeq(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(DeviceEnd + 1, chip->Words());
    std::vector<uint8_t> image;
    if (!WriteSeqToolsFile(image)) GTEST_SKIP() << "srec_cat not installed";
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ASSERT_EQ(LoadHexFamilyFile("seqclk.mot", 0, 0), 1);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    const uint8_t blank = static_cast<uint8_t>(chip->Facts().blank);
    for (uint32_t a = 0; a < 0x1000; ++a)
        ASSERT_EQ(chip->Cell(a), SeqInWindow(*chip, a) ? image[a] : blank) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    if (CurrentAlgorithm != 143) {
        FillBufferRange(0, 0xFFF, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < 0x1000; ++a) {
            if (!SeqInWindow(*chip, a)) continue;
            ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
        }
        for (uint32_t a = 0; a < 0x1000; ++a)
            if (!SeqInWindow(*chip, a)) image[a] = 0x5A; // the gaps are not read
    }
    ExpectSavedAndReloaded(0, image);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, SeqClockDevices,
                         ::testing::Values("SEQCLK-CMP-V0", "SEQCLK-CMP-V1", "SEQCLK-WIN-B0", "SEQCLK-WIN-BF"),
                         [](const auto& info) {
                             std::string s = info.param;
                             for (char& c : s)
                                 c = c == '-' ? '_' : c;
                             return s;
                         });

// Row 143's Read never stores: it reports whether the chip matches the
// buffer, in every mode; Program waits 54 ms per address.
TEST_F(SeqClockRun, CompareLatchRow) {
    sim::SeqClockMcuChip* chip = PutSeq("SEQCLK-CMP-V0");
    FillPattern(0x1000);
    for (uint32_t a = 0; a < 0x1000; ++a) chip->SetCell(a, BufferByte(a));
    EXPECT_EQ(AlgorithmTable[143].Read(ReadModeRead), 1);
    EXPECT_EQ(AlgorithmTable[143].Read(ReadModeBlank), -1);
    chip->SetCell(0x345, chip->Cell(0x345) ^ 0x10);
    const uint8_t before = BufferByte(0x345);
    EXPECT_EQ(AlgorithmTable[143].Read(ReadModeRead), -1);
    EXPECT_EQ(AlgorithmTable[143].Read(ReadModeVerify), -1);
    EXPECT_EQ(BufferByte(0x345), before);

    chip = PutSeq("SEQCLK-CMP-V1");
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(AlgorithmTable[143].Program(), 1);
    EXPECT_GE(simp.NowUs() - t0, 4096ull * 54000);
    EXPECT_LT(simp.NowUs() - t0, 230'000'000ull);
    // A cell that does not take its byte fails the final compare.
    chip = PutSeq("SEQCLK-CMP-V0");
    chip->StickCell(0x10);
    EXPECT_EQ(AlgorithmTable[143].Program(), -1);
    ExpectNoViolations();
}

// Row 133 clocks its fillers through the gaps and a 00h byte without the
// 3 ms; row 147 walks 0-FFFh by default and clocks the gaps before their
// filler, and a narrower range only up to its end, burning nothing below its
// start and reading no buffer byte outside it.
TEST_F(SeqClockRun, WindowsAndFillers) {
    sim::SeqClockMcuChip* chip = PutSeq("SEQCLK-WIN-B0");
    FillPattern(0x1000);
    BufferWindow[0x700] = 0x3C;
    BufferWindow[0xFF0] = 0xC3;
    BufferWindow[0x800] = 0x00;
    EXPECT_EQ(AlgorithmTable[133].Program(), 1);
    const auto& c = chip->Clocks();
    ASSERT_EQ(c.size(), 0x1000u);
    for (uint32_t a = 0; a < 0x1000; ++a) ASSERT_EQ(c[a].first, a);
    EXPECT_EQ(c[0x10].second, 0x3C);
    EXPECT_EQ(c[0xF50].second, 0xC3);
    uint32_t nonBlank = 0;
    for (uint32_t a = 0; a < 0x1000; ++a) nonBlank += (a >= 0x700 && a <= 0xF00) || a >= 0xFF0 ? BufferByte(a) != 0 : 0;
    EXPECT_EQ(chip->Burns(), nonBlank);
    // The 00h byte at 800h goes without the 3 ms: its clock follows the one
    // before by the 3 ms plus the loop's own time, and the next follows it
    // by the loop's time only.
    StartTrace();
    EXPECT_EQ(AlgorithmTable[133].Program(), 1);
    std::vector<uint64_t> at;
    for (const auto& r : simp.RegisterTrace())
        if (r.write && r.reg == 2 && r.value == 1) at.push_back(r.timeUs);
    ASSERT_EQ(at.size(), 0x1000u);
    EXPECT_GE(at[0x800] - at[0x7FF], 3000u);
    EXPECT_LT(at[0x801] - at[0x800], 3000u);
    chip = PutSeq("SEQCLK-WIN-BF");
    FillPattern(0x1000);
    EXPECT_EQ(AlgorithmTable[147].Program(), 1);
    ASSERT_EQ(chip->Clocks().size(), 0x1000u);
    EXPECT_EQ(chip->Cell(0xFFF), BufferByte(0xFFF));
    chip = PutSeq("SEQCLK-WIN-BF");
    FillPattern(0x1000);
    DeviceStart = BufferStart = 0x200;
    DeviceEnd = 0x7FF;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    ASSERT_EQ(chip->Clocks().back().first, 0x7FFu);
    for (uint32_t a = 0; a < 0x1000; ++a) {
        const bool held = a >= 0x200 && a <= 0x7FF;
        ASSERT_EQ(chip->Cell(a), held ? BufferByte(a) : 0xFF) << std::hex << a;
    }
    FillBufferRange(0, 0xFFF, 0x5A);
    chip->ClearClocks();
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(chip->Clocks().size(), 0x800u);
    for (uint32_t a = 0; a < 0x1000; ++a) {
        const bool held = a >= 0x200 && a <= 0x7FF;
        ASSERT_EQ(BufferByte(a), held ? chip->Cell(a) : 0x5A) << std::hex << a;
    }
    ExpectNoViolations();
}

// A range above 0: row 133 clocks its part's counter up to the start with no
// byte, so every cell below the start stays blank and the range lands on its
// own cells, also from inside a gap; row 143's compare latch counts from 000h,
// so it refuses such a range before power and burns nothing.
TEST_F(SeqClockRun, RangesAboveZeroReachTheirCells) {
    for (uint32_t start : {0x723u, 0xF01u}) {
        SCOPED_TRACE(start);
        sim::SeqClockMcuChip* chip = PutSeq("SEQCLK-WIN-B0");
        FillPattern(0x1000, start);
        DeviceStart = BufferStart = start;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a < 0x1000; ++a) {
            const bool held = a >= start && SeqInWindow(*chip, a);
            ASSERT_EQ(chip->Cell(a), held ? BufferByte(a) : 0x00) << std::hex << a;
        }
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        // A cell of the range changed behind the row's back fails there.
        chip->SetCell(0xFF3, chip->Cell(0xFF3) | 0x40);
        BufferWindow[0xFF3] &= 0xBF;
        EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(ChipAddrLine(0xFF3))) << LogText();
        ExpectNoViolations();
    }
    for (const char* name : {"SEQCLK-CMP-V0", "SEQCLK-CMP-V1"}) {
        SCOPED_TRACE(name);
        sim::SeqClockMcuChip* chip = PutSeq(name);
        FillPattern(0x1000);
        DeviceStart = BufferStart = 0x123;
        // Each step ends at the line: nothing was compared, so no line names
        // a datum or a verify level's result.
        for (int op : {OpProgram, OpVerify, OpBlankCheck}) {
            EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
            EXPECT_TRUE(HasLine(" Chip start 123h not supported: this device is compared from address 0."))
                << op << LogText();
            EXPECT_EQ(DatumLines(), "") << op << LogText();
        }
        EXPECT_TRUE(chip->Clocks().empty());
        for (uint32_t a = 0; a < 0x1000; ++a) ASSERT_EQ(chip->Cell(a), 0x00) << std::hex << a;
        EXPECT_EQ(AlgorithmTable[143].Read(ReadModeVerify), -1);
        EXPECT_TRUE(chip->Clocks().empty());
        // An end below the top: the compare would clock on from it.
        DeviceStart = BufferStart = 0;
        DeviceEnd = 0x17F;
        for (int op : {OpProgram, OpVerify, OpBlankCheck}) {
            EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
            EXPECT_TRUE(HasLine(" Chip end 17Fh not supported: this device is compared over its whole map."))
                << op << LogText();
            EXPECT_EQ(DatumLines(), "") << op << LogText();
        }
        EXPECT_TRUE(chip->Clocks().empty());
        for (uint32_t a = 0; a < 0x1000; ++a) ASSERT_EQ(chip->Cell(a), 0x00) << std::hex << a;
        ExpectNoViolations();
    }
}

// The power-up register sequences of each row.
TEST_F(SeqClockRun, PowerUpSequences) {
    using W = std::vector<std::pair<int, int>>;
    PutSeq("SEQCLK-CMP-V0"); // its whole map: the row refuses an end below the top
    StartTrace();
    AlgorithmTable[143].Program();
    EXPECT_EQ(BusWrites(7), (W{{2, 0}, {0, 6}, {1, 7}, {1, 3}, {0, 7}, {3, BufferByte(0)}, {2, 1}}));
    PutSeq("SEQCLK-WIN-B0");
    DeviceEnd = 0;
    StartTrace();
    AlgorithmTable[133].Program();
    EXPECT_EQ(BusWrites(8), (W{{3, 7}, {2, 0}, {0, 8}, {1, 0x0E}, {1, 6}, {0, 9}, {4, BufferByte(0x700)}, {2, 1}}));
    StartTrace();
    AlgorithmTable[133].Read(ReadModeBlank);
    EXPECT_EQ(BusWrites(6), (W{{3, 1}, {2, 0}, {0, 8}, {1, 0x0F}, {1, 7}, {0, 9}}));
    PutSeq("SEQCLK-WIN-BF");
    StartTrace();
    AlgorithmTable[147].Read(ReadModeRead);
    EXPECT_EQ(BusWrites(6), (W{{3, 8}, {2, 0}, {0, 6}, {1, 0x0F}, {1, 7}, {0, 7}}));
    ExpectNoViolations();
}

// Busy for 10000 reads ends row 147's Program before any clock; a clock
// cutting a burn short is a violation and the cell stays blank; a stuck
// cell fails the verify at its address.
TEST_F(SeqClockRun, InjectedFaults) {
    sim::SeqClockMcuChip* chip = PutSeq("SEQCLK-WIN-BF");
    FillPattern(0x1000);
    chip->StayBusy(10000);
    EXPECT_EQ(AlgorithmTable[147].Program(), -1);
    EXPECT_TRUE(chip->Clocks().empty());
    chip->StayBusy(9999);
    EXPECT_EQ(AlgorithmTable[147].Program(), 1);
    ExpectNoViolations();

    chip = PutSeq("SEQCLK-WIN-B0", [](sim::SeqClockMcuFacts& f) { f.burnUs = 5000; });
    FillPattern(0x1000);
    BufferWindow[0x701] = 0x5A;
    EXPECT_EQ(AlgorithmTable[133].Program(), 1);
    EXPECT_FALSE(simp.Violations().empty());
    EXPECT_EQ(chip->Cell(0x701), 0x00);
    simp.ClearViolations();

    for (const char* name : {"SEQCLK-WIN-B0", "SEQCLK-WIN-BF"}) {
        SCOPED_TRACE(name);
        chip = PutSeq(name);
        chip->StickCell(0xFF4);
        FillPattern(0x1000);
        BufferWindow[0xFF4] = 0x81;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        ReadValue = chip->Facts().blank;
        EXPECT_TRUE(HasLine(ChipAddrLine(0xFF4))) << LogText();
        ExpectNoViolations();
    }
}

// Every row takes the buffer byte at the chip address itself: a split mode
// is refused before the part is clocked, and the buffer stays as it was.
TEST_F(SeqClockRun, SplitModeIsRefused) {
    for (const char* name : {"SEQCLK-CMP-V0", "SEQCLK-WIN-B0", "SEQCLK-WIN-BF"}) {
        SCOPED_TRACE(name);
        sim::SeqClockMcuChip* chip = PutSeq(name);
        FillPattern(0x1000);
        const uint8_t kept = BufferByte(0x800);
        WordMode = 2;
        for (int op : {OpProgram, OpRead}) {
            EXPECT_EQ(Run(op), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
        }
        WordMode = 0;
        EXPECT_TRUE(chip->Clocks().empty());
        EXPECT_EQ(chip->Burns(), 0u);
        EXPECT_EQ(BufferByte(0x800), kept);
        ExpectNoViolations();
    }
}

// A value a row never writes is a violation of the logic image.
TEST_F(SeqClockRun, UnknownRegisterValue) {
    PutSeq("SEQCLK-WIN-BF");
    EXPECT_EQ(AlgorithmTable[147].Read(ReadModeRead), 1);
    ExpectNoViolations();
    WriteRegister(3, 7);
    ASSERT_FALSE(simp.Violations().empty());
    EXPECT_NE(simp.Violations().front().find("register 3 written 07h"), std::string::npos);
}

// A user break powers the part down and ends the run, on every row.
TEST_F(SeqClockRun, UserBreak) {
    for (const char* name : {"SEQCLK-CMP-V0", "SEQCLK-WIN-B0", "SEQCLK-WIN-BF"}) {
        for (int op : {OpProgram, OpVerify}) {
            SCOPED_TRACE(std::string(name) + " op " + std::to_string(op));
            sim::SeqClockMcuChip* chip = PutSeq(name);
            FillPattern(0x1000);
            if (op == OpVerify) {
                for (uint32_t a = 0; a < 0x1000; ++a) chip->SetCell(a, BufferByte(a));
            }
            ui.BreakAtPercent = 30;
            ui.QueueAnswer(UiAnswer::No);
            EXPECT_EQ(Run(op), ResultUserBreak) << LogText();
            EXPECT_LT(chip->Clocks().size(), 0x1000u);
            ExpectNoViolations();
        }
    }
}

// Row 143 sends each byte from its chip address's buffer place: a Buffer
// Start apart is refused before power-up. Its part compares the image itself
// and answers one bit, so a Compare that fails says, in the log and in
// COMPARE.TXT, that the part cannot tell where.
TEST_F(SeqClockRun, Row143BufferStartApartAndACompareWithoutAnAddress) {
    sim::SeqClockMcuChip* chip = PutSeq("SEQCLK-CMP-V0");
    const uint8_t blank = static_cast<uint8_t>(chip->Facts().blank);
    FillPattern(0x9000);
    BufferStart = 0x8000;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Buffer Start 8000h not supported: data sit at the chip's own addresses (Chip "
                        "Start 0h)."))
        << LogText();
    EXPECT_TRUE(simp.RegisterTrace().empty());
    for (uint32_t a = 0; a < chip->Words(); ++a) ASSERT_EQ(chip->Cell(a), blank) << std::hex << a;
    BufferStart = 0;
    for (uint32_t a = 0; a < 0x1000; ++a) chip->SetCell(a, BufferByte(a));
    constexpr const char* kUnplaced = "The device reports a difference and cannot say at which address.";
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    EXPECT_EQ(ReadText("COMPARE.TXT").find(kUnplaced), std::string::npos);
    chip->SetCell(0x345, chip->Cell(0x345) ^ 0x10);
    EXPECT_EQ(Run(OpCompare), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(std::string(" ") + kUnplaced)) << LogText();
    EXPECT_TRUE(HasLine("Data Compare error!")) << LogText();
    EXPECT_NE(ReadText("COMPARE.TXT").find(std::string(kUnplaced) + "\r\n"), std::string::npos)
        << ReadText("COMPARE.TXT");
    ExpectNoViolations();
}

// The entries row 143 fails, each with its error line and then the line
// that names no address.
const char* const kRow143Unplaced = " The device reports a difference and cannot say at which address.";
const struct {
    int op;
    const char* error;
} kRow143Runs[] = {{OpProgram, "Program error!"}, {OpVerify, "Verification error!"}, {OpBlankCheck, "Blank check error!"}};

// Row 143's part answers one pass bit for its whole image: a Program,
// Verify or Blank check that fails says the part cannot tell where, and no
// fail-address line follows (no computed address, no stale datum).
TEST_F(SeqClockRun, Row143FailuresNameNoAddress) {
    sim::SeqClockMcuChip* chip = PutSeq("SEQCLK-CMP-V0");
    FillPattern(0x1000);
    FillBufferRange(0x10, 0x10, 0x5A);
    chip->StickCell(0x10);
    auto addressLines = [&] {
        size_t n = 0;
        for (const auto& line : Log()) n += line.find("addr:") != std::string::npos;
        return n;
    };
    for (const auto& run : kRow143Runs) {
        SCOPED_TRACE(run.error);
        EXPECT_EQ(Run(run.op), ResultFailed) << LogText();
        ExpectLinesInOrder({run.error, kRow143Unplaced});
        EXPECT_EQ(addressLines(), 0u) << LogText();
    }
    EXPECT_EQ(chip->Cell(0x10), 0x00);
    ExpectNoViolations();
}

} // namespace

// Row 143 has no identity step and trusts its compare latch alone: with the
// socket empty the latch compares the bytes sent with the floating bus, so
// Program (its own compare, no blank check or verify around it), Verify and
// Blank check all fail, and a buffer of FFh is what an empty socket matches.
TEST_F(SeqClockRun, Row143EmptySocketNeverPasses) {
    for (const char* name : {"SEQCLK-CMP-V0", "SEQCLK-CMP-V1"}) {
        SCOPED_TRACE(name);
        PutSeq(name);
        FillPattern(0x1000);
        ClearSocket();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
        for (const auto& run : kRow143Runs) {
            SCOPED_TRACE(run.error);
            EXPECT_EQ(Run(run.op), ResultFailed) << LogText();
            ExpectLinesInOrder({run.error, kRow143Unplaced});
        }
        FillBufferRange(0, 0xFFF, 0xFF);
        EXPECT_EQ(AlgorithmTable[143].Read(ReadModeVerify), 1);
        BufferWindow[0xFFF] = 0xFE; // the last byte alone differs
        EXPECT_EQ(AlgorithmTable[143].Read(ReadModeVerify), -1);
        // The supplies reach no chip; nothing else is amiss.
        for (const std::string& v : simp.Violations())
            EXPECT_NE(v.find("with no chip on the pin"), std::string::npos) << v;
        simp.ClearViolations();
    }
}
