// Row 186 against the simulator's ECON-register serial parts: the code and
// the nine configuration bytes through the operation driver, the security
// bit, the signature question, injected faults and the range it refuses.
#include "McuFixture.h"

#include <functional>

#include "engine/RowDef.h"
#include "mcu/Econ186.h"
#include "sim/EconChip.h"

namespace {

constexpr uint8_t kEcon186Buffer = 0x13; // bits 7 and 5 clear, as Read returns them
constexpr uint8_t kEcon186Config[8] = {0x01, 0xFF, 0x00, 0x5A, 0xA5, 0x80, 0x7E, 0x02};

// A recording UI that runs a hook when a question is shown.
class EconQuestionUi : public BreakingUi {
public:
    std::function<void()> OnQuestion;
    UiAnswer MessageBox(const std::string& text, const std::string& caption, UiButtons buttons,
                        UiIcon icon) override {
        if (OnQuestion) OnQuestion();
        return BreakingUi::MessageBox(text, caption, buttons, icon);
    }
};

class Econ186Run : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        ResetEcon186State();
    }
    sim::EconChip* PutEcon(const char* name, void (*change)(sim::EconFacts&) = nullptr) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name)) << name;
        const sim::EconFacts* f = sim::FindFacts<sim::EconFacts>("GENERIC-ALGORITHM", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::EconFacts facts = *f;
        if (change != nullptr) change(facts);
        auto chip = std::make_unique<sim::EconChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    // Code from the pattern, then ECON and the configuration bytes.
    void FillEconImage() {
        const uint32_t code = DeviceSize - 9;
        FillPattern(code, 7);
        BufferWindow[5] = 0xFF;
        BufferWindow[6] = 0x00;
        BufferWindow[code] = kEcon186Buffer;
        for (uint32_t i = 0; i < 8; ++i) BufferWindow[code + 1 + i] = kEcon186Config[i];
    }
    std::vector<uint8_t> EconImage() const {
        std::vector<uint8_t> image(DeviceSize);
        for (uint32_t a = 0; a < DeviceSize; ++a) image[a] = BufferByte(a);
        return image;
    }
    // Program pulses at code and configuration cells.
    static uint32_t EconPulses(const sim::EconChip& chip) {
        uint32_t n = 0;
        for (uint32_t c = 0; c < chip.Words(); ++c) n += chip.PulsesAt(c);
        return n;
    }
};

class Econ186Parts : public Econ186Run, public ::testing::WithParamInterface<const char*> {};

// Blank check, program, verify at both levels, read back equal and saved;
// every code byte is pulsed (FFh and 00h too); ECON is written with bit 7
// set and bit 5 clear; Read in mode 2 logs ECON with bits 7 and 5 cleared.
TEST_P(Econ186Parts, ProgramsCodeAndConfigurationAndReadsThemBack) {
    sim::EconChip* chip = PutEcon(GetParam());
    ASSERT_NE(chip, nullptr);
    const uint32_t code = DeviceSize - 9;
    ASSERT_EQ(code, chip->Words() - 9);
    FillEconImage();
    const std::vector<uint8_t> image = EconImage();

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    for (uint32_t a = 0; a < code; ++a) {
        ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
        ASSERT_GE(chip->PulsesAt(a), 2u) << std::hex << a;
    }
    EXPECT_EQ(chip->Econ(), kEcon186Buffer | 0x80);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(chip->ConfigByte(i), kEcon186Config[i]) << i;

    FillBufferRange(0, DeviceSize - 1, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" ECON:13h")) << LogText();
    for (uint32_t a = 0; a < DeviceSize; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ASSERT_EQ(SaveHexFamilyFile("econ.hex", 0, DeviceSize - 1, HexFormatIntel), 1);
    FillBufferRange(0, DeviceSize - 1, 0x5A);
    ASSERT_EQ(LoadHexFamilyFile("econ.hex", 0, 0), 1);
    for (uint32_t a = 0; a < DeviceSize; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, Econ186Parts, ::testing::Values("ECON-SERIAL-4K", "ECON-SERIAL-8K"));

// A range ending below the top programs its code up to its end and no
// configuration byte it does not reach; Read fills the range alone, the
// buffer past Buffer End untouched. A range ending among the nine bytes
// takes the ECON byte and the configuration bytes up to its end.
TEST_F(Econ186Run, ShortRangeProgramsUpToItsEndAndReadsNoFurther) {
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    DeviceEnd = 0x7FF;
    const std::vector<uint8_t> image = EconImage();
    const uint8_t blank = chip->Econ();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    for (uint32_t a = 0; a < chip->Words(); ++a)
        ASSERT_EQ(chip->Cell(a), a <= 0x7FF ? image[a] : blank) << std::hex << a;
    FillBufferRange(0, DeviceSize - 1, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < DeviceSize; ++a) ASSERT_EQ(BufferByte(a), a <= 0x7FF ? image[a] : 0x5A) << std::hex << a;

    chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    DeviceEnd = DeviceSize - 5; // ECON and configuration bytes 0-3
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(DeviceSize - 10), image[DeviceSize - 10]);
    EXPECT_EQ(chip->Econ(), kEcon186Buffer | 0x80);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(chip->ConfigByte(i), i < 4 ? kEcon186Config[i] : blank) << i;
    FillBufferRange(0, DeviceSize - 1, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = DeviceSize - 10; a < DeviceSize; ++a)
        ASSERT_EQ(BufferByte(a), a <= DeviceSize - 5 ? image[a] : 0x5A) << std::hex << a;
    ExpectNoViolations();
}

// Auto verifies after Program within one run: the verify reads the ECON and
// configuration bytes Program wrote, not those the run's first check saw.
TEST_F(Econ186Run, AutoVerifiesTheConfigurationItWrote) {
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_EQ(chip->Econ(), kEcon186Buffer | 0xA0); // Auto ends with Secure
    EXPECT_EQ(EconValue, kEcon186Buffer);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(EconBytes[i], kEcon186Config[i]) << i;
    ExpectNoViolations();
}

// An image whose ECON byte has the security bit programs an unsecured part:
// bit 5 is cleared and bit 7 set whatever the buffer holds.
TEST_F(Econ186Run, ProgramNeverSetsTheSecurityBit) {
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    BufferWindow[DeviceSize - 9] = 0x7F;
    VerifyAfterProgram = 0; // Read returns ECON with bits 7 and 5 cleared
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Econ(), 0xDF);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferByte(DeviceSize - 9), 0x5F);
    EXPECT_TRUE(HasLine(" ECON:5Fh")) << LogText();
    ExpectNoViolations();
}

// The blank check passes on 00h only; a part with maker and device code 0
// passes the signature check.
TEST_F(Econ186Run, BlankIsAllZeroAndZeroCodesPass) {
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    chip->SetCell(0x123, 0x01);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    chip = PutEcon("ECON-SERIAL-4K");
    chip->SetCell(chip->Words() - 1, 0x04); // configuration byte 7
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();

    chip = PutEcon("ECON-SERIAL-4K", [](sim::EconFacts& f) { f.makerCode = f.deviceCode = 0; });
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_FALSE(HasLine(" Incorrect device ID.")) << LogText();
    ExpectNoViolations();
}

// Secure sets ECON bits 7 and 5; afterwards Read, Program and Secure each
// stop at the signature check with " Device secured!".
TEST_F(Econ186Run, SecuredPartRefusesEveryEntry) {
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_EQ(chip->Econ(), kEcon186Buffer | 0xA0);
    for (int op : {OpRead, OpProgram, OpSecurity}) {
        chip->ClearCounts();
        EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
        EXPECT_TRUE(HasLine(" Device secured!")) << op << LogText();
        EXPECT_EQ(EconPulses(*chip), 0u) << op;
    }
    ExpectNoViolations();
}

// A wrong device code: No ends with no pulse; Yes goes on. The socket is
// switched off before the question waits, and the run's later entries do
// not ask again.
TEST_F(Econ186Run, WrongSignatureAsksWithTheSocketOff) {
    EconQuestionUi qui;
    InstallUiBridge(&qui);
    int powerAtQuestion = -1, questions = 0;
    qui.OnQuestion = [&] {
        ++questions;
        powerAtQuestion = RegisterShadow[12]; // the device supply register
    };
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K", [](sim::EconFacts& f) { f.deviceCode = 0x55; });
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    qui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(RunOperation(MainEngine, OpProgram), ResultFailed);
    EXPECT_EQ(EconPulses(*chip), 0u);
    EXPECT_EQ(questions, 1);

    questions = 0;
    powerAtQuestion = -1;
    qui.QueueAnswer(UiAnswer::Yes);
    EXPECT_EQ(RunOperation(MainEngine, OpAuto), ResultOk);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(powerAtQuestion, 0);
    EXPECT_EQ(chip->Cell(0), BufferByte(0));
    InstallUiBridge(&ui);
    ExpectNoViolations();
}

// Another part of the row seated: answered No, Verify, Program and Blank
// check end at the row's line, nothing pulsed; Yes goes on and programs.
TEST_F(Econ186Run, AnotherPartsIdentityEndsTheRunAtItsLine) {
    const RowDef* def = RowDefinition(186);
    ASSERT_TRUE(def != nullptr && def->ChecksIdentity != nullptr && def->ChecksIdentity());
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    chip->AnswerAnotherIdentity();
    FillEconImage();
    ExpectIdentityRefused(" Incorrect device ID.", true, [&] { EXPECT_EQ(EconPulses(*chip), 0u); });
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText(); // Yes by default
    EXPECT_EQ(chip->Cell(0x10), BufferByte(0x10));
    EXPECT_EQ(IdentityRefusalLine(), "");
    ExpectNoViolations();
}

// A code byte that never takes: -1 after six pulses at its cell, nothing
// programmed after it.
TEST_F(Econ186Run, ByteThatNeverTakesFailsAfterSixPulses) {
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    chip->StickCell(0x40);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_EQ(chip->PulsesAt(0x40), 6u);
    EXPECT_EQ(chip->PulsesAt(0x41), 0u);
    EXPECT_EQ(chip->Econ(), 0x00);
    ExpectNoViolations();
}

// The chip's counter starts at 0: a range starting above 0 is refused with
// a line before the socket is powered, and nothing after it names a datum
// or a verify level's result (nothing was read).
TEST_F(Econ186Run, StartAboveZeroIsRefused) {
    sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    DeviceStart = 0x100;
    StartTrace();
    for (int op : {OpProgram, OpVerify, OpBlankCheck, OpRead}) {
        EXPECT_EQ(Run(op), ResultFailed) << op;
        EXPECT_TRUE(HasLine(" Chip start 100h not supported: this device is addressed from 0.")) << LogText();
        EXPECT_EQ(DatumLines(), "") << op << LogText();
    }
    ExpectNoPowerUp();
    EXPECT_EQ(EconPulses(*chip), 0u);
}

// Split modes: Program and Read refuse before anything is switched on, no
// cell pulsed and the buffer as it was (the row takes consecutive buffer
// bytes).
TEST_F(Econ186Run, SplitModesRefused) {
    sim::EconChip* chip = PutEcon("ECON-SERIAL-8K");
    ASSERT_NE(chip, nullptr);
    FillEconImage();
    const std::vector<uint8_t> image = EconImage();
    ExpectSplitModesRefused();
    EXPECT_EQ(EconPulses(*chip), 0u);
    EXPECT_EQ(EconImage(), image);
}

// The register byte the row declares is ECON: whatever its datum, the
// part's cell holds more than it, and a read gives the declared bits of it.
TEST_F(Econ186Run, DeclaredRegisterByteIsEcon) {
    const RowDef* def = RowDefinition(186);
    ASSERT_TRUE(def != nullptr && def->RegisterByteFromEnd != 0);
    for (const uint8_t datum : {uint8_t{0x13}, uint8_t{0x7F}, uint8_t{0xFF}}) {
        SCOPED_TRACE(int{datum});
        sim::EconChip* chip = PutEcon("ECON-SERIAL-4K");
        ASSERT_NE(chip, nullptr);
        FillEconImage();
        const uint32_t at = DeviceSize - def->RegisterByteFromEnd;
        BufferWindow[at] = datum;
        VerifyAfterProgram = 0;
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_NE(chip->Cell(at), datum);
        EXPECT_EQ(chip->Cell(at) & def->RegisterReadBits, datum & def->RegisterReadBits);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        EXPECT_EQ(BufferByte(at), datum & def->RegisterReadBits);
    }
    ExpectNoViolations();
}

// The buffer checksum adds the nine bytes after the device image.
TEST_F(Econ186Run, ChecksumAddsTheNineBytesAfterTheImage) {
    ASSERT_NE(PutEcon("ECON-SERIAL-4K"), nullptr);
    FillBufferRange(0, DeviceSize + 8, 0);
    const uint32_t empty = ComputeBufferChecksum(0, DeviceSize - 1);
    BufferWindow[DeviceSize + 8] = 0x11;
    EXPECT_EQ(ComputeBufferChecksum(0, DeviceSize - 1), empty + 0x11);
}

} // namespace
