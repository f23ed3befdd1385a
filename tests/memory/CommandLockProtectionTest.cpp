// Row 78's sector protection through the sector protection dialog, on a
// simulated chip that locks a sector down by command (40h behind the
// six-cycle prefix at 5555h/2AAAh) and has no unprotect: the one-time
// question, a new set found on the chip and the sector then refusing a
// program, and a request to unprotect ending with the error line.
#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include "FlashFixture.h"
#include "OffscreenApp.h"
#include "dialogs/RadioGroup.h"
#include "memory/JedecFlash.h"
#include "memory/OptSecProt.h"

namespace {

constexpr const char* kCmdLockQuestion = "This Boot Block Lockout feature is One-time Programmable.\nContinue ?";

class CmdLockSecProt : public FlashRun {
protected:
    sim::SeatedFlash part;
    void SetUp() override {
        App();
        FlashRun::SetUp();
        InstallOptSecProtDialog();
        ASSERT_TRUE(Select("ATMEL", "AT49BV1614A"));
        CurrentAlgorithm = 78; // the lockdown chip on row 78's routines
        DeviceSubVariant = 1;
        ProtectOverride = 0;
        Limit(0x40);
        part = SeatPart("ATMEL", "AT49BV1614A");
        EXPECT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
        runStart_ = ui.Log.size();
    }
    static void Click(TOptSecProt1& d, int index) {
        d.ListView->setCurrentItem(d.ListView->topLevelItem(index));
        d.ListViewClick();
    }
    static std::string Mode(const TOptSecProt1& d, int index) {
        return d.ListView->topLevelItem(index)->text(1).toStdString();
    }
};

// Declining the question writes nothing and keeps the dialog open; Yes
// locks the marked sector, which then refuses a program.
TEST_F(CmdLockSecProt, QuestionThenTheSectorIsLocked) {
    TOptSecProt1 d(nullptr);
    ASSERT_EQ(d.ListView->topLevelItemCount(), 40);
    EXPECT_FALSE(d.RadioGroupProtectOverride->isHidden());
    EXPECT_EQ(Mode(d, 0), "Unprotect");
    Click(d, 0);
    part.flash()->ClearWrites();
    ui.QueueAnswer(UiAnswer::No);
    d.ButtonWrote->click();
    EXPECT_EQ(ui.Boxes.back().text, kCmdLockQuestion);
    EXPECT_EQ(ui.Boxes.back().caption, "Warning");
    EXPECT_EQ(d.result(), 0); // neither accepted nor rejected
    EXPECT_TRUE(part.flash()->Writes().empty());
    EXPECT_FALSE(HasLine("(Un)Protect Sector ..."));
    ui.QueueAnswer(UiAnswer::Yes);
    d.ButtonWrote->click();
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection completed!"});
    for (uint32_t s = 0; s < 40; ++s) EXPECT_EQ(part.flash()->IsProtected(s), s == 0) << s;
    FillData(3);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(part.flash()->IsBlank());
    ExpectNoViolations();
}

// The chip cannot unprotect: a locked sector asked to be unprotected fails
// the read-back and the dialog logs the error line; the sector stays locked.
TEST_F(CmdLockSecProt, UnprotectRequestEndsWithTheErrorLine) {
    part.flash()->Protect(2);
    TOptSecProt1 d(nullptr);
    EXPECT_EQ(Mode(d, 2), "Protect  ");
    Click(d, 2);
    ui.QueueAnswer(UiAnswer::Yes);
    d.ButtonWrote->click();
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection error!"});
    EXPECT_TRUE(part.flash()->IsProtected(2));
    ExpectNoViolations();
}

// Sub-variant 0 asks nothing, and a request without a sector to lock sends
// no lock command.
TEST_F(CmdLockSecProt, SubVariantZeroAsksNothing) {
    DeviceSubVariant = 0;
    TOptSecProt1 d(nullptr);
    EXPECT_TRUE(d.RadioGroupProtectOverride->isHidden());
    const size_t boxes = ui.Boxes.size();
    d.ButtonWrote->click();
    EXPECT_EQ(ui.Boxes.size(), boxes);
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection completed!"});
    for (uint32_t s = 0; s < 40; ++s) EXPECT_FALSE(part.flash()->IsProtected(s)) << s;
}

} // namespace
