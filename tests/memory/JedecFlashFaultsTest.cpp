// Faults injected in the simulated flash: each run ends with its line and the
// socket powered down, without hanging.
#include <algorithm>
#include <cstdio>

#include "FlashFixture.h"
#include "engine/RowDef.h"
#include "engine/Tables.h"

namespace {

struct Part {
    const char* maker;
    const char* name;
};

class FlashFaults : public FlashRun {
protected:
    sim::SeatedFlash part;

    void Start(const Part& p, uint32_t words = 0x40) {
        ASSERT_TRUE(Select(p.maker, p.name)) << p.name;
        Limit(words);
        ui.StatusHistory[1].clear();
        part = SeatPart(p.maker, p.name);
        FillData(3);
    }
    // The fail report of the driver names the chip address.
    void ExpectFailAt(uint32_t address) {
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "  Chip addr: %06Xh", address);
        const auto log = Log();
        const auto at = std::find(log.begin(), log.end(), std::string("Program error!"));
        ASSERT_NE(at, log.end()) << LogText();
        ASSERT_NE(at + 1, log.end()) << LogText();
        EXPECT_EQ((at + 1)->rfind(prefix, 0), 0u) << LogText();
    }
    bool ShownStatus(const std::string& text) const {
        const auto& h = ui.StatusHistory[1];
        return std::find(h.begin(), h.end(), text) != h.end();
    }
    void ExpectPoweredDown() {
        EXPECT_TRUE(elec->SuppliedPins().empty()) << LogText();
        EXPECT_TRUE(elec->GroundedPins().empty()) << LogText();
    }
};

const Part kFlashRows[] = {{"AMD", "Am29F010"},    {"SST", "SST39SF010A"}, {"SST", "SST39SF020A"},
                           {"SST", "SST32HF802"},  {"SST", "SST39VF800A"}, {"SST", "3xSST39VF800A"},
                           {"AMD", "Am29F016B"},   {"AMD", "Am29F032B"},   {"ST", "M29F040B"},
                           {"AMD", "Am29LV040B"},  {"AMD", "Am29LV160DB"}, {"ATMEL", "AT49F002"},
                           {"SST", "SST28SF040A"}, {"ATMEL", "AT49F1024"}, {"MACRONIX", "MX29LV160BB"},
                           {"ATMEL", "AT49BV1614A"},
                           {"AMD", "Am29LV040B"},  {"AMD", "Am29LV160DB"}, {"AMD", "Am29F040B"},
                           {"AMD", "Am29F010B"}};

TEST_F(FlashFaults, CellThatNeverProgramsFailsTheProgramAtItsAddress) {
    for (const Part& p : kFlashRows) {
        SCOPED_TRACE(p.name);
        Start(p);
        part.flash()->StickCell(5);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        ExpectFailAt(5);
        ExpectPoweredDown();
        Unseat();
    }
}

// A word-wide part busy over a cell that did not take its word drives its
// status on DQ7-DQ0 and the complement of the word's high byte on DQ15-DQ8:
// the chip line of a failed poll (DQ7 or toggle) shows the whole word.
TEST_F(FlashFaults, WordWidePollFailureShowsTheWholeWord) {
    for (const Part& p : {Part{"SST", "SST32HF802"}, Part{"SST", "SST39VF800A"}, Part{"SST", "3xSST39VF800A"},
                          Part{"AMD", "Am29LV160DB"}}) {
        SCOPED_TRACE(p.name);
        Start(p);
        ASSERT_TRUE(Wide());
        part.flash()->StickCell(5);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        ExpectFailAt(5);
        unsigned datum = 0;
        const auto log = Log();
        const auto at = std::find(log.begin(), log.end(), std::string("Program error!"));
        ASSERT_NE(at + 1, log.end()) << LogText();
        ASSERT_EQ(std::sscanf((at + 1)->c_str(), "  Chip addr: %*Xh  data: %Xh", &datum), 1) << *(at + 1);
        EXPECT_EQ(datum >> 8, (~BufferDatum(5) >> 8) & 0xFF) << LogText();
        EXPECT_EQ(datum & 0x20, 0x20u) << LogText(); // DQ5: the cell did not take the word
        Unseat();
    }
}

// Erase pass limits: row 6 900, rows 56 and 58 50, row 78 30 (sub-variant 0),
// row 87 30 per die, rows 93 and 72 900, row 46 1300 for AMD and FUJITSU,
// rows 40, 41 and 52 100, row 55 300.
TEST_F(FlashFaults, EraseThatNeverEndsStopsAtTheRowsPassLimit) {
    const std::pair<Part, uint32_t> cases[] = {
        {{"AMD", "Am29F010"}, 900},   {{"SST", "SST39SF040"}, 50},     {{"SST", "SST32HF802"}, 50},
        {{"SST", "SST39VF800A"}, 30}, {{"SST", "3xSST39VF800A"}, 30}, {{"AMD", "Am29F016B"}, 900},
        {{"ST", "M29F040B"}, 900},    {{"AMD", "Am29LV160DB"}, 1300},  {{"FUJITSU", "MBM29LV160BE"}, 1300},
        {{"ATMEL", "AT49F002"}, 100}, {{"SST", "SST28SF040A"}, 100},   {{"ATMEL", "AT49F1024"}, 100},
        {{"MACRONIX", "MX29LV160BB"}, 100}, {{"ATMEL", "AT49BV1614A"}, 300},
        {{"AMD", "Am29F400BB"}, 1300}, {{"AMD", "Am29LV400BT"}, 1300}, {{"AMD", "Am29F040B"}, 900}};
    for (const auto& [p, passes] : cases) {
        SCOPED_TRACE(p.name);
        Start(p);
        for (auto* d : part.dies) d->NeverReady(true);
        const uint64_t t0 = simp.NowUs();
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        EXPECT_TRUE(HasLine("Erase error!")) << LogText();
        char last[16], beyond[16];
        std::snprintf(last, sizeof last, "%u.%u sec", (passes - 1) / 10, (passes - 1) % 10);
        std::snprintf(beyond, sizeof beyond, "%u.%u sec", passes / 10, passes % 10);
        EXPECT_TRUE(ShownStatus(last));
        EXPECT_FALSE(ShownStatus(beyond));
        const uint64_t waited = simp.NowUs() - t0;
        EXPECT_GE(waited, passes * 100000ull);
        ExpectPoweredDown();
        Unseat();
    }
}

// Row 46 waits 1500 passes for other makers and whenever the supply is below 2.9 V.
TEST_F(FlashFaults, Row46EraseLimitByMakerAndSupply) {
    for (int lowSupply = 0; lowSupply < 2; ++lowSupply) {
        Start({"AMD", "Am29LV160DB"});
        if (lowSupply) Vccp = 240; // 2.4 V + 0.4 V is still below 2.9 V
        else MakerIndex = MakerSst;
        part.flash()->NeverReady(true);
        EXPECT_EQ(Run(OpErase), -1);
        EXPECT_TRUE(ShownStatus("149.9 sec"));
        EXPECT_FALSE(ShownStatus("150.0 sec"));
        Unseat();
    }
}

TEST_F(FlashFaults, EscDuringEraseIsAUserBreak) {
    for (const Part& p : {Part{"AMD", "Am29F010"}, Part{"AMD", "Am29LV160DB"}, Part{"SST", "3xSST39VF800A"},
                          Part{"ATMEL", "AT49F002"}, Part{"ATMEL", "AT49BV1614A"},
                          Part{"AMD", "Am29F400BB"}, Part{"AMD", "Am29F040B"}}) {
        SCOPED_TRACE(p.name);
        Start(p);
        for (auto* d : part.dies) d->NeverReady(true);
        ui.BreakAtStatus = "2.0 sec";
        ui.QueueAnswer(UiAnswer::No); // not to continue
        EXPECT_EQ(Run(OpErase), 3) << LogText();
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
        ExpectPoweredDown();
        Unseat();
    }
}

TEST_F(FlashFaults, ProtectedSectorRefusesProgramAndKeepsItsDataThroughErase) {
    Start({"AMD", "Am29LV160DB"}, 0x2010); // into the second sector (4K words at 2000h)
    part.flash()->Protect(1);
    // A datum with DQ7 low: the poll sees the array's 1 and fails at once.
    FillBufferRange(0x4000, 0x4000, 0x34);
    FillBufferRange(0x4001, 0x4001, 0x12);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    ExpectFailAt(0x2000);
    EXPECT_EQ(part.flash()->Cell(0x1FFF), BufferDatum(0x1FFF));
    part.flash()->SetCell(0x2400, 0x1234);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    EXPECT_EQ(part.flash()->Cell(0x2400), 0x1234);
    EXPECT_EQ(part.flash()->Cell(0x1FFF), 0xFFFF);
    ExpectPoweredDown();
}

TEST_F(FlashFaults, WrongChipShowsItsCodesOnReadId) {
    for (auto [wanted, seated] : {std::pair{Part{"AMD", "Am29LV160DB"}, Part{"AMD", "Am29LV800BB"}},
                                  {Part{"SST", "SST39VF800A"}, Part{"SST", "SST39VF160"}},
                                  {Part{"ST", "M29F040B"}, Part{"AMD", "Am29LV040B"}}}) {
        ASSERT_TRUE(Select(wanted.maker, wanted.name));
        part = SeatPart(seated.maker, seated.name);
        ReadId();
        char chip[48], data[48];
        std::snprintf(chip, sizeof chip, "Chip Mfg Id:%04Xh, Dev Id:%04Xh", part.flash()->Config().makerId,
                      part.flash()->Config().deviceId);
        std::snprintf(data, sizeof data, "Data Mfg Id:%04Xh, Dev Id:%04Xh", ExpectedMakerId, ExpectedDeviceId);
        ExpectLinesInOrder({chip, data});
        ExpectPoweredDown();
        Unseat();
    }
}

// Four gang sockets, socket 3 never ready: rows 93, 72 and 46 poll every
// socket and fail the datum; rows 6, 56 (toggle poll in the read strobe) and
// 58 (toggle poll in write mode) poll them all at once and see the combined
// outputs; row 78 polls socket 0 only and its verify names the bad socket.
TEST_F(FlashFaults, GangSocketNeverReady) {
    AddGang(4);
    for (const Part& p : {Part{"AMD", "Am29F016B"}, Part{"ST", "M29F040B"}, Part{"AMD", "Am29LV160DB"},
                          Part{"AMD", "Am29F010"}, Part{"SST", "SST39SF020A"}, Part{"SST", "SST32HF802"},
                          Part{"SST", "SST39VF800A"}, Part{"ATMEL", "AT49F002"}, Part{"MACRONIX", "MX29LV160BB"},
                          Part{"ATMEL", "AT49BV1614A"},
                          Part{"SST", "SST39VF800A"}, Part{"AMD", "Am29F400BB"}, Part{"AMD", "Am29LV400BT"},
                          Part{"AMD", "Am29F040B"}}) {
        SCOPED_TRACE(p.name);
        ASSERT_TRUE(Select(p.maker, p.name));
        Limit(0x20);
        LastSocketIndex = 3;
        std::vector<sim::SeatedFlash> chips;
        for (int s = 0; s < 4; ++s) chips.push_back(SeatPart(p.maker, p.name, s));
        chips[2].flash()->NeverReady(true);
        FillData(5);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        if (CurrentAlgorithm == 78) {
            EXPECT_TRUE(HasLine("Program ok!")) << LogText();
            EXPECT_TRUE(HasLine("Socket3 Verification error!")) << LogText();
            EXPECT_TRUE(HasLine("Socket2 Verification ok!")) << LogText();
        } else {
            EXPECT_TRUE(HasLine("Program error!")) << LogText();
        }
        ExpectPoweredDown();
        for (int s = 0; s < 4; ++s) sim::GangAdapter::Find(simp)->SocketAt(s).Clear();
        elec->WithdrawAllChips();
        DeclareGangSupply();
        ExpectNoViolations();
    }
}

// A die code other than 0 or 1 (on the part, or another part answering in
// its place) ends Verify, Program and Blank check at the die line, with no
// datum or verify-level line after it. Only the variant that reads the die
// declares an identity check.
TEST_F(FlashFaults, Row6DieCodeOtherThanZeroOrOneFailsEveryEntry) {
    ASSERT_TRUE(Select("AMD", "Am29F010"));
    EXPECT_FALSE(RowDefinition(6)->ChecksIdentity());
    ASSERT_TRUE(Select("AMD", "Am29F040"));
    EXPECT_TRUE(RowDefinition(6)->ChecksIdentity());
    Limit(0x40);
    sim::FlashPart p = *sim::FindFlashPart("AMD", "Am29F040");
    FillData(1);
    for (bool anotherPart : {false, true}) {
        SCOPED_TRACE(anotherPart ? "another part" : "die code 2");
        socket->Clear();
        elec->WithdrawAllChips();
        if (anotherPart) {
            // The catalog's module, the hook set on it as on any seated part.
            std::unique_ptr<sim::CatalogChip> module = sim::MakeChip(*sim::FindPart("AMD", "Am29F040"));
            module->AnswerAnotherIdentity();
            elec->DeclareChip(module->Limits());
            part = static_cast<sim::FlashModuleChip*>(socket->Insert(std::move(module)))->Seated();
        } else {
            p.flash.dieCode = 2;
            part = SeatPart(p);
        }
        for (int op : {OpVerify, OpProgram, OpBlankCheck}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), -1) << LogText();
            EXPECT_TRUE(HasLine(" Incorrect die ID!")) << LogText();
            EXPECT_EQ(IdentityRefusalLine(), " Incorrect die ID!");
            EXPECT_EQ(DatumLines(), "") << LogText();
            ExpectPoweredDown();
        }
        EXPECT_TRUE(part.flash()->IsBlank());
    }
    for (int code : {0, 1}) {
        socket->Clear();
        p.flash.dieCode = code;
        part = SeatPart(p);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
    }
}

// Mended: row 51 reads the socket under test, so a gang's verify names the
// socket whose SRAM holds a wrong word instead of reading every socket at once.
TEST_F(FlashFaults, Row51VerifyReadsEachGangSocket) {
    AddGang(2);
    ASSERT_TRUE(Select("DALLAS", "DS1258Y"));
    Limit(0x20);
    LastSocketIndex = 1;
    std::vector<sim::SeatedFlash> chips;
    for (int s = 0; s < 2; ++s) {
        chips.push_back(SeatPart("DALLAS", "DS1258Y", s));
        chips.back().sram->Fill(0xFFFF);
    }
    FillData(2);
    FillBufferRange(10, 10, BufferByte(10) & 0xFE);
    chips[1].sram->StickBit(5, 0, 1);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Socket1 Verification ok!", "Socket2 Verification error!"});
    ExpectNoViolations();
}

// Mended: a high-voltage step without a pin for the adapter or package
// switches nothing and fails with a line.
TEST_F(FlashFaults, HighVoltageStepWithoutAPinIsRefused) {
    // Row 46 sub-variant 2 puts 9.0 V on the adapter's Vpp pin while
    // programming: the 48-pin TSOP adapter has one (its WP#/ACC), the 44-pin
    // SO and the FBGA adapters none.
    const struct {
        Part part;
        int result;
    } adapters[] = {{{"AMD", "Am29LV160DB"}, 1}, {{"AMD", "Am29LV800BB@SO44"}, -1}, {{"AMD", "Am29LV160DB@FBGA48"}, -1}};
    for (const auto& c : adapters) {
        SCOPED_TRACE(c.part.name);
        Start(c.part);
        DeviceSubVariant = 2;
        FillBufferRange(0, BufferByteSize - 1, 0x11);
        EXPECT_EQ(Run(OpProgram), c.result) << LogText();
        EXPECT_EQ(HasLine(" No Vpp pin for this adapter!"), c.result == -1) << LogText();
        EXPECT_EQ(part.flash()->Cell(0) == 0x1111, c.result == 1);
        ExpectPoweredDown();
        ExpectNoViolations();
        Unseat();
    }

    // Sub-variant 2's step is 9.0 V on WP#/ACC (socket pin 14 of the TSOP
    // adapter) and on no other pin.
    struct PeakPins : sim::SimComponent {
        sim::Electrical* elec = nullptr;
        int peak[49] = {};
        bool OnWrite(sim::SimProgrammer&, uint8_t, uint8_t) override {
            for (int p = 1; p <= 48; ++p) peak[p] = std::max(peak[p], elec->Pin(p).Tenths());
            return false;
        }
    } watch;
    watch.elec = elec;
    Start({"AMD", "Am29LV160DB"});
    DeviceSubVariant = 2;
    simp.AttachComponent(&watch);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    simp.DetachComponent(&watch);
    EXPECT_EQ(watch.peak[14], 90);
    for (int p = 1; p <= 48; ++p) EXPECT_TRUE(p == 14 || watch.peak[p] <= 50) << p << ": " << watch.peak[p];
    Unseat();

    // Row 72's identification by 12 V on A9 (sub-variants 3 and 6): ZIF 34 for
    // a 32-pin package; none for other packages.
    Start({"ST", "M29F040B"});
    DeviceSubVariant = 3;
    ReadId();
    EXPECT_TRUE(HasLine("Chip Mfg Id:0020h, Dev Id:00E2h")) << LogText();
    EXPECT_TRUE(part.flash()->Writes().empty());
    PackageIndex = 131;
    ChipMakerId = ChipDeviceId = 0;
    ReadId();
    EXPECT_TRUE(HasLine(" No high-voltage pin for this package!")) << LogText();
    EXPECT_TRUE(HasLine("Chip Mfg Id:0000h, Dev Id:0000h")) << LogText();
    ExpectNoViolations();
}

} // namespace

namespace {

// Rows 93 and 72 give a datum up to 10 program commands: a weak cell that
// takes its datum at the 4th or the 10th command programs and verifies, one
// that needs an 11th fails the program at its address.
TEST_F(FlashFaults, Rows93And72RetryAWeakCellUpToTenCommands) {
    for (const Part& p : {Part{"AMD", "Am29F016B"}, Part{"ST", "M29F040B"}}) {
        for (int needed : {4, 10, 11}) {
            SCOPED_TRACE(std::string(p.name) + " " + std::to_string(needed));
            ASSERT_TRUE(Select(p.maker, p.name));
            Limit(0x40);
            sim::FlashPart weak = *sim::FindFlashPart(p.maker, p.name);
            weak.flash.programCommandsNeeded = {{5, needed}};
            part = SeatPart(weak);
            FillData(3);
            BufferWindow[5] = 0x00; // DQ7 of the blank cell tells it from the datum
            const int r = Run(OpProgram);
            if (needed <= 10) {
                EXPECT_EQ(r, 1) << LogText();
                EXPECT_EQ(part.flash()->Cell(5), 0x00);
                ExpectHolds([&](uint32_t a) { return part.Datum(a); });
            } else {
                EXPECT_EQ(r, -1) << LogText();
                ExpectFailAt(5);
                EXPECT_EQ(part.flash()->Cell(5), 0xFF);
            }
            ExpectPoweredDown();
            Unseat();
        }
    }
}

} // namespace
