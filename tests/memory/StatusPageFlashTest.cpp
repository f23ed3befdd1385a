// Row 73 through the operation driver on its library record and catalog
// part: whole runs, the page and erase faults, gang sockets, the page length
// refused before the chip is touched, and the sector protection routines
// the dialog calls.
#include "FlashFixture.h"
#include "memory/SectorLayout.h"
#include "memory/SectorProtection.h"
#include "sim/PageRunBus.h"
#include "sim/StatusPageFlashChip.h"

namespace {

constexpr uint32_t kStatusPageBytes = 128;

class StatusPageRun : public FlashRun {
protected:
    sim::StatusPageFlashChip* chip = nullptr;
    void SetUp() override {
        FlashRun::SetUp();
        sim::RegisterPageRunBusPersonality();
        ASSERT_TRUE(Select("MACRONIX", "MX29F1610A"));
        Limit(0x10400); // crosses a buffer bank
        chip = SeatStatusPage(*socket);
        ASSERT_NE(chip, nullptr);
        FillPattern(BufferByteSize, 7);
    }
    sim::StatusPageFlashChip* SeatStatusPage(sim::Socket& into) {
        auto made = sim::MakeChip(*sim::FindPart("MACRONIX", "MX29F1610A"));
        auto* c = sim::SeatedModel<sim::StatusPageFlashChip>(made.get());
        if (c == nullptr) return nullptr;
        elec->DeclareChip(c->Limits());
        into.Insert(std::move(made));
        return c;
    }
    void ExpectChipHolds(sim::StatusPageFlashChip* c, uint32_t from, uint32_t to) {
        for (uint32_t a = from; a <= to; ++a) ASSERT_EQ(c->Cell(a), BufferByte(a)) << std::hex << a;
    }
    size_t PageWritesAt(uint32_t page) const {
        return static_cast<size_t>(std::count(chip->PageWrites().begin(), chip->PageWrites().end(), page));
    }
};

TEST_F(StatusPageRun, ProgramVerifyReadCompareEraseBlank) {
    ASSERT_EQ(Run(OpBlankCheck), 1) << LogText();
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!"});
    ExpectChipHolds(chip, 0, DeviceEnd);
    EXPECT_EQ(chip->PageWrites().size(), DeviceSize / kStatusPageBytes);
    // A 16-bit part in byte mode: the page-program cycles at doubled addresses.
    ASSERT_GE(chip->Cycles().size(), 4u);
    EXPECT_EQ(chip->Cycles()[0].address, 0xAAAAu);
    EXPECT_EQ(chip->Cycles()[1].address, 0x5554u);
    EXPECT_EQ(chip->Cycles()[2].data, 0xA0);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectChipHolds(chip, 0, DeviceEnd);
    FillBufferRange(0x81, 0x81, BufferByte(0x81) ^ 1);
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    EXPECT_NE(ReadText("COMPARE.TXT").find("00000081h:"), std::string::npos);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_EQ(chip->ChipErases(), 1);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectNoViolations();
}

// A byte that never takes its datum sets the program-error bit: the page is
// played three times, then the run ends with -1. An erase that never ends
// is given up after its polls. ESC ends with 3.
TEST_F(StatusPageRun, FaultsEndTheRun) {
    const uint32_t page = 5 * kStatusPageBytes;
    chip->StickByte(page + 9);
    FillBufferRange(page + 9, page + 9, 0x00);
    chip->SetCell(page + 9, 0xFF);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(PageWritesAt(page), 3u);
    EXPECT_EQ(PageWritesAt(page + kStatusPageBytes), 0u);
    ExpectNoViolations();

    chip->NeverFinishErase();
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    ExpectLinesInOrder({"Erase error!"});

    ui.BreakAtPercent = 40;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 3) << LogText();
}

// A page length the queue cannot take, or a start inside a page, is refused
// before the part sees a cycle.
TEST_F(StatusPageRun, UnusablePageLengthRefused) {
    for (uint32_t bad : {0u, 3u, 512u}) {
        PageSize = bad;
        EXPECT_EQ(Run(OpProgram), -1) << bad;
        EXPECT_TRUE(HasLine(" Page length " + std::to_string(bad) + " not supported (a power of two up to 256)!"))
            << LogText();
        EXPECT_EQ(DatumLines(), "") << LogText(); // nothing was read
    }
    PageSize = kStatusPageBytes;
    DeviceStart = BufferIndex = 0x40;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(" Start address must be on a page boundary!")) << LogText();
    EXPECT_EQ(DatumLines(), "") << LogText();
    EXPECT_TRUE(chip->Cycles().empty());
}

// In a split mode each page takes its lane's bytes, AddressStep apart in the
// buffer, onto consecutive chip addresses; Read fills the lane only. From a
// buffer start just below a bank's end the first Word2 page (512 buffer
// bytes) runs past the window's tail into the next bank.
TEST_F(StatusPageRun, ByteLanesProgramAndReadTheirOwnBytes) {
    for (const uint32_t mode : {2u, 5u}) {
        SCOPED_TRACE(testing::Message() << "WordMode " << mode);
        const uint32_t step = mode == 2 ? 2 : 4, lane = mode == 2 ? 1 : 2;
        WordMode = mode;
        DeviceSize = 0x400;
        SetupAddressRange();
        if (mode == 5) BufferStart = 0xFFF0, BufferEnd += BufferStart;
        FillPattern(BufferEnd + 1, 30 + mode);
        ASSERT_EQ(Run(OpErase), 1) << LogText();
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        for (uint32_t a = 0; a <= DeviceEnd; ++a)
            ASSERT_EQ(chip->Cell(a), BufferByte(BufferStart + a * step + lane)) << std::hex << a;
        FillBufferRange(0, BufferEnd, 0x5A);
        ASSERT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t b = BufferStart; b <= BufferEnd; ++b) {
            const uint32_t i = b - BufferStart;
            ASSERT_EQ(BufferByte(b), i % step == lane ? chip->Cell(i / step) : 0x5A) << std::hex << b;
        }
    }
    WordMode = 0;
    ExpectNoViolations();
}

class StatusPageProtection : public StatusPageRun {
protected:
    std::vector<uint32_t> bounds;
    SectorProtectionRoutines routines;
    void SetUp() override {
        StatusPageRun::SetUp();
        bounds = SectorLayoutBoundaries(SectorLayoutRowOf(73, DeviceVariant));
        ASSERT_EQ(bounds.size(), 17u); // sixteen 128 KB sectors
        routines = SectorProtectionOf(73);
        ASSERT_NE(routines.read, nullptr);
        ASSERT_NE(routines.write, nullptr);
    }
    std::vector<uint32_t> ReadStates() {
        std::vector<uint32_t> states(16, 7);
        EXPECT_EQ(Entry([&] { return routines.read(states.data(), 16, bounds.data()); }), 1);
        return states;
    }
    int Write(const std::vector<uint32_t>& states) {
        return Entry([&] { return routines.write(states.data(), 16, bounds.data()); });
    }
    std::vector<uint32_t> ChipStates() const {
        std::vector<uint32_t> s;
        for (uint32_t i = 0; i < 16; ++i) s.push_back(chip->SectorProtected(i) ? 1 : 0);
        return s;
    }
};

TEST_F(StatusPageProtection, ReadsAndWritesEverySector) {
    chip->SetSectorProtected(0, true);
    chip->SetSectorProtected(15, true);
    std::vector<uint32_t> want(16, 0);
    want[0] = want[15] = 1;
    EXPECT_EQ(ReadStates(), want);
    // Protected sectors earlier in the chip than the last are cleared too.
    std::vector<uint32_t> request(16, 0);
    request[3] = request[14] = 1;
    EXPECT_EQ(Write(request), 1) << LogText();
    EXPECT_EQ(ChipStates(), request);
    EXPECT_EQ(ReadStates(), request);
    // All zero: the unprotect phase alone.
    EXPECT_EQ(Write(std::vector<uint32_t>(16, 0)), 1);
    EXPECT_EQ(ChipStates(), std::vector<uint32_t>(16, 0));
    ExpectNoViolations();
}

// A protected sector takes no page: its status reports the program error.
TEST_F(StatusPageProtection, ProtectedSectorRefusesProgram) {
    chip->SetSectorProtected(0, true);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(PageWritesAt(0), 3u);
    EXPECT_EQ(chip->Cell(0), 0xFF);
    ExpectNoViolations();
}

} // namespace
