// The AT90S fuse dialog offscreen, opened by the Options entry of rows 117,
// 119 and 125: activation reads the chip into the controls, a changed control
// is stored at once, the program button writes the fuses, checks them
// through a new Identify, logs, beeps and closes.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "ShellTestSupport.h"
#include "dialogs/RadioGroup.h"
#include "mcu/Avr.h"
#include "mcu/McuFixture.h"
#include "mcu/OptAt90Sxx.h"
#include "sim/AvrChip.h"
#include "sim/AvrSerialChip.h"

namespace {

class AvrFuseDialog : public McuRun {
  protected:
    void SetUp() override {
        EnsureApp();
        McuRun::SetUp();
        ResetAvrState();
        InstallAvrDialogLauncher(RunAvrFuseDialog);
    }
    void TearDown() override {
        InstallAvrDialogLauncher(nullptr);
        McuRun::TearDown();
    }
    sim::AvrChip* PutAvrPart(const char* name) {
        ClearSocket();
        EXPECT_TRUE(Select("ATMEL", name)) << name;
        const sim::AvrFacts* f = sim::FindFacts<sim::AvrFacts>("ATMEL", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::AvrChip>(*f);
        elec->DeclareChip(chip->Limits());
        sim::AvrChip* seated = socket->Insert(std::move(chip));
        PrepareDialog();
        return seated;
    }
    int OpenAvrOptions(const std::function<void(TOptAt90Sxx1*)>& act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<TOptAt90Sxx1*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(d);
            }
        });
        poll.start(5);
        return AlgorithmTable[CurrentAlgorithm].Options();
    }
};

// Row 117: the FSTR group filled from the chip; a changed fuse and lock
// mode are kept, programmed and read back; the form closes by itself.
TEST_F(AvrFuseDialog, Row117ProgramsTheChangedFuseAndKeepsTheLockMode) {
    sim::AvrChip* chip = PutAvrPart("AT90S2313");
    ASSERT_NE(chip, nullptr);
    QString texts;
    QPoint at;
    bool shown1200 = false, shown2333 = true, stillOpen = true;
    int spien = -1, fstr = -1, mode = -1;
    EXPECT_EQ(OpenAvrOptions([&](TOptAt90Sxx1* d) {
                  texts = d->windowTitle() + "|" + d->LabelFSTR->text() + "|" + d->LabelSPEN->text() + "|" +
                          d->ComboBoxFSTR->itemText(0) + "|" + d->ComboBoxFSTR->itemText(1) + "|" +
                          d->RadioGroupSecMode->title() + "|" + d->RadioGroupSecMode->Item(1)->text() + "|" +
                          d->ButtonProgram->text() + "|" + d->BitBtn1->text();
                  at = d->pos();
                  shown1200 = d->GroupBox90S1200->isVisible();
                  shown2333 = d->GroupBox90S2333->isVisible();
                  spien = d->ComboBoxSPEN->currentIndex();
                  fstr = d->ComboBoxFSTR->currentIndex();
                  mode = d->RadioGroupSecMode->ItemIndex();
                  d->ComboBoxFSTR->setCurrentIndex(0);
                  d->RadioGroupSecMode->Item(0)->click();
                  d->ButtonProgram->click();
                  stillOpen = d->isVisible();
              }),
              1);
    EXPECT_EQ(texts, "Option|&FSTR Fuse|&SPIEN Fuse|Programmed|Erased|S&eucrity Mode|Lock Bits 1,2|"
                     "&Program Fuse Bits|&Close");
    EXPECT_EQ(at, QPoint(ui.Left + 320, ui.Top + 100));
    EXPECT_TRUE(shown1200 && !shown2333);
    EXPECT_EQ((std::tuple{spien, fstr, mode}), (std::tuple{0, 1, 1}));
    EXPECT_FALSE(stillOpen);
    EXPECT_EQ(chip->Fuses() & 0x21, 0x00);
    EXPECT_EQ(AvrLockFuseByte(117) & 0x21, 0x00u); // re-identified
    EXPECT_EQ(AvrLockMode, 0);
    EXPECT_TRUE(HasLine("Option Fuse Program Ok!")) << LogText();
    ExpectNoViolations();
}

// Row 117 on the RCEN part: the caption follows the variant; a fuse that
// does not take ends with the error line, the failure beep and -1.
TEST_F(AvrFuseDialog, Row117FuseNotTakingSaysSo) {
    sim::AvrChip* chip = PutAvrPart("AT90S1200");
    ASSERT_NE(chip, nullptr);
    chip->StickFuses();
    QString caption;
    EXPECT_EQ(OpenAvrOptions([&](TOptAt90Sxx1* d) {
                  caption = d->LabelFSTR->text();
                  d->ComboBoxSPEN->setCurrentIndex(1);
                  d->ButtonProgram->click();
              }),
              -1);
    EXPECT_EQ(caption, "&RCEN Fuse");
    EXPECT_TRUE(HasLine("Option Fuse Program Error!")) << LogText();
    EXPECT_EQ(AvrFuseResult, -1);
    ASSERT_GE(tones.size(), 1u);
    ExpectNoViolations();
}

// Row 125: the six fuses of the fuse byte, written as changed.
TEST_F(AvrFuseDialog, Row125ProgramsTheFuseByte) {
    sim::AvrChip* chip = PutAvrPart("AT90S4433");
    ASSERT_NE(chip, nullptr);
    bool shown1200 = true, shown2333 = false;
    std::vector<int> read;
    EXPECT_EQ(OpenAvrOptions([&](TOptAt90Sxx1* d) {
                  shown1200 = d->GroupBox90S1200->isVisible();
                  shown2333 = d->GroupBox90S2333->isVisible();
                  for (QComboBox* c : {d->ComboBoxSPEN1, d->ComboBoxBODLEVEL, d->ComboBoxBODEN, d->ComboBoxCKSEL2,
                                       d->ComboBoxCKSEL1, d->ComboBoxCKSEL0})
                      read.push_back(c->currentIndex());
                  d->ComboBoxBODEN->setCurrentIndex(0);
                  d->ComboBoxCKSEL0->setCurrentIndex(1);
                  d->ButtonProgram->click();
              }),
              1);
    EXPECT_TRUE(!shown1200 && shown2333);
    EXPECT_EQ(read, (std::vector<int>{0, 1, 1, 0, 1, 0}));
    EXPECT_EQ(chip->Fuses() & 0x3F, 0x13);
    EXPECT_EQ(AvrLockMode125, 1);
    EXPECT_TRUE(HasLine("Option Fuse Program Ok!")) << LogText();
    ExpectNoViolations();
}

// Row 119: the RCEN group read over the high-voltage interface; the
// changed fuse is written there and read back.
TEST_F(AvrFuseDialog, Row119ProgramsRcenOverHighVoltage) {
    ClearSocket();
    ASSERT_TRUE(Select("ATMEL", "AT90S2343"));
    const sim::AvrSerialFacts* f = sim::FindFacts<sim::AvrSerialFacts>("ATMEL", "AT90S2343");
    ASSERT_NE(f, nullptr);
    auto made = std::make_unique<sim::AvrSerialChip>(*f);
    elec->DeclareChip(made->Limits());
    sim::AvrSerialChip* chip = socket->Insert(std::move(made));
    PrepareDialog();
    QString caption;
    bool shown1200 = false;
    int rcen = -1;
    EXPECT_EQ(OpenAvrOptions([&](TOptAt90Sxx1* d) {
                  caption = d->LabelFSTR->text();
                  shown1200 = d->GroupBox90S1200->isVisible();
                  rcen = d->ComboBoxFSTR->currentIndex();
                  d->ComboBoxFSTR->setCurrentIndex(1);
                  d->ButtonProgram->click();
              }),
              1);
    EXPECT_EQ(caption, "&RCEN Fuse");
    EXPECT_TRUE(shown1200);
    EXPECT_EQ(rcen, 0);
    EXPECT_EQ(chip->Fuses() & 0x21, 0x01);
    EXPECT_EQ(chip->FuseWrites(), 1u);
    EXPECT_TRUE(HasLine("Option Fuse Program Ok!")) << LogText();
    ExpectNoViolations();
}

} // namespace
