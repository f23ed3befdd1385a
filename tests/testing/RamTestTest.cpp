// The RAM test on every type of its list against the simulated RAMs: good
// parts, faults, an empty socket, no programmer and ESC, through the dialog.
#include <QKeyEvent>
#include <QTimer>
#include <QListWidget>
#include <algorithm>
#include <bit>
#include <functional>

#include "FormFixture.h"
#include "TesterFixture.h"
#include "engine/Bringup.h"
#include "engine/Port.h"
#include "sim/GangAdapter.h"
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
    const sim::RamTestBus* Bus() const { return simp.PersonalityAs<sim::RamTestBus>(); }
    static constexpr const char* kDramGood =
        "Good Memory! (row address lines, disturbance between rows and retention not tested)";
    // The good result of a row: a DRAM's march stays within its rows.
    static std::string Good(int row) { return RamTypeTable[row].Mode == 2 ? "Good Memory!" : kDramGood; }
    // A fresh part of `row` in the socket.
    sim::RamChip* Reseat(int row) {
        socket->Clear();
        electrical->WithdrawAllChips();
        return SeatRam(kRowPart[row]);
    }
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

// A good part passes with every one of its cells written, and no DRAM row
// left past its refresh period; then a bit stuck at its last cell fails.
TEST_P(RamTestRow, GoodPartPassesOverEveryCellAndItsLastCellIsTested) {
    const int row = GetParam();
    sim::RamChip* ram = SeatRam(kRowPart[row]);
    EXPECT_EQ(Test(row), Good(row));
    EXPECT_EQ(tones, std::vector<int>{1193182 / 1000});
    ASSERT_NE(Bus(), nullptr);
    EXPECT_EQ(RamTypeTable[row].Size, ram->Part().words);
    EXPECT_GT(Bus()->Locations(), RamTypeTable[row].Size);
    EXPECT_EQ(ram->CellsWritten(), ram->Part().words);
    EXPECT_EQ(ram->LostReads(), 0u);
    EXPECT_EQ(Violations(), "");
    EXPECT_TRUE(PoweredDown());
    EXPECT_EQ(ui.Progress.back(), 0); // cleared after the run

    const uint32_t last = ram->Part().words - 1;
    ram = Reseat(row);
    ram->StickBit(last, 0, row % 2);
    EXPECT_EQ(Test(row), "Defective Memory!");
    EXPECT_EQ(RamTestAddress, last);
    EXPECT_TRUE(PoweredDown());
}

INSTANTIATE_TEST_SUITE_P(EveryRow, RamTestRow, ::testing::Range(0, kRamTypeCount));

TEST_F(RamTest, FaultsEndTheTestAtOnce) {
    const struct {
        int row;
        uint32_t location;
        bool deadRow;
    } cases[] = {{4, 808, false}, {0, 300, false}, {9, 5000, true}, {6, 20000, false}};
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

// With a gang module on the programmer instead of its own socket, the RAM
// test's lines reach the module's first socket: the part there passes and
// the parts in sockets 2-4 are never written.
TEST_F(RamTest, GangModuleFirstSocketHoldsThePartTested) {
    simp.DetachComponent(socket);
    sim::GangAdapter* gang = sim::AddGangAdapter(simp);
    for (const int row : {0, 7}) {
        SCOPED_TRACE(kRowPart[row]);
        std::vector<sim::RamChip*> rams;
        for (int s = 0; s < 4; ++s) {
            socket = &gang->SocketAt(s);
            socket->Clear();
            rams.push_back(SeatRam(kRowPart[row]));
        }
        EXPECT_EQ(Test(row), Good(row));
        EXPECT_GT(rams[0]->Writes(), 0u);
        for (int s = 1; s < 4; ++s) EXPECT_EQ(rams[static_cast<size_t>(s)]->Writes(), 0u) << "socket " << s + 1;
        EXPECT_EQ(Violations(), "");
        EXPECT_TRUE(PoweredDown());
    }
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

namespace {

// A fault seated in the part of a row and the first test location that meets it.
struct RamFault {
    const char* what;
    int row;
    uint32_t location;
    void (*inject)(sim::RamChip& ram, uint32_t location);
};

void StuckLow0(sim::RamChip& r, uint32_t a) { r.StickBit(a, 0, 0); }
void StuckHigh0(sim::RamChip& r, uint32_t a) { r.StickBit(a, 0, 1); }
void StuckLow1(sim::RamChip& r, uint32_t a) { r.StickBit(a, 1, 0); }
void Open(sim::RamChip& r, uint32_t a) { r.OpenLocation(a); }
void Bit1RaisesBit0(sim::RamChip& r, uint32_t a) { r.CoupleBits(a, 1, a, 0); }

} // namespace

// Stuck, coupled and address faults on DRAM rows by 1 and by 4 and on an
// SRAM row. Each check of the two patterns has a fault that only it finds
// (the other pattern reads back right there), and every DRAM fault lies past
// the first row, where only the row step takes the test.
TEST_F(RamTest, EachPatternCheckAndTheRowStepHaveAFaultOnlyTheyFind) {
    const RamFault faults[] = {
        // By 1: the first check wants 1, the second 0; an open location reads high.
        {"by 1, stuck low: the check for 1", 0, 700, StuckLow0},
        {"by 1, stuck high: the check for 0", 0, 701, StuckHigh0},
        {"by 1, open location: the check for 0", 1, 1500, Open},
        // By 4: 5 then A.
        {"by 4, bit 0 stuck low: the check for 5", 5, 3000, StuckLow0},
        {"by 4, bit 1 stuck low: the check for A", 5, 3001, StuckLow1},
        {"by 4, bit 1 rising sets bit 0: the check for A", 5, 3002, Bit1RaisesBit0},
        {"by 4, open location", 6, 5000, Open},
        // By 8: 55h then AAh.
        {"by 8, bit 0 stuck low: the check for 55h", 9, 5000, StuckLow0},
        {"by 8, bit 0 stuck high: the check for AAh", 9, 5001, StuckHigh0},
        {"by 8, bit 1 rising sets bit 0: the check for AAh", 7, 1000, Bit1RaisesBit0},
        {"by 8, open location", 10, 70000, Open},
    };
    for (const RamFault& f : faults) {
        SCOPED_TRACE(f.what);
        socket->Clear();
        electrical->WithdrawAllChips();
        sim::RamChip* ram = SeatRam(kRowPart[f.row]);
        ASSERT_NE(ram, nullptr);
        f.inject(*ram, f.location);
        EXPECT_EQ(Test(f.row), "Defective Memory!");
        EXPECT_EQ(RamTestAddress, f.location);
        EXPECT_TRUE(PoweredDown());
        EXPECT_EQ(Violations(), "");
    }
}

// A row the tester refuses is said to be refused: no part was tested, so no
// part is called defective, and nothing reaches the programmer.
TEST_F(RamTest, ARefusedRowIsReportedAsARefusal) {
    SeatRam("61256");
    simp.ClearTrace();
    simp.EnableTrace(true);
    tones.clear();
    for (int row : {-1, kRamTypeCount}) {
        EXPECT_EQ(RunRamTest(row), kRamTestRefused);
        ReportRamTestResult(RunRamTest(row));
        EXPECT_EQ(ui.Log.back(), "This RAM type can not be tested!");
    }
    EXPECT_TRUE(simp.RegisterTrace().empty());
    EXPECT_EQ(tones, (std::vector<int>{1193182 / 10000, 1193182 / 10000}));
}

class RamTestRowFaults : public RamTestRow {};

// Faults between locations, which no write-and-read of one location finds:
// an address line tied low (two locations on one cell) and a location that
// loses its datum when the next is written. Every static RAM fails them;
// a DRAM fails those within a row (column address lines, its neighbour
// cell), and passes a row address line saying it was not tested.
TEST_P(RamTestRowFaults, AddressLinesTiedLowAndDisturbedCellsFail) {
    const int row = GetParam();
    const RamTypeEntry& e = RamTypeTable[row];
    for (const int bit : {3, 10}) {
        SCOPED_TRACE("address bit " + std::to_string(bit) + " tied low");
        sim::RamChip* ram = Reseat(row);
        ram->TieAddressLow(bit);
        const bool column = e.Mode == 2 || (1u << bit) < e.RowLength;
        if (column) {
            EXPECT_EQ(Test(row), "Defective Memory!");
            // Location 0 reads the pattern written last on its cell, at 1 << bit.
            EXPECT_EQ(RamTestAddress, 0u);
        } else {
            EXPECT_EQ(Test(row), Good(row));
        }
        EXPECT_TRUE(PoweredDown());
        EXPECT_EQ(Violations(), "");
    }
    SCOPED_TRACE("location 1000 lost when 1001 is written");
    sim::RamChip* ram = Reseat(row);
    ram->LoseOnWrite(1000, 1001);
    EXPECT_EQ(Test(row), "Defective Memory!");
    EXPECT_EQ(RamTestAddress, 1000u);
    EXPECT_EQ(ram->LostReads(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, RamTestRowFaults, ::testing::Range(0, kRamTypeCount));

namespace {

// Where a fault sits: the location the test must report and the lowest and
// highest locations it joins. The row-by-row DRAM march sees it only when
// one row holds them all, and never a cell's retention.
struct Placed {
    uint32_t reported, low, high;
    bool retention = false;
};

struct MarchFault {
    const char* what;
    Placed (*inject)(sim::RamChip& ram);
    // Run on the DRAMs of 256K locations and more too (each run there walks
    // the whole part in the per-location check first).
    bool onLargeDrams = false;
};

using Edge = sim::RamChip::Edge;
using Effect = sim::RamChip::Effect;

template <uint32_t A, uint32_t V, Edge E, Effect F> Placed Couple(sim::RamChip& r) {
    r.CoupleBits(A, 0, V, 0, E, F);
    return {V, std::min(A, V), std::max(A, V)};
}

// The top address bit's value, and its number.
uint32_t TopBit(const sim::RamChip& r) { return r.Part().words / 2; }
int TopLine(const sim::RamChip& r) { return std::countr_zero(TopBit(r)); }

// Disturbances with the victim above and below its aggressor, coupling of
// each kind both ways, address lines tied low and shorted (one pair within
// the first row, one in the top row address bits), stuck bits at the first,
// middle and last cell, and a DRAM cell holding its datum for a quarter of
// the refresh period.
const MarchFault kMarchFaults[] = {
    {"1001 lost when 1000 is written", [](sim::RamChip& r) { r.LoseOnWrite(1001, 1000); return Placed{1001, 1000, 1001}; },
     true},
    {"1000 lost when 1001 is written", [](sim::RamChip& r) { r.LoseOnWrite(1000, 1001); return Placed{1000, 1000, 1001}; }},
    {"10 lost when 3 is written", [](sim::RamChip& r) { r.LoseOnWrite(10, 3); return Placed{10, 3, 10}; }},
    {"the first cell of row 1 lost when row 0 is written",
     [](sim::RamChip& r) {
         const uint32_t row = r.Part().rowWords;
         r.LoseOnWrite(row, 0, row);
         return Placed{row, 0, row};
     }},
    {"1 rising sets 5", Couple<1, 5, Edge::Rise, Effect::Set>},
    {"1 rising clears 5", Couple<1, 5, Edge::Rise, Effect::Clear>},
    {"1 falling sets 5", Couple<1, 5, Edge::Fall, Effect::Set>},
    {"1 falling clears 5", Couple<1, 5, Edge::Fall, Effect::Clear>},
    {"1 rising flips 5", Couple<1, 5, Edge::Rise, Effect::Flip>},
    {"2 falling flips 9", Couple<2, 9, Edge::Fall, Effect::Flip>, true},
    {"100 rising sets 40", Couple<100, 40, Edge::Rise, Effect::Set>},
    {"100 rising clears 40", Couple<100, 40, Edge::Rise, Effect::Clear>},
    {"100 falling sets 40", Couple<100, 40, Edge::Fall, Effect::Set>},
    {"100 falling clears 40", Couple<100, 40, Edge::Fall, Effect::Clear>},
    {"100 falling flips 40", Couple<100, 40, Edge::Fall, Effect::Flip>},
    {"address line 3 tied low", [](sim::RamChip& r) { r.TieAddressLow(3); return Placed{0, 0, 8}; }},
    {"the top address line tied low",
     [](sim::RamChip& r) {
         r.TieAddressLow(TopLine(r));
         return Placed{0, 0, TopBit(r)};
     }},
    {"address lines 1 and 4 shorted", [](sim::RamChip& r) { r.ShortAddressLines(1, 4); return Placed{0, 0, 16}; }},
    {"the top two address lines shorted",
     [](sim::RamChip& r) {
         r.ShortAddressLines(TopLine(r), TopLine(r) - 1);
         return Placed{0, 0, TopBit(r)};
     }},
    {"the first cell's bit 0 stuck at 1", [](sim::RamChip& r) { r.StickBit(0, 0, 1); return Placed{0, 0, 0}; }, true},
    {"the middle cell's top bit stuck at 0",
     [](sim::RamChip& r) {
         r.StickBit(TopBit(r), r.Part().width - 1, 0);
         return Placed{TopBit(r), TopBit(r), TopBit(r)};
     },
     true},
    {"the last cell's bit 0 stuck at 0",
     [](sim::RamChip& r) {
         const uint32_t last = r.Part().words - 1;
         r.StickBit(last, 0, 0);
         return Placed{last, last, last};
     }},
    {"a cell of row 2 holding its datum a quarter of the refresh period",
     [](sim::RamChip& r) {
         r.WeakCell(2 * r.Part().rowWords + 5, r.Part().refreshMs * 1000 / 4);
         return Placed{0, 0, 0, true};
     }},
};

} // namespace

class RamTestMarchFaults : public RamTestRow {};

// Every fault of the table on every type: a static RAM fails each at the
// location it reaches; a DRAM fails each within one row, and passes the
// others all together with the line saying what was not tested. The DRAMs of
// 256K locations and more take a few (their good part's line is shown above).
TEST_P(RamTestMarchFaults, EachFaultIsFoundOrTheResultSaysItWasNotTested) {
    const int row = GetParam();
    const RamTypeEntry& e = RamTypeTable[row];
    const bool dram = e.Mode != 2;
    const bool large = dram && e.Size >= 262144;
    std::vector<const MarchFault*> untested;
    for (const MarchFault& f : kMarchFaults) {
        if (large && !f.onLargeDrams) continue;
        SCOPED_TRACE(f.what);
        sim::RamChip* ram = Reseat(row);
        const Placed p = f.inject(*ram);
        if (p.retention && !dram) continue; // a static cell holds its datum
        if (p.retention || (dram && p.low / e.RowLength != p.high / e.RowLength)) {
            untested.push_back(&f);
            continue;
        }
        EXPECT_EQ(Test(row), "Defective Memory!");
        EXPECT_EQ(RamTestAddress, p.reported);
        EXPECT_TRUE(PoweredDown());
        EXPECT_EQ(Violations(), "");
    }
    if (!dram || large) {
        EXPECT_TRUE(untested.empty());
        return;
    }
    std::string faults;
    sim::RamChip* ram = Reseat(row);
    for (const MarchFault* f : untested) {
        f->inject(*ram);
        faults += std::string(f->what) + "; ";
    }
    SCOPED_TRACE("untested together: " + faults);
    EXPECT_GE(untested.size(), 4u); // the row 1 victim, both top-line faults and the weak cell
    EXPECT_EQ(Test(row), kDramGood);
    EXPECT_EQ(ram->LostReads(), 0u);
    EXPECT_TRUE(PoweredDown());
}

INSTANTIATE_TEST_SUITE_P(EveryRow, RamTestMarchFaults, ::testing::Range(0, kRamTypeCount));

// The x4 DRAMs are tested over all their cells: stuck bits the tester once
// never reached.
TEST_F(RamTest, FourBitDramsFailStuckBitsAnywhere) {
    const struct {
        int row;
        uint32_t location;
    } cases[] = {{4, 100}, {4, 16000}, {5, 60000}, {6, 100000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(kRowPart[c.row]) + " at " + std::to_string(c.location));
        sim::RamChip* ram = Reseat(c.row);
        ram->StickBit(c.location, 2, 0);
        EXPECT_EQ(Test(c.row), "Defective Memory!");
        EXPECT_EQ(RamTestAddress, c.location);
    }
}

// The image reaches the part only while it is seated, powered and selected:
// a part taken out, switched off or deselected is no longer written or read
// (the bus floats high), and a part seated in its place takes the cycles.
TEST_F(RamTest, TheImageReachesOnlyASeatedPoweredSelectedPart) {
    sim::RamChip* first = Reseat(7);
    ASSERT_EQ(RunRamTest(7), 1); // the row's image loaded
    PowerUpRamTest(7);           // the 24-pin part's select raised
    WriteRegister(4, 3);
    WriteRegister(3, 0x5A);
    EXPECT_EQ(ReadRegister(3), 0x5A);
    WriteRegister(5, 0);
    EXPECT_EQ(ReadRegister(3), 0xFF) << "deselected";
    WriteRegister(5, 1);
    EXPECT_EQ(ReadRegister(3), 0x5A);

    const std::unique_ptr<sim::ChipModel> out = socket->Release(first);
    sim::RamChip* second = socket->Insert(std::make_unique<sim::RamChip>(first->Part()));
    const uint32_t before = first->Writes();
    WriteRegister(3, 0x33);
    EXPECT_EQ(first->Writes(), before) << "a part taken out";
    EXPECT_EQ(second->Read(0), 0x33);

    PowerDownRamTest(7);
    EXPECT_EQ(ReadRegister(3), 0xFF) << "switched off";
    ResetProgrammerOutputs();
}

// The DRAM model keeps a row only for its refresh period after the row's
// last cycle; the test keeps within it (no row lost above), and a march
// over the whole part, which does not, fails a good part.
TEST_F(RamTest, DramRowsLoseTheirDataPastTheRefreshPeriod) {
    const sim::RamPartFacts* f = sim::FindFacts<sim::RamPartFacts>("41256");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->refreshMs, 4u);
    sim::RamChip ram(*f);
    ram.Write(5, 1, 1000);
    ram.Write(700, 1, 2000); // another row: no refresh of row 0
    EXPECT_EQ(ram.Read(5, 1000 + 3999), 1);
    EXPECT_EQ(ram.Read(5, 1000 + 3999 + 4000), 1); // refreshed by the read before
    EXPECT_EQ(ram.LostReads(), 0u);
    EXPECT_EQ(ram.Read(5, 1000 + 3999 + 8001), 0);
    EXPECT_EQ(ram.LostReads(), 1u);
    ram.Write(5, 1, 20000);
    EXPECT_EQ(ram.Read(5, 20001), 1);
    EXPECT_EQ(ram.LostReads(), 1u);
    EXPECT_EQ(ram.Read(700, 2000 + 4000), 1);

    // A weak cell loses its datum sooner, its row's other cells keep theirs.
    sim::RamChip weak(*f);
    weak.WeakCell(5, 1000);
    weak.Write(5, 1, 0);
    weak.Write(6, 1, 0);
    EXPECT_EQ(weak.Read(5, 900), 1);
    EXPECT_EQ(weak.Read(5, 1950), 0);
    EXPECT_EQ(weak.Read(6, 1960), 1);

    // A static RAM keeps its data.
    sim::RamChip sram(*sim::FindFacts<sim::RamPartFacts>("6164"));
    sram.Write(5, 0x5A, 0);
    EXPECT_EQ(sram.Read(5, 10'000'000), 0x5A);

    // Writing the whole of a 4164 through the image, then reading it back.
    sim::RamChip* part = Reseat(0);
    ASSERT_EQ(RunRamTest(0), 1); // the image of the row loaded
    PowerUpRamTest(0);
    WriteRegister(4, 3);
    for (uint32_t a = 0; a < part->Part().words; ++a) {
        WriteRegister(3, 0);
        WriteRegister(6, 0);
        if (a % 256 == 255) WriteRegister(7, 0);
    }
    WriteRegister(4, 3);
    EXPECT_EQ(ReadRegister(3) & 1, 0) << "row 0 read back long past its refresh";
    EXPECT_GT(part->LostReads(), 0u);
    PowerDownRamTest(0);
    ResetProgrammerOutputs();
}

namespace {

// A fault of the RAM test's fault table, placed in a part of one type.
struct TableFault {
    std::string what;
    std::function<void(sim::RamChip&)> inject;
};

// The data bits and address bits of a row type's march: its width, and the
// address bits a decoder fault may join (a static RAM's whole address, a
// DRAM's columns within row 0).
struct Shape {
    int width;
    int bits;
    uint8_t mask;
    // The march's backgrounds over the address: the fold, and a group for
    // each `width` address bits but the top group's.
    int groups;
};

Shape ShapeOf(const RamTypeEntry& e) {
    const int width = e.Mode == 0 ? 1 : e.Mode == 1 ? 4 : 8;
    const uint32_t span = e.Mode == 2 ? e.Size : e.RowLength;
    const int bits = std::countr_zero(span);
    return {width, bits, static_cast<uint8_t>((1u << width) - 1), (bits + width - 1) / width};
}

// Every fault of the table that the type's width allows: decoder faults that
// write a second cell or send a location to another's cell, both ways, on
// pairs whose data are complements or alike on the fold background and on
// pairs that only one background tells apart (each group, and the top
// group that only the fold holds); every write with an address bit at one
// level also writing its partner; stuck-open cells; on parts by 4 and by 8
// every two shorted data lines and a bit of a word rising or falling and
// setting, clearing or flipping another bit of the word, for each word
// background the pair of bits that only it splits, both ways round.
// Every run of a DRAM of 256K locations and more walks the whole part in the
// per-location check first: those take the pairs and kinds that their
// backgrounds alone show (the solid one, their last group), the first row's
// last two columns, one line fault and one stuck-open cell.
std::vector<TableFault> FaultTable(const RamTypeEntry& e) {
    const Shape s = ShapeOf(e);
    const bool large = e.Mode != 2 && e.Size >= 262144;
    const uint32_t top = 1u << ((s.groups - 1) * s.width);
    const uint32_t alike = s.width == 1 ? 3u : s.width == 4 ? 0x11u : 0x101u; // fold 0
    struct Pair {
        std::string name;
        uint32_t a, b;
        // The kinds run on the DRAMs of 256K locations and more, a bit each:
        // 1 a's write also writes b, 2 b's also a, 4 a sent to b, 8 b to a.
        int onLarge = 0;
    };
    std::vector<Pair> pairs = {
        {"data complements on the fold", 0, s.mask, 1},
        {"50 and 51", 50, 51},
        {"data alike on the fold", 0, alike},
        {"the top group, told apart by the fold only", 0, top},
    };
    for (int g = 0; g + 1 < s.groups; ++g) {
        const uint32_t d = (1u << (g * s.width)) | top;
        pairs.push_back({"told apart by group " + std::to_string(g) + " only", 5, 5 ^ d, g + 2 == s.groups ? 14 : 0});
    }
    // By 1 the lower's data on the fold and the groups follow the higher's
    // one element behind: only the solid element shows its write.
    if (s.width == 1) pairs.push_back({"shown by the solid background only", 2, top + 1, 1});
    // The last two columns of a DRAM's first row; the last two locations of
    // the part (a DRAM's last row and column).
    if (e.Mode != 2) pairs.push_back({"the last two columns of row 0", (1u << s.bits) - 2, (1u << s.bits) - 1, 3});
    pairs.push_back({"the last two locations", e.Size - 2, e.Size - 1});
    std::vector<TableFault> faults;
    for (const auto& [name, a, b, onLarge] : pairs) {
        const int kinds = large ? onLarge : 15;
        const std::string at = " (" + name + ")", sa = std::to_string(a), sb = std::to_string(b);
        if (kinds & 1) faults.push_back({"write of " + sa + " also writes " + sb + at, [a, b](sim::RamChip& r) { r.AlsoWrite(a, b); }});
        if (kinds & 2) faults.push_back({"write of " + sb + " also writes " + sa + at, [a, b](sim::RamChip& r) { r.AlsoWrite(b, a); }});
        if (kinds & 4) faults.push_back({sa + " sent to " + sb + at, [a, b](sim::RamChip& r) { r.SendTo(a, b); }});
        if (kinds & 8) faults.push_back({sb + " sent to " + sa + at, [a, b](sim::RamChip& r) { r.SendTo(b, a); }});
    }
    for (const int bit : {0, 3, s.bits - 1}) {
        for (const int level : {0, 1}) {
            if (large && (bit != 0 || level != 0)) continue;
            faults.push_back({"every write with A" + std::to_string(bit) + " = " + std::to_string(level) +
                                  " also writes its partner",
                              [bit, level](sim::RamChip& r) { r.AlsoWriteAcross(bit, level); }});
        }
    }
    const uint32_t span = 1u << s.bits;
    for (const uint32_t at : {0u, span / 2 + 3, span - 1}) {
        if (large && at != span - 1) continue;
        faults.push_back({"stuck-open " + std::to_string(at), [at](sim::RamChip& r) { r.StuckOpen(at); }});
    }
    for (int i = 0; i < s.width; ++i) {
        for (int j = i + 1; j < s.width; ++j) {
            faults.push_back({"data lines " + std::to_string(i) + " and " + std::to_string(j) + " shorted",
                              [i, j](sim::RamChip& r) { r.ShortDataLines(i, j); }});
        }
    }
    // Within a word: at a location whose fold datum is 0, so no pair of its
    // bits is split there but by the word backgrounds.
    const auto within = [&faults](uint32_t at, int aggressor, Edge edge, Effect effect, int victim) {
        const std::string what = "bit " + std::to_string(aggressor) + (edge == Edge::Rise ? " rising" : " falling") +
                                 " at " + std::to_string(at) + " " +
                                 (effect == Effect::Set ? "sets" : effect == Effect::Clear ? "clears" : "flips") +
                                 " bit " + std::to_string(victim) + " of " + std::to_string(at);
        faults.push_back({what, [=](sim::RamChip& r) { r.CoupleBits(at, aggressor, at, victim, edge, effect); }});
    };
    for (int k = 1; k < s.width; k *= 2) {
        for (const auto& [aggressor, victim] : {std::pair{0, k}, std::pair{k, 0}}) {
            for (const Edge edge : {Edge::Rise, Edge::Fall}) {
                for (const Effect effect : {Effect::Set, Effect::Clear, Effect::Flip})
                    within(alike, aggressor, edge, effect, victim);
            }
        }
    }
    if (s.width > 1) within(77, 0, Edge::Rise, Effect::Set, 2);
    return faults;
}

} // namespace

class RamTestFaultTable : public RamTestRow {};

// Every fault of the table in a part of every type ends "Defective Memory!":
// each lies within what the march covers (a DRAM's faults within a row).
TEST_P(RamTestFaultTable, EveryFaultTheWidthAllowsEndsDefective) {
    const int row = GetParam();
    for (const TableFault& f : FaultTable(RamTypeTable[row])) {
        SCOPED_TRACE(std::string(kRowPart[row]) + ": " + f.what);
        f.inject(*Reseat(row));
        EXPECT_EQ(Test(row), "Defective Memory!");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRow, RamTestFaultTable, ::testing::Range(0, kRamTypeCount));
