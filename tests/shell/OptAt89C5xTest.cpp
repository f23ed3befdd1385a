// The lock-level dialog offscreen, opened by the selected row's Options
// entry as the Option command does: its items by row, what Close, ESC and
// the title-bar close store, and its place.
#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ShellTestSupport.h"
#include "mcu/McuFixture.h"
#include "mcu/McuFrame.h"
#include "mcu/OptAt89C5x.h"

namespace {

class LockLevelDialog : public McuRun {
  protected:
    void SetUp() override {
        EnsureApp();
        McuRun::SetUp();
        InstallLockLevelDialogLauncher(RunLockLevelDialog);
    }
    void TearDown() override {
        InstallLockLevelDialogLauncher(nullptr);
        McuRun::TearDown();
    }
    // Runs the selected row's Options entry; `act` gets the dialog once shown.
    int Option(const std::function<void(TOptAT89C5x1*)>& act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<TOptAT89C5x1*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(d);
            }
        });
        poll.start(5);
        return AlgorithmRow(CurrentAlgorithm)->Options();
    }
    static QStringList Items(const TOptAT89C5x1* d) {
        QStringList l;
        for (auto* b : d->RadioGroupOpt->findChildren<QRadioButton*>()) l << b->text();
        return l;
    }
    static void Check(TOptAT89C5x1* d, int item) {
        d->RadioGroupOpt->findChildren<QRadioButton*>().at(item)->setChecked(true);
    }
};

TEST_F(LockLevelDialog, ItemsAndTheSettingByRow) {
    struct Case {
        const char* maker;
        const char* name;
        int items;
        const char* preselected;
        int* edited;
        int* untouched;
    };
    const Case cases[] = {
        {"ATMEL", "AT89C2051", 2, "Lock Bit 1,2", &LockBitLevel106, &LockBitLevel},
        {"ATMEL", "AT89C52", 3, "Lock Bit 1,2,3", &LockBitLevel, &LockBitLevel106},
        {"ATMEL", "AT89C51RC", 3, "Lock Bit 1,2,3", &LockBitLevel, &LockBitLevel106},
        {"GENERIC-ALGORITHM", "8051P1-44", 3, "Lock Bit 1,2,3", &LockBitLevel, &LockBitLevel106},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetMcuFrameState(); // a fresh start
        ASSERT_TRUE(Select(c.maker, c.name));
        QStringList items;
        QString checked;
        QPoint at;
        const int before = *c.untouched;
        EXPECT_EQ(Option([&](TOptAT89C5x1* d) {
                      items = Items(d);
                      checked = d->RadioGroupOpt->findChildren<QRadioButton*>().at(d->ItemIndex())->text();
                      at = d->pos();
                      Check(d, 0);
                      d->BitBtnClose->click();
                  }),
                  1);
        EXPECT_EQ(items.size(), c.items);
        EXPECT_EQ(items.mid(0, 2), (QStringList{"Lock Bit 1", "Lock Bit 1,2"}));
        EXPECT_EQ(checked, c.preselected);
        EXPECT_EQ(at, QPoint(ui.Left + 320, ui.Top + 100));
        EXPECT_EQ(*c.edited, 0);
        EXPECT_EQ(*c.untouched, before);
    }
}

TEST_F(LockLevelDialog, CloseAndEscStoreTheTitleBarCloseDoesNot) {
    ASSERT_TRUE(Select("ATMEL", "AT89C52"));
    struct Case {
        const char* how;
        int item;
        int stored;
    };
    for (const Case c :
         {Case{"close", 0, 0}, Case{"esc", 1, 1}, Case{"titlebar", 2, 1}, Case{"untouched", -1, 1}}) {
        SCOPED_TRACE(c.how);
        Option([&](TOptAT89C5x1* d) {
            if (c.item >= 0) Check(d, c.item);
            const std::string how = c.how;
            if (how == "close" || how == "untouched") {
                d->BitBtnClose->click();
            } else if (how == "esc") {
                QTest::keyClick(d, Qt::Key_Escape);
            } else {
                d->close();
            }
        });
        EXPECT_EQ(LockBitLevel, c.stored);
        EXPECT_EQ(LockBitLevel106, 1);
    }
}

} // namespace
