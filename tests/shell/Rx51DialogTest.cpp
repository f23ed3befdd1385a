// The option dialogs of the 89C51Rx-type rows and of the T89C51RD2-type row
// offscreen, opened by the Options entry on the simulator: the group box of
// the row, the byte edits' hex-only input, the three buttons against the
// chip (read, program on a secured chip, initialize); the HSB combos, read
// and program.
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ShellTestSupport.h"
#include "mcu/Opt89C51Rx.h"
#include "mcu/OptT89C51RD2.h"
#include "mcu/Rx51Fixture.h"
#include "mcu/T89C51RD2.h"
#include "sim/PageRd2Chip.h"

namespace {

constexpr int kRxOkTone = 1193182 / 1000;
constexpr int kRxFailTone = 1193182 / 10000;

class Rx51Dialog : public Rx51Run {
  protected:
    void SetUp() override {
        EnsureApp();
        Rx51Run::SetUp();
        InstallRx51DialogLauncher(RunRx51Dialog);
    }
    void TearDown() override {
        InstallRx51DialogLauncher(nullptr);
        Rx51Run::TearDown();
    }
    int Option(const std::function<void(TOpt89C51Rx1*)>& act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<TOpt89C51Rx1*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(d);
                d->BitBtnClose->click();
            }
        });
        poll.start(5);
        return AlgorithmRow(CurrentAlgorithm)->Options();
    }
};

TEST_F(Rx51Dialog, Row192EditsReadProgramSecuredAndInitialize) {
    sim::Rx51FlashChip* chip = PutRx("P89C51RC2");
    chip->SetSpecialBytes(0x5A, 0x3C);
    bool rxShown = false, xaShown = true;
    QString typed, cleared, labels;
    QStringList items;
    QPoint at;
    EXPECT_EQ(Option([&](TOpt89C51Rx1* d) {
                  rxShown = d->GroupBox89C51Rx->isVisible();
                  xaShown = d->GroupBox89C51XA->isVisible();
                  for (int i = 0; i < d->ComboBoxSecMode->count(); ++i) items << d->ComboBoxSecMode->itemText(i);
                  labels = d->LabelSecMode->text() + "|" + d->LabelStatusByte->text() + "|" +
                           d->LabelBootVectorByte->text() + "|" + d->ButtonRead->text() + "|" +
                           d->ButtonProgram->text() + "|" + d->ButtonInitalize->text() + "|" + d->windowTitle();
                  at = d->pos();
                  d->EditStatusByte->clear();
                  QTest::keyClicks(d->EditStatusByte, "ga5\b");
                  typed = d->EditStatusByte->text();
                  d->EditBootVectorByte->clear();
                  d->ComboBoxSecMode->setCurrentIndex(1);
                  d->Change();
                  cleared = d->EditBootVectorByte->text();
                  d->ButtonRead->click();
              }),
              1);
    EXPECT_TRUE(rxShown);
    EXPECT_FALSE(xaShown);
    EXPECT_EQ(items, (QStringList{"Lock Bit 1", "Lock Bits 1,2", "Lock Bits 1,2,3"}));
    EXPECT_EQ(labels.toStdString(), "Security &Mode|&Status Byte|&Boot Vector Byte|&Read Status Byte && Boot "
                                    "Vector|&Program Status Byte && Boot Vector|&Initialize Device|Option");
    EXPECT_EQ(at, QPoint(ui.Left + 320, ui.Top + 100));
    EXPECT_EQ(typed, "A5");
    EXPECT_EQ(cleared, "00");
    EXPECT_EQ(SecurityLevel192, 1);
    // Read replaced what was typed with the chip's bytes.
    EXPECT_TRUE(HasLine("Read ok!")) << LogText();
    EXPECT_EQ(StatusByte192, 0x5A);
    EXPECT_EQ(BootVector192, 0x3C);
    EXPECT_EQ(SkipIdCheck, 0u);
    ASSERT_FALSE(tones.empty());
    EXPECT_EQ(tones.back().first, kRxOkTone);

    // Edits shown from the settings; Program writes them.
    QString shown;
    StatusByte192 = 0x00;
    BootVector192 = 0xF0;
    EXPECT_EQ(Option([&](TOpt89C51Rx1* d) {
                  shown = d->EditStatusByte->text() + d->EditBootVectorByte->text();
                  d->ButtonProgram->click();
              }),
              1);
    EXPECT_EQ(shown, "00F0");
    EXPECT_TRUE(HasLine("Program ok!")) << LogText();
    EXPECT_EQ(chip->BootVector(), 0xF0);
    EXPECT_EQ(chip->StatusByte(), 0x00);

    // A Read that finds the chip secured: Program refuses with the chip's
    // line, "Program error!" and the low beep; Initialize still clears it.
    chip->SetSecurityBits(0x0E);
    EXPECT_EQ(Option([&](TOpt89C51Rx1* d) {
                  d->ButtonRead->click();
                  d->ButtonProgram->click();
              }),
              -1);
    EXPECT_TRUE(HasLine(" Device secured!(Lock Bits 1,2,3)")) << LogText();
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_EQ(tones.back().first, kRxFailTone);
    EXPECT_EQ(Option([&](TOpt89C51Rx1* d) { d->ButtonInitalize->click(); }), 1);
    EXPECT_TRUE(HasLine("Initialization ok!")) << LogText();
    EXPECT_EQ(chip->SecurityBits(), 0);
    EXPECT_EQ(tones.back().first, kRxOkTone);
    ExpectNoViolations();
}

TEST_F(Rx51Dialog, Row188GroupReadProgramAndInitialize) {
    sim::Rx51FlashChip* chip = PutRx("XA-G49");
    chip->SetSpecialBytes(0x01, 0x12, 0x34);
    bool rxShown = true, xaShown = false;
    QString afterRead, labels;
    EXPECT_EQ(Option([&](TOpt89C51Rx1* d) {
                  rxShown = d->GroupBox89C51Rx->isVisible();
                  xaShown = d->GroupBox89C51XA->isVisible();
                  labels = d->LabelSecMode1->text() + "|" + d->LabelStatusByte1->text() + "|" + d->LabelBPC->text() +
                           "|" + d->LabelBPSW->text();
                  d->ButtonRead->click();
                  afterRead = d->EditStatusByte1->text() + d->EditBPC->text() + d->EditBPSW->text();
                  d->EditBPC->clear();
                  QTest::keyClicks(d->EditBPC, "7f");
                  d->ComboBoxSecMode1->setCurrentIndex(0);
                  d->Change();
                  d->ButtonProgram->click();
              }),
              1);
    EXPECT_FALSE(rxShown);
    EXPECT_TRUE(xaShown);
    EXPECT_EQ(labels.toStdString(), "Security &Mode :|&Status Byte :|&Boot Vector Byte :|BPS&W:");
    EXPECT_EQ(afterRead, "011234");
    EXPECT_EQ(SecurityLevel188, 0);
    EXPECT_EQ(BpcByte188, 0x7F);
    EXPECT_TRUE(HasLine("Program ok!")) << LogText();
    EXPECT_EQ(chip->Bpc(), 0x7F);
    EXPECT_EQ(chip->Bpsw(), 0x34);
    EXPECT_EQ(chip->StatusByte(), 0x01);

    chip->SetSecurityBits(0x06);
    EXPECT_EQ(Option([&](TOpt89C51Rx1* d) {
                  d->ButtonRead->click();
                  d->ButtonInitalize->click();
              }),
              1);
    EXPECT_TRUE(HasLine("Initialization ok!")) << LogText();
    EXPECT_EQ(chip->SecurityBits(), 0);
    ExpectNoViolations();
}

} // namespace

namespace {

class Rd2Dialog : public Rx51Run {
  protected:
    void SetUp() override {
        EnsureApp();
        Rx51Run::SetUp();
        ResetT89C51RD2State();
        InstallT89C51RD2DialogLauncher(RunT89C51RD2Dialog);
    }
    void TearDown() override {
        InstallT89C51RD2DialogLauncher(nullptr);
        Rx51Run::TearDown();
    }
    int Option(const std::function<void(TOptT89C51RD21*)>& act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<TOptT89C51RD21*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(d);
                d->BitBtn1->click();
            }
        });
        poll.start(5);
        return AlgorithmRow(CurrentAlgorithm)->Options();
    }
};

// The combos start from the settings; Read HSB sets them from the chip (FAh:
// "LEVEL4-Pxx"); a change takes all four; Program HSB writes the composed
// byte (level 2, BLLB 0, BLJB 1, SB 1: DCh).
TEST_F(Rd2Dialog, ReadSetsCombosProgramWritesComposedByte) {
    sim::PageRd2Chip* chip = PutPart<sim::PageRd2Chip, sim::PageRd2Facts>("TEMIC", "T89C51RD2", nullptr);
    ASSERT_NE(chip, nullptr);
    chip->SetHsb(0xFA);
    HsbLockLevel128 = 0;
    HsbSb128 = 0;
    QString first, afterRead, texts;
    QPoint at;
    EXPECT_EQ(Option([&](TOptT89C51RD21* d) {
                  first = d->ComboBoxLockBits->currentText() + d->ComboBoxBLLB->currentText();
                  if (d->ComboBoxSB->currentIndex() != 0) first += "?";
                  texts = d->GroupBox1->title() + "|" + d->LabelLockBits->text() + "|" + d->LabelBLLB->text() + "|" +
                          d->LabelBLJB->text() + "|" + d->LabelSB->text() + "|" + d->ButtonRdHSB->text() + "|" +
                          d->ButtonPgmHSB->text() + "|" + d->windowTitle();
                  at = d->pos();
                  d->ButtonRdHSB->click();
                  afterRead = d->ComboBoxLockBits->currentText() + d->ComboBoxBLLB->currentText() +
                              d->ComboBoxBLJB->currentText() + d->ComboBoxSB->currentText();
                  d->ComboBoxLockBits->setCurrentIndex(2);
                  d->ComboBoxBLLB->setCurrentIndex(0);
                  d->ButtonPgmHSB->click();
              }),
              1);
    EXPECT_EQ(first, "LEVEL1-UUU1");
    EXPECT_EQ(texts.toStdString(),
              "&Option|Lock Bits HSB[2:0]|BLLB HSB[5]|BLJB HSB[6]|SB HSB[7]|&Read HSB|&Program HSB|Option");
    EXPECT_EQ(at, QPoint(ui.Left + 320, ui.Top + 100));
    EXPECT_EQ(afterRead, "LEVEL4-Pxx111");
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) Read ok!")) << LogText();
    EXPECT_EQ(HsbLockLevel128, 2);
    EXPECT_EQ(HsbBllb128, 0);
    // The HSB only clears bits: FAh AND DCh.
    EXPECT_EQ(chip->Hsb(), 0xFA & 0xDC);
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) Program ok!")) << LogText();
    EXPECT_EQ(SkipIdCheck, 0u);
    ExpectNoViolations();
}

// Program HSB on a part whose HSB does not take: the dialog's line is the
// error, not "ok", and the log shows what was written and read.
TEST_F(Rd2Dialog, ProgramHsbThatDoesNotTakeIsAnError) {
    sim::PageRd2Chip* chip = PutPart<sim::PageRd2Chip, sim::PageRd2Facts>("TEMIC", "T89C51RD2", nullptr);
    ASSERT_NE(chip, nullptr);
    chip->StickHsb();
    HsbLockLevel128 = 3;
    EXPECT_EQ(Option([](TOptT89C51RD21* d) { d->ButtonPgmHSB->click(); }), 1);
    EXPECT_EQ(chip->Hsb(), 0xFF);
    EXPECT_TRUE(HasLine("Hardware Security Byte(HSB) Program error!")) << LogText();
    EXPECT_TRUE(HasLine(" HSB written F8h, read back FFh.")) << LogText();
    EXPECT_FALSE(HasLine("Hardware Security Byte(HSB) Program ok!")) << LogText();
    EXPECT_EQ(SkipIdCheck, 0u);
}

} // namespace
