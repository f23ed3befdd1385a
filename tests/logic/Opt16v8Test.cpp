// The PLD option dialog offscreen: its list, its flags and what OK stores.
#include <QApplication>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "FormChecks.h"
#include "engine/AlgorithmTable.h"
#include "logic/Opt16v8.h"
#include "sim/CycleRecordChip.h"
#include "sim/EditModeChip.h"
#include "tests/logic/PldFixture.h"

namespace {

QApplication* EnsureApp() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_logic";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

class OptRalTest : public PldRun {
protected:
    void SetUp() override {
        EnsureApp();
        PldRun::SetUp();
        InstallOptRalDialog();
        ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    }
    void TearDown() override {
        ShowOptRalDialogHook = nullptr;
        PldRun::TearDown();
    }
    // Runs an Options entry; `act` gets the modal dialog once it is shown.
    int RunOptions(int (*entry)(), std::function<void(TOptRal*)> act) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<TOptRal*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(d);
            }
        });
        poll.start(5);
        return entry();
    }
    static QStringList Items(const TOptRal* d) {
        QStringList l;
        for (int i = 0; i < d->ListBoxDev->count(); ++i) l << d->ListBoxDev->item(i)->text();
        return l;
    }
};

TEST_F(OptRalTest, TwentyPinListAtTheCurrentIndexAndOkOn14L8) {
    PalEmulationIndex = 5;
    QPoint at;
    QStringList items;
    int row = -1, height = 0;
    bool sleepShown = true;
    const int result = RunOptions(Alg208Options, [&](TOptRal* d) {
        at = d->pos();
        items = Items(d);
        row = d->ListBoxDev->currentRow();
        height = d->ListBoxDev->height() * 175 / d->height();
        sleepShown = !d->RadioGroupSleepMode->isHidden();
        d->ListBoxDev->setCurrentRow(2);
        d->BitBtnOk->click();
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(at, QPoint(ui.Left + 220, ui.Top + 40));
    ASSERT_EQ(items.size(), 22);
    EXPECT_EQ(items.front(), "20V8");
    EXPECT_EQ(items[2], "14L8");
    EXPECT_EQ(items.back(), "20RP8");
    EXPECT_EQ(row, 5);
    EXPECT_NEAR(height, 162, 2);
    EXPECT_FALSE(sleepShown);
    EXPECT_EQ(PalEmulationIndex, 2);
    EXPECT_EQ(DeviceSize, 560u);
    EXPECT_EQ(FuseRowLength, 28u);
    // The image, its checksum and a save all take the new count.
    EXPECT_EQ(BufferEnd, 560u / 8);
    const std::string saved = FormatJedecText(nullptr, 0);
    EXPECT_NE(saved.find("QF560*"), std::string::npos);
    EXPECT_NE(saved.find("L00532 "), std::string::npos);
    EXPECT_EQ(saved.find("L00560 "), std::string::npos);
    EXPECT_EQ(ReadJedecChecksumField(saved), ComputeBufferChecksum(0, 560 / 8) & 0xFFFF);
    EXPECT_GT(ui.Refreshes, 0);
}

TEST_F(OptRalTest, SleepGroupOnlyForTheSleepModeEntry) {
    struct Case {
        int (*entry)();
        bool sleep;
        int height;
        const char* first;
    };
    const Case cases[] = {{Alg243Options, true, 108, "16V8"}, {Alg207Options, false, 162, "16V8"},
                          {Alg208Options, false, 162, "20V8"}};
    for (const Case& c : cases) {
        bool sleep = false;
        int height = 0, sleepIndex = -1;
        QString first;
        RunOptions(c.entry, [&](TOptRal* d) {
            sleep = !d->RadioGroupSleepMode->isHidden();
            sleepIndex = d->SleepModeIndex();
            // The list's height in the form's reference height of 175.
            height = d->ListBoxDev->height() * 175 / d->height();
            first = d->ListBoxDev->item(0)->text();
            d->BitBtn2->click();
        });
        EXPECT_EQ(sleep, c.sleep);
        EXPECT_NEAR(height, c.height, 2);
        EXPECT_EQ(first, c.first);
        EXPECT_EQ(sleepIndex, 0);
    }
}

TEST_F(OptRalTest, DoubleClickIsOkAndCancelChangesNothing) {
    OptRalUse20V8List = 0;
    OptRalShowSleepMode = 0;
    {
        TOptRal d;
        d.ListBoxDev->setCurrentRow(8);
        EXPECT_EQ(d.result(), 0);
        emit d.ListBoxDev->itemDoubleClicked(d.ListBoxDev->item(8));
        EXPECT_EQ(d.result(), QDialog::Accepted);
    }
    EXPECT_EQ(PalEmulationIndex, 8);
    EXPECT_EQ(DeviceSize, 448u); // 14L4
    EXPECT_EQ(FuseRowLength, 28u);

    const int result = RunOptions(Alg207Options, [](TOptRal* d) {
        d->ListBoxDev->setCurrentRow(1);
        d->BitBtn2->click();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(PalEmulationIndex, 8);
    EXPECT_EQ(DeviceSize, 448u);
}

TEST_F(OptRalTest, IndexZeroRestoresTheGalAndASelectionResetsTheChoice) {
    for (int set = 0; set < 2; ++set) {
        ApplyPalEmulationChoice(4, set);
        ApplyPalEmulationChoice(0, set);
        EXPECT_EQ(DeviceSize, set == 0 ? 2194u : 2706u);
        EXPECT_EQ(FuseRowLength, set == 0 ? 32u : 40u);
    }
    ApplyPalEmulationChoice(99, 0); // outside the list: nothing
    EXPECT_EQ(PalEmulationIndex, 0);

    ApplyPalEmulationChoice(3, 0);
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    EXPECT_EQ(PalEmulationIndex, 0);
    EXPECT_EQ(DeviceSize, 2194u);
}

// The cycle-record rows' own Options entries: the dialog shows the row's
// list, and the type picked there is programmed, verified and read back.
TEST_F(OptRalTest, CycleRecordRowsProgramThePickedPalType) {
    struct Case {
        const char* name;
        uint32_t row;
        const char* first;
        int pick, set;
    };
    for (const Case c : {Case{"PALCE16V8", 235, "16V8", 3, 0}, Case{"PALCE20V8", 236, "20V8", 6, 1}}) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SelectPld("CYPRESS", c.name));
        sim::CycleRecordChip* chip = SeatAlone<sim::CycleRecordChip>(*sim::FindFacts<sim::CycleRecordFacts>("CYPRESS", c.name));
        QString first;
        const int result = RunOptions(AlgorithmRow(c.row)->Options, [&](TOptRal* d) {
            first = d->ListBoxDev->item(0)->text();
            d->ListBoxDev->setCurrentRow(c.pick);
            d->BitBtnOk->click();
        });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(first, c.first);
        ASSERT_EQ(DeviceSize, PalEmulationGeometry[c.set][c.pick].Fuses);
        const std::vector<uint8_t> fuses = Pattern(DeviceSize, c.row);
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        EXPECT_FALSE(chip->FusesBlank());
        ClearUserMap(DeviceSize);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(DeviceSize), fuses);
        ExpectNoViolations();
    }
}

// The edit-mode rows 207 and 208: the dialog of each row's Options entry
// shows its list (16V8, 20V8), and the type picked there is programmed,
// verified and read back through the device image.
TEST_F(OptRalTest, EditModeRowsProgramThePickedPalType) {
    struct Case {
        const char* name;
        uint32_t row;
        const char* first;
        int pick, set;
    };
    for (const Case c : {Case{"PALCE16V8", 207, "16V8", 5, 0}, Case{"PALCE20V8", 208, "20V8", 9, 1}}) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SelectPld("AMD", c.name));
        sim::EditModeChip* chip = SeatAlone<sim::EditModeChip>(*sim::FindFacts<sim::EditModeFacts>("AMD", c.name));
        QString first;
        const int result = RunOptions(AlgorithmRow(c.row)->Options, [&](TOptRal* d) {
            first = d->ListBoxDev->item(0)->text();
            d->ListBoxDev->setCurrentRow(c.pick);
            d->BitBtnOk->click();
        });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(first, c.first);
        ASSERT_EQ(DeviceSize, PalEmulationGeometry[c.set][c.pick].Fuses);
        const std::vector<uint8_t> fuses = Pattern(DeviceSize, c.row);
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        EXPECT_FALSE(chip->Blank());
        ClearUserMap(DeviceSize);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(DeviceSize), fuses);
        ExpectNoViolations();
    }
}

} // namespace

namespace {

// The PAL emulation dialog in its font at any application font: the list,
// the buttons beside it and the sleep-mode group under it, all whole.
TEST_F(OptRalTest, ListButtonsAndSleepGroupShowWhole) {
    for (int sleep : {0, 1}) {
        SCOPED_TRACE(sleep);
        OptRalShowSleepMode = sleep;
        FontSizes([sleep] {
            TOptRal d;
            d.show();
            QApplication::processEvents();
            ExpectNothingClipped(&d);
            ExpectLeftOf(d.ListBoxDev, d.BitBtnOk);
            ExpectAbove(d.BitBtnOk, d.BitBtn2);
            if (sleep) ExpectAbove(d.ListBoxDev, d.RadioGroupSleepMode);
        });
    }
    OptRalShowSleepMode = 0;
}

} // namespace
