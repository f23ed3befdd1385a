// The page-mode rows of the byte-wide high-voltage flash (page program 41h,
// A7h D0h erase, status byte) through the operation driver on their generic
// records and catalog parts: whole runs, a byte that never programs, a part
// that never gets ready, ESC, four gang sockets with one bad, and the second
// row's sectors through the sector protection dialog.
#include <QPushButton>
#include <QTreeWidget>

#include "FlashFixture.h"
#include "OffscreenApp.h"
#include "memory/OptSecProt.h"

namespace {

constexpr const char* kPage41Maker = "GENERIC-ALGORITHM";
constexpr const char* kPage41Small = "BF-PAGE41-128K";   // row 23: needs status bit 4 clear
constexpr const char* kPage41Hv = "BF-P41HV-512K";   // row 24: bit 7 only, A9 protection

class Page41Run : public FlashRun {
protected:
    sim::SeatedFlash part;
    void Start(const char* name, uint32_t bytes) {
        ASSERT_TRUE(Select(kPage41Maker, name)) << name;
        Limit(bytes);
        part = SeatPart(kPage41Maker, name);
        ASSERT_NE(part.flash(), nullptr);
        FillData(3);
    }
    void ExpectPoweredDown() {
        EXPECT_TRUE(elec->SuppliedPins().empty()) << LogText();
        EXPECT_TRUE(elec->GroundedPins().empty()) << LogText();
    }
};

// Blank check, program, verify, read back into a cleared buffer, erase and
// blank check again, over a range that crosses a 64 KB bank; row 24 reads
// the part's codes with A9 at 12 V and releases it.
TEST_F(Page41Run, WholeRunsOnBothRows) {
    for (const char* name : {kPage41Small, kPage41Hv}) {
        SCOPED_TRACE(name);
        Start(name, 0x10400);
        ASSERT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Program ok!"});
        ExpectHolds([&](uint32_t a) { return part.flash()->Cell(a); });
        EXPECT_EQ(part.flash()->Cell(0x10400), 0xFF); // nothing past the range
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = 0; a < DeviceSize; ++a) ASSERT_EQ(BufferDatum(a), part.flash()->Cell(a)) << std::hex << a;
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        ExpectLinesInOrder({"Erase ok!"});
        EXPECT_EQ(part.flash()->ChipErases(), 1u);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        if (CurrentAlgorithm == 24) {
            ReadId();
            EXPECT_EQ(ChipMakerId, 0x41u);
            EXPECT_EQ(ChipDeviceId, 0xA7u);
        }
        ExpectPoweredDown();
        ExpectNoViolations();
        Unseat();
    }
}

// A byte that never programs: row 23 sees the program error bit and fails
// the page after its 150 polls; row 24 looks at the ready bit only, so the
// verify finds the byte. A part that never gets ready fails the first page
// on both rows and the erase after its 100 passes; ESC breaks the erase.
TEST_F(Page41Run, FaultsEndTheRunPoweredDown) {
    for (const char* name : {kPage41Small, kPage41Hv}) {
        SCOPED_TRACE(name);
        Start(name, 0x400);
        FillBufferRange(0x105, 0x105, 0x00);
        part.flash()->StickCell(0x105);
        const uint64_t t0 = simp.NowUs();
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        if (CurrentAlgorithm == 23) {
            EXPECT_TRUE(HasLine("Program error!")) << LogText();
            EXPECT_GE(simp.NowUs() - t0, 150000u);
            EXPECT_EQ(part.flash()->Cell(0x180), 0xFF); // no page after the failing one
        } else {
            EXPECT_TRUE(HasLine("Program ok!")) << LogText();
            EXPECT_EQ(part.flash()->Cell(0x3FF), BufferDatum(0x3FF));
        }
        ExpectPoweredDown();
        Unseat();

        Start(name, 0x400);
        part.flash()->NeverReady(true);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_EQ(part.flash()->Cell(0x300), 0xFF);
        const uint64_t t1 = simp.NowUs();
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        EXPECT_TRUE(HasLine("Erase error!")) << LogText();
        EXPECT_GE(simp.NowUs() - t1, 100u * 100000u);
        ui.BreakAtStatus = "2.0 sec";
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpErase), 3) << LogText();
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
        ExpectPoweredDown();
        ExpectNoViolations();
        Unseat();
    }
}

// Through the driver, a page length the part cannot take or a start off a
// page is refused before any power-up, the part untouched.
TEST_F(Page41Run, PageSettingsRefusedThroughTheDriver) {
    Start(kPage41Small, 0x400);
    for (uint32_t page : {0u, 96u, 512u}) {
        PageSize = page;
        EXPECT_EQ(Run(OpProgram), -1) << page;
        EXPECT_TRUE(HasLine(" Page size " + std::to_string(page) + " is not a power of two from 1 to 256!")) << LogText();
        EXPECT_EQ(DatumLines(), "") << LogText(); // nothing was read
    }
    PageSize = 128;
    DeviceStart = BufferIndex = 0x40;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(" Start address 000040h is not on a page boundary!")) << LogText();
    EXPECT_EQ(DatumLines(), "") << LogText();
    EXPECT_TRUE(part.flash()->Writes().empty());
    EXPECT_TRUE(part.flash()->IsBlank());
    ExpectPoweredDown();
}

// Four gang sockets, socket 2 never ready: the pages go to every socket at
// once and their status is read together, so the run fails at the first page.
TEST_F(Page41Run, GangSocketNeverReady) {
    AddGang(4);
    for (const char* name : {kPage41Small, kPage41Hv}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Select(kPage41Maker, name));
        Limit(0x800);
        LastSocketIndex = 3;
        std::vector<sim::SeatedFlash> chips;
        for (int s = 0; s < 4; ++s) chips.push_back(SeatPart(kPage41Maker, name, s));
        chips[2].flash()->NeverReady(true);
        FillData(5);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_EQ(chips[0].flash()->Cell(0), BufferDatum(0));
        EXPECT_EQ(chips[3].flash()->Cell(0x700), 0xFF);
        ExpectPoweredDown();
        ExpectNoViolations();
        for (int s = 0; s < 4; ++s) sim::GangAdapter::Find(simp)->SocketAt(s).Clear();
        elec->WithdrawAllChips();
        DeclareGangSupply();
    }
}

// Row 24's sectors in the dialog: the chip's states listed, a new set
// written and found on the chip, the protected sector then failing the
// program's verify and keeping its data through the erase of the others.
TEST_F(Page41Run, DialogWritesSectorsAndTheProtectedOneHolds) {
    App();
    InstallOptSecProtDialog();
    Start(kPage41Hv, 0x40);
    part.flash()->Protect(1);
    EXPECT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);
    runStart_ = ui.Log.size();
    TOptSecProt1 d(nullptr);
    ASSERT_EQ(d.ListView->topLevelItemCount(), 8);
    EXPECT_EQ(d.ListView->topLevelItem(0)->text(0).toStdString(), "000000h-00FFFFh");
    EXPECT_EQ(d.ListView->topLevelItem(7)->text(0).toStdString(), "070000h-07FFFFh");
    EXPECT_EQ(d.ListView->topLevelItem(1)->text(1).toStdString(), "Protect  ");
    EXPECT_EQ(d.ListView->topLevelItem(0)->text(1).toStdString(), "Unprotect");
    for (int i : {1, 0}) {
        d.ListView->setCurrentItem(d.ListView->topLevelItem(i));
        d.ListViewClick();
    }
    d.ButtonWrote->click();
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection completed!"});
    for (uint32_t s = 0; s < 8; ++s) EXPECT_EQ(part.flash()->IsProtected(s), s == 0) << s;
    EXPECT_TRUE(elec->SuppliedPins().empty());

    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(part.flash()->IsBlank());
    part.flash()->SetCell(0, 0x12);
    part.flash()->SetCell(0x10000, 0x34);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(part.flash()->Cell(0), 0x12);
    EXPECT_EQ(part.flash()->Cell(0x10000), 0xFF);
    ExpectNoViolations();
}

} // namespace
