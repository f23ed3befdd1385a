// The option dialog of the NAND rows 83 and 86, offscreen: the fields it
// shows per row, the block-size edit, the read mode kept on leaving, and the
// bad-block list with its beep.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "NandFixture.h"
#include "OffscreenApp.h"
#include "dialogs/RadioGroup.h"
#include "memory/OptNand.h"

namespace {

struct OptNandDialogCase {
    NandPart part;
    bool editShown;
    uint32_t* mode;
    uint32_t defaultBlocks; // ProgramBlockSize after selection (row 83)
    std::vector<std::string> list;
};

class OptNand : public NandRun, public ::testing::WithParamInterface<OptNandDialogCase> {
  protected:
    void SetUp() override {
        App();
        NandRun::SetUp();
        InstallOptNandDialog();
    }
};

TEST_P(OptNand, FieldsEditModeAndList) {
    const OptNandDialogCase& c = GetParam();
    ProgramBlockSize = 77;
    NandReadMode83 = NandReadMode86 = 1;
    Start(c.part, 2);
    // Selection resets the read modes and (row 83) the block count.
    EXPECT_EQ(*c.mode, 0u);
    EXPECT_EQ(ProgramBlockSize, c.defaultBlocks);
    ASSERT_EQ(CheckCommunication(MainEngine), 1);
    PrepareOperation(MainEngine);

    TOptNand_ d;
    EXPECT_EQ(d.windowTitle(), "Option");
    EXPECT_EQ(d.ButtonDisp->text(), "&Display bed block list");
    EXPECT_EQ(d.RadioGroupReadMode->title(), "&Read mode");
    EXPECT_EQ(d.RadioGroupReadMode->Item(0)->text(), "Logical address");
    EXPECT_EQ(d.RadioGroupReadMode->Item(1)->text(), "Physical address");
    EXPECT_EQ(d.RadioGroupReadMode->ItemIndex(), 0);
    EXPECT_EQ(d.Label1->text(), "&Program Block Size:");
    EXPECT_EQ(d.BitBtnClose->text(), "&Close");
    EXPECT_EQ(d.EditPgmBlock->text().toStdString(), std::to_string(c.defaultBlocks));
    EXPECT_EQ(d.EditPgmBlock->isVisibleTo(&d), c.editShown);
    EXPECT_EQ(d.Label1->isVisibleTo(&d), c.editShown);

    d.EditPgmBlock->setText("123");
    EXPECT_EQ(ProgramBlockSize, 123u);
    d.EditPgmBlock->setText("");
    EXPECT_EQ(ProgramBlockSize, 0u);

    d.RadioGroupReadMode->Item(1)->setChecked(true); // no click: kept on leaving
    d.reject();
    EXPECT_EQ(*c.mode, 1u);

    runStart_ = ui.Log.size();
    tones.clear();
    d.ButtonDisp->click();
    EXPECT_EQ(Log(), c.list);
    ASSERT_FALSE(tones.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OptNand,
    ::testing::Values(OptNandDialogCase{{"SAMSUNG", "K9F3208W0A"},
                                 true,
                                 &NandReadMode83,
                                 500,
                                 {"Address:00000000h, Block No:0000", "Bed Block Count: 1"}},
                      OptNandDialogCase{{"SAMSUNG", "KM29W32000AT"},
                                 false,
                                 &NandReadMode86,
                                 77,
                                 {"Address:00000000h, Sector No:0", "Address:00001000h, Sector No:1",
                                  "Bed Sector Count: 2"}}));

// The Options entry shows the dialog modally at Left + 320, Top + 100.
TEST_F(NandRun, OptionsEntryShowsTheDialogModally) {
    App();
    InstallOptNandDialog();
    Start({"SAMSUNG", "KM29W32000AT"}, 2);
    QPoint at;
    QTimer::singleShot(0, [&at] {
        auto* d = dynamic_cast<TOptNand_*>(QApplication::activeModalWidget());
        if (d == nullptr) {
            ADD_FAILURE() << "no modal option dialog";
            return;
        }
        at = d->pos();
        d->BitBtnClose->click();
    });
    AlgorithmRow(86)->Options();
    EXPECT_EQ(at, QPoint(GetMainFormLeft() + 320, GetMainFormTop() + 100));
}

} // namespace
