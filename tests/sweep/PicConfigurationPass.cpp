// The PIC configuration word through the Option dialog, on every device of
// the PIC rows: for each field the device's record shows, each of its
// choices is picked in the dialog (as a user leaves the list) on a blank
// buffer word, then Auto runs over the first words on a blank part. The
// part's own configuration cells must hold the choice in the field's bits,
// every copy the part's datasheet mirrors a protection bit into (the
// catalog part's facts) must agree with the bit the field sets, and every
// other bit the part implements must stay as a blank part holds it. Choices
// such as "Do not use" are burnt as chosen all the same.
#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <functional>

#include "mcu/OptPic.h"
#include "mcu/Pic.h"
#include "mcu/PicShared.h"
#include "sim/PicParallelChip.h"
#include "tests/sweep/OptionDialog.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr const char* kPicConfig = "the configuration word through the dialog";

// Choices burnt as chosen and not, over the whole run.
CountPair& g_choices = ShardCounts("[sweep] PIC configuration choices: %d burnt as chosen, %d not\n");

// The configuration word the seated part holds, and its facts.
bool PartConfig(sim::CatalogChip* chip, uint32_t& config, const sim::PicFacts*& facts) {
    if (const auto* c = sim::SeatedModel<sim::PicChip>(chip)) {
        config = c->Config();
        facts = &c->Facts();
        return true;
    }
    if (const auto* c = sim::SeatedModel<sim::PicParallelChip>(chip)) {
        config = c->Config();
        facts = &c->Facts();
        return true;
    }
    return false;
}

// The blank word of the row: what the buffer holds before a choice.
uint32_t BlankConfigWord() {
    if (CurrentAlgorithm == 113) return 0xFFFF;
    return CurrentAlgorithm == 110 || CurrentAlgorithm == 114 ? 0xFFF : 0x3FFF;
}

// Where the part's word `has` differs from what field `field` at `choice`
// asks of it, described; "" when it holds the choice.
std::string Differs(const PicConfigRecord& r, int field, uint32_t choice, uint32_t has, uint32_t blank,
                    const sim::PicFacts& f) {
    uint32_t offered = 0, wanted = 0;
    for (int n = 0; n < 12; ++n) offered |= PicFieldMask(r, n);
    // The field's bits hold the choice, the lowest bit first.
    const uint32_t mask = PicFieldMask(r, field);
    for (uint32_t b = 0, j = 0; b < 16; ++b)
        if ((mask >> b) & 1) wanted |= ((choice >> j++) & 1) << b;
    // The other fields stay as a blank word gives them.
    const uint32_t expected = (blank & offered & ~mask) | wanted;
    char m[160];
    for (uint32_t b = 0; b < 16; ++b) {
        if (((offered >> b) & 1) && ((has ^ expected) >> b & 1)) {
            std::snprintf(m, sizeof m, "bit %u holds %u, %u chosen", b, (has >> b) & 1, (expected >> b) & 1);
            return m;
        }
    }
    // Every copy of a protection bit agrees with the bit a field sets.
    uint32_t copies = 0;
    for (const uint32_t g : f.protectCopies) {
        copies |= g;
        const uint32_t own = g & offered;
        const uint32_t want = own == 0 ? (blank & g) : ((expected & own) == own ? g : (expected & own) == 0 ? 0 : ~0u);
        if (want == ~0u) continue; // a group a field splits: its bits were checked above
        if ((has & g) != want) {
            std::snprintf(m, sizeof m, "protection copies %04Xh hold %04Xh, %04Xh chosen", g, has & g, want);
            return m;
        }
    }
    // Every other bit the part implements stays as a blank part holds it.
    const uint32_t rest = f.configMask & ~offered & ~copies & ~f.protectMask;
    if ((has & rest) != (blank & rest)) {
        std::snprintf(m, sizeof m, "bits %04Xh no field offers hold %04Xh, %04Xh blank", rest, has & rest,
                      blank & rest);
        return m;
    }
    return "";
}

TEST_P(EveryDevice, PicConfigurationThroughTheDialog) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section != SectionMicro) GTEST_SKIP() << "not a microcontroller";
    DeviceSection = d.section;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    const AlgorithmEntry* entry = AlgorithmRow(CurrentAlgorithm);
    if (entry == nullptr || entry->Options != Alg110Options) GTEST_SKIP() << "not a PIC row";
    if (!(SupportedOperationMask & OpMaskOption)) GTEST_SKIP() << "no Option offered";
    const PicConfigRecord* record = CurrentPicConfigRecord();
    ASSERT_NE(record, nullptr) << d.name;
    OffscreenApplication();
    InstallPicDialogLauncher(RunPicDialog);
    PassDevice p;
    const size_t start = ui.Log.size();
    bool failed = false;
    int choices = 0;
    for (int field = 0; field < 12 && !failed; ++field) {
        const uint32_t count = PicListSize(record->Lists[field]);
        for (uint32_t choice = 0; choice < count && !failed; ++choice) {
            // A fresh blank part and a blank buffer word for every choice.
            InstallSimulator(0);
            p = PassDevice{};
            if (std::string skip; !Ready(p, d, GetParam(), kPicConfig, skip)) {
                InstallPicDialogLauncher(nullptr);
                if (!skip.empty()) GTEST_SKIP() << skip;
                return;
            }
            sim::CatalogChip* chip = SeatedSimChip();
            uint32_t blank = 0;
            const sim::PicFacts* facts = nullptr;
            ASSERT_TRUE(PartConfig(chip, blank, facts)) << p.line << " the part is no PIC";
            const uint32_t blankWord = BlankConfigWord();
            const PicPositions at = PicBufferPositions();
            PicFixedWord(at.Config) = static_cast<uint16_t>(blankWord);
            for (uint32_t i = 0; at.Id != 0 && i < 4; ++i) PicFixedWord(at.Id + i) = static_cast<uint16_t>(blankWord);
            // Auto over the first 16 words, blank in the buffer.
            DeviceEnd = std::min(DeviceEnd, DeviceStart + 15);
            for (uint32_t i = 0; i < 16; ++i) PicWord(i) = static_cast<uint16_t>(blankWord);
            const std::string text = record->Lists[field][choice];
            bool picked = false;
            const bool shown = RunOptionDialog<TOptPic1>([&](TOptPic1& dialog) {
                QComboBox* combo = dialog.FieldCombos[field];
                if (!combo->isEnabled() || combo->count() != static_cast<int>(count)) return;
                combo->setCurrentIndex(static_cast<int>(choice));
                dialog.Change(); // the list's value is taken as the user leaves it
                picked = true;
            });
            std::string why;
            if (!shown) why = "Option showed no dialog";
            else if (!picked) why = "the dialog offers no list for field " + std::to_string(field);
            const size_t from = ui.Log.size();
            BlankCheckBeforeProgram = 1;
            VerifyAfterProgram = 1;
            if (why.empty() && RunOperation(MainEngine, OpAuto) != ResultOk)
                why = "Auto failed (" + FirstError(ui, from) + ")";
            if (why.empty() && !Logged(ui, from, "Configuration Fuse Program ok!"))
                why = "no \"Configuration Fuse Program ok!\"";
            uint32_t has = 0;
            PartConfig(chip, has, facts);
            if (why.empty()) why = Differs(*record, field, choice, has, blank, *facts);
            // Row 113's code-protected processor mode puts the part's
            // protection in force (every mode bit 0, those no field shows
            // with them), any other choice leaves it off; the buffer's word,
            // which a save writes, is the word the part holds.
            const auto* parallel = sim::SeatedModel<sim::PicParallelChip>(chip);
            if (why.empty() && parallel != nullptr && CurrentAlgorithm == 113) {
                const bool asked = text.rfind("Code protected", 0) == 0;
                char m[96];
                std::snprintf(m, sizeof m, "the buffer holds %04Xh", PicFixedWord(at.Config));
                if (parallel->Protected() != asked)
                    why = asked ? "the part is not code protected" : "the part is code protected";
                else if (PicFixedWord(at.Config) != has)
                    why = m;
            }
            if (const std::string v = UnexpectedViolation(*ProgramSimulator()); why.empty() && !v.empty())
                why = "violation: " + v;
            ++choices;
            if (!why.empty()) {
                char m[64];
                std::snprintf(m, sizeof m, " (the part holds %04Xh)", has);
                p.line += std::string(" ") + PicFieldLabels[field] + " \"" + text + "\": " + why + m;
                failed = true;
            }
            (failed ? g_choices.second : g_choices.first) += 1;
        }
    }
    InstallPicDialogLauncher(nullptr);
    if (!failed) p.line += " " + std::to_string(choices) + " choices burnt as chosen";
    Report(p, kPicConfig, GetParam(), failed, ui, start);
}

} // namespace
