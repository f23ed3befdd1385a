// Rows 40, 41, 52 and 55 on their simulated parts: the block protection
// dialog per maker (opening line, questions, what the chip reads back), the
// lockout against program unless the override pin has 12 V, the seven-read
// protection around a program, and the sector protection of rows 52 and 55
// through the sector protection dialog, with the refusals.
#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "FlashFixture.h"
#include "OffscreenApp.h"
#include "dialogs/RadioGroup.h"
#include "memory/JedecFlash.h"
#include "memory/LockoutFlash.h"
#include "memory/Opt49f010.h"
#include "memory/OptSecProt.h"
#include "memory/SectorLayout.h"

namespace {

// The highest voltage every socket pin reached.
struct PeakPins : sim::SimComponent {
    sim::Electrical* elec = nullptr;
    int peak[49] = {};
    bool OnWrite(sim::SimProgrammer&, uint8_t, uint8_t) override { return Sample(); }
    bool OnLatchBit(sim::SimProgrammer&, uint8_t, uint8_t, bool) override { return Sample(); }
    bool Sample() {
        for (int p = 1; p <= 48; ++p) peak[p] = std::max(peak[p], elec->Pin(p).Tenths());
        return false;
    }
};

class Lockout : public FlashRun {
protected:
    sim::SeatedFlash part;
    void SetUp() override {
        App();
        FlashRun::SetUp();
        InstallOpt49fxxDialog();
        ProtectOverride = 0;
    }
    void TearDown() override {
        ProtectOverride = 0; // it lasts for the program's life
        FlashRun::TearDown();
    }
    void Use(const char* maker, const char* name) {
        ASSERT_TRUE(Select(maker, name)) << name;
        part = SeatPart(maker, name);
        EXPECT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
        runStart_ = ui.Log.size();
    }
    // Programs the 16 data at the start (or the end) of the chip: the boot block.
    int ProgramBootBlock(bool top) {
        FillData(5);
        DeviceStart = top ? DeviceSize - 16 : 0;
        DeviceEnd = DeviceStart + 15;
        return Run(OpProgram);
    }
    bool LastToneOk() const { return !tones.empty() && tones.back().first == 1193; }
};

struct DialogCase {
    const char* maker;
    const char* name;
    const char* opening;
    int box;                            // the group box shown: 1, 2 or 3
    QPushButton* TOpt49fxx::*button;
    const char* question;               // nullptr: none
    const char* after;                  // the line read back after the action
    bool top;                           // the boot block at the top
};
constexpr const char* kLockoutQ = "This Boot Block Lockout feature\nis One-time Programmable.\nAre you sure?";
constexpr const char* kBlockQ = "This Block Lockout feature\nis One-time Programmable.\nAre you sure?";
const DialogCase kDialogs[] = {
    {"ATMEL", "AT49F002", "Boot block lockout disabled.", 1, &TOpt49fxx::ButtonActivate, kLockoutQ,
     "Boot block lockout enabled.", false},
    {"ATMEL", "AT49F002T", "Boot block lockout disabled.", 1, &TOpt49fxx::ButtonActivate, kLockoutQ,
     "Boot block lockout enabled.", true},
    {"ATMEL", "AT49F1024", "Boot block lockout disabled.", 1, &TOpt49fxx::ButtonActivate, kLockoutQ,
     "Boot block lockout enabled.", false},
    {"PMC", "Pm29F002T", "Boot block lockout disabled.", 3, &TOpt49fxx::ButtonEnableBootBlockLockout, nullptr,
     "Boot block lockout enabled.", true},
    {"SST", "SST29SF040", "Block protection disabled.", 2, &TOpt49fxx::ButtonActvateBottom, kBlockQ,
     "Bottom block protected.", false},
    {"SST", "SST29SF040", "Block protection disabled.", 2, &TOpt49fxx::ButtonActivateTop, kBlockQ,
     "Top block protected.", true},
};

class BlockDialog : public Lockout, public ::testing::WithParamInterface<DialogCase> {};

// The state logged at opening, the box of the maker, a declined question
// changing nothing, then the action found on the chip: program in the
// protected block refused, and for the parts with an override pin accepted
// with 12 V on it (on ZIF 9 or 12 only, released afterwards).
TEST_P(BlockDialog, OpensLogsActsAndTheChipRefusesTheBlock) {
    const DialogCase& c = GetParam();
    Use(c.maker, c.name);
    TOpt49fxx d(nullptr);
    EXPECT_EQ(Log(), std::vector<std::string>{c.opening});
    QGroupBox* boxes[] = {d.GroupBox1, d.GroupBox2, d.GroupBox3};
    for (int b = 0; b < 3; ++b) EXPECT_EQ(boxes[b]->isVisibleTo(&d), b + 1 == c.box) << b;
    EXPECT_EQ(d.RadioGroupProtectOverride->isVisibleTo(&d), DeviceSubVariant != 0);
    if (c.question != nullptr) {
        ui.QueueAnswer(UiAnswer::No);
        (d.*c.button)->click();
        EXPECT_EQ(ui.Boxes.back().text, c.question);
        EXPECT_EQ(ui.Boxes.back().caption, "Warning");
        EXPECT_EQ(Log().size(), 1u) << LogText();
    }
    (d.*c.button)->click();
    EXPECT_EQ(Log().back(), c.after);
    EXPECT_TRUE(LastToneOk());
    EXPECT_EQ(ProgramBootBlock(c.top), -1) << LogText();
    if (DeviceSubVariant == 1) {
        const int pin = CurrentAlgorithm == 40 ? 9 : 12;
        PeakPins watch;
        watch.elec = elec;
        simp.AttachComponent(&watch);
        d.RadioGroupProtectOverride->Item(1)->click();
        EXPECT_EQ(ProtectOverride, 1u);
        EXPECT_EQ(ProgramBootBlock(c.top), 1) << LogText();
        simp.DetachComponent(&watch);
        for (int p = 1; p <= 48; ++p) EXPECT_EQ(watch.peak[p] > 70, p == pin) << p << ": " << watch.peak[p];
        EXPECT_GE(watch.peak[pin], 115);
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Makers, BlockDialog, ::testing::ValuesIn(kDialogs), [](const auto& info) {
    return std::string(info.param.name) + "_" + std::to_string(info.index);
});

// The PMC lockout is switched off again; the Options entry shows the dialog.
TEST_F(Lockout, PmcLockoutSwitchesOffAndOn) {
    Use("PMC", "Pm29F002T");
    part.flash()->SetLockout(true);
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<TOpt49fxx*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->ButtonDisableBootBlockLockout->click();
        d->BitBtn1->click();
    });
    EXPECT_EQ(AlgorithmRow(40)->Options(), 1);
    ExpectLinesInOrder({"Boot block lockout enabled.", "Boot block lockout disabled."});
    EXPECT_FALSE(part.flash()->LockoutOn());
    EXPECT_EQ(ProgramBootBlock(true), 1) << LogText();
}

// Variant 1 switches the data protection off to program and on again after;
// variant 2 leaves it off.
TEST_F(Lockout, SevenReadProtectionAroundProgram) {
    for (uint32_t variant : {1u, 2u}) {
        Use("SST", "SST28SF040A");
        DeviceVariant = variant;
        Limit(0x40);
        FillData(variant);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(part.flash()->DataProtected(), variant == 1);
        Unseat();
    }
}

// A Chip Start above 0 programs and reads its own addresses, across a 64K boundary.
TEST_F(Lockout, ChipStartAboveZeroReadsItsOwnAddresses) {
    for (const char* name : {"AT49F002", "AT49BV1614A"}) {
        Use("ATMEL", name);
        FillData(4);
        DeviceStart = 0xFFF0;
        DeviceEnd = 0x10010;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(part.flash()->Cell(a), BufferDatum(a - DeviceStart)) << a;
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(BufferDatum(a - DeviceStart), part.flash()->Cell(a)) << a;
        Unseat();
    }
}

// Rows 41/52 sub-variant 2 erase succeeds after 500 ms whatever the chip
// does; an adapter without the override pin refuses before any write.
TEST_F(Lockout, Row41OverridePinByAdapter) {
    Use("ATMEL", "AT49F1024");
    DeviceSubVariant = 2;
    part.flash()->NeverReady(true);
    const uint64_t before = simp.NowUs();
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_GE(simp.NowUs() - before, 500000u);
    AdapterCode = 'X';
    part.flash()->ClearWrites();
    for (int op : {OpProgram, OpErase}) {
        FillData(1);
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine(" No override pin for this adapter!")) << LogText();
    }
    EXPECT_TRUE(part.flash()->Writes().empty());
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

struct SectorCase {
    const char* maker;
    const char* name;
    bool overrideShown;
    int sectors;
};
class SectorDialog : public Lockout, public ::testing::WithParamInterface<SectorCase> {};

// The first sector and one above 64K words written through the dialog are
// the ones found protected; a protected sector refuses a program and
// survives an erase. Row 55's locked sector can not be unprotected (the
// error line) but programs with the 12 V override.
TEST_P(SectorDialog, WritesTheSetAndTheChipKeepsIt) {
    Use(GetParam().maker, GetParam().name);
    part.flash()->SetCell(0x8000, 0x1234);
    TOptSecProt1 d(nullptr);
    const int n = GetParam().sectors;
    ASSERT_EQ(d.ListView->topLevelItemCount(), n);
    // The layout row is the chip's map (row 37's boundary D9h stands for D8h,
    // inside the same sector).
    const auto bounds = SectorLayoutBoundaries(d.SectorLayoutRow);
    for (int s = 0; s < n; ++s) {
        const uint32_t start = bounds[static_cast<size_t>(s)] == 0xD9 ? 0xD8 : bounds[static_cast<size_t>(s)];
        EXPECT_EQ(part.flash()->SectorStart(static_cast<uint32_t>(s)), start << 12) << s;
    }
    EXPECT_EQ(d.RadioGroupProtectOverride->isVisibleTo(&d), GetParam().overrideShown);
    for (int i : {0, n - 1}) {
        d.ListView->setCurrentItem(d.ListView->topLevelItem(i));
        d.ListViewClick();
    }
    d.ButtonWrote->click();
    ExpectLinesInOrder({"(Un)Protect Sector ...", " Sector (Un)protection completed!"});
    for (int s = 0; s < n; ++s) EXPECT_EQ(part.flash()->IsProtected(static_cast<uint32_t>(s)), s == 0 || s == n - 1) << s;
    part.flash()->SetCell(0x10, 0x00FF);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(part.flash()->Cell(0x10), 0x00FF);
    EXPECT_EQ(part.flash()->Cell(0x8000), 0xFFFF);
    EXPECT_EQ(ProgramBootBlock(false), -1);
    TOptSecProt1 again(nullptr);
    again.ButtonUnprotectAll->click();
    again.ButtonWrote->click();
    if (!GetParam().overrideShown) {
        // The all-zero request leaves none protected; an unprotect that never
        // works fails after its passes.
        for (uint32_t s = 0; s < 35; ++s) EXPECT_FALSE(part.flash()->IsProtected(s)) << s;
        part.flash()->NeverUnprotect(true);
        runStart_ = ui.Log.size();
        again.ButtonWrote->click();
        EXPECT_TRUE(HasLine(" Sector (Un)protection error!")) << LogText();
        return ExpectNoViolations();
    }
    ExpectLinesInOrder({" Sector 000000h is locked and can not be unprotected!", " Sector (Un)protection error!"});
    again.RadioGroupProtectOverride->Item(1)->click();
    part.flash()->SetCell(0x10, 0xFFFF);
    EXPECT_EQ(ProgramBootBlock(false), 1) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, SectorDialog,
                         ::testing::Values(SectorCase{"MACRONIX", "MX29LV160BB", false, 35},
                                           SectorCase{"ATMEL", "AT49BV1614A", true, 40}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
