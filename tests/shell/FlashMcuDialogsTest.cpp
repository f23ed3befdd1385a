// The option dialogs of the W78E5x, SST89 and 87C76x rows offscreen, opened by the
// Options entry: the special-register read first, the controls each variant
// shows, their preselection, what leaving, closing and the buttons store.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <functional>

#include "ShellTestSupport.h"
#include "mcu/Opt87C76x.h"
#include "mcu/Opt89csst.h"
#include "mcu/OptW78E5x.h"
#include "mcu/W78Fixture.h"

namespace {

class W78Dialog : public W78Run {
  protected:
    void SetUp() override {
        EnsureApp();
        W78Run::SetUp();
        InstallW78E5xDialogLauncher(RunW78E5xDialog);
        InstallSst89DialogLauncher(RunSst89Dialog);
        Install87C76xDialogLauncher(Run87C76xDialog);
    }
    void TearDown() override {
        InstallW78E5xDialogLauncher(nullptr);
        InstallSst89DialogLauncher(nullptr);
        Install87C76xDialogLauncher(nullptr);
        W78Run::TearDown();
    }
    template <class Dialog> int Option(const std::function<void(Dialog*)>& act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(d);
            }
        });
        poll.start(5);
        return AlgorithmRow(CurrentAlgorithm)->Options();
    }
};

TEST_F(W78Dialog, CombosByVariantPreselectedFromTheChip) {
    struct Case {
        const char* name;
        bool mov, encryption, osc;
    };
    const Case cases[] = {
        {"W78E51", true, false, false}, {"W78E54", true, true, true}, {"W78E52", true, true, false},
        {"W78E58", true, false, false}, // row 122 shows by variant too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetW78E5xState();
        sim::W78FlashChip* chip = Put(c.name);
        chip->SetSpecialRegister(0x79); // every option enabled on the chip
        bool shown[3] = {};
        int index[3] = {-1, -1, -1};
        QString texts;
        QPoint at;
        EXPECT_EQ(Option<TOptW78E5x1>([&](TOptW78E5x1* d) {
                      QComboBox* combos[3] = {d->ComboBoxMovExecute, d->ComboBoxEncryption, d->ComboBoxOscControl};
                      for (int i = 0; i < 3; ++i) {
                          shown[i] = combos[i]->isVisible();
                          index[i] = combos[i]->currentIndex();
                      }
                      texts = d->LabelMovExecute->text() + d->LabelEncryption->text() + d->LabelOscControl->text() +
                              d->ComboBoxOscControl->itemText(1) + d->windowTitle();
                      at = d->pos();
                      d->ComboBoxMovExecute->setCurrentIndex(0);
                      d->Change();
                      d->BitBtn1->click();
                  }),
                  1);
        EXPECT_TRUE(HasLine(" Special Registers Read ok!")) << LogText();
        EXPECT_EQ((std::vector<bool>{shown[0], shown[1], shown[2]}), (std::vector<bool>{c.mov, c.encryption, c.osc}));
        for (int i = 0; i < 3; ++i) {
            if (shown[i]) {
                EXPECT_EQ(index[i], 1) << i; // read from the chip
            }
        }
        EXPECT_EQ(texts, "&MOV execute&Encryption&Osc Control1/2 gain Option");
        EXPECT_EQ(at, QPoint(ui.Left + 320, ui.Top + 100));
        EXPECT_EQ(SpecialRegisterMovExecute, 0); // the combo left stores
        EXPECT_EQ(SkipIdCheck, 0u);
    }
}

TEST_F(W78Dialog, ControlsByVariantCloseStoresOtherClosesKeep) {
    struct Case {
        const char* name;
        bool close; // by "&Close"
        int protect, sfst; // stored
    };
    const Case cases[] = {{"SST89C54", true, 2, 3}, {"SST89C54", false, 0, 6}, {"SST89E564", true, 2, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetSst89State();
        PutSst(c.name);
        bool radio = false, panel = false, remap = false;
        EXPECT_EQ(Option<TOpt89CSST1>([&](TOpt89CSST1* d) {
            radio = d->RadioGroupOpt->isVisible();
            panel = d->Panel1->isVisible();
            remap = d->BitBtn1->isVisible();
            d->RadioGroupOpt->findChildren<QRadioButton*>().at(2)->setChecked(true);
            d->ComboBoxSFST->setCurrentIndex(3);
            c.close ? d->BitBtnClose->click() : (void)d->close();
        }), 1);
        const bool v1 = DeviceVariant == 1;
        EXPECT_EQ(radio, !v1);
        EXPECT_EQ(panel, v1);
        EXPECT_EQ(remap, v1);
        EXPECT_EQ(ProtectOption, c.protect);
        EXPECT_EQ(SfstOption, c.sfst);
    }
    // "11" chosen and programmed at once.
    sim::Sst89Chip* chip = PutSst("SST89E564");
    EXPECT_EQ(Option<TOpt89CSST1>([&](TOpt89CSST1* d) {
        d->ComboBoxRB->setCurrentIndex(3);
        d->BitBtn1->click();
        d->close();
    }), 1);
    EXPECT_EQ(RemapOption, 3);
    EXPECT_EQ(chip->Remap(), 3u);
    EXPECT_TRUE(HasLine("Re-Map Program ok!")) << LogText();
}

// 87C76x: the combos from the buffer's option bytes, closing encodes the
// choices, the program button encodes and burns them, the read button loads
// the chip's.
TEST_F(W78Dialog, OptionBitsFromBufferCloseEncodesButtonsProgramAndRead) {
    sim::Otp87C76xChip* chip = PutOtp("87LPC764");
    BufferWindow[0xFD00] = 0x47; // reset pin off, external clock
    BufferWindow[0xFD01] = 0xFF;
    int osc = -1, reset = -1, security = -1;
    QString texts;
    EXPECT_EQ(Option<TOpt87c76x_>([&](TOpt87c76x_* d) {
        osc = d->ComboBoxOscillatorControl->currentIndex();
        reset = d->ComboBoxResetPin->currentIndex();
        security = d->ComboBoxSecurityBits->currentIndex();
        texts = d->LabelClockRateSelect->text() + d->ComboBoxClockRateSelect->itemText(1) +
                d->ComboBoxOscillatorControl->itemText(0) + d->windowTitle();
        d->ComboBoxWatchDogTimer->setCurrentIndex(1);
        d->ComboBoxSecurityBits->setCurrentIndex(1);
        d->ComboBoxExit();
        d->ButtonProgramOptionBits->click();
        d->ComboBoxOscillatorControl->setCurrentIndex(1);
        d->ComboBoxExit();
        d->BitBtn1->click();
    }), 1);
    EXPECT_EQ((std::vector<int>{osc, reset, security}), (std::vector<int>{4, 1, 2}));
    EXPECT_EQ(texts, "&Clock Rate SelectEnable divide byt 1 of clock8MHz to 20MHz external Crystall/ResonatorOption");
    EXPECT_TRUE(HasLine("Configration bit(s) program ok!")) << LogText();
    EXPECT_EQ(chip->At(0xFD00), 0xC7);
    EXPECT_EQ(chip->At(0xFD01), 0xBF);
    EXPECT_EQ(BufferWindow[0xFD00], 0xC1); // closing encoded the later choice
    FillBufferRange(0xFD00, 0xFD01, 0);
    EXPECT_EQ(Option<TOpt87c76x_>([&](TOpt87c76x_* d) {
        d->ButtonReadOptionBits->click();
        osc = d->ComboBoxOscillatorControl->currentIndex();
        d->close();
    }), 1);
    EXPECT_EQ(osc, 4);
    EXPECT_TRUE(HasLine("Configration bit(s) read ok!")) << LogText();
    EXPECT_EQ(BufferWindow[0xFD00], 0xC7);
}

} // namespace
