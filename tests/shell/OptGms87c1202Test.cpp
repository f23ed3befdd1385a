// The GMS87C1202 option dialog offscreen, opened by the Options entry: the
// controls loaded from the option bytes last read or programmed, what leaving
// a control stores, the read and program buttons with their lines, the
// entry's result from the last program button.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "ShellTestSupport.h"
#include "mcu/OptGms87c1202.h"
#include "mcu/W78Fixture.h"

namespace {

class GmsOptionDialog : public W78Run {
  protected:
    void SetUp() override {
        EnsureApp();
        W78Run::SetUp();
        InstallGms87DialogLauncher(RunGms87Dialog);
    }
    void TearDown() override {
        InstallGms87DialogLauncher(nullptr);
        W78Run::TearDown();
    }
    int OpenGmsOptions(const std::function<void(TOptGms87C1202_*)>& act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<TOptGms87C1202_*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(d);
            }
        });
        poll.start(5);
        return AlgorithmRow(CurrentAlgorithm)->Options();
    }
};

TEST_F(GmsOptionDialog, ProgramButtonBurnsTheEditedIdAndReopensWithIt) {
    sim::Gms87OtpChip* chip = PutGms("GMS87C1202");
    QString texts;
    QPoint at;
    int maxLength = 0, oscillator = -1;
    EXPECT_EQ(OpenGmsOptions([&](TOptGms87C1202_* d) {
                  texts = d->windowTitle() + "|" + d->LabelOscillator->text() + "|" + d->LabelCodeProtect->text() + "|" +
                          d->LabelCustmerId->text() + "|" + d->ComboBoxOscillator->itemText(1) + "|" +
                          d->ComboBoxCodeProtect->itemText(1) + "|" + d->ButtonRead->text() + "|" +
                          d->ButtonProgram->text() + "|" + d->BitBtn1->text();
                  at = d->pos();
                  maxLength = d->EditCustmerId->maxLength();
                  oscillator = d->ComboBoxOscillator->currentIndex();
                  d->EditCustmerId->setText("ABC");
                  d->ComboBoxOscillator->setCurrentIndex(1);
                  d->Change();
                  d->ButtonProgram->click();
                  d->BitBtn1->click();
              }),
              1); // the last program button's result
    EXPECT_EQ(texts, "Option|&Oscillator|Co&de Protect|&Custmer ID|External RC Oscillator|Lock Code Read Out|"
                     "&Read Option Bits|&Program Option Bits|&Close");
    EXPECT_EQ(at, QPoint(ui.Left + 320, ui.Top + 100));
    EXPECT_EQ((std::pair{maxLength, oscillator}), (std::pair{10, 0}));
    EXPECT_TRUE(HasLine("Configuration Bits program ok!")) << LogText();
    EXPECT_EQ(chip->OptionByte(0), 'A');
    EXPECT_EQ(chip->OptionByte(10), 0x01);
    EXPECT_EQ(chip->PulsesAt(sim::Gms87OtpChip::OptionAddress(3)), 0u);

    // Reopened: the ID the chip holds; an edit not programmed is not kept.
    QString id, kept;
    EXPECT_EQ(OpenGmsOptions([&](TOptGms87C1202_* d) {
                  id = d->EditCustmerId->text();
                  d->EditCustmerId->setText("NOTBURNED");
                  d->Change();
                  d->close();
              }),
              1);
    EXPECT_EQ(OpenGmsOptions([&](TOptGms87C1202_* d) {
                  kept = d->EditCustmerId->text();
                  d->close();
              }),
              1);
    EXPECT_EQ(id, "ABC");
    EXPECT_EQ(kept, "ABC");
    ExpectNoViolations();
}

TEST_F(GmsOptionDialog, ReadButtonLoadsTheChipsOptionsAndAFailedProgramSaysSo) {
    sim::Gms87OtpChip* chip = PutGms("GMS87C1202-SOP28");
    const char id[] = "\xC9tiquette";
    for (uint32_t i = 0; i < 9; ++i) chip->SetCell(sim::Gms87OtpChip::OptionAddress(i), static_cast<uint8_t>(id[i]));
    chip->SetCell(sim::Gms87OtpChip::OptionAddress(10), 0x05);
    QString edit;
    int oscillator = -1, protect = -1;
    OpenGmsOptions([&](TOptGms87C1202_* d) {
        d->ButtonRead->click();
        edit = d->EditCustmerId->text();
        oscillator = d->ComboBoxOscillator->currentIndex();
        protect = d->ComboBoxCodeProtect->currentIndex();
        d->close();
    });
    EXPECT_EQ(edit, QString::fromUtf8("\xC3\x89tiquette"));
    EXPECT_EQ((std::pair{oscillator, protect}), (std::pair{1, 1}));
    ExpectLinesInOrder({"Custmer ID: \xC3\x89tiquette", "Oscillator: External RC Oscillator",
                        "Code Protect: Lock Code Read Out", "Configuration Bits read ok!"});
    ASSERT_FALSE(tones.empty());
    const std::pair<int, int> okTone = tones.back();

    chip->StickCell(sim::Gms87OtpChip::OptionAddress(9));
    EXPECT_EQ(OpenGmsOptions([&](TOptGms87C1202_* d) {
                  d->EditCustmerId->setText(QString::fromUtf8("\xC3\x89tiquettes"));
                  d->Change();
                  d->ButtonProgram->click();
                  d->close();
              }),
              -1);
    EXPECT_TRUE(HasLine("Configuration Bits program error!")) << LogText();
    EXPECT_NE(tones.back(), okTone);
    EXPECT_EQ(chip->PulsesAt(sim::Gms87OtpChip::OptionAddress(10)), 0u);
    ExpectNoViolations();
}

} // namespace
