// Rows 179 and 177 against the catalog's command-latch parts: whole runs from
// a file srec_cat wrote, securing and the locked part refused by every entry,
// the skipping and retry rules, the address registers and the mode writes.
#include <cstdlib>

#include "McuFixture.h"

#include "engine/RowDef.h"
#include "sim/CmdByteBusChip.h"

namespace {

class CmdBusRun : public McuRun {
  protected:
    // Selects the device and seats its catalog part, its facts changed by
    // `change`.
    sim::CmdByteBusChip* PutCmd(const char* name, void (*change)(sim::CmdByteBusFacts&) = nullptr) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name)) << name;
        const sim::CmdByteBusFacts* f = sim::FindFacts<sim::CmdByteBusFacts>("GENERIC-ALGORITHM", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::CmdByteBusFacts facts = *f;
        if (change != nullptr) change(facts);
        auto chip = std::make_unique<sim::CmdByteBusChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    // The sample program as srec_cat copies it (Intel hex to S-records),
    // loaded into a buffer of FFh; its first n bytes.
    std::vector<uint8_t> LoadCmdSample(uint32_t n) {
        const std::string file = "sample.s19";
        const std::string cmd = "srec_cat -disable-sequence-warnings " + ProgramDirectory +
                                "/mcu-sample/blink.ihx -intel -o " + file + " -motorola";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        FillBufferRange(0, 0xFFFF, 0xFF);
        EXPECT_EQ(LoadHexFamilyFile(file, 0, 0), 1);
        std::vector<uint8_t> image(n);
        for (uint32_t a = 0; a < n; ++a)
            image[a] = BufferByte(a);
        return image;
    }
};

class CmdBusParts : public CmdBusRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, program, verify, read back and save equal, blank check
// failing; Secure locks the part; then every entry logs "Device secured!"
// and fails, Secure included.
TEST_P(CmdBusParts, ProgramsSrecFileSecuresAndRefusesLockedPart) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat not installed";
    sim::CmdByteBusChip* chip = PutCmd(GetParam());
    ASSERT_NE(chip, nullptr);
    const uint32_t n = DeviceEnd + 1;
    const std::vector<uint8_t> image = LoadCmdSample(n);
    ASSERT_NE(image[0], 0xFF);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a)
        ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    ASSERT_EQ(SaveHexFamilyFile("read.hex", 0, n - 1, HexFormatIntel), 1);
    FillBufferRange(0, 0xFFFF, 0x5A);
    ASSERT_EQ(LoadHexFamilyFile("read.hex", 0, 0), 1);
    for (uint32_t a = 0; a < n; ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();

    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Security ok!")) << LogText();
    EXPECT_TRUE(chip->Locked());
    for (int op : {OpRead, OpBlankCheck, OpVerify, OpProgram, OpSecurity}) {
        chip->ClearCounts();
        EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
        EXPECT_TRUE(HasLine("Device secured!")) << op << LogText();
        EXPECT_EQ(chip->Pulses(), 0u) << op;
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, CmdBusParts,
                         ::testing::Values("CMDBUS40-8K", "CMDBUS40B-16K", "CMDRESET40-8K", "CMDRESET48-16K",
                                           "CMDRESET40B-8K"));

// Row 179 skips FFh and bytes already right; row 177 pulses every byte. The
// high address register is written at the start (0) and where the high byte
// changes, not at every address. The mode register is written with 2 by
// Program and 4 by Secure (row 179 at power-up, row 177 after it), never by
// Read.
TEST_F(CmdBusRun, SkippingAddressRegistersAndModeWrites) {
    for (const char* name : {"CMDBUS40-8K", "CMDRESET40-8K"}) {
        const bool row179 = std::string(name) == "CMDBUS40-8K";
        const uint8_t modeCommand = row179 ? 0x40 : 0xF0;
        sim::CmdByteBusChip* chip = PutCmd(name);
        chip->SetCell(0x0101, 0x33);
        FillBufferRange(0, 0xFFFF, 0xFF);
        BufferWindow[0x00F0] = 0x10;
        BufferWindow[0x0101] = 0x33; // already on the part
        BufferWindow[0x0205] = 0x20;
        DeviceStart = BufferStart = 0x00F0;
        DeviceEnd = 0x0210;
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->Writes(0x85), (std::vector<uint8_t>{0, 1, 2})) << name;
        EXPECT_EQ(chip->Writes(0x84).size(), 0x121u) << name;
        EXPECT_EQ(chip->Writes(modeCommand), (std::vector<uint8_t>{2})) << name;
        EXPECT_EQ((std::pair{chip->Cell(0x00F0), chip->Cell(0x0205)}),
                  (std::pair<uint16_t, uint16_t>{0x10, 0x20}));
        if (row179) {
            EXPECT_EQ(chip->Pulses(), 2u);
            EXPECT_EQ(chip->PulsesAt(0x0101), 0u);
        } else {
            for (uint32_t a = 0x00F0; a <= 0x0210; ++a)
                EXPECT_EQ(chip->PulsesAt(a), 1u) << std::hex << a;
        }

        chip->ClearCounts();
        DeviceStart = BufferStart = 0x1234;
        DeviceEnd = 0x1240;
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        EXPECT_EQ(chip->Writes(0x85), (std::vector<uint8_t>{0, 0x12})) << name;
        EXPECT_TRUE(chip->Writes(modeCommand).empty()) << name;
        EXPECT_EQ(chip->Writes(row179 ? 0x21 : 0x26).size(), row179 ? 0u : 13u) << name;

        chip->ClearCounts();
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->Writes(modeCommand), (std::vector<uint8_t>{4})) << name;
    }
    ExpectNoViolations();
}

// Faults: a cell that never takes gets 25 pulses and fails at its address; a
// lock taking on the third pulse ends Secure after three; a lock never
// taking fails after 25; a user break.
TEST_F(CmdBusRun, RetryLockPulsesAndBreak) {
    for (const char* name : {"CMDBUS40-8K", "CMDRESET40-8K"}) {
        sim::CmdByteBusChip* chip = PutCmd(name);
        chip->StickCell(0x0010);
        FillBufferRange(0, 0xFFFF, 0x3C);
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(HasLine(ChipAddrLine(0x0010))) << LogText();
        EXPECT_EQ(chip->PulsesAt(0x0010), 25u) << name;
        EXPECT_EQ(chip->PulsesAt(0x0011), 0u) << name;

        chip = PutCmd(name, [](sim::CmdByteBusFacts& f) { f.lockPulses = 3; });
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->LockPulses(), 3u) << name;
        EXPECT_TRUE(chip->Locked());

        chip = PutCmd(name, [](sim::CmdByteBusFacts& f) { f.lockPulses = 1000; });
        EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
        EXPECT_EQ(chip->LockPulses(), 25u) << name;
        EXPECT_FALSE(chip->Locked());

        PutCmd(name);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        FillBufferRange(0, 0xFFFF, 0x11);
        EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    }
    ExpectNoViolations();
}

// A row-179 part wanting more start-up strobes than the row gives before the
// enable voltage stays out of its mode and says so: the start-up order is
// the part's, not the row's.
TEST_F(CmdBusRun, Row179EnableBeforeStartupStrobesIsRefused) {
    sim::CmdByteBusChip* chip = PutCmd("CMDBUS40-8K", [](sim::CmdByteBusFacts& f) { f.enableStrobes = 600; });
    Run(OpBlankCheck);
    EXPECT_FALSE(chip->InMode());
    ASSERT_FALSE(simp.Violations().empty());
    EXPECT_NE(simp.Violations().front().find("enable voltage after 500 strobes"), std::string::npos);
}

// The librarian's limits: 64 KB for both rows, row 177's three layouts.
TEST_F(CmdBusRun, CommandLatchRowsRefuseRecordsPastTheirTables) {
    for (uint32_t row : {179u, 177u}) {
        const RowDef* def = RowDefinition(row);
        ASSERT_NE(def, nullptr);
        EXPECT_EQ(RowRecordRefusal(*def, {.DeviceSize = 0x10000}), "") << row;
        EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x20000}), "") << row;
    }
    EXPECT_EQ(RowRecordRefusal(*RowDefinition(177), {.Variant = 2}), "");
    EXPECT_NE(RowRecordRefusal(*RowDefinition(177), {.Variant = 3}), "");
    EXPECT_EQ(RowRecordRefusal(*RowDefinition(179), {.Variant = 7}),
              ""); // any other variant: the second column
}

} // namespace
