// The PLD fixture for the JTAG-programmed parts: parts seated from the
// simulator's JTAG part table (or changed copies of its facts), JEDEC files
// loaded from a fuse vector.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "sim/JtagCpldParts.h"
#include "sim/RegisterTap.h"
#include "tests/logic/PldFixture.h"

// A parameterised test's name from a record's part name.
template <class Record> std::string RecordTestName(const ::testing::TestParamInfo<Record>& info) {
    std::string n = info.param.name;
    for (char& c : n) {
        if (c == '@') c = '_';
    }
    return n;
}

class JtagCpldRun : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        sim::RegisterRegisterTapPersonality();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }

    template <class Chip> Chip* SeatJtag(const sim::JtagCpldFacts& facts) {
        auto chip = std::make_unique<Chip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    static sim::JtagCpldFacts Facts(const std::string& maker, const std::string& name) {
        const sim::JtagCpldFacts* f = sim::FindJtagCpldPart(maker, name);
        EXPECT_NE(f, nullptr) << maker << " " << name;
        return f ? *f : sim::JtagCpldFacts{};
    }
    void Reseat() {
        socket->Clear();
        elec->WithdrawAllChips();
    }

    // Loads a JEDEC text of the fuses; the file's "C" matches the buffer's sum.
    void LoadFuses(const std::vector<uint8_t>& fuses, uint32_t rowWidth) {
        const uint32_t written = WriteJedec("in.jed", fuses, rowWidth);
        uint32_t fileSum = 0, blown = 0;
        ASSERT_EQ(LoadJedecFile("in.jed", fileSum, blown), 1);
        EXPECT_EQ(fileSum, written);
    }
    // The saved JEDEC text carries the loaded file's "C" field.
    void ExpectSavedChecksumOfLoadedFile() {
        const std::string saved = FormatJedecText(nullptr, 0);
        EXPECT_EQ(ReadJedecChecksumField(saved), ReadJedecChecksumField(ReadText("in.jed")));
    }
    static void ClearUserMap(uint32_t count) {
        for (uint32_t n = 0; n < count; ++n) SetBufferBit(n, 0);
    }
    template <class Chip> static std::vector<uint8_t> Cells(const Chip* chip, uint32_t count) {
        std::vector<uint8_t> c(count);
        for (uint32_t n = 0; n < count; ++n) c[n] = static_cast<uint8_t>(chip->Cell(n));
        return c;
    }
};
