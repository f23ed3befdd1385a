// The RAM test on every type of its list against the simulated RAMs: good
// parts, faults, an empty socket, no programmer and ESC, through the dialog.
#include <QKeyEvent>
#include <QTimer>
#include <QListWidget>

#include "FormFixture.h"
#include "TesterFixture.h"
#include "testing/RamTester.h"
#include "testing/Ramtest.h"

namespace {

// The part of each row of the list, by its type name.
const char* const kRowPart[kRamTypeCount] = {"4164", "41256", "41000", "44000", "41416", "41464",
                                             "414256", "6116", "6164", "61256", "610000"};

class RamTest : public TesterFixture {
protected:
    std::unique_ptr<TRamTest1> dialog;
    void SetUp() override {
        TesterFixture::SetUp();
        EnsureApp();
        dialog = std::make_unique<TRamTest1>();
    }
    void TearDown() override {
        dialog.reset();
        TesterFixture::TearDown();
    }
    // Test of list row `row` through the dialog: the log line it wrote.
    std::string Test(int row) {
        dialog->ListBox1->setCurrentRow(row);
        const size_t lines = ui.Log.size();
        tones.clear();
        dialog->ButtonTestClick();
        return ui.Log.size() > lines ? ui.Log.back() : std::string();
    }
    const sim::RamTestBus* Bus() const { return dynamic_cast<const sim::RamTestBus*>(simp.Personality()); }
    bool PoweredDown() const { return electrical->SuppliedPins().empty() && electrical->GroundedPins().empty(); }
};

} // namespace

TEST_F(RamTest, ListHoldsTheElevenTypes) {
    ASSERT_EQ(dialog->ListBox1->count(), kRamTypeCount);
    EXPECT_EQ(dialog->ListBox1->item(0)->text(), "DRAM4164(64K*1)");
    EXPECT_EQ(dialog->ListBox1->item(10)->text(), "SRAM610000(128K*8)");
    EXPECT_EQ(dialog->ListBox1->currentRow(), 0);
    EXPECT_EQ(dialog->windowTitle(), "RAM Test");
}

// One run per row, so the shards of the suite share them (rows 2 and 3 walk
// 1M and 4M locations).
class RamTestRow : public RamTest, public ::testing::WithParamInterface<int> {};

TEST_P(RamTestRow, GoodPartPassesAfterExactlyItsLocations) {
    const int row = GetParam();
    sim::RamChip* ram = SeatRam(kRowPart[row]);
    EXPECT_EQ(Test(row), "Good Memory!");
    EXPECT_EQ(tones, std::vector<int>{1193182 / 1000});
    ASSERT_NE(Bus(), nullptr);
    EXPECT_EQ(Bus()->Locations(), RamTypeTable[row].Size);
    EXPECT_GT(ram->Writes(), 0u);
    EXPECT_EQ(Violations(), "");
    EXPECT_TRUE(PoweredDown());
    EXPECT_EQ(ui.Progress.back(), 0); // cleared after the run
}

INSTANTIATE_TEST_SUITE_P(EveryRow, RamTestRow, ::testing::Range(0, kRamTypeCount));

TEST_F(RamTest, FaultsEndTheTestAtOnce) {
    const struct {
        int row;
        uint32_t location;
        bool deadRow;
    } cases[] = {{4, 1000, false}, {0, 300, false}, {9, 5000, true}, {6, 20000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(kRowPart[c.row]);
        socket->Clear();
        electrical->WithdrawAllChips();
        sim::RamChip* ram = SeatRam(kRowPart[c.row]);
        if (c.deadRow) {
            ram->KillRow(c.location / ram->Part().rowWords);
        } else {
            ram->StickBit(c.location, 0, 1);
        }
        EXPECT_EQ(Test(c.row), "Defective Memory!");
        EXPECT_EQ(tones, std::vector<int>{1193182 / 10000});
        const uint32_t first = c.deadRow ? c.location / ram->Part().rowWords * ram->Part().rowWords : c.location;
        EXPECT_EQ(RamTestAddress, first);
        EXPECT_TRUE(PoweredDown());
        EXPECT_EQ(Violations(), "");
    }
}

TEST_F(RamTest, EmptySocketNoProgrammerAndUserBreak) {
    // Empty: reported on the test image, before the RAM image or any supply.
    EXPECT_EQ(Test(9), "Socket is empty!");
    EXPECT_EQ(LoadedLogicImage, static_cast<int32_t>(kLibraryTestImage));
    EXPECT_EQ(simp.Personality()->Id(), sim::kPersonalityTest);
    EXPECT_EQ(electrical->DacMillivolts(3), 0);
    EXPECT_EQ(tones, std::vector<int>{1193182 / 10000});
    EXPECT_EQ(Violations(), "");

    // ESC at a progress step stops the test with a user break.
    SeatRam("61256");
    QTimer::singleShot(0, [this] {
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &esc);
    });
    EXPECT_EQ(Test(9), "User Break!");
    EXPECT_LT(RamTestAddress, RamTypeTable[9].Size);
    EXPECT_TRUE(PoweredDown());
    EXPECT_EQ(UserBreak.load(), 0);

    simp.StopAnswering(true);
    EXPECT_EQ(RunRamTest(9), 99);
    EXPECT_EQ(Test(9), "Can not be executed with Communication Error!");
    EXPECT_EQ(tones, std::vector<int>{1193182 / 10000});
}

TEST_F(RamTest, EveryRowPowersItsPartOnDistinctSupplyAndGroundPins) {
    // The 1M*1 row as first tabled: its supply pin grounded too.
    RamTypeEntry shorted = RamTypeTable[2];
    shorted.GndPin = shorted.VccPin;
    EXPECT_FALSE(RamTypePowerable(shorted));
    for (int row = 0; row < kRamTypeCount; ++row) {
        SCOPED_TRACE(kRowPart[row]);
        const sim::RamPartFacts* f = sim::FindFacts<sim::RamPartFacts>(kRowPart[row]);
        ASSERT_NE(f, nullptr);
        const int shift = (48 - f->pinCount) / 2;
        EXPECT_TRUE(RamTypePowerable(RamTypeTable[row]));
        EXPECT_EQ(RamTypeTable[row].VccPin, f->vccPin + shift);
        EXPECT_EQ(RamTypeTable[row].GndPin, f->vssPin + shift);
    }
}
