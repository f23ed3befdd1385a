// Row 292 end to end against the four-wire ISP chip model, on the library's
// records of the variant rows (GENERIC-ALGORITHM parts that follow the row).
// A record of a variant without a row is made by changing the variant of one
// of them, as a hand-edited library would.
#include "engine/RowDef.h"
#include "logic/IspCommandPld.h"
#include "sim/IspPldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

void PutIspField(DeviceRecord& r, uint32_t field, uint32_t size, uint32_t value) {
    for (uint32_t k = 0; k < size; ++k)
        r.Bytes[RecordFieldBase + field + k] = static_cast<uint8_t>(value >> (8 * (size - 1 - k)));
}

class IspCommandPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    // The library record of each variant row.
    static const char* RecordOf(uint32_t variant) {
        switch (variant) {
        case 0: return "SCPLD15360";
        case 4: return "SCPLD74880";
        case 14: return "SCPLD8160";
        case 25: return "SCPLD320320";
        case 31: return "SCPLD15040";
        default: return nullptr;
        }
    }
    // The catalog part of the variant's record, as a test may change it.
    static sim::IspPldFacts IspFacts(uint32_t variant) {
        const sim::IspPldFacts* f = sim::FindFacts<sim::IspPldFacts>("GENERIC-ALGORITHM", RecordOf(variant));
        EXPECT_NE(f, nullptr) << variant;
        return f != nullptr ? *f : sim::IspPldFacts{};
    }
    // The variant's library record selected, and the part seated.
    sim::IspPldChip* IspSelect(uint32_t variant, const sim::IspPldFacts& part) {
        const char* name = RecordOf(variant);
        EXPECT_NE(name, nullptr) << variant;
        EXPECT_TRUE(SelectPld("GENERIC-ALGORITHM", name != nullptr ? name : ""));
        return SeatAlone<sim::IspPldChip>(part);
    }
    // A record of variant 0's part with another variant and fuse count.
    sim::IspPldChip* IspSelectChanged(uint32_t variant, uint32_t fuses) {
        EXPECT_TRUE(SelectPld("GENERIC-ALGORITHM", RecordOf(0)));
        DeviceRecord r = DeviceRecordFromStored(CurrentDeviceRecord);
        PutIspField(r, FieldVariant, 1, variant);
        PutIspField(r, FieldPldDeviceSize, 4, fuses);
        DeviceSection = SectionPld;
        EXPECT_EQ(SetCurrentDevice(r), 1);
        return SeatAlone<sim::IspPldChip>(IspFacts(0));
    }
    sim::IspPldChip* IspSelect(uint32_t variant) { return IspSelect(variant, IspFacts(variant)); }
};

// Each variant row through the driver: blank check, program from a JEDEC
// file, verify, read back equal (the saved file keeps its "C" field), erase
// with the driver's blank check, secure with the driver's check of ones.
TEST_F(IspCommandPldTest, VariantsThroughTheDriver) {
    for (uint32_t variant : {0u, 4u, 14u, 31u}) {
        SCOPED_TRACE(variant);
        sim::IspPldChip* chip = IspSelect(variant);
        EXPECT_EQ(CurrentAlgorithm, 292u);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(DeviceSize, variant);
        ExpectRoundTripThenErase(fuses, FuseRowLength, [&] { return Cells(chip, DeviceSize); });
        EXPECT_TRUE(chip->Blank());
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        EXPECT_EQ(chip->BadAddresses(), 0);
        // Program pulses of the variant's time, the erase of 200 ms.
        for (const auto& t : chip->TimedLog()) {
            EXPECT_TRUE(t.done) << t.instruction;
            const uint64_t need = t.instruction == 3 ? 200000u : variant == 14 ? 10000u : 40000u;
            EXPECT_LT(t.widthUs, need + 2000) << t.instruction;
        }
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Read into the buffer leaves the 40 signature bits right after the fuses.
TEST_F(IspCommandPldTest, ReadStoresTheSignatureAfterTheFuses) {
    sim::IspPldFacts f = IspFacts(31);
    f.signature = {0x5A, 0x25, 255, 0xA1, 0xC3};
    IspSelect(31, f);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t j = 0; j < 5; ++j)
        for (uint32_t i = 0; i < 8; ++i)
            EXPECT_EQ(GetBufferBit(DeviceSize + 8 * j + i), f.signature[j] >> i & 1u) << j << " " << i;
}

// The identification byte decides; a maker A1h part must also show the
// variant's type, supply code 5 or 25h and a non-zero status. Refused: "
// Invalid device ID." before any row, the socket powered down.
TEST_F(IspCommandPldTest, IdentityAndSignatureChecks) {
    struct Case {
        const char* what;
        void (*change)(sim::IspPldFacts&);
        bool accepted;
    };
    const Case cases[] = {
        {"another identity", [](sim::IspPldFacts& f) { f.identity = 2; }, false},
        {"A1h, another type", [](sim::IspPldFacts& f) { f.signature[2] = 193; }, false},
        {"A1h, supply code 3", [](sim::IspPldFacts& f) { f.signature[1] = 3; }, false},
        {"A1h, status 0", [](sim::IspPldFacts& f) { f.signature[0] = 0; }, false},
        {"A1h, supply code 25h", [](sim::IspPldFacts& f) { f.signature[1] = 0x25; }, true},
        {"another maker, type and supply", [](sim::IspPldFacts& f) { f.signature = {0, 3, 7, 0x8F, 0}; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::IspPldFacts f = IspFacts(0);
        c.change(f);
        sim::IspPldChip* chip = IspSelect(0, f);
        LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
        // Auto erases with no blank check after it: only the Erase entry's
        // own refusal keeps its step from reporting success.
        for (int op : {OpProgram, OpErase, OpSecurity, OpAuto}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), c.accepted ? 1 : -1) << LogText();
            EXPECT_EQ(HasLine(" Invalid device ID."), !c.accepted) << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
            if (!c.accepted) {
                EXPECT_TRUE(chip->TimedLog().empty());
                // The step itself fails, not only the driver's check after it.
                for (const char* ok : {"Program ok!", "Erase ok!", "Security ok!"}) EXPECT_FALSE(HasLine(ok)) << ok;
            }
        }
        ExpectNoViolations();
    }
}

// Another identification byte ends each run at " Invalid device ID.", no
// row written.
TEST_F(IspCommandPldTest, AnotherIdentityEndsTheRunAtItsLine) {
    for (uint32_t variant : {0u, 4u, 14u, 25u, 31u}) {
        SCOPED_TRACE(variant);
        sim::IspPldChip* chip = IspSelect(variant);
        LoadFuses(Pattern(DeviceSize, variant), FuseRowLength);
        ExpectIdentityRefusedAtItsLine(chip, " Invalid device ID.");
        EXPECT_TRUE(chip->TimedLog().empty());
    }
}

// A variant past the table or with an empty row is refused before the
// socket is powered (its walk would never end), and the librarian refuses
// such records, as it does a fuse count past the variant's rows. It checks
// no identity either.
TEST_F(IspCommandPldTest, UnusableVariantsRefused) {
    for (uint32_t variant : {1u, 13u, 32u, 200u}) {
        SCOPED_TRACE(variant);
        IspSelectChanged(variant, 15360);
        EXPECT_FALSE(RowDefinition(292)->ChecksIdentity());
        for (int op : {OpBlankCheck, OpProgram, OpErase, OpSecurity}) {
            EXPECT_EQ(Run(op), -1) << LogText();
            EXPECT_FALSE(HasLine(" Invalid device ID.")) << LogText();
        }
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
    const RowDef* def = RowDefinition(292);
    ASSERT_NE(def, nullptr);
    RowRecordFacts record;
    record.DeviceSize = 15360;
    for (uint32_t variant : {1u, 32u}) {
        record.Variant = variant;
        EXPECT_NE(RowRecordRefusal(*def, record), "") << variant;
    }
    record.Variant = 0;
    EXPECT_EQ(RowRecordRefusal(*def, record), "");
    record.DeviceSize = 15361;
    EXPECT_NE(RowRecordRefusal(*def, record), "");
}

// Injected: a cell that never programs fails the verify at its fuse; ESC
// answered No ends a read with -1 and a program run at its row.
TEST_F(IspCommandPldTest, InjectedFaultsAndBreaks) {
    sim::IspPldChip* chip = IspSelect(14);
    std::vector<uint8_t> fuses(DeviceSize, 1);
    fuses[1001] = 0;
    chip->StickCell(1001);
    LoadFuses(fuses, FuseRowLength);
    VerifyAfterProgram = 1;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Verification error!")) << LogText();
    EXPECT_TRUE(HasLine(" Fail address : 1001(3E9h)")) << LogText();
    VerifyAfterProgram = 0;

    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();

    chip = IspSelect(14);
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), FuseRowLength);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_NE(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->Cell(0), 0);
    EXPECT_EQ(chip->Cell(DeviceSize - 1), 1); // the last row never written
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
