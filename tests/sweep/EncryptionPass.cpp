// The every-device sweep's encryption pass: every device whose record offers
// the Encryption step, on a fresh part over its first 16 KB. Program (with
// its verify) writes the image; the Encryption step writes a table shorter
// than the part's array where the dialog can choose one (half the array, at
// least the dialog's 16 entries); the part's array then holds the table's
// entries and, past them, erased entries (FFh). A Read with decoding on
// gives the image back, and a Verify with decoding on passes.
#include "tests/sweep/Sweep.h"

#include "engine/NeighbourState.h"
#include "sim/Mcu8051Chip.h"

namespace {

using namespace sweep;

constexpr const char* kEncrypted = "encryption table written, reads decoded";

TEST_P(EveryDevice, EncryptionTableAndDecodedRead) {
    const LibraryDevice& d = Devices()[GetParam()];
    DeviceSection = d.section;
    ExpectedMakerId = 0;
    ExpectedDeviceId = 0;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    if (!(SupportedOperationMask & OpMaskEncryption)) GTEST_SKIP() << "no Encryption offered";
    SweepSummary::Declare(kEncrypted);
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kEncrypted, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    const size_t from = ui.Log.size();
    bool failed = false;
    const auto* chip = sim::SeatedModel<sim::Mcu8051Chip>(SeatedSimChip());
    const uint32_t array = EncryptionArraySize();
    if (chip == nullptr || array == 0) {
        p.line += chip == nullptr ? " the part's model shows no encryption array" : " the record gives no array size";
        Report(p, kEncrypted, GetParam(), true, ui, from);
        return;
    }
    std::string range;
    const size_t bytes = RangeBytes(false, 0x4000, range);
    p.line += range;
    const std::vector<uint8_t> image = LoadUserImage(false, bytes, static_cast<uint32_t>(GetParam()) + 41);
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    EncryptionEnable = 0;
    auto run = [&](const char* what, int op) {
        if (failed) return;
        const size_t at = ui.Log.size();
        const int r = RunOperation(MainEngine, op);
        p.line += std::string(" ") + what + (r == ResultOk ? " ok" : " FAILED (" + FirstError(ui, at) + ")");
        failed = r != ResultOk;
    };
    run("program, verify", OpProgram);
    // A table of its own per device, shorter than the array where the
    // dialog offers one.
    const uint32_t size = std::max<uint32_t>(16, array / 2);
    FillRandom(EncryptionTable, EncryptionTableCapacity, static_cast<uint32_t>(GetParam()) + 43);
    EncryptionTableSize = size;
    run("encryption", OpEncryption);
    // The part's array: the table's entries, then erased ones.
    const uint32_t written = EncryptionEntriesWritten();
    char line[96];
    std::snprintf(line, sizeof line, ", table of %u entries in an array of %u", written, array);
    p.line += line;
    for (uint32_t i = 0; !failed && i < array; ++i) {
        const uint8_t want = i < written ? EncryptionTable[i] : 0xFF;
        if (chip->Table(i) == want) continue;
        std::snprintf(line, sizeof line, ", array entry %u holds %02Xh, not %02Xh", i, chip->Table(i), want);
        p.line += line;
        failed = true;
    }
    if (!failed) p.line += ", the array as chosen";
    // Decoded, the part gives the image back.
    EncryptionEnable = 1;
    uint8_t* buffer = BufferImage() + BufferStart;
    if (!failed) std::memset(buffer, 0x5A, bytes);
    run("read decoded", OpRead);
    for (size_t a = 0; !failed && a < bytes; ++a) {
        if (buffer[a] == image[a]) continue;
        std::snprintf(line, sizeof line, ", buffer byte %zXh reads %02Xh, not %02Xh", a, buffer[a], image[a]);
        p.line += line;
        failed = true;
    }
    if (!failed) {
        std::memcpy(buffer, image.data(), bytes);
        run("verify decoded", OpVerify);
    }
    EncryptionEnable = 0;
    if (const std::string v = UnexpectedViolation(*ProgramSimulator()); !v.empty()) {
        p.line += " violation: " + v;
        failed = true;
    }
    Report(p, kEncrypted, GetParam(), failed, ui, from);
}

} // namespace
