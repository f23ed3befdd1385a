// The special-register dialog offscreen, opened by the Options entry: the
// register read first, the combos each variant shows, their preselection from
// the chip, what leaving a combo stores, and its place.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "ShellTestSupport.h"
#include "mcu/OptW78E5x.h"
#include "mcu/W78Fixture.h"

namespace {

class W78Dialog : public W78Run {
  protected:
    void SetUp() override {
        EnsureApp();
        W78Run::SetUp();
        InstallW78E5xDialogLauncher(RunW78E5xDialog);
    }
    void TearDown() override {
        InstallW78E5xDialogLauncher(nullptr);
        W78Run::TearDown();
    }
    int Option(const std::function<void(TOptW78E5x1*)>& act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<TOptW78E5x1*>(QApplication::activeModalWidget())) {
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
        EXPECT_EQ(Option([&](TOptW78E5x1* d) {
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

} // namespace
