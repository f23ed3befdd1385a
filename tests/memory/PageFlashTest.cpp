// Rows 1 and 5 through the operation driver on their library records and
// catalog parts, software data protection, and the boot-block dialog.
#include <QPushButton>

#include "MemoryFixture.h"
#include "OffscreenApp.h"
#include "FormChecks.h"
#include "memory/Opt28xxx.h"
#include "memory/PageFlash.h"
#include "sim/GangAdapter.h"
#include "sim/PageFlashChip.h"

namespace {

using PageFlashPart = std::pair<const char*, const char*>; // maker, name
const PageFlashPart kPageFlashParts[] = {{"ATMEL", "AT29C256"}, {"ATMEL", "AT29C010A"}, {"ATMEL", "AT29C020"}, {"ATMEL", "AT29C040A"},
                       {"WINBOND", "W29C020"}, {"SST", "SST29EE010"}, {"ATMEL", "AT28C256"}, {"ATMEL", "AT28C256-BYTE"},
                       {"ATMEL", "AT29C1024"}, {"ATMEL", "AT29LV1024"}};

class PageRun : public MemoryRun, public ::testing::WithParamInterface<PageFlashPart> {
protected:
    sim::PageFlashChip* chip = nullptr;
    void SetUp() override {
        App();
        MemoryRun::SetUp();
        ASSERT_TRUE(Select(GetParam().first, GetParam().second));
        // Short runs; two parts cross a buffer bank.
        const std::string name = GetParam().second;
        const bool crossBank = name == "AT29C010A" || name == "AT29C1024";
        DeviceSize = std::min<uint32_t>(DeviceSize, !crossBank ? 0x2000 : Wide() ? 0x8400 : 0x10400);
        SetupAddressRange();
        chip = Seat(socket);
        ASSERT_NE(chip, nullptr);
        FillPattern(BufferByteSize, 5);
        ASSERT_EQ(Run(OpBlankCheck), 1) << LogText(); // also loads the image
    }
    sim::PageFlashChip* Seat(sim::Socket* into) {
        auto made = sim::MakeChip(*sim::FindPart(GetParam().first, GetParam().second));
        auto* c = sim::SeatedModel<sim::PageFlashChip>(made.get());
        if (c == nullptr) return nullptr;
        elec->DeclareChip(c->Limits());
        into->Insert(std::move(made));
        return c;
    }
    bool Sdp() const { return (DeviceFlags & 0x40) != 0; }
    void ExpectHolds(sim::PageFlashChip* c, uint32_t from, uint32_t to) {
        for (uint32_t a = from; a <= to; ++a) ASSERT_EQ(c->Cell(a), BufferDatum(a)) << std::hex << a;
    }
    uint32_t Page() const { return DeviceVariant3 == 6 && PulseWidth != 0 ? 1 : PageSize; }
};

TEST_P(PageRun, ProgramVerifyReadCompareEraseBlank) {
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!"});
    ExpectHolds(chip, 0, DeviceEnd);
    // Row 5 switches protection off first; either row rewrites the first page
    // to leave it as DataProtectMode says.
    const size_t rewrites = !Sdp() ? 0 : Wide() ? 1 + (DataProtectMode == 1) : DataProtectMode == 0;
    EXPECT_EQ(chip->PageWrites().size(), DeviceSize / Page() + rewrites);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectHolds(chip, 0, DeviceEnd);
    // A read from a start above 0 loads that address first.
    FillBufferRange(0, BufferByteSize - 1, 0);
    DeviceStart = 0x1234;
    BufferIndex = 0x1234;
    ASSERT_EQ(AlgorithmRow(CurrentAlgorithm)->Read(2), 1);
    ExpectHolds(chip, 0x1234, 0x1300);
    SetupAddressRange();
    FillBufferRange(0x41, 0x41, BufferByte(0x41) ^ 1);
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    EXPECT_NE(ReadText("COMPARE.TXT").find(Wide() ? "00000020h:" : "00000041h:"), std::string::npos);
    if ((SupportedOperationMask & 0x20) != 0) { // erase offered
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_EQ(chip->ChipErases(), 1);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    }
    ExpectNoViolations();
}

// The part reports no erase error: a word that does not erase fails the
// erase in the blank check after it, which names the word and its datum.
TEST_P(PageRun, EraseOverAWordThatDoesNotErase) {
    if ((SupportedOperationMask & 0x20) == 0) GTEST_SKIP() << "no Erase";
    const uint32_t a = DeviceSize - 0x11;
    chip->SetCell(a, 0x12);
    chip->StickWord(a);
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    char line[48];
    std::snprintf(line, sizeof line, " Chip addr: %06Xh  data: 0012h", a);
    ExpectLinesInOrder({"Erase error!", line});
    EXPECT_EQ(chip->Cell(0), Wide() ? 0xFFFF : 0xFF);
    ExpectNoViolations();
}

// A datum that never programs: three attempts of its page, then -1; a gang
// socket whose part never matches fails the page; ESC ends with 3.
TEST_P(PageRun, FaultsEndTheRun) {
    if (DeviceVariant3 == 6) GTEST_SKIP() << "the timed method reads once";
    ui.BreakAtPercent = 40;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 3) << LogText();
    ui.BreakAtPercent = -1;
    const uint32_t page = 3 * Page();
    const uint32_t last = page + Page() - 1; // the datum the poll reads
    for (uint32_t a = 0; a < DeviceSize; ++a) chip->SetCell(a, 0xFFFF);
    chip->StickWord(last);
    FillBufferRange(Wide() ? 2 * last : last, Wide() ? 2 * last + 1 : last, 0);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(std::count(chip->PageWrites().begin(), chip->PageWrites().end(), page), 3) << LogText();
    ExpectNoViolations();
}

TEST_P(PageRun, GangSocketNeverMatching) {
    if (DeviceVariant3 == 6) GTEST_SKIP() << "the timed method reads the sockets together";
    socket->Clear();
    elec->WithdrawAllChips();
    AddGangSockets(4);
    sim::PageFlashChip* chips[4];
    for (int s = 0; s < 4; ++s) chips[s] = Seat(&sim::GangAdapter::Find(simp)->SocketAt(s));
    chips[2]->StickWord(Page() - 1);
    DeviceEnd = Page() * 2 - 1;
    FillBufferRange(Wide() ? 2 * Page() - 2 : Page() - 1, Wide() ? 2 * Page() - 1 : Page() - 1, 0);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    ExpectHolds(chips[3], 0, Page() - 1); // written together, polled in turn
    // The protection rewrite of the first page is checked on every socket.
    DeviceStart = BufferIndex = Page();
    DataProtectMode = Wide() ? 1 : 0;
    if (Sdp()) {
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine(" Software data protection could not be switched off!")) << LogText();
    }
    ExpectNoViolations();
}

// In a split mode each page takes its lane's data, AddressStep apart in the
// buffer, onto consecutive chip addresses (a Word2 page of 128 spans 512
// buffer bytes, more than the window's tail), and Read fills the lane only.
TEST_P(PageRun, ByteLanesProgramAndReadTheirOwnData) {
    const uint32_t unit = Wide() ? 2 : 1;
    for (const uint32_t mode : {2u, 5u}) {
        SCOPED_TRACE(testing::Message() << "WordMode " << mode);
        const uint32_t step = mode == 2 ? 2 : 4, lane = mode == 2 ? 1 : 2;
        WordMode = mode;
        DeviceSize = 0x400;
        SetupAddressRange();
        FillPattern(BufferEnd + 1, 20 + mode);
        for (uint32_t a = 0; a <= DeviceEnd; ++a) chip->SetCell(a, 0xFFFF); // blank for the blank check
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        for (uint32_t a = 0; a <= DeviceEnd; ++a) {
            const uint32_t b = (a * step + lane) * unit;
            const uint32_t want = unit == 1 ? BufferByte(b) : BufferByte(b) | uint32_t{BufferByte(b + 1)} << 8;
            ASSERT_EQ(chip->Cell(a), want) << std::hex << a;
        }
        FillBufferRange(0, BufferEnd, 0x5A);
        ASSERT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t b = 0; b <= BufferEnd; ++b) {
            const uint32_t k = b / unit;
            const uint32_t want = k % step == lane ? (chip->Cell(k / step) >> (8 * (b % unit))) & 0xFF : 0x5A;
            ASSERT_EQ(BufferByte(b), want) << std::hex << b;
        }
    }
    WordMode = 0;
    ExpectNoViolations();
}

// Page lengths the queue cannot hold and starts off a page boundary are
// refused before the chip sees a cycle; a method the row does not know
// writes by polling.
TEST_P(PageRun, PagesAndMethods) {
    if (DeviceVariant3 == 6) GTEST_SKIP();
    const uint32_t recordPage = PageSize;
    for (auto [page, start] : {std::pair{0u, 0u}, {3u, 0u}, {512u, 0u}, {64u, 32u}}) {
        PageSize = page;
        DeviceStart = BufferIndex = start;
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), -1) << page;
    }
    EXPECT_TRUE(chip->Cycles().empty());
    EXPECT_TRUE(HasLine(" Start address must be on a page boundary!")) << LogText();
    // Through the driver the refusal is the run's last word: no fail-address
    // line names a datum nothing read.
    PageSize = recordPage;
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(" Start address must be on a page boundary!")) << LogText();
    EXPECT_EQ(DatumLines(), "") << LogText();
    EXPECT_TRUE(chip->Cycles().empty());
    SetupAddressRange();
    BufferIndex = 0;
    DeviceVariant3 = 3;
    DeviceEnd = 0xFF;
    EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
    ExpectHolds(chip, 0, 0xFF);
}

// DataProtectMode decides the state protection is left in on the parts
// that have it; the first page keeps its data either way. Parts without it
// see no protection cycle.
TEST_P(PageRun, SoftwareDataProtection) {
    for (uint32_t mode : {0u, 1u}) {
        chip->SetProtected(Sdp() && mode == 0);
        DataProtectMode = mode;
        FillPattern(BufferByteSize, 7 + mode);
        DeviceEnd = 4 * Page() - 1, BufferIndex = 0;
        const size_t before = chip->Cycles().size();
        ASSERT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1) << mode;
        ExpectHolds(chip, 0, DeviceEnd);
        const bool sdpCycle = std::any_of(chip->Cycles().begin() + before, chip->Cycles().end(),
                                          [](const auto& c) { return (c.address & 0x7FFF) == 0x2AAA; });
        EXPECT_EQ(sdpCycle, Sdp());
        // Row 1 writes every page behind the prefix, so it ends protected
        // unless told otherwise; row 5 ends unprotected unless told.
        if (Sdp()) {
            EXPECT_EQ(chip->Protected(), mode == 1) << mode;
        }
    }
    if (DeviceVariant3 == 6) {
        EXPECT_EQ(chip->PageWrites().size(), 2 * 4 * Page()); // a run a byte
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, PageRun, ::testing::ValuesIn(kPageFlashParts), [](const auto& info) {
    std::string n = info.param.second;
    return n.replace(n.find('-') == std::string::npos ? n.size() : n.find('-'), 1, "_");
});

class ProtectDialog : public PageRun {};

TEST_P(ProtectDialog, ModeStatusAndLockout) {
    TOptProtect d;
    EXPECT_EQ(d.windowTitle(), "Data Protection Mode");
    const bool boot = DeviceSubVariant != 0;
    d.show();
    ExpectNothingClipped(&d);
    EXPECT_EQ(d.Button2->isVisibleTo(&d), boot);
    EXPECT_EQ(d.ItemIndex(), 1);
    d.SetItemIndex(0);
    d.BitBtnOk->click();
    EXPECT_EQ(DataProtectMode, 0u);
    if (!boot) {
        chip->SetCell(2, 0x12);
        d.Button1Click();
        EXPECT_TRUE(HasLine("Lower(First) Boot Block: Unknown.")) << LogText();
        return;
    }
    d.Button1Click();
    ExpectLinesInOrder({"Lower(First) Boot Block: Lockout Deactivated.", " Upper(Last) Boot Block: Lockout Deactivated."});
    d.Button2->click();
    EXPECT_TRUE(chip->LockedOut(0));
    ExpectLinesInOrder({"Lower(First) Boot Block: Lockout Activated.", " Upper(Last) Boot Block: Lockout Deactivated."});
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(chip->Cell(0), 0xFF);
    d.Button3->click();
    EXPECT_TRUE(chip->LockedOut(1));
    ExpectLinesInOrder({" Upper(Last) Boot Block: Lockout Activated."});
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, ProtectDialog,
                         ::testing::Values(PageFlashPart{"ATMEL", "AT29C010A"}, PageFlashPart{"ATMEL", "AT29C040A"},
                                           PageFlashPart{"ATMEL", "AT28C256"}),
                         [](const auto& info) { return std::string(info.param.second); });

// Row 1 on image 5 sends page data with address bit 13 set and its command
// cycles to their own addresses.
TEST_P(PageRun, ImageFiveSetsBit13OnPageData) {
    if (std::string(GetParam().second) != "AT29C256") GTEST_SKIP();
    LogicImageNumber = 5;
    DeviceEnd = PageSize - 1;
    Run(OpProgram);
    const auto& c = chip->Cycles();
    ASSERT_GE(c.size(), 3 + PageSize) << LogText();
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(c[i].address & 0x3FFF, i == 1 ? 0x2AAAu : 0x1555u) << i;
    for (uint32_t i = 0; i < PageSize; ++i) EXPECT_EQ(c[3 + i].address & 0x3FFF, 0x2000 + i) << i;
}

} // namespace
