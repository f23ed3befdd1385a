// The boot-sector rows of the status-polled page flash through the operation
// driver on their library records and catalog parts: whole runs, the page
// and erase faults, gang sockets, page lengths refused, and the boot sectors
// read and written through the sector protection dialog.
#include <fstream>

#include <QPushButton>
#include <QTreeWidget>

#include "FlashFixture.h"
#include "OffscreenApp.h"
#include "memory/OptSecProt.h"
#include "memory/SectorProtection.h"
#include "sim/PageRunBus.h"
#include "sim/StatusPageFlashChip.h"

namespace {

constexpr uint32_t kBootPageBytes = 128;
constexpr const char* kBootMaker = "GENERIC-ALGORITHM";

class StatusPageBootRun : public FlashRun {
protected:
    sim::StatusPageFlashChip* chip = nullptr;
    void SetUp() override {
        FlashRun::SetUp();
        sim::RegisterPageRunBusPersonality();
    }
    void Start(const char* name) {
        ASSERT_TRUE(Select(kBootMaker, name)) << name;
        Limit(0x10400); // crosses a buffer bank
        chip = SeatBoot(name, *socket);
        ASSERT_NE(chip, nullptr);
        FillPattern(BufferByteSize, 3);
    }
    sim::StatusPageFlashChip* SeatBoot(const char* name, sim::Socket& into) {
        auto made = sim::MakeChip(*sim::FindPart(kBootMaker, name));
        auto* c = sim::SeatedModel<sim::StatusPageFlashChip>(made.get());
        if (c == nullptr) return nullptr;
        elec->DeclareChip(c->Limits());
        into.Insert(std::move(made));
        return c;
    }
    size_t PageWritesAt(sim::StatusPageFlashChip* c, uint32_t page) const {
        return static_cast<size_t>(std::count(c->PageWrites().begin(), c->PageWrites().end(), page));
    }
    bool HasCycle(uint32_t address, uint8_t data) const {
        const auto& cycles = chip->Cycles();
        return std::any_of(cycles.begin(), cycles.end(),
                           [&](const auto& c) { return c.address == address && c.data == data; });
    }
};

// Parts 82h and 83h take their commands at 5555h/2AAAh, every other part at
// the doubled addresses.
TEST_F(StatusPageBootRun, WholeRunsOnBytewiseAndByteModeParts) {
    for (const char* name : {"PAGE-BOOT-X16", "PAGE-BOOT-85", "PAGE-BOOT-82"}) {
        SCOPED_TRACE(name);
        if (chip != nullptr) Unseat();
        Start(name);
        const bool doubled = std::string(name) != "PAGE-BOOT-82";
        ASSERT_EQ(Run(OpBlankCheck), 1) << LogText();
        // The data come from a file loaded into a cleared buffer.
        std::string image;
        for (uint32_t a = 0; a <= DeviceEnd; ++a) image.push_back(static_cast<char>(BufferByte(a)));
        std::ofstream("boot42.bin", std::ios::binary) << image;
        FillBufferRange(0, BufferByteSize - 1, 0xFF);
        ASSERT_EQ(LoadFileIntoBuffer(0, 0, "boot42.bin"), 1);
        for (uint32_t a = 0; a <= DeviceEnd; a += 0x1001) ASSERT_EQ(BufferByte(a), static_cast<uint8_t>(image[a]));
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Program ok!"});
        for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
        EXPECT_EQ(chip->PageWrites().size(), DeviceSize / kBootPageBytes);
        EXPECT_TRUE(HasCycle(doubled ? 0xAAAA : 0x5555, 0xA0));
        EXPECT_FALSE(HasCycle(doubled ? 0x5555 : 0xAAAA, 0xA0));
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(BufferByte(a), chip->Cell(a)) << std::hex << a;
        FillBufferRange(0x10081, 0x10081, BufferByte(0x10081) ^ 1);
        EXPECT_EQ(Run(OpCompare), 1) << LogText();
        const std::string compared = ReadText("COMPARE.TXT");
        EXPECT_NE(compared.find("00010081h:"), std::string::npos) << compared;
        EXPECT_EQ(compared.find("00000081h:"), std::string::npos) << compared;
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        ExpectLinesInOrder({"Erase ok!"});
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        ExpectNoViolations();
    }
}

// A byte that never programs shows bit 4: the page is played three times
// and the run ends with -1; an erase that never ends gives "Erase error!";
// ESC ends with 3; a page length the queue cannot take is refused untouched.
TEST_F(StatusPageBootRun, FaultsAndRefusals) {
    Start("PAGE-BOOT-83");
    const uint32_t page = 3 * kBootPageBytes;
    chip->StickByte(page + 1);
    FillBufferRange(page + 1, page + 1, 0x00);
    const uint64_t before = simp.NowUs();
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(PageWritesAt(chip, page), 3u);
    EXPECT_EQ(PageWritesAt(chip, page + kBootPageBytes), 0u);
    // Three attempts, each polling the status 600 times 10 us apart.
    EXPECT_GE(simp.NowUs() - before, 3u * 600u * 10u);

    chip->NeverFinishErase();
    EXPECT_EQ(Run(OpErase), -1) << LogText();
    ExpectLinesInOrder({"Erase error!"});
    ExpectNoViolations();

    Unseat();
    Start("PAGE-BOOT-83");
    ui.BreakAtPercent = 40;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 3) << LogText();

    Unseat();
    Start("PAGE-BOOT-83");
    for (uint32_t bad : {0u, 6u, 1024u}) {
        PageSize = bad;
        EXPECT_EQ(Run(OpProgram), -1) << bad;
        EXPECT_TRUE(HasLine(" Page length " + std::to_string(bad) + " not supported (a power of two up to 256)!"))
            << LogText();
        EXPECT_EQ(DatumLines(), "") << LogText();
    }
    PageSize = kBootPageBytes;
    DeviceStart = BufferIndex = 0x10;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(" Start address must be on a page boundary!")) << LogText();
    EXPECT_EQ(DatumLines(), "") << LogText(); // nothing was read
    EXPECT_TRUE(chip->Cycles().empty());
}

// Four gang sockets, socket 1 with a byte that never programs: the run
// fails although the AND of the other sockets' status bytes looks fine.
TEST_F(StatusPageBootRun, GangSocketThatNeverPrograms) {
    ASSERT_TRUE(Select(kBootMaker, "PAGE-BOOT-84"));
    Limit(0x800);
    AddGang(4);
    std::vector<sim::StatusPageFlashChip*> chips;
    for (int s = 0; s < 4; ++s) {
        chips.push_back(SeatBoot("PAGE-BOOT-84", sim::GangAdapter::Find(simp)->SocketAt(s)));
        ASSERT_NE(chips.back(), nullptr);
    }
    FillPattern(BufferByteSize, 5);
    FillBufferRange(0x205, 0x205, 0x00);
    chips[1]->StickByte(0x205);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_EQ(PageWritesAt(chips[0], 0x200), 3u) << LogText();
    EXPECT_EQ(chips[0]->Cell(0x1FF), BufferByte(0x1FF));
    EXPECT_EQ(chips[3]->Cell(0x280), 0xFF); // nothing past the failing page
    ExpectNoViolations();
}

class StatusPageBootDialog : public StatusPageBootRun {
protected:
    void Open(const char* name) {
        App();
        Start(name);
        ASSERT_EQ(Run(OpBlankCheck), 1) << LogText();
    }
    static QStringList Captions(TOptSecProt1& d) {
        QStringList out;
        for (int i = 0; i < d.ListView->topLevelItemCount(); ++i) out << d.ListView->topLevelItem(i)->text(0);
        return out;
    }
};

// Parts 82h-85h list one boot sector (the bottom or the top one) and take
// the protect commands with 12 V on their pin, released afterwards; 82h and
// 83h at byte addresses, 85h at doubled ones.
TEST_F(StatusPageBootDialog, OneBootSectorOnBytewiseParts) {
    for (auto [name, sector] : {std::pair{"PAGE-BOOT-82", 0u}, std::pair{"PAGE-BOOT-83", 3u},
                                std::pair{"PAGE-BOOT-85", 3u}}) {
        SCOPED_TRACE(name);
        Unseat();
        Open(name);
        TOptSecProt1 d(nullptr);
        ASSERT_EQ(Captions(d), QStringList{"Boot Sector"});
        EXPECT_EQ(d.ListView->topLevelItem(0)->text(1), "Unprotect");
        d.ButtonProtectAll->click();
        d.ButtonWrote->click();
        EXPECT_TRUE(HasLine(" Sector (Un)protection completed!")) << LogText();
        for (uint32_t s = 0; s < 4; ++s) EXPECT_EQ(chip->SectorProtected(s), s == sector) << s;
        const bool doubled = std::string(name) == "PAGE-BOOT-85";
        EXPECT_TRUE(HasCycle(doubled ? 0xAAAA : 0x5555, 0x60));
        EXPECT_FALSE(HasCycle(doubled ? 0x5555 : 0xAAAA, 0x60));
        EXPECT_TRUE(elec->SuppliedPins().empty());
        TOptSecProt1 again(nullptr);
        EXPECT_EQ(again.ListView->topLevelItem(0)->text(1), "Protect  ");
        // The protected boot sector takes no page and keeps its bytes.
        DeviceStart = BufferIndex = sector * 0x20000;
        Limit(0);
        DeviceEnd = DeviceStart + 0xFF;
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_EQ(chip->Cell(DeviceStart), 0xFF);
        again.ButtonUnprotectAll->click();
        again.ButtonWrote->click();
        EXPECT_FALSE(chip->SectorProtected(sector));
        ExpectNoViolations();
    }
}

// The 16-bit part in byte mode lists both boot sectors with their ranges and
// takes doubled command addresses.
TEST_F(StatusPageBootDialog, TwoBootSectorsOnByteModePart) {
    Open("PAGE-BOOT-X16");
    chip->SetSectorProtected(7, true);
    TOptSecProt1 d(nullptr);
    ASSERT_EQ(Captions(d), (QStringList{"000000h-01FFFFh", "0E0000h-0FFFFFh"}));
    EXPECT_EQ(d.SectorProtectionState, (std::vector<uint32_t>{0, 1}));
    d.ButtonToggle->click();
    d.ButtonWrote->click();
    EXPECT_TRUE(HasLine(" Sector (Un)protection completed!")) << LogText();
    EXPECT_TRUE(chip->SectorProtected(0));
    EXPECT_FALSE(chip->SectorProtected(7));
    EXPECT_TRUE(HasCycle(0xAAAA, 0x60));
    EXPECT_FALSE(HasCycle(0x5555, 0x60));
    // An erase keeps the protected sector's bytes.
    chip->SetCell(0x10, 0x12);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(chip->Cell(0x10), 0x12);
    ExpectNoViolations();
}

// Without the protect voltage the part refuses the command with a ready
// status: the writer reads the states back and reports the failure.
TEST_F(StatusPageBootDialog, WriteNotTakenIsAnError) {
    Open("PAGE-BOOT-X16");
    Unseat();
    auto facts = *sim::FindPart(kBootMaker, "PAGE-BOOT-X16")->As<sim::StatusPageFlashFacts>();
    facts.protectPin = 0; // takes no high voltage anywhere
    auto made = std::make_unique<sim::StatusPageFlashChip>(facts);
    chip = made.get();
    elec->DeclareChip(made->Limits());
    socket->Insert(std::move(made));
    const std::vector<uint32_t> both{1, 1};
    EXPECT_EQ(Entry([&] { return SectorProtectionOf(42).write(both.data(), 2, nullptr); }), -1);
    EXPECT_FALSE(chip->SectorProtected(0));
}

} // namespace
