// The PIC configuration dialog offscreen on the simulator: Read fills the
// controls, an edit then Program changes the chip, a word the chip refuses
// gives the error line, and the controls follow the device's record.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "FormChecks.h"
#include "ShellTestSupport.h"
#include "engine/HexFiles.h"
#include "mcu/OptPic.h"
#include "mcu/PicFixture.h"

namespace {

class OptPicDialog : public PicRun {
protected:
    void SetUp() override {
        EnsureApp();
        PicRun::SetUp();
    }
    // The shown fields stand under the ID row, one under the other at one
    // step, each label level with its list, none left out between them.
    // Returns how many are shown.
    static int ExpectFieldsStacked(const TOptPic1& d) {
        int shown = 0, step = 0;
        const QWidget* above = d.LabelCustmerID;
        for (int n = 0; n < 12; ++n) {
            if (d.FieldCombos[n]->isHidden()) continue;
            const QLabel* label = d.FieldLabels[n];
            const int gap = label->y() - above->y();
            if (shown == 1) step = gap;
            EXPECT_GT(gap, 0) << n;
            if (shown > 1) {
                EXPECT_NEAR(gap, step, 1) << n;
            }
            const QRect combo = d.FieldCombos[n]->geometry();
            EXPECT_TRUE(combo.top() <= label->geometry().center().y() && label->geometry().center().y() <= combo.bottom())
                << n;
            ExpectLeftOf(label, d.FieldCombos[n]);
            above = label;
            ++shown;
        }
        return shown;
    }
};

TEST_F(OptPicDialog, ReadEditProgram) {
    sim::PicChip* chip = SelectAndSeatPic("PIC16F84");
    // XT oscillator, watchdog off, power-up timer off, unprotected; IDs "AB".
    PicConfigWord = 0x3FF9;
    PicIdWords[0] = 1, PicIdWords[1] = 4, PicIdWords[2] = 2, PicIdWords[3] = 4;
    PrepareDialog();
    ASSERT_EQ(ProgramPicConfig112(), 1);
    PicConfigWord = 0;
    for (uint32_t& w : PicIdWords) w = 0;

    TOptPic1 d;
    d.ButtonReadClick();
    EXPECT_TRUE(HasLine("Configuration Fuse Read ok!"));
    EXPECT_EQ(d.FieldCombos[0]->currentText(), "XT-Standard Crystal");
    EXPECT_EQ(d.FieldCombos[1]->currentText(), "Disable");
    EXPECT_EQ(d.FieldCombos[3]->currentText(), "Disable");
    EXPECT_EQ(d.EditCustmerID->text(), "AB");
    // Fields without a list are hidden; the four with one stack under the ID.
    EXPECT_TRUE(d.FieldCombos[4]->isHidden());
    EXPECT_EQ(ExpectFieldsStacked(d), 4);

    d.FieldCombos[1]->setCurrentIndex(1); // watchdog on
    d.EditCustmerID->setText("Z");
    d.Change();
    EXPECT_EQ(BufferWords[0x2007] & 0x1F, 0x1D);
    d.ButtonProgramClick();
    EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
    EXPECT_EQ(chip->Config() & 0x1F, 0x1Du);
    EXPECT_EQ(chip->Id(0) & 15, 0xAu); // 'Z' = 5Ah
    EXPECT_EQ(chip->Id(1) & 15, 0x5u);
    EXPECT_EQ(chip->Id(2) & 15, 0u);
}

// Only what the user changes is burnt: a change of the oscillator alone
// leaves blank ID words blank on a one-time part, and ID words whose first
// character is NUL keep their second one. "off" picked on a file's word that
// protects everything puts the word the part is burnt with into the buffer,
// every copy of the protection bits set, so a saved file says unprotected.
TEST_F(OptPicDialog, UnchosenIdBitsStayAndTheBufferCarriesTheBurntProtection) {
    sim::PicChip* chip = SelectAndSeatPic("PIC16C62A");
    DeviceEnd = 15;
    ClearWords();
    FillWords(16, 0x3FFF);
    BufferWords[0x2007] = 0x3FFF;
    for (uint32_t i = 0; i < 4; ++i) BufferWords[0x2000 + i] = 0x3FFF;
    {
        TOptPic1 d;
        d.FieldCombos[0]->setCurrentIndex(1); // XT oscillator
        d.Change();
    }
    EXPECT_EQ(BufferWords[0x2007], 0x3FFD);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[0x2000 + i], 0x3FFF) << i;
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_EQ(chip->Config(), 0x3FFDu);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(chip->Id(i), 0x3FFFu) << i;

    const uint16_t ids[4] = {0x3FF0, 0x0000, 0x1231, 0x0004}; // "\0A"
    for (uint32_t i = 0; i < 4; ++i) BufferWords[0x2000 + i] = ids[i];
    {
        TOptPic1 d;
        EXPECT_EQ(d.EditCustmerID->text(), "");
        d.FieldCombos[0]->setCurrentIndex(2);
        d.Change();
        d.EditCustmerID->setText("Z"); // the user's ID replaces both nibbles
        d.Change();
    }
    const uint16_t typed[4] = {0x3FFA, 0x0005, 0x1230, 0x0000};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[0x2000 + i], typed[i]) << i;
    for (uint32_t i = 0; i < 4; ++i) BufferWords[0x2000 + i] = ids[i];
    {
        TOptPic1 d;
        d.FieldCombos[0]->setCurrentIndex(1);
        d.Change();
    }
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(BufferWords[0x2000 + i], ids[i]) << i;

    // HS oscillator, everything protected, no copy set.
    chip = ReseatPic("PIC16C62A");
    DeviceEnd = 15;
    BufferWords[0x2007] = 0x0082;
    {
        TOptPic1 d;
        EXPECT_EQ(d.FieldCombos[3]->currentText(), "All memory protected");
        d.FieldCombos[3]->setCurrentIndex(3); // "Code Protection off"
        d.Change();
    }
    EXPECT_EQ(BufferWords[0x2007], 0x3FB2);
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_EQ(chip->Config(), 0x3FB2u);
    EXPECT_FALSE(chip->Protected());
    ASSERT_EQ(SaveHexFamilyFile("off.hex", 0, DeviceEnd * 2 + 1, HexFormatIntel), 1);
    EXPECT_NE(ReadText("off.hex").find(":02400E00B23FBF"), std::string::npos) << ReadText("off.hex");
    ExpectNoViolations();
}

TEST_F(OptPicDialog, RefusedWordGivesTheErrorLine) {
    // An EPROM bit once programmed to 0 cannot go back to 1.
    SelectAndSeatPic("PIC16C61");
    PicConfigWord = 0x3FF1; // watchdog off
    PrepareDialog();
    ASSERT_EQ(ProgramPicConfig111(), 1);
    TOptPic1 d;
    d.ButtonReadClick();
    d.FieldCombos[1]->setCurrentIndex(1);
    d.Change();
    d.ButtonProgramClick();
    EXPECT_TRUE(HasLine("Configuration Fuse Program error!")) << LogText();
    EXPECT_EQ(PicConfigResult, -1);
}

TEST_F(OptPicDialog, Row113EditsTheSecondBank) {
    // The Options entry selects the bank of the configuration word (FE00h)
    // while the dialog is up and the first bank again after it.
    sim::PicParallelChip* chip = SelectAndSeatParallelPic("PIC17C44");
    PrepareDialog();
    SelectBank(0x10000, 1);
    BufferWords[0x7E00] = 0xFFFF;
    SelectBank(0, 1);
    InstallPicDialogLauncher(+[] {
        TOptPic1 d;
        EXPECT_FALSE(d.EditCustmerID->isEnabled());
        EXPECT_EQ(d.FieldCombos[3]->currentText(), "Microprocessor mode");
        d.FieldCombos[0]->setCurrentIndex(2); // XT oscillator
        d.Change();
        d.ButtonProgramClick();
        return 1;
    });
    EXPECT_EQ(Alg110Options(), 1);
    EXPECT_EQ(CurrentBank, 0u);
    EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
    EXPECT_EQ(chip->Config() & 0x5F, 0x5Eu);
    SelectBank(0x10000, 1);
    // The oscillator field changed; the bits no field covers keep the
    // buffer's value.
    EXPECT_EQ(BufferWords[0x7E00], 0xFFFE);
    SelectBank(0, 1);
}

TEST_F(OptPicDialog, ControlsFollowTheRecord) {
    CurrentAlgorithm = 113;
    DeviceSubVariant = 8;
    {
        TOptPic1 d;
        EXPECT_FALSE(d.EditCustmerID->isEnabled());
        EXPECT_FALSE(d.LabelCustmerID->isEnabled());
    }
    CurrentAlgorithm = 121;
    DeviceSubVariant = 19;
    TOptPic1 d;
    EXPECT_TRUE(d.EditCustmerID->isEnabled());
    EXPECT_EQ(ExpectFieldsStacked(d), 9);
}

// Every label, list, edit and button shows whole at any font size, the
// fields stacked as the record gives them.
TEST_F(OptPicDialog, FieldsAndButtonsShowWhole) {
    CurrentAlgorithm = 121;
    DeviceSubVariant = 19;
    FontSizes([this] {
        TOptPic1 d;
        d.show();
        QApplication::processEvents();
        ExpectNothingClipped(&d);
        EXPECT_EQ(ExpectFieldsStacked(d), 9);
        ExpectAbove(d.Panel1, d.ButtonRead);
        ExpectAbove(d.ButtonRead, d.ButtonProgram);
        ExpectLeftOf(d.ButtonProgram, d.BitBtn1);
    });
}

} // namespace
