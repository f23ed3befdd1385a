// Row 94 through the operation driver: the 5555h/2AAAh command parts behind
// the address latch, seated from the catalog; the full run of each part,
// Read ID leaving the part reading its array, and the faults each run ends
// with.
#include "CommandFlashFixture.h"
#include "sim/FlashParts.h"
#include "sim/JedecFlashChip.h"

namespace {

class LatchedJedecRun : public CommandFlashRun {
protected:
    sim::JedecFlashChip* StartJedec(const std::string& name, uint32_t words = 0x300) {
        EXPECT_TRUE(Select(MakerOf(name), name)) << name;
        SetRange(words);
        const sim::CatalogPart* part = sim::FindPart(MakerOf(name), name);
        if (part == nullptr) {
            ADD_FAILURE() << "no part " << name;
            return nullptr;
        }
        std::unique_ptr<sim::CatalogChip> chip = sim::MakeChip(*part);
        auto* module = sim::SeatedModel<sim::FlashModuleChip>(chip.get());
        if (module == nullptr) return nullptr;
        elec->DeclareChip(chip->Limits());
        socket->Insert(std::move(chip));
        return module->Seated().flash();
    }
    void Clear() {
        Unseat();
    }
};

class LatchedJedecRows : public LatchedJedecRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(LatchedJedecRows, BlankProgramReadVerifyEraseAndReadId) {
    sim::JedecFlashChip* chip = StartJedec(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillPattern(BufferByteSize, 4);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_TRUE(chip->IsBlank());
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    ExpectReadId(chip->Config().deviceId, chip->Config().makerId);
    // Identify ends with the reset command: the part reads its array again.
    ASSERT_FALSE(chip->Writes().empty());
    EXPECT_EQ(chip->Writes().back().data, 0xF0);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, LatchedJedecRows,
                         ::testing::Values("SST39SF010A@PLCC32", "SST39SF020A@PLCC32", "SST39SF040@PLCC32",
                                           "Am29F010@PLCC32"),
                         [](const auto& info) {
                             std::string n = info.param;
                             return "Part" + n.substr(0, n.find('@'));
                         });

TEST_F(LatchedJedecRun, BufferOfBlankBytesWritesNothing) {
    sim::JedecFlashChip* chip = StartJedec("SST39SF010A@PLCC32");
    FillBufferRange(0, BufferByteSize - 1, 0xFF);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_TRUE(chip->Writes().empty());
}

TEST_F(LatchedJedecRun, ReadsAtTheReadSupply) {
    ASSERT_NE(StartJedec("SST39SF040@PLCC32", 0x1000), nullptr);
    ExpectVerifyAtTheReadSupply(40);
}

// Faults: a cell that never programs, a part never ready, ESC answered No in
// the erase wait; each run ends with its line within its limit.
TEST_F(LatchedJedecRun, FaultsEndWithTheirLine) {
    using Fault = std::function<void(sim::JedecFlashChip&)>;
    const struct {
        const char* label;
        int op;
        Fault fault;
        int result;
        const char* line;
        uint32_t waits;
    } cases[] = {
        {"cell never programs", OpProgram, [](sim::JedecFlashChip& c) { c.StickCell(0x21); }, -1, "Program error!", 0},
        {"never ready, program", OpProgram, [](sim::JedecFlashChip& c) { c.NeverReady(true); }, -1, "Program error!", 0},
        {"never ready, erase", OpErase, [](sim::JedecFlashChip& c) { c.NeverReady(true); }, -1, "Erase error!", 30},
        {"ESC answered No", OpErase, [&](sim::JedecFlashChip& c) {
             c.NeverReady(true);
             ui.BreakAtStatus = "0.3 sec";
         }, 3, "Erasing ...", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        sim::JedecFlashChip* chip = StartJedec("Am29F010@PLCC32", 0x80);
        ExpectFaultRun([&] { c.fault(*chip); }, c.op, c.result, c.line, c.waits);
        Clear();
    }
}

// The latched bus selects every gang socket at once, so a read would see one
// socket for all: both rows are single-socket. A run with a gang set says
// "Cannot support Gang Socket!" before its first step and goes on with one
// socket; an entry reached with a gang all the same refuses it with the line
// before anything is powered and leaves the parts untouched.
TEST_F(LatchedJedecRun, GangsAreRefusedBeforePowerUp) {
    for (const char* name : {"LH28F008SA", "SST39SF010A@PLCC32"}) {
        SCOPED_TRACE(name);
        Unseat();
        StartGang("LH28F008SA", 2); // the adapter and its sockets
        for (int s = 0; s < 2; ++s) sim::GangAdapter::Find(simp)->SocketAt(s).Clear();
        elec->WithdrawAllChips();
        sim::ChipPinLimits feed; // the adapter's own supply
        feed.chip = "gang adapter";
        feed.socketPins = {44};
        feed.supplyOrder = false;
        elec->DeclareChip(feed);
        ASSERT_TRUE(Select(MakerOf(name), name));
        EXPECT_EQ(DeviceFlags & 0x30u, 0u); // the records offer no gang
        SetRange(0x100);
        FillPattern(BufferByteSize, 2);
        const AlgorithmEntry& row = *AlgorithmRow(CurrentAlgorithm);
        for (int entry = 0; entry < 4; ++entry) {
            SCOPED_TRACE(entry);
            LastSocketIndex = 1;
            runStart_ = ui.Log.size();
            const int r = entry == 0 ? row.Read(ReadModeBlank)
                          : entry == 1 ? row.Program()
                          : entry == 2 ? row.Erase()
                                       : row.Identify();
            EXPECT_EQ(r, -1);
            EXPECT_TRUE(HasLine("Cannot support Gang Socket!")) << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        // The part in the first gang socket.
        std::unique_ptr<sim::CatalogChip> made = sim::MakeChip(*sim::FindPart(MakerOf(name), name));
        sim::ChipPinLimits limits = made->Limits();
        limits.supplyOrder = false;
        elec->DeclareChip(limits);
        sim::CatalogChip* chip = made.get();
        sim::GangAdapter::Find(simp)->SocketAt(0).Insert(std::move(made));
        BlankCheckBeforeProgram = 1;
        LastSocketIndex = 1;
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Cannot support Gang Socket!", "Blank check ok!", "Program ok!"});
        EXPECT_EQ(LastSocketIndex, 0u);
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
        sim::GangAdapter::Find(simp)->SocketAt(0).Clear();
        elec->WithdrawAllChips();
    }
    ExpectNoViolations();
}

} // namespace
