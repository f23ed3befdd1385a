// Configuration bits that refuse to program, on every device of the PIC
// rows: the configuration word is chosen as the dialog packs it on a blank
// word, the protection field ("Memory Protect") at its first choice (code
// protection on) and at its last (off), every other field at 0. Auto on a
// fresh part without the fault must end with "Configuration Fuse Program
// ok!", the part protected as chosen. Then each bit the word programs is
// made to refuse programming on a fresh part of its own, one at a time:
// Auto must end with "Configuration Fuse Program error!". The bits are
// those the catalog part implements (its facts' configuration mask) that a
// blank part holds at 1 and that the chosen word, or the part after the run
// without the fault (the copies of the protection bits a writer adds), holds
// at 0.
#include "mcu/Pic.h"
#include "mcu/PicShared.h"
#include "sim/PicParallelChip.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr const char* kPicRefusal = "each configuration bit refusing to program";

// Bits made to refuse over the whole run: how many failed the write, as
// they must, and how many did not.
CountPair& g_refusals =
    ShardCounts("[sweep] PIC configuration bits refusing to program: %d failed the write, %d did not\n");

// The seated part's model as either PIC model: its facts, configuration
// word and protection, and the fault.
struct SeatedPic {
    sim::PicChip* serial = nullptr;
    sim::PicParallelChip* parallel = nullptr;
    explicit SeatedPic(sim::CatalogChip* chip)
        : serial(sim::SeatedModel<sim::PicChip>(chip)), parallel(sim::SeatedModel<sim::PicParallelChip>(chip)) {}
    bool Seated() const { return serial != nullptr || parallel != nullptr; }
    const sim::PicFacts& Facts() const { return serial ? serial->Facts() : parallel->Facts(); }
    uint32_t Config() const { return serial ? serial->Config() : parallel->Config(); }
    bool Protected() const { return serial ? serial->Protected() : parallel->Protected(); }
    void Refuse(uint32_t bits) { serial ? serial->RefuseConfigBits(bits) : parallel->RefuseConfigBits(bits); }
};

// The configuration word of a blank part of the kind.
uint32_t BlankConfig(const sim::CatalogPart& part) {
    const sim::CatalogChip& blank = BlankPart(part);
    if (const auto* c = sim::SeatedModel<sim::PicChip>(&blank)) return c->Config();
    if (const auto* c = sim::SeatedModel<sim::PicParallelChip>(&blank)) return c->Config();
    return 0;
}

// Blank program, configuration and ID words (the catalog part's blank word)
// over the first 16 words, then the choice packed into the configuration
// word; returns the word.
uint32_t ChooseWord(const PicConfigRecord& record, const sim::CatalogPart& part, bool protect) {
    const uint32_t blank = part.facts->blank;
    const PicPositions at = PicBufferPositions();
    DeviceEnd = std::min(DeviceEnd, DeviceStart + 15);
    for (uint32_t i = 0; i < 16; ++i) PicWord(i) = static_cast<uint16_t>(blank);
    PicFixedWord(at.Config) = static_cast<uint16_t>(blank);
    for (uint32_t i = 0; at.Id != 0 && i < 4; ++i) PicFixedWord(at.Id + i) = static_cast<uint16_t>(blank);
    PicConfigWord = blank;
    for (uint32_t i = 0; i < 4; ++i) PicIdWords[i] = at.Id != 0 ? PicFixedWord(at.Id + i) : 0;
    UnpackPicConfigFields();
    for (int n = 0; n < 12; ++n) PicConfigFields[n] = 0;
    const uint32_t choices = PicListSize(record.Lists[3]);
    PicConfigFields[3] = protect || choices == 0 ? 0 : choices - 1;
    PackPicConfigFields();
    return PicFixedWord(at.Config);
}

TEST_P(EveryDevice, PicConfigurationBitsRefusingToProgram) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section != SectionMicro) GTEST_SKIP() << "not a microcontroller";
    DeviceSection = d.section;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    const AlgorithmEntry* entry = AlgorithmRow(CurrentAlgorithm);
    if (entry == nullptr || entry->Options != Alg110Options) GTEST_SKIP() << "not a PIC row";
    PassDevice p;
    const size_t start = ui.Log.size();
    std::string counts, skip;
    bool ready = true;
    for (const bool protect : {true, false}) {
        const char* setting = protect ? "protection on" : "protection off";
        // A fresh part: `refused` bits refuse to program (0: none).
        auto run = [&](uint32_t refused, uint32_t& word, std::string& why) -> SeatedPic {
            InstallSimulator(0);
            p = PassDevice{};
            if (!Ready(p, d, GetParam(), kPicRefusal, skip)) {
                ready = false; // a failure there is counted by Ready
                return SeatedPic(nullptr);
            }
            SeatedPic pic(SeatedSimChip());
            const PicConfigRecord* record = CurrentPicConfigRecord();
            if (!pic.Seated() || record == nullptr) {
                why = "the part is no PIC, or the device has no configuration record";
                return pic;
            }
            pic.Refuse(refused);
            word = ChooseWord(*record, *p.part, protect);
            const size_t from = ui.Log.size();
            BlankCheckBeforeProgram = 1;
            VerifyAfterProgram = 1;
            const int r = RunOperation(MainEngine, OpAuto);
            char m[160];
            if (refused == 0 && (r != ResultOk || !Logged(ui, from, "Configuration Fuse Program ok!"))) {
                std::snprintf(m, sizeof m, "%s, word %04Xh: Auto failed without a fault (%s)", setting, word,
                              FirstError(ui, from).c_str());
                why = m;
            } else if (refused == 0 && pic.Protected() != protect) {
                std::snprintf(m, sizeof m, "%s, word %04Xh: the part holds %04Xh, %s", setting, word, pic.Config(),
                              protect ? "unprotected" : "protected");
                why = m;
            } else if (refused != 0 && (r == ResultOk || !Logged(ui, from, "Configuration Fuse Program error!"))) {
                std::snprintf(m, sizeof m, "%s, word %04Xh, bit %04Xh refusing: %s (the part holds %04Xh)", setting,
                              word, refused, r == ResultOk ? "Auto ok" : FirstError(ui, from).c_str(), pic.Config());
                why = m;
            }
            if (const std::string v = UnexpectedViolation(*ProgramSimulator()); why.empty() && !v.empty())
                why = "violation: " + v;
            return pic;
        };
        uint32_t word = 0;
        std::string why;
        const SeatedPic clean = run(0, word, why);
        if (!ready) {
            if (!skip.empty()) GTEST_SKIP() << skip;
            return;
        }
        if (!why.empty()) {
            p.Fail(why);
            break;
        }
        // The bits the word programs: implemented by the part, 1 on a blank
        // part, 0 in the chosen word or on the part after the clean run.
        const uint32_t bits = clean.Facts().configMask & BlankConfig(*p.part) & (~word | ~clean.Config()) & 0xFFFF;
        int n = 0;
        for (uint32_t b = 1; b != 0 && b <= 0x8000 && why.empty(); b <<= 1) {
            if ((bits & b) == 0) continue;
            uint32_t w = 0;
            run(b, w, why);
            (why.empty() ? g_refusals.first : g_refusals.second) += 1;
            ++n;
        }
        if (!why.empty()) {
            p.Fail(why);
            break;
        }
        char m[96];
        std::snprintf(m, sizeof m, "%s %s, word %04Xh: %d bits", counts.empty() ? "" : ";", setting, word, n);
        counts += m;
    }
    if (!p.failed) p.line += counts + ", each refusing failed the write";
    Report(p, kPicRefusal, GetParam(), p.failed, ui, start);
}

} // namespace
