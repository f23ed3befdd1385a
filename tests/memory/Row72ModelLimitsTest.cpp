// Row 72's sub-variants 0 and 4 through the sector protection dialog on the
// flash model. Sub-variant 0 protects and unprotects the ST part by command;
// sub-variant 4 puts the protection voltage on pin 1 of the 32-pin package,
// which a 4 Mbit part takes as A18: that chip must come out unchanged and
// the dialog must report the error, never success.
#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include "FlashFixture.h"
#include "OffscreenApp.h"
#include "memory/JedecFlash.h"
#include "memory/OptSecProt.h"

namespace {

class Row72ModelLimits : public FlashRun {
protected:
    sim::SeatedFlash part;
    void SeatFor(const char* maker, const char* name) {
        App();
        InstallOptSecProtDialog();
        ASSERT_TRUE(Select(maker, name));
        Limit(0x40);
        part = SeatPart(maker, name);
        EXPECT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
        runStart_ = ui.Log.size();
    }
    // Asks the dialog to protect sector 1 only.
    void ProtectSectorOne(TOptSecProt1& d) {
        d.ListView->setCurrentItem(d.ListView->topLevelItem(1));
        d.ListViewClick();
        ASSERT_EQ(d.SectorProtectionState[1], 1u);
        d.ButtonWrote->click();
    }
    bool AnySectorProtected() const {
        for (uint32_t s = 0; s < 8; ++s) {
            if (part.flash()->IsProtected(s)) return true;
        }
        return false;
    }
};

// The record's sub-variant 0 through the dialog: a new set (sector 1 only)
// replaces the old one (sector 3), the array keeps its data, and the dialog
// reports success.
TEST_F(Row72ModelLimits, CommandProtectThroughTheDialog) {
    SeatFor("ST", "M29F040B");
    ASSERT_EQ(DeviceSubVariant, 0u);
    part.flash()->Protect(3);
    part.flash()->SetCell(0x10000, 0x5A);
    TOptSecProt1 d(nullptr);
    ASSERT_EQ(d.ListView->topLevelItemCount(), 8);
    EXPECT_EQ(d.ListView->topLevelItem(3)->text(1).toStdString(), "Protect  ");
    d.ListView->setCurrentItem(d.ListView->topLevelItem(3));
    d.ListViewClick();
    ASSERT_EQ(d.SectorProtectionState[3], 0u);
    ProtectSectorOne(d);
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection completed!"});
    EXPECT_FALSE(HasLine(" Sector (Un)protection error!"));
    for (uint32_t s = 0; s < 8; ++s) EXPECT_EQ(part.flash()->IsProtected(s), s == 1) << s;
    EXPECT_EQ(part.flash()->ChipUnprotects(), 1u);
    EXPECT_EQ(part.flash()->Cell(0x10000), 0x5A);
    ExpectNoViolations();
}

// Sub-variant 4 on a 32-pin part: the reset-pin procedure's voltage reaches
// chip pin 1, which is A18 here (no RESET#): the electrical model reports it,
// the part ignores it, and the dialog ends with the error line.
TEST_F(Row72ModelLimits, ResetPinProcedureOnA32PinPartReachesA18) {
    SeatFor("AMD", "Am29LV040B");
    DeviceSubVariant = 4;
    TOptSecProt1 d(nullptr);
    ASSERT_EQ(d.ListView->topLevelItemCount(), 8);
    ProtectSectorOne(d);
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection error!"});
    EXPECT_FALSE(AnySectorProtected());
    ASSERT_FALSE(simp.Violations().empty());
    for (const auto& v : simp.Violations()) EXPECT_NE(v.find("socket pin 9: "), std::string::npos) << v;
    EXPECT_NE(simp.Violations().front().find("above the 7.00 V the chip takes"), std::string::npos);
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

} // namespace
