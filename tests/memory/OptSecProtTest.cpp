// The sector protection dialog offscreen on row 46's simulated chip: the
// chip's states listed, a new set written and found on the chip (and a
// protected sector then refusing a program), the editing buttons, a write
// that fails, and a layout row past the table.
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "FlashFixture.h"
#include "FormChecks.h"
#include "OffscreenApp.h"
#include "dialogs/RadioGroup.h"
#include "memory/JedecFlash.h"
#include "memory/OptSecProt.h"

namespace {

class SecProt : public FlashRun {
protected:
    sim::SeatedFlash part;
    void SetUp() override {
        App();
        FlashRun::SetUp();
        InstallOptSecProtDialog();
        ASSERT_TRUE(Select("AMD", "Am29LV160DB"));
        Limit(0x40);
        part = SeatPart("AMD", "Am29LV160DB");
        EXPECT_EQ(CheckCommunication(MainEngine), 1); // the device's logic image
        PrepareOperation(MainEngine);
        runStart_ = ui.Log.size();
    }
    std::vector<std::string> Modes(const TOptSecProt1& d) const {
        std::vector<std::string> m;
        for (int i = 0; i < d.ListView->topLevelItemCount(); ++i) {
            m.push_back(d.ListView->topLevelItem(i)->text(1).toStdString());
        }
        return m;
    }
    void Click(TOptSecProt1& d, int index) {
        d.ListView->setCurrentItem(d.ListView->topLevelItem(index));
        d.ListViewClick();
    }
};

TEST_F(SecProt, ListsTheChipsStatesAndWritesANewSet) {
    part.flash()->Protect(3);
    TOptSecProt1 d(nullptr);
    ASSERT_EQ(d.ListView->topLevelItemCount(), 35);
    EXPECT_EQ(d.ListView->topLevelItem(0)->text(0).toStdString(), "000000h-001FFFh");
    EXPECT_EQ(d.ListView->topLevelItem(34)->text(0).toStdString(), "0F8000h-0FFFFFh");
    EXPECT_EQ(Modes(d)[3], "Protect  ");
    EXPECT_EQ(Modes(d)[0], "Unprotect");
    EXPECT_TRUE(d.RadioGroupProtectOverride->isHidden());
    Click(d, 0); // protect sector 0
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    d.ListView->setCurrentItem(d.ListView->topLevelItem(3));
    QApplication::sendEvent(d.ListView, &space); // sector 3 back to unprotect
    EXPECT_EQ(Modes(d)[0], "Protect  ");
    EXPECT_EQ(Modes(d)[3], "Unprotect");
    d.ButtonWrote->click();
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection completed!"});
    for (uint32_t s = 0; s < 35; ++s) EXPECT_EQ(part.flash()->IsProtected(s), s == 0) << s;
    // Sector 0 now refuses a program.
    FillData(3);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(part.flash()->IsBlank());
    ExpectNoViolations();
}

// At any font the sectors' address ranges and modes show whole in their
// columns.
TEST_F(SecProt, SectorListShowWhole) {
    part.flash()->Protect(3);
    FontSizes([] {
        TOptSecProt1 d(nullptr);
        ASSERT_EQ(d.ListView->topLevelItemCount(), 35);
        d.show();
        QApplication::processEvents();
        ExpectNothingClipped(&d);
    });
}

TEST_F(SecProt, EditingButtons) {
    TOptSecProt1 d(nullptr);
    const struct {
        QPushButton* button;
        uint32_t sector0, sector1;
    } steps[] = {{d.ButtonProtectAll, 1, 1}, {d.ButtonToggle, 0, 0}, {d.ButtonToggle, 1, 1}, {d.ButtonUnprotectAll, 0, 0}};
    Click(d, 1);
    for (const auto& s : steps) {
        s.button->click();
        EXPECT_EQ(d.SectorProtectionState[0], s.sector0);
        EXPECT_EQ(d.SectorProtectionState[1], s.sector1);
        EXPECT_EQ(Modes(d)[0], s.sector0 ? "Protect  " : "Unprotect");
    }
}

// A chip whose unprotect never works: the error line; the Options entry shows
// the dialog modally.
TEST_F(SecProt, FailedWriteLogsTheErrorLine) {
    part.flash()->NeverUnprotect(true);
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TOptSecProt1*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->ButtonWrote->click();
    });
    EXPECT_EQ(AlgorithmRow(46)->Options(), 1);
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection error!"});
}

// A 16-bit part programmed over a range from word 10000h (past its first two
// buffer banks) takes the buffer's words at those addresses.
TEST_F(SecProt, RangeFromWord10000hTakesItsOwnWords) {
    Unseat();
    ASSERT_TRUE(Select("AMD", "Am29LV160DB"));
    part = SeatPart("AMD", "Am29LV160DB");
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    SelectBank(0, 0);
    FillData(5);
    for (const uint32_t start : {0x10000u, 0x9000u, 0x18000u}) {
        SCOPED_TRACE(start);
        DeviceStart = BufferStart = start;
        DeviceEnd = start + 0x1F;
        BufferEnd = 2 * DeviceEnd + 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (uint32_t a = start; a <= DeviceEnd; ++a) ASSERT_EQ(part.flash()->Cell(a), BufferDatum(a)) << std::hex << a;
    }
}

// A layout row past the table lists no sectors and writes nothing.
TEST_F(SecProt, LayoutRowPastTheTableWritesNothing) {
    DeviceVariant = 67;
    TOptSecProt1 d(nullptr);
    EXPECT_EQ(d.ListView->topLevelItemCount(), 0);
    EXPECT_TRUE(HasLine(" Sector layout 67 is not in the table!")) << LogText();
    part.flash()->ClearWrites();
    d.ButtonWrote->click();
    EXPECT_TRUE(part.flash()->Writes().empty());
    EXPECT_FALSE(HasLine("(Un)Protect Sector ..."));
}

} // namespace

namespace {

// The dialog on the byte-wide rows protected with high voltage: the chip's
// states listed, a new set written and found on the chip, the protected
// sector then failing a program and keeping its data through an erase.
struct OptSecProtDialogCase {
    const char* name;
    int sectors;
    const char* first;
    const char* last;
};
class HvSecProt : public SecProt, public ::testing::WithParamInterface<OptSecProtDialogCase> {
protected:
    void SetUp() override {
        SecProt::SetUp();
        Unseat();
        ASSERT_TRUE(Select("AMD", GetParam().name));
        Limit(0x40);
        part = SeatPart("AMD", GetParam().name);
        EXPECT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
        runStart_ = ui.Log.size();
    }
};

TEST_P(HvSecProt, ListsWritesAndTheSectorRefusesProgram) {
    const OptSecProtDialogCase& c = GetParam();
    part.flash()->Protect(1);
    TOptSecProt1 d(nullptr);
    ASSERT_EQ(d.ListView->topLevelItemCount(), c.sectors);
    EXPECT_EQ(d.ListView->topLevelItem(0)->text(0).toStdString(), c.first);
    EXPECT_EQ(d.ListView->topLevelItem(c.sectors - 1)->text(0).toStdString(), c.last);
    EXPECT_EQ(Modes(d)[1], "Protect  ");
    Click(d, 1);
    Click(d, 0);
    d.ButtonWrote->click();
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection completed!"});
    for (int s = 0; s < c.sectors; ++s) EXPECT_EQ(part.flash()->IsProtected(static_cast<uint32_t>(s)), s == 0) << s;
    FillData(3);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(part.flash()->IsBlank());
    part.flash()->SetCell(0, 0x12);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(part.flash()->Cell(0), 0x12);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, HvSecProt,
                         ::testing::Values(OptSecProtDialogCase{"Am29F400BB", 11, "000000h-003FFFh", "070000h-07FFFFh"},
                                           OptSecProtDialogCase{"Am29LV400BT", 11, "000000h-00FFFFh", "07C000h-07FFFFh"},
                                           OptSecProtDialogCase{"Am29F010B", 8, "000000h-003FFFh", "01C000h-01FFFFh"},
                                           OptSecProtDialogCase{"Am29LV040B", 8, "000000h-00FFFFh", "070000h-07FFFFh"},
                                           OptSecProtDialogCase{"Am29F002T", 7, "000000h-00FFFFh", "03C000h-03FFFFh"},
                                           OptSecProtDialogCase{"Am29F040", 8, "000000h-00FFFFh", "070000h-07FFFFh"},
                                           OptSecProtDialogCase{"Am29F010", 8, "000000h-003FFFh", "01C000h-01FFFFh"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
