// Rows 134, 135 and 142 against the simulator's 68HC705-class bootloader
// parts: whole runs per device, the stream order and its fillers, pacing,
// power-up traces, the programmer-RAM download and the programmer's run,
// and injected faults.
#include "W78Fixture.h"

#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowDef.h"
#include "engine/Routing.h"
#include "sim/RamDownloadBus.h"
#include "sim/SeqClockMcuChip.h"

namespace {

class HcLoaderRun : public W78Run {
protected:
    void SetUp() override {
        W78Run::SetUp();
        sim::RegisterSeqClockBusPersonality();
    }
    sim::SeqClockMcuChip* PutLoader(const char* name, void (*change)(sim::SeqClockMcuFacts&) = nullptr) {
        return PutPart<sim::SeqClockMcuChip>("GENERIC-ALGORITHM", name, change);
    }
    sim::RamDownloadBusPersonality* RamBus() { return simp.PersonalityAs<sim::RamDownloadBusPersonality>(); }
    // The RAM part seated afresh, the programmer without faults.
    sim::SeqClockMcuChip* PutRamPart() {
        sim::SeqClockMcuChip* chip = PutLoader("HC705-RAMDL-16K");
        EXPECT_NE(RamBus(), nullptr);
        if (RamBus() != nullptr) RamBus()->ClearFaults();
        return chip;
    }
    // n random bytes written by srec_cat as Motorola records and loaded;
    // false when srec_cat is missing.
    bool LoadHcToolsFile(std::vector<uint8_t>& image, uint32_t n) {
        image.resize(n);
        uint32_t x = 0x2468ACEu;
        for (uint8_t& b : image) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        image[0x30] = 0x00;
        image[0xB00] = 0x00;
        std::ofstream("hcloader.bin", std::ios::binary).write(reinterpret_cast<const char*>(image.data()), n);
        if (std::system("srec_cat hcloader.bin -binary -o hcloader.mot -motorola >/dev/null 2>&1") != 0) return false;
        return LoadHexFamilyFile("hcloader.mot", 0, 0) == 1;
    }
    // The buffer byte a chip cell holds: its own address inside the part's
    // windows, -1 outside them.
    static int64_t HcBufferOf(const sim::SeqClockMcuChip& chip, uint32_t a) {
        const auto& f = static_cast<const sim::SeqClockMcuFacts&>(chip.Facts());
        for (const auto& w : f.windows)
            if (a >= w.first && a <= w.last) return a;
        return -1;
    }
    std::vector<std::pair<int, int>> HcBusWrites(size_t n) const {
        std::vector<std::pair<int, int>> w;
        for (const auto& r : simp.RegisterTrace())
            if (r.write && r.reg <= 4 && w.size() < n) w.emplace_back(r.reg, r.value);
        return w;
    }
    std::vector<uint64_t> HcClockTimes() const {
        std::vector<uint64_t> at;
        for (const auto& r : simp.RegisterTrace())
            if (r.write && r.reg == 2 && r.value == 1) at.push_back(r.timeUs);
        return at;
    }
    // Whether a bus register (0-4) was set to anything but its idle 0 since
    // StartTrace (the driver's resets write 0).
    bool HcBusSet() const {
        for (const auto& r : simp.RegisterTrace())
            if (r.write && r.reg <= 4 && r.value != 0) return true;
        return false;
    }
    size_t HcLines(const std::string& line) const {
        size_t n = 0;
        for (size_t i = runStart_; i < ui.Log.size(); ++i) n += ui.Log[i] == line;
        return n;
    }
};

class HcLoaderDevices : public HcLoaderRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, a tools file programmed, the cells checked against the
// part's map, verified at both levels, compared, read back, saved and
// reloaded; a programmed part is no longer blank.
TEST_P(HcLoaderDevices, WholeRun) {
    sim::SeqClockMcuChip* chip = PutLoader(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    std::vector<uint8_t> image;
    if (!LoadHcToolsFile(image, 0x2000)) GTEST_SKIP() << "srec_cat not installed";
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < chip->Words(); ++a) {
        const int64_t b = HcBufferOf(*chip, a);
        ASSERT_EQ(chip->Cell(a), b < 0 ? 0 : image[static_cast<size_t>(b)]) << std::hex << a;
    }
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, 0x1FFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    std::vector<uint8_t> read(0x2000, 0x5A);
    for (uint32_t a = 0; a < chip->Words(); ++a)
        if (const int64_t b = HcBufferOf(*chip, a); b >= 0) read[static_cast<size_t>(b)] = image[static_cast<size_t>(b)];
    for (uint32_t b = 0; b < 0x2000; ++b) ASSERT_EQ(BufferByte(b), read[b]) << std::hex << b;
    ExpectSavedAndReloaded(0, read);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, HcLoaderDevices,
                         ::testing::Values("HC705-STREAM-V0", "HC705-STREAM-V1", "HC705-STREAM-V2", "HC705-EPROM-V0",
                                           "HC705-EPROM-V1"),
                         [](const auto& info) {
                             std::string s = info.param;
                             for (char& c : s)
                                 c = c == '-' ? '_' : c;
                             return s;
                         });

// Row 134 clocks the stream from 0 up to the range's end and no further
// (the cells above it stay blank), fills each gap with its byte in the
// variant's order, keeps address 20h in step when its byte is 00h, and
// takes variant 1's vectors from 1FF0h, where the part's map holds them;
// its Read walks the device range.
TEST_F(HcLoaderRun, Row134Stream) {
    sim::SeqClockMcuChip* chip = PutLoader("HC705-STREAM-V0");
    FillPattern(0x2000);
    BufferWindow[0x20] = 0x00;
    BufferWindow[0x21] = 0x5A;
    BufferWindow[0x100] = 0xC3;
    DeviceEnd = 0x7FF;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[134].Program(), 1);
    const auto& c = chip->Clocks();
    ASSERT_EQ(c.size(), 0x800u);
    for (uint32_t a = 0; a < 0x800; ++a) ASSERT_EQ(c[a].first, a);
    for (uint32_t a = 0x800; a < chip->Words(); ++a) ASSERT_EQ(chip->Cell(a), 0x00) << std::hex << a;
    EXPECT_EQ(c[0].second, -1);   // gaps clock first, their filler follows
    EXPECT_EQ(c[1].second, 0x00); // byte 20h
    EXPECT_EQ(c[0x51].second, 0xC3);
    EXPECT_EQ(chip->Cell(0x20), 0x00);
    EXPECT_EQ(chip->Cell(0x21), 0x5A);
    const std::vector<uint64_t> at = HcClockTimes();
    ASSERT_EQ(at.size(), 0x800u);
    EXPECT_LT(at[0x21] - at[0x20], 8000u); // 20h goes without the 8 ms
    EXPECT_GE(at[0x22] - at[0x21], 8000u);
    // Read walks the range, clocked up to it from the part's address 0.
    chip->ClearClocks();
    DeviceStart = 0x200;
    EXPECT_EQ(AlgorithmTable[134].Read(ReadModeVerify), 1);
    EXPECT_EQ(chip->Clocks().size(), 0x800u);

    chip = PutLoader("HC705-STREAM-V1");
    FillPattern(0x2000);
    BufferWindow[0x1FF0] = 0xA5;
    BufferWindow[0xFF0] = 0x3C;
    BufferWindow[0x100] = 0x81;
    EXPECT_EQ(AlgorithmTable[134].Program(), 1);
    ASSERT_EQ(chip->Clocks().size(), 0x1000u); // nothing past FFFh
    EXPECT_EQ(chip->Clocks()[0].second, BufferByte(0x20)); // filler before the clock
    EXPECT_EQ(chip->Clocks()[0x50].second, 0x81);
    EXPECT_EQ(chip->Clocks()[0x901].second, 0x3C);
    EXPECT_EQ(chip->Cell(0x1FF0), 0xA5);
    EXPECT_EQ(chip->Cell(0xFF0), 0x00);
    EXPECT_EQ(chip->Cell(0x900), BufferByte(0x900));
    // Read gives the vectors back at 1FF0h and leaves FF0h-FFFh.
    FillBufferRange(0, 0x1FFF, 0x5A);
    EXPECT_EQ(AlgorithmTable[134].Read(ReadModeRead), 1);
    EXPECT_EQ(BufferByte(0x1FF0), 0xA5);
    EXPECT_EQ(BufferByte(0xFF0), 0x5A);
    ExpectNoViolations();
}

// What the rows cannot serve is refused before anything reaches the part:
// a split mode (every row takes a chip address's byte from that buffer
// address) and, in rows 134 and 142, which write the whole part from
// address 0, a Program from a start above it. Row 134's Read serves such a
// start.
TEST_F(HcLoaderRun, RangesTheRowsCannotServeRefused) {
    for (const char* name : {"HC705-STREAM-V1", "HC705-EPROM-V0", "HC705-RAMDL-16K"}) {
        SCOPED_TRACE(name);
        sim::SeqClockMcuChip* chip = PutLoader(name);
        FillPattern(0x4000);
        BlankCheckBeforeProgram = 0;
        StartTrace();
        WordMode = 2;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
        WordMode = 0;
        if (CurrentAlgorithm != 135) {
            DeviceStart = BufferStart = 0x123; // the row takes a byte at its own address
            EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine(std::string(" Chip start 123h not supported: ") +
                                (CurrentAlgorithm == 134 ? "the part's whole stream is programmed."
                                                         : "the programmer burns its whole image.")))
                << LogText();
            EXPECT_EQ(DatumLines(), "") << LogText(); // nothing was read
            if (CurrentAlgorithm == 142) {
                DeviceStart = BufferStart = 0;
                DeviceEnd = DeviceSize - 2;
                EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
                char line[96];
                std::snprintf(line, sizeof line, " Chip end %Xh not supported: the programmer burns its whole image.",
                              DeviceEnd);
                EXPECT_TRUE(HasLine(line)) << LogText();
                EXPECT_EQ(DatumLines(), "") << LogText();
            }
        }
        EXPECT_TRUE(chip->Clocks().empty());
        EXPECT_FALSE(HcBusSet());
        for (uint32_t a = 0; a < chip->Words(); ++a) ASSERT_EQ(chip->Cell(a), 0x00) << std::hex << a;
        ExpectNoViolations();
    }
    sim::SeqClockMcuChip* chip = PutLoader("HC705-STREAM-V2");
    FillPattern(0x2000);
    BufferWindow[0x1FF4] = 0x81;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    DeviceStart = BufferStart = 0x123; // the row takes a byte at its own address
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    chip->SetCell(0x1FF4, 0);
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    ExpectNoViolations();
}

// Row 135 clocks the EPROM area only, a 00h byte without the 5 ms, and
// logs its line once per pass.
TEST_F(HcLoaderRun, Row135EpromOnly) {
    sim::SeqClockMcuChip* chip = PutLoader("HC705-EPROM-V1");
    FillPattern(0x2000);
    BufferWindow[0xB00] = 0x00;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[135].Program(), 1);
    EXPECT_EQ(HcLines("EPROM area only!"), 1u);
    const std::vector<uint64_t> at = HcClockTimes();
    const uint32_t mapped = 0x30 + (0x1E80 - 0xA80 + 1) + 0x10;
    ASSERT_EQ(at.size(), mapped);
    const size_t k = 0x30 + (0xB00 - 0xA80); // the clock of 0B00h
    EXPECT_GE(at[k] - at[k - 1], 5000u);
    EXPECT_LT(at[k + 1] - at[k], 5000u);
    EXPECT_EQ(chip->Cell(0xB00), 0x00);
    EXPECT_EQ(chip->Cell(0xB01), BufferByte(0xB01));
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_EQ(HcLines("EPROM area only!"), 2u);
    ExpectNoViolations();

    // A range starting above 0: the part is clocked up to it without data.
    chip = PutLoader("HC705-EPROM-V0");
    FillPattern(0x2000);
    DeviceStart = BufferStart = 0xC00; // the row takes a byte at its own address
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0xBFF), 0x00);
    EXPECT_EQ(chip->Cell(0xC00), BufferByte(0xC00));
    EXPECT_EQ(chip->Cell(0x1FFF), BufferByte(0x1FFF));
    ExpectNoViolations();
}

// The power-up register sequences of rows 134 and 135.
TEST_F(HcLoaderRun, PowerUpSequences) {
    using W = std::vector<std::pair<int, int>>;
    PutLoader("HC705-STREAM-V2");
    FillPattern(0x2000);
    StartTrace();
    AlgorithmTable[134].Program();
    EXPECT_EQ(HcBusWrites(9),
              (W{{3, 7}, {2, 0}, {0, 0x0E}, {1, 0x0E}, {1, 6}, {0, 0x0F}, {2, 1}, {2, 0}, {4, BufferByte(0x20)}}));
    StartTrace();
    AlgorithmTable[134].Read(ReadModeBlank);
    EXPECT_EQ(HcBusWrites(6), (W{{3, 1}, {2, 0}, {0, 0x0E}, {1, 0x0F}, {1, 7}, {0, 0x0F}}));
    PutLoader("HC705-EPROM-V0");
    FillPattern(0x2000);
    StartTrace();
    AlgorithmTable[135].Program();
    EXPECT_EQ(HcBusWrites(8), (W{{3, 1}, {2, 0}, {0, 0x0E}, {1, 0x0E}, {1, 6}, {0, 0x0F}, {4, BufferByte(0x20)}, {2, 1}}));
    StartTrace();
    AlgorithmTable[135].Read(ReadModeRead);
    EXPECT_EQ(HcBusWrites(6), (W{{3, 5}, {2, 0}, {0, 0x0E}, {1, 0x0F}, {1, 7}, {0, 0x0F}}));
    ExpectNoViolations();
}

// A part that never gets ready fails row 134's Program before any byte;
// a cell that does not take its byte fails the verify at its address; the
// row-134 maps stop at variant 2; a user break ends every row's run.
TEST_F(HcLoaderRun, InjectedFaultsAndBreaks) {
    sim::SeqClockMcuChip* chip = PutLoader("HC705-STREAM-V0");
    FillPattern(0x2000);
    chip->StayBusy(10000);
    EXPECT_EQ(AlgorithmTable[134].Program(), -1);
    EXPECT_TRUE(chip->Clocks().empty());
    chip->StayBusy(9999);
    EXPECT_EQ(AlgorithmTable[134].Program(), 1);
    const RowDef* def = RowDefinition(134);
    ASSERT_NE(def, nullptr);
    EXPECT_TRUE(RowRecordRefusal(*def, {.Variant = 2}).empty());
    EXPECT_NE(RowRecordRefusal(*def, {.Variant = 3}), "");
    ExpectNoViolations();

    for (const char* name : {"HC705-STREAM-V2", "HC705-EPROM-V0"}) {
        SCOPED_TRACE(name);
        chip = PutLoader(name);
        chip->StickCell(0x1FF4);
        FillPattern(0x2000);
        BufferWindow[0x1FF4] = 0x81;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        ReadValue = 0;
        EXPECT_TRUE(HasLine(ChipAddrLine(0x1FF4))) << LogText();
        ExpectNoViolations();
    }
    for (const char* name : {"HC705-STREAM-V0", "HC705-EPROM-V1"}) {
        for (int op : {OpProgram, OpVerify}) {
            SCOPED_TRACE(std::string(name) + " op " + std::to_string(op));
            chip = PutLoader(name);
            FillPattern(0x2000);
            if (op == OpVerify) {
                for (uint32_t a = 0; a < chip->Words(); ++a)
                    if (const int64_t b = HcBufferOf(*chip, a); b >= 0) chip->SetCell(a, BufferByte(static_cast<uint32_t>(b)));
            }
            ui.BreakAtPercent = 30;
            ui.QueueAnswer(UiAnswer::No);
            EXPECT_EQ(Run(op), ResultUserBreak) << LogText();
            EXPECT_LT(chip->Clocks().size(), 0x1000u);
            ExpectNoViolations();
        }
    }
}

// Row 142: the image goes into the programmer's RAM, checked, and the
// programmer burns the part on its own while the host shows its address.
TEST_F(HcLoaderRun, Row142ProgrammerRun) {
    sim::SeqClockMcuChip* chip = PutLoader("HC705-RAMDL-16K");
    ASSERT_NE(chip, nullptr);
    std::vector<uint8_t> image;
    if (!LoadHcToolsFile(image, 0x4000)) GTEST_SKIP() << "srec_cat not installed";
    const uint64_t t0 = simp.NowUs();
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x4000; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    EXPECT_GE(simp.NowUs() - t0, 0x4000ull * 3000);
    // The power-up after the download: the programmer is prepared, then
    // started with the part powered.
    std::vector<std::pair<int, int>> powerUp;
    bool seen = false;
    for (const auto& r : simp.RegisterTrace()) {
        seen = seen || (r.write && r.reg == 4 && r.value == 9);
        if (seen && r.write && r.reg <= 4 && powerUp.size() < 5) powerUp.emplace_back(r.reg, r.value);
    }
    EXPECT_EQ(powerUp, (std::vector<std::pair<int, int>>{{4, 9}, {1, 1}, {0, 2}, {2, 1}, {0, 3}}));
    EXPECT_EQ(AlgorithmTable[142].Read, &AlgNoRead);
    ExpectNoViolations();
}

// Row 142's faults: a RAM byte not reading back (the part never powered),
// no start, a programmer stalling mid-run, an end status that never clears,
// a user break.
TEST_F(HcLoaderRun, Row142Faults) {
    FillPattern(0x4000);
    sim::SeqClockMcuChip* chip = PutRamPart();
    ASSERT_NE(RamBus(), nullptr);
    RamBus()->CorruptRamRead(0x1234);
    EXPECT_EQ(AlgorithmTable[142].Program(), -1);
    EXPECT_TRUE(HasLine(" Download RAM Fail!")) << LogText();
    EXPECT_EQ(BufferIndex, 0x1234u);
    EXPECT_FALSE(RamBus()->Started());
    EXPECT_TRUE(chip->Clocks().empty());

    chip = PutRamPart();
    RamBus()->NeverStart();
    uint64_t t0 = simp.NowUs();
    EXPECT_EQ(AlgorithmTable[142].Program(), -1);
    EXPECT_TRUE(HasLine(" Time out!")) << LogText();
    EXPECT_GE(simp.NowUs() - t0, 5'000'000u);

    chip = PutRamPart();
    RamBus()->StallAt(0x2345);
    t0 = simp.NowUs();
    EXPECT_EQ(AlgorithmTable[142].Program(), -1);
    EXPECT_TRUE(HasLine(" Time out!")) << LogText();
    EXPECT_LT(simp.NowUs() - t0, 0x2345ull * 3000 + 7'000'000);
    EXPECT_EQ(chip->Cell(0x2344), BufferByte(0x2344));
    EXPECT_EQ(chip->Clocks().size(), 0x2345u);

    chip = PutRamPart();
    RamBus()->EndNeverClears();
    EXPECT_EQ(AlgorithmTable[142].Program(), -1);
    EXPECT_FALSE(HasLine(" Time out!")) << LogText();
    EXPECT_EQ(chip->Cell(0x3FFF), BufferByte(0x3FFF));
    ExpectNoViolations();

    chip = PutRamPart();
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_LT(chip->Clocks().size(), 0x3000u);
    EXPECT_FALSE(RamBus()->Started());
    // The break is polled on every pass, also at an address off the
    // progress step where the programmer stands still.
    chip = PutRamPart();
    RamBus()->StallAt(0x11);
    UserBreak = 1;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(AlgorithmTable[142].Program(), 3);
    EXPECT_FALSE(HasLine(" Time out!")) << LogText();
    ExpectNoViolations();
}

// Row 142 has no read: its end status is the run's only signal. A cell that
// did not take its byte still ends in "Program ok!", and the log says the
// cells were not read back; a failed run does not say so.
TEST_F(HcLoaderRun, Row142SaysItsCellsWereNotReadBack) {
    const std::string notReadBack =
        " Programmed from the programmer's RAM; this part has no read, so its cells were not read back.";
    FillPattern(0x4000);
    FillBufferRange(0x10, 0x10, 0x5A);
    sim::SeqClockMcuChip* chip = PutRamPart();
    chip->StickCell(0x10);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    ExpectLinesInOrder({"Program ok!", notReadBack});
    EXPECT_NE(chip->Cell(0x10), 0x5A);
    EXPECT_EQ(chip->Cell(0x11), BufferByte(0x11));

    PutRamPart();
    RamBus()->EndNeverClears();
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_FALSE(HasLine(notReadBack)) << LogText();
    ExpectNoViolations();
}

// Row 142 downloads buffer 0000h-3FFFh as the part's image: a Buffer Start
// apart from Chip Start is refused before the programmer's RAM or the part
// is touched.
TEST_F(HcLoaderRun, Row142RefusesABufferStartApart) {
    sim::SeqClockMcuChip* chip = PutLoader("HC705-RAMDL-16K");
    FillPattern(0x14000);
    BufferStart = 0x10000;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Buffer Start 10000h not supported: data sit at the chip's own addresses (Chip "
                        "Start 0h)."))
        << LogText();
    EXPECT_TRUE(simp.RegisterTrace().empty());
    for (uint32_t a = 0; a < chip->Words(); ++a) ASSERT_EQ(chip->Cell(a), 0x00) << std::hex << a;
    ExpectNoViolations();
}

} // namespace
