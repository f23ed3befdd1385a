// Row 180 against the simulator's ST62-type serial EPROM parts: whole runs,
// the page walk and its reserved areas, the frame traffic by variant, and
// the faults a run must stop on without hanging.
#include "W78Fixture.h"

#include <algorithm>

#include "engine/RowDef.h"
#include "mcu/St62Serial.h"
#include "sim/St62SerialChip.h"

namespace {

using St62Frames = std::vector<sim::St62SerialChip::Frame>;
constexpr uint8_t kSt62ReservedMark = 0x5A;

class St62Run : public W78Run {
protected:
    sim::St62SerialChip* PutSt62(const char* name, void (*change)(sim::St62SerialFacts&) = nullptr) {
        sim::St62SerialChip* chip = PutPart<sim::St62SerialChip>("GENERIC-ALGORITHM", name, change);
        // The reserved areas hold the maker's test bytes, which no run may touch.
        if (chip != nullptr)
            for (uint32_t a = 0; a < 0x1000; ++a)
                if (sim::St62SerialChip::ReservedAddress(a)) chip->SetCell(a, kSt62ReservedMark);
        return chip;
    }
    // The first chip address the variant's page walk serves.
    static uint32_t FirstServed() { return DeviceVariant == 0 || DeviceVariant == 2 ? 0xBC0 : (DeviceVariant == 1 || DeviceVariant == 3 || DeviceVariant == 5 ? 0x880 : 0x080); }
    static bool Served(uint32_t a) { return a >= FirstServed() && a <= 0xFFF && !sim::St62SerialChip::ReservedAddress(a); }
    // Pages selected through the window register, in order.
    static std::vector<int> WindowPages(const St62Frames& frames) {
        std::vector<int> pages;
        for (const auto& f : frames)
            if (f.command == 0x0D && f.address == 0xC9) pages.push_back(f.data);
        return pages;
    }
    int SyncFailures() const {
        return static_cast<int>(std::count(ui.Log.begin() + static_cast<long>(runStart_), ui.Log.end(),
                                           std::string("Synchronization Failed!")));
    }
};

class St62Devices : public St62Run, public ::testing::WithParamInterface<const char*> {};

// Blank check, a file programmed, verified at both levels, compared and read
// back; the bytes outside the walk and the reserved areas stay as they were.
TEST_P(St62Devices, WholeRun) {
    sim::St62SerialChip* chip = PutSt62(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(DeviceEnd, 0xFFFu);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    FillPattern(0x1000, DeviceVariant + 3);
    std::vector<uint8_t> image(0x1000);
    for (uint32_t a = 0; a < 0x1000; ++a) image[a] = BufferByte(a);
    ExpectSavedAndReloaded(0, image); // the image comes from a hex file
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x1000; ++a) {
        const uint8_t want = Served(a) ? image[a] : sim::St62SerialChip::ReservedAddress(a) ? kSt62ReservedMark : 0;
        ASSERT_EQ(chip->Cell(a), want) << std::hex << a;
    }
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, 0xFFF, 0x77);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x1000; ++a)
        ASSERT_EQ(BufferByte(a), Served(a) ? image[a] : 0x77) << std::hex << a;
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Variants, St62Devices,
                         ::testing::Values("ST62-SERIAL-1K-V0", "ST62-SERIAL-2K-V3", "ST62-SERIAL-4K-V6",
                                           "ST62-SERIAL-4K-V7", "ST62-SERIAL-4K-V8", "ST62-SERIAL-4K-V10"),
                         [](const auto& info) {
                             std::string s = info.param;
                             std::replace(s.begin(), s.end(), '-', '_');
                             return s;
                         });

// Variant 0 skips pages B00h-B80h, serves BC0h-FC0h and writes only
// FF0h-FF7h and FFCh-FFFh of the last page; every page is followed by a full
// synchronization; C5h takes 80h; the programming voltage is on for every
// program cycle and never during a read.
TEST_F(St62Run, PageWalkAndTraffic) {
    sim::St62SerialChip* chip = PutSt62("ST62-SERIAL-1K-V0");
    FillPattern(0x1000, 7);
    EXPECT_EQ(AlgorithmTable[180].Program(), 1) << LogText();
    const St62Frames& frames = chip->Frames();
    std::vector<int> expectedPages;
    for (int p = 0xBC0 >> 6; p <= 0x3F; ++p) expectedPages.push_back(p);
    EXPECT_EQ(WindowPages(frames), expectedPages);
    EXPECT_EQ(chip->Arms(), 1 + static_cast<int>(expectedPages.size()));
    std::vector<int> lastPage;
    bool inLast = false;
    for (const auto& f : frames) {
        if (f.command == 0x0D && f.address == 0xC5) {
            EXPECT_EQ(f.data, 0x80);
        }
        if (f.address == 0xC9) inLast = f.data == 0x3F;
        if (f.address >= 0x40 && f.address <= 0x7F) {
            EXPECT_TRUE(f.vpp) << std::hex << f.address;
            if (inLast) lastPage.push_back(f.address);
        }
    }
    EXPECT_EQ(lastPage, (std::vector<int>{0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x7C, 0x7D, 0x7E, 0x7F}));
    // The first synchronization runs without the programming voltage.
    ASSERT_GE(frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_FALSE(frames[i].vpp) << i;

    chip->ClearFrames();
    EXPECT_EQ(AlgorithmTable[180].Read(ReadModeRead), 1) << LogText();
    for (const auto& f : chip->Frames()) EXPECT_FALSE(f.vpp);
    EXPECT_EQ(WindowPages(chip->Frames()), expectedPages);
    ExpectNoViolations();
}

// A range that starts and ends inside pages (123h-421h of a 4K part): only
// its cells are written, only its pages are selected, and Read fills only
// its buffer bytes.
TEST_F(St62Run, RangeInsidePages) {
    sim::St62SerialChip* chip = PutSt62("ST62-SERIAL-4K-V6");
    ASSERT_NE(chip, nullptr);
    FillPattern(0x1000, 5);
    std::vector<uint8_t> image(0x1000);
    for (uint32_t a = 0; a < 0x1000; ++a) image[a] = BufferByte(a);
    DeviceStart = BufferStart = 0x123;
    DeviceEnd = BufferEnd = 0x421;
    auto inRange = [](uint32_t a) { return a >= 0x123 && a <= 0x421; };
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x1000; ++a) {
        const uint8_t want = inRange(a) ? image[a] : sim::St62SerialChip::ReservedAddress(a) ? kSt62ReservedMark : 0;
        ASSERT_EQ(chip->Cell(a), want) << std::hex << a;
    }
    const std::vector<int> pages = WindowPages(chip->Frames());
    ASSERT_FALSE(pages.empty());
    EXPECT_EQ(*std::min_element(pages.begin(), pages.end()), 0x100 >> 6);
    EXPECT_EQ(*std::max_element(pages.begin(), pages.end()), 0x400 >> 6);
    FillBufferRange(0, 0xFFF, 0x77);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x1000; ++a) ASSERT_EQ(BufferByte(a), inRange(a) ? image[a] : 0x77) << std::hex << a;
    ExpectNoViolations();
}

// The buffer is the program space at its own addresses: a split mode is
// refused before anything is switched on, the part and the buffer untouched.
TEST_F(St62Run, SplitModesAreRefused) {
    WordMode = 2;
    sim::St62SerialChip* chip = PutSt62("ST62-SERIAL-4K-V4");
    ASSERT_NE(chip, nullptr);
    FillPattern(0x1000, 9);
    std::vector<uint8_t> image(0x1000);
    for (uint32_t a = 0; a < 0x1000; ++a) image[a] = BufferByte(a);
    for (int op : {OpProgram, OpRead}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(Run(op), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
    }
    EXPECT_EQ(chip->Arms(), 0);
    EXPECT_TRUE(chip->Frames().empty());
    for (uint32_t a = 0x80; a < 0x1000; ++a) {
        if (!sim::St62SerialChip::ReservedAddress(a)) {
            ASSERT_EQ(chip->Cell(a), 0) << std::hex << a;
        }
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    }
}

// Variants 4 and 6-10 serve from 080h; 7 and 8 write 4 into C5h. A part
// whose serial input has the other polarity than the variant drives never
// synchronizes: the data-out inversion follows the variant.
TEST_F(St62Run, VariantStartsControlValueAndPolarity) {
    for (const char* name : {"ST62-SERIAL-4K-V4", "ST62-SERIAL-4K-V7", "ST62-SERIAL-4K-V8", "ST62-SERIAL-4K-V9"}) {
        SCOPED_TRACE(name);
        sim::St62SerialChip* chip = PutSt62(name);
        EXPECT_EQ(AlgorithmTable[180].Read(ReadModeRead), 1) << LogText();
        const std::vector<int> pages = WindowPages(chip->Frames());
        ASSERT_FALSE(pages.empty());
        EXPECT_EQ(pages.front(), 2);
        EXPECT_EQ(pages.size(), 62u);
        EXPECT_EQ(chip->DataSpace(0xC5), DeviceVariant == 7 || DeviceVariant == 8 ? 4 : 0x80);
    }
    ExpectNoViolations();
    for (const char* name : {"ST62-SERIAL-4K-V7", "ST62-SERIAL-4K-V9"}) {
        SCOPED_TRACE(name);
        simp.ClearViolations();
        sim::St62SerialChip* chip =
            PutSt62(name, [](sim::St62SerialFacts& f) { f.inputActiveLow = !f.inputActiveLow; });
        EXPECT_EQ(AlgorithmTable[180].Read(ReadModeRead), -1) << LogText();
        EXPECT_TRUE(WindowPages(chip->Frames()).empty());
        ASSERT_FALSE(simp.Violations().empty());
        EXPECT_NE(simp.Violations().front().find("unknown serial command"), std::string::npos);
    }
}

// A record whose variant is a 2K one on a 1K part programs below the part's
// EPROM: the part reports it, and no cell below its EPROM changes.
TEST_F(St62Run, VariantOfALargerPartProgramsBelowTheEprom) {
    sim::St62SerialChip* chip = PutSt62("ST62-SERIAL-1K-V0");
    ASSERT_NE(chip, nullptr);
    FillPattern(0x1000, 4);
    DeviceVariant = 1;
    EXPECT_EQ(AlgorithmTable[180].Program(), 1) << LogText();
    ASSERT_FALSE(simp.Violations().empty());
    EXPECT_NE(simp.Violations().front().find("below the EPROM at " + std::to_string(0x880)), std::string::npos)
        << simp.Violations().front();
    for (uint32_t a = 0; a < 0xBC0; ++a) ASSERT_EQ(chip->Cell(a), 0) << std::hex << a;
    EXPECT_EQ(chip->Cell(0xBC0), BufferByte(0xBC0));
}

// A bit that never sets fails Verify at its address; without the programming
// voltage nothing is written and the run fails; a user break ends with 3.
TEST_F(St62Run, ProgrammingFaults) {
    sim::St62SerialChip* chip = PutSt62("ST62-SERIAL-2K-V1");
    FillPattern(0x1000, 11);
    BufferWindow[0xC00] = 0x81;
    chip->StickBits(0xC00, 0x01);
    EXPECT_EQ(AlgorithmTable[180].Program(), 1);
    EXPECT_EQ(chip->Cell(0xC00), 0x80);
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("  Chip addr: 000C00h  data: 0080h")) << LogText();

    chip = PutSt62("ST62-SERIAL-2K-V1");
    FillPattern(0x1000, 12);
    Vpp = 0;
    EXPECT_NE(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x1000; ++a)
        ASSERT_EQ(chip->Cell(a), sim::St62SerialChip::ReservedAddress(a) ? kSt62ReservedMark : 0) << std::hex << a;

    for (int op : {OpProgram, OpRead}) {
        SCOPED_TRACE(op);
        chip = PutSt62("ST62-SERIAL-4K-V10");
        FillPattern(0x1000, 13);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(op), ResultUserBreak) << LogText();
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
        const size_t pages = WindowPages(chip->Frames()).size();
        EXPECT_GT(pages, 0u);
        EXPECT_LT(pages, 62u);
        EXPECT_TRUE(elec->SuppliedPins().empty()) << "still supplied";
    }
    ExpectNoViolations();
}

// A wrong first reply fails before any page with one line; a failure after a
// page stops the walk; a part that never replies fails the same way. Each ends -1 with
// the socket powered down.
TEST_F(St62Run, SynchronizationFailures) {
    sim::St62SerialChip* chip = PutSt62("ST62-SERIAL-1K-V0");
    FillPattern(0x1000, 21);
    chip->FailArmFrom(1);
    runStart_ = ui.Log.size();
    EXPECT_EQ(AlgorithmTable[180].Program(), -1);
    EXPECT_EQ(SyncFailures(), 1) << LogText();
    EXPECT_TRUE(chip->Frames().empty());
    EXPECT_EQ(chip->Cell(0xBC0), 0);
    EXPECT_TRUE(elec->SuppliedPins().empty()) << "still supplied";

    chip = PutSt62("ST62-SERIAL-1K-V0");
    chip->FailArmFrom(2);
    runStart_ = ui.Log.size();
    EXPECT_EQ(AlgorithmTable[180].Program(), -1);
    EXPECT_EQ(SyncFailures(), 1) << LogText();
    EXPECT_EQ(WindowPages(chip->Frames()), std::vector<int>{0xBC0 >> 6});
    EXPECT_EQ(chip->Cell(0xBC0), BufferWindow[0xBC0]);
    EXPECT_EQ(chip->Cell(0xC00), 0);
    EXPECT_TRUE(elec->SuppliedPins().empty()) << "still supplied";

    chip = PutSt62("ST62-SERIAL-1K-V0");
    chip->FailArmFrom(3);
    EXPECT_EQ(AlgorithmTable[180].Read(ReadModeRead), -1);
    EXPECT_EQ(WindowPages(chip->Frames()).size(), 2u);

    // A part that never leaves its reset count never replies.
    PutSt62("ST62-SERIAL-1K-V0", [](sim::St62SerialFacts& f) { f.resetClocks = 1u << 30; });
    runStart_ = ui.Log.size();
    EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
    EXPECT_EQ(SyncFailures(), 1) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty()) << "still supplied";
    ExpectNoViolations();
}

// A variant past the table is refused by the librarian, and by the entries
// before anything is switched; ToggleFlag flips 0 and 1 and clears others.
TEST_F(St62Run, RefusedVariantsAndToggleFlag) {
    PutSt62("ST62-SERIAL-4K-V10");
    DeviceVariant = 11;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[180].Program(), -1);
    EXPECT_EQ(AlgorithmTable[180].Read(ReadModeRead), -1);
    EXPECT_TRUE(HasLine(" Variant 11 has no serial EPROM settings (0 to 10).")) << LogText();
    EXPECT_TRUE(simp.RegisterTrace().empty());
    EXPECT_EQ(AlgorithmTable[180].Options(), 1);
    const RowDef* def = RowDefinition(180);
    ASSERT_NE(def, nullptr);
    RowRecordFacts r;
    r.Variant = 10;
    EXPECT_EQ(RowRecordRefusal(*def, r), "");
    r.Variant = 11;
    EXPECT_NE(RowRecordRefusal(*def, r), "");

    uint32_t flag = 5;
    ToggleFlag(&flag);
    EXPECT_EQ(flag, 0u);
    ToggleFlag(&flag);
    EXPECT_EQ(flag, 1u);
    ToggleFlag(&flag);
    EXPECT_EQ(flag, 0u);
}

} // namespace
