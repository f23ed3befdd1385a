// Rows 108 and 122 through the operation driver against the simulator's
// W78E5x parts: the sample program, the special register and its options,
// erase and secure, injected faults and the rows' examples.
#include "engine/AlgorithmTable.h"
#include "W78Fixture.h"

#include "engine/Operation.h"

namespace {

constexpr uint32_t kW78E5xSample = 0x400;

struct W78Part {
    const char* name;
    uint32_t mask; // the register bits the part's record uses
};
const W78Part kW78E5xParts[] = {
    {"W78E51", 0x02}, {"W78E51P", 0x02}, {"W78E52", 0x06}, {"W78E52P", 0x06}, {"W78E54", 0x86},
    {"W78E54P", 0x86}, {"W78E58", 0x86}, {"W78E58P", 0x86}, {"W78E516", 0x86}, {"W78E516P", 0x86},
};

class W78Parts : public W78Run, public ::testing::WithParamInterface<W78Part> {};

TEST_P(W78Parts, SampleProgramRegisterEraseSecureAndAuto) {
    const W78Part p = GetParam();
    sim::W78FlashChip* chip = Put(p.name);
    ASSERT_NE(chip, nullptr);
    ExpectIdentity();
    DeviceEnd = kW78E5xSample - 1;
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" Special Registers Black check ok!")) << LogText();

    const std::vector<uint8_t> image = LoadSample(kW78E5xSample);
    // Default options: the register stays blank, the chip unlocked.
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" Special Registers Program ok!")) << LogText();
    EXPECT_EQ(chip->SpecialRegister(), 0xFF);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" Special Registers Verification ok!")) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!")) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    FillBufferRange(0, kW78E5xSample - 1, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < kW78E5xSample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    for (uint32_t a = 0; a < kW78E5xSample; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    ExpectSavedAndReloaded(0, image);

    // MOV execute enabled reaches bit 1 and reads back as the same option.
    SpecialRegisterMovExecute = 1;
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->SpecialRegister(), 0xFD);
    SpecialRegisterMovExecute = 0;
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(SpecialRegisterMovExecute, 1);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    for (uint32_t a = 0; a < kW78E5xSample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;

    // Auto ends with the lock bit; erase clears it and the array.
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_EQ(chip->SpecialRegister(), 0xFC);
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(chip->Locked());
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_FALSE(chip->Locked());
    EXPECT_EQ(chip->Cell(0), 0xFF);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, W78Parts, ::testing::ValuesIn(kW78E5xParts),
                         [](const auto& info) { return std::string(info.param.name); });

// Faults met by each row: a cell that never programs, an erase that leaves
// cells, a wrong identity, a user break.
TEST_F(W78Run, FaultsOfBothRows) {
    for (const char* name : {"W78E52", "W78E58"}) {
        SCOPED_TRACE(name);
        const bool row108 = std::string(name) == "W78E52";
        sim::W78FlashChip* chip = Put(name);
        chip->StickCell(0x21);
        FillPattern(0x40);
        DeviceEnd = 0x3F;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        if (row108) {
            EXPECT_EQ(chip->PulsesAt(0x21), 1u); // one pulse, no retry
            EXPECT_TRUE(HasLine(ChipAddrLine(0x21))) << LogText();
            EXPECT_FALSE(HasLine(" Special Registers Program ok!"));
        } else {
            EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
        }

        chip = Put(name, [](sim::W78FlashFacts& f) { f.deviceCode = 0x99; });
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine("Device secured or incorrect device.")) << LogText();

        chip = Put(name);
        DeviceEnd = 0x7FF;
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpBlankCheck), 3) << LogText();
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    }
    // Row 108: an erase that meets ten dirty bytes gives up.
    sim::W78FlashChip* chip = Put("W78E51");
    chip->SetErasePulsesNeeded(100);
    for (uint32_t a = 0; a < 20; ++a) chip->SetCell(a, 0);
    EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Erase(), -1);
    EXPECT_EQ(chip->ErasePulses(), 11u); // at address 0, then ten dirty bytes
    ExpectNoViolations();
}

// Row 108 writes the special register with a burst of four pulses and no
// retry: a register that needs three takes it, one that needs five reports
// the register error after the array passed; Secure's burst alike.
TEST_F(W78Run, Row108RegisterTakesItsPulseBurst) {
    sim::W78FlashChip* chip = Put("W78E54");
    chip->SetRegisterPulsesNeeded(3);
    SpecialRegisterMovExecute = 1;
    FillPattern(0x40);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" Special Registers Program ok!")) << LogText();
    EXPECT_EQ(chip->SpecialRegister(), 0xFD);
    EXPECT_EQ(chip->RegisterPulses(), 4u);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(chip->Locked());

    chip = Put("W78E54");
    chip->SetRegisterPulsesNeeded(5);
    DeviceEnd = 0x3F;
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Special Registers Program error!")) << LogText();
    EXPECT_EQ(chip->SpecialRegister(), 0xFF);
    for (uint32_t a = 0; a <= 0x3F; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    chip = Put("W78E54");
    chip->SetRegisterPulsesNeeded(5);
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_FALSE(chip->Locked());
    ExpectNoViolations();
}

// Both rows read the lock bit back after Secure and judge that bit alone:
// enabled options (0 bits beside it) pass, a lock bit that never programs
// fails, and so does row 122's single pulse on a register that needs two.
TEST_F(W78Run, SecureJudgesTheLockBitAlone) {
    for (const char* name : {"W78E54", "W78E516"}) {
        for (const uint8_t options : {uint8_t{0xFF}, uint8_t{0x79}}) {
            SCOPED_TRACE(testing::Message() << name << " options " << std::hex << int{options});
            sim::W78FlashChip* chip = Put(name);
            chip->SetSpecialRegister(options);
            EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
            EXPECT_EQ(chip->SpecialRegister(), options & 0xFE);
            chip = Put(name);
            chip->SetSpecialRegister(options);
            chip->RefuseRegisterBit(0);
            const size_t from = ui.Log.size();
            EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
            EXPECT_NE(std::find(ui.Log.begin() + static_cast<std::ptrdiff_t>(from), ui.Log.end(), "Security error!"),
                      ui.Log.end())
                << LogText();
            EXPECT_FALSE(chip->Locked());
        }
    }
    sim::W78FlashChip* chip = Put("W78E516");
    chip->SetRegisterPulsesNeeded(2);
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Lock bit not programmed (special register FFh).")) << LogText();
    EXPECT_FALSE(chip->Locked());
    ExpectNoViolations();
}

// A locked part gives 00h for every code byte: both rows read the special
// register first and end Read, Blank check and Verify at the secured line,
// whatever the options beside the lock bit; erased, the part reads again.
TEST_F(W78Run, SecuredPartEndsReadsAtTheSecuredLine) {
    for (const char* name : {"W78E52", "W78E516"}) {
        for (const uint8_t options : {uint8_t{0xFF}, uint8_t{0x79}}) {
            SCOPED_TRACE(testing::Message() << name << " options " << std::hex << int{options});
            sim::W78FlashChip* chip = Put(name);
            chip->SetSpecialRegister(options);
            DeviceEnd = 0x3F;
            for (uint32_t a = 0; a < 0x40; ++a) chip->SetCell(a, static_cast<uint16_t>(a));
            EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
            ASSERT_TRUE(chip->Locked());
            const size_t from = ui.Log.size();
            ExpectReadsEndAtSecuredLine(" Device secured!", 0x40);
            for (size_t i = from; i < ui.Log.size(); ++i)
                EXPECT_EQ(ui.Log[i].find("Special Registers"), std::string::npos) << LogText();
        }
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        EXPECT_FALSE(HasLine(" Device secured!")) << LogText();
        EXPECT_EQ(BufferByte(0), 0xFF);
    }
    ExpectNoViolations();
}

// The register check of a blank check and the erase of a blank chip, by row
// and register value.
TEST_F(W78Run, RegisterBlankCheckAndBlankErase) {
    struct Case {
        const char* name;
        uint8_t reg;
        int result;
        const char* line;
    };
    const Case cases[] = {
        {"W78E51", 0x7D, ResultFailed, " Special Registers Black check error!"},
        {"W78E51", 0xFF, ResultOk, " Special Registers Black check ok!"},
        {"W78E51", 0x7F, ResultOk, " Special Registers Black check ok!"}, // bit 7 not used by variant 0
        {"W78E54", 0x7F, ResultFailed, " Special Registers Black check error!"},
        {"W78E58", 0xFD, ResultFailed, " Special Registers Black check error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << std::hex << int(c.reg));
        sim::W78FlashChip* chip = Put(c.name);
        chip->SetSpecialRegister(c.reg);
        EXPECT_EQ(Run(OpBlankCheck), c.result) << LogText();
        EXPECT_TRUE(HasLine(c.line)) << LogText();
    }
    sim::W78FlashChip* chip = Put("W78E51");
    EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Erase(), 1);
    EXPECT_EQ(chip->ErasePulses(), 1u);
    ExpectNoViolations();
}

// Row 122: P3.6 rises at 8000h on the two-bank part only; an all-FFh buffer
// gives no pulse in the array.
TEST_F(W78Run, Row122BankLineAndBlankBuffer) {
    struct Case {
        const char* name;
        std::vector<uint32_t> raised;
    };
    // The register read before the array (its lock bit decides whether
    // the array is read) raises it at FFFFh on both.
    const Case cases[] = {{"W78E516", {0xFFFF, 0x8000}}, {"W78E58", {0xFFFF}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::W78FlashChip* chip = Put(c.name);
        DeviceStart = BufferIndex = 0x7F00;
        DeviceEnd = std::min<uint32_t>(DeviceSize, 0x8100) - 1;
        FillBufferRange(0, DeviceSize - 1, 0xFF);
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
        EXPECT_EQ(chip->ProgramPulses(), 0u);
        EXPECT_TRUE(HasLine(" Special Registers Program ok!")) << LogText();
        chip->ClearCounts();
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Read(0), 1);
        EXPECT_EQ(chip->BankRaisedAt(), c.raised);
    }
    // The upper bank holds its own bytes (FFFFh is the register's).
    sim::W78FlashChip* chip = Put("W78E516");
    FillPattern(0x10000);
    DeviceStart = BufferStart = 0x7FF0;
    DeviceEnd = 0x800F;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0x8001), BufferByte(0x8001));
    EXPECT_EQ(chip->Cell(0x7FF1), BufferByte(0x7FF1));
    EXPECT_EQ(chip->Cell(0x0001), 0xFF);
    ExpectNoViolations();
}

// A range that starts in the upper bank raises P3.6 at its first address:
// its bytes land in the upper bank's cells, the lower bank stays blank.
TEST_F(W78Run, Row122RangeStartingInTheUpperBank) {
    sim::W78FlashChip* chip = Put("W78E516");
    FillPattern(0x10000);
    DeviceStart = BufferStart = 0xC000;
    DeviceEnd = 0xC0FF;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0xC000; a <= 0xC0FF; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    for (uint32_t a = 0x4000; a <= 0x40FF; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
    ExpectNoViolations();
}

// A full 64 KB image: FFFFh is the special register's address, so the range
// leaves the register to the options. A user's byte there that the register
// does not hold is named, fails Program and Verify at FFFFh and is never
// burnt into the lock or encryption bits; a byte the register holds, or a
// blank FFh, passes.
TEST_F(W78Run, Row122UserByteAtFFFFh) {
    sim::W78FlashChip* chip = Put("W78E516");
    ASSERT_EQ(DeviceEnd, 0xFFFFu);
    FillPattern(0x10000, 7);
    FillBufferRange(0xFFFF, 0xFFFF, 0x00);
    SpecialRegisterMovExecute = 1;
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Byte 00h at FFFFh not programmed: the part holds its special register (FDh) there."))
        << LogText();
    EXPECT_EQ(chip->SpecialRegister(), 0xFD);
    EXPECT_FALSE(chip->Locked());
    for (uint32_t a = 0; a < 0xFFFF; a += 0x1111) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    EXPECT_EQ(chip->Cell(0xFFFE), BufferByte(0xFFFE));
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0xFFFF))) << LogText();
    // The byte the register holds there verifies, and so does a blank one.
    for (uint8_t v : {uint8_t{0xFD}, uint8_t{0xFF}}) {
        FillBufferRange(0xFFFF, 0xFFFF, v);
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    }
    const uint8_t last = BufferByte(0xFFFE);
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferByte(0xFFFE), last);
    EXPECT_EQ(BufferByte(0xFFFF), 0xFD); // what the part shows there: the register
    // A read image programs again onto a blank part without a complaint.
    Put("W78E516");
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    // A code byte that differs still fails the verify.
    FillBufferRange(0xFFFE, 0xFFFE, static_cast<uint8_t>(last ^ 1));
    EXPECT_EQ(Run(OpVerify), ResultFailed);
    ExpectNoViolations();
}

// The Options entry reads the register into the options (logging the mode-2
// line) before the dialog; a variant past row 108's table powers nothing.
TEST_F(W78Run, OptionsReadAndUnknownVariant) {
    sim::W78FlashChip* chip = Put("W78E54");
    chip->SetSpecialRegister(0x79); // MOV execute, encryption and gain enabled
    EXPECT_EQ(AlgorithmTable[108].Options(), 1);
    EXPECT_TRUE(HasLine(" Special Registers Read ok!")) << LogText();
    EXPECT_EQ(SpecialRegisterMovExecute + SpecialRegisterEncryption + SpecialRegisterOscControl, 3);
    EXPECT_EQ(EncodeSpecialRegister(), 0x79);

    DeviceVariant = 3;
    StartTrace();
    for (int r : {AlgorithmTable[108].Identify(), AlgorithmTable[108].Read(2), AlgorithmTable[108].Program(), AlgorithmTable[108].Erase(), AlgorithmTable[108].Secure()}) EXPECT_EQ(r, -1);
    EXPECT_TRUE(HasLine(" Device variant 3 not supported.")) << LogText();
    ExpectNoPowerUp();
    EXPECT_TRUE(simp.RegisterTrace().empty()); // nothing switched
}

} // namespace
