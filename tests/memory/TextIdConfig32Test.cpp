// Row 32 through the operation driver: the probe picks the generation, the
// older one is programmed pin by pin with pulses and verified, the newer one
// runs row 33's entries on the same image; the identification and the
// faults.
#include "MemoryFixture.h"
#include "engine/Power.h"
#include "engine/RowDef.h"
#include "sim/SerialEngine.h"
#include "sim/SerialParts.h"
#include "sim/TextIdConfigChip.h"
#include "sim/TextIdConfigOldChip.h"
#include "sim/PartFacts.h"

namespace {

class TextId32Run : public MemoryRun {
protected:
    sim::TextIdConfigOldChip* older = nullptr;
    sim::TextIdConfigChip* newer = nullptr;

    void SetUp() override {
        MemoryRun::SetUp();
        sim::RegisterSerialPersonality();
    }
    // Selects the row-32 record and seats its older-generation part.
    void SeatOlder32(const char* name, uint32_t bytes = 0) {
        socket->Clear();
        elec->WithdrawAllChips();
        ASSERT_TRUE(Select("ALTERA", name));
        const sim::CatalogPart* part = sim::FindPart("ALTERA", name);
        ASSERT_NE(part, nullptr);
        std::unique_ptr<sim::CatalogChip> chip = sim::MakeChip(*part);
        elec->DeclareChip(chip->Limits());
        older = sim::SeatedModel<sim::TextIdConfigOldChip>(chip.get());
        ASSERT_NE(older, nullptr);
        socket->Insert(std::move(chip));
        if (bytes != 0) DeviceSize = bytes;
        SetupAddressRange();
    }
};

TEST_F(TextId32Run, OlderGenerationRoundTrip) {
    SeatOlder32("EPC1064", 0x200);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillPattern(BufferByteSize, 3);
    FillBufferRange(5, 5, 0xFF);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = 0; a < 0x200; ++a) ASSERT_EQ(older->Byte(a), BufferByte(a)) << a;
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    ExpectNoViolations();
}

} // namespace

namespace {

// The probe finds the newer generation in the socket: row 33's entries run
// on the command engine of the same image.
TEST_F(TextId32Run, NewerGenerationRunsTheCommandEngine) {
    ASSERT_TRUE(Select("ALTERA", "EPC1064"));
    const sim::SerialPart* part = sim::FindSerialPart("ALTERA", "EPC1441");
    ASSERT_NE(part, nullptr);
    newer = sim::SeatedModel<sim::TextIdConfigChip>(sim::SeatSerialPart(*socket, *elec, *part));
    ASSERT_NE(newer, nullptr);
    DeviceSize = 0x100;
    SetupAddressRange();
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillPattern(BufferByteSize, 6);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_GT(newer->Pulses(), 0u);
    for (uint32_t a = 0; a < 0xFF; ++a) ASSERT_EQ(newer->Byte(a), BufferByte(a)) << a;
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    ExpectNoViolations();
}

// The older generation: a byte verified after n pulses gets n x 100 us more;
// FFh bytes get no pulse; a range above 0 lands on its own bytes.
TEST_F(TextId32Run, OlderGenerationPulsesAndRange) {
    SeatOlder32("EPC1213", 0x40);
    FillPattern(BufferByteSize, 7);
    FillBufferRange(1, 1, 0xFF);
    FillBufferRange(2, 2, 0x00);
    older->ProgramsOnPulse(2, 3);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    const auto& w = older->PulseWidths();
    ASSERT_EQ(w.size(), 2u + 0 + 4 + 2 * 0x3Du);
    // Widths as the chip saw them: the pulse and the port writes around it.
    auto about = [](uint64_t us, uint64_t want) { return us >= want && us < want + 30; };
    EXPECT_TRUE(about(w[0], 100)) << w[0];
    EXPECT_TRUE(about(w[1], 100)) << w[1]; // byte 0: verified after one pulse
    EXPECT_TRUE(about(w[2], 100)) << w[2]; // byte 2: three pulses, then 300 us
    EXPECT_TRUE(about(w[4], 100)) << w[4];
    EXPECT_TRUE(about(w[5], 300)) << w[5];
    EXPECT_EQ(older->Byte(1), 0xFF);

    SeatOlder32("EPC1213");
    DeviceStart = 0x123;
    DeviceEnd = 0x140;
    FillPattern(BufferByteSize, 8);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = 0x123; a <= 0x140; ++a) ASSERT_EQ(older->Byte(a), BufferByte(a - 0x123)) << a;
    EXPECT_EQ(older->Byte(0x122), 0xFF);
    EXPECT_EQ(older->Byte(0x141), 0xFF);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    ExpectNoViolations();
}

// Faults end the run with their line: a wrong identification before any
// pulse (and no datum line after it), a byte that never verifies after 99 pulses, a user break.
TEST_F(TextId32Run, FaultsEndTheRunWithTheirLine) {
    // Another identification text, or another part of the row (its own
    // text changed): each operation ends at the identity line, nothing read
    // named after it.
    for (bool anotherPart : {false, true}) {
        SCOPED_TRACE(anotherPart ? "another part" : "identification");
        SeatOlder32("EPC1064", 0x40);
        if (anotherPart) older->AnswerAnotherIdentity();
        else older->SetIdText("ALTERA8");
        ASSERT_NE(RowDefinition(32)->ChecksIdentity, nullptr);
        EXPECT_TRUE(RowDefinition(32)->ChecksIdentity());
        FillPattern(BufferByteSize, 2);
        // Program refused in its own entry, then in the blank check before it.
        BlankCheckBeforeProgram = anotherPart ? 1 : 0;
        for (int op : {OpVerify, OpProgram, OpBlankCheck}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), -1) << LogText();
            EXPECT_TRUE(HasLine(" Invalid Chip ID")) << LogText();
            EXPECT_EQ(IdentityRefusalLine(), " Invalid Chip ID");
            EXPECT_EQ(DatumLines(), "") << LogText();
        }
        EXPECT_EQ(older->Pulses(), 0u);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
    {
        SCOPED_TRACE("a byte never verifies");
        SeatOlder32("EPC1064", 0x40);
        older->NeverPrograms();
        FillBufferRange(0, BufferByteSize - 1, 0x12);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_EQ(older->Pulses(), 99u);
        ExpectNoViolations();
    }
    {
        SCOPED_TRACE("user break");
        SeatOlder32("EPC1064", 0x400);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        FillPattern(BufferByteSize, 2);
        EXPECT_EQ(Run(OpProgram), 3) << LogText();
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

} // namespace
