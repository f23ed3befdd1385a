// Insertion check and package detection end to end on the test image, with
// unpowered chips, a misplaced chip, an obstruction and signature EPROMs.
#include "PinDriverFixture.h"

#include <cstring>
#include <set>

#include "sim/ProbeChip.h"
#include "sim/SignatureEprom.h"

namespace {

constexpr uint32_t kDip28 = 12; // VCC 28, GND 14
constexpr uint32_t kDip32 = 17; // VCC 32, GND 16
constexpr uint32_t kDip40 = 22; // VCC 11,32; GND 12,31
constexpr uint32_t kRow = 1;    // algorithm row that carries the allowance
constexpr int kErrorTone = 119;
using InsertionLines = std::vector<std::string>;

class InsertionTest : public PinDriverFixture {
protected:
    void SetUp() override {
        PinDriverFixture::SetUp();
        LoadImage(sim::kPersonalityTest);
        CurrentAlgorithm = kRow;
    }
    void Select(uint32_t package, int allowance = 0) {
        PackageIndex = package;
        AlgorithmTable[kRow].InsertionPinAllowance = static_cast<int8_t>(allowance);
    }
    sim::ChipModel* Seat(int pins, int rowsUp = 0, std::set<int> noConnect = {}) {
        socket->Clear();
        return socket->Insert(std::make_unique<sim::ProbeChip>(sim::DipSocketPins(pins, rowsUp), noConnect));
    }
    // The verdict and its log lines.
    void ExpectVerdict(int verdict, const InsertionLines& log) {
        ui.Clear();
        tones.clear();
        EXPECT_EQ(CheckDeviceInsertion(), verdict);
        EXPECT_EQ(ui.Log, log);
    }
    void ExpectDetect(int result) {
        uint32_t mfg = 0, dev = 0;
        EXPECT_EQ(DetectDevicePackage(&mfg, &dev, &detectedPins), result);
    }
    int detectedPins = 0;
};

TEST_F(InsertionTest, VerdictsOnTheSimulatedSocket) {
    Select(kDip28);
    ExpectVerdict(-1, {"Insert device."});
    EXPECT_EQ(tones, std::vector<int>{kErrorTone});
    Seat(28, 1); // one row too high: found, but not on its ground pin
    ExpectVerdict(-1, {"Insert device correctly."});
    Seat(32); // a larger chip where a 28-pin one belongs
    ExpectVerdict(-1, {"Wrong device."});
    Seat(28);
    ExpectVerdict(1, {});
    EXPECT_TRUE(tones.empty());
    // A 28-pin chip in a 32-pin slot: 27 other pins never reach the threshold
    // of 30; with an allowance of 3 the chip is found and measured at 28.
    Select(kDip32, 0);
    ExpectVerdict(-1, {"Insert device."});
    Select(kDip32, 3);
    ExpectVerdict(-1, {"Wrong device."});
    // Auto repeat logs without the beep.
    AutoRepeatEnabled = 1;
    socket->Clear();
    ExpectVerdict(-1, {"Insert device."});
    EXPECT_TRUE(tones.empty());
    EXPECT_TRUE(simp.Violations().empty());
}

TEST_F(InsertionTest, ThresholdCountsPowerPinsAndAllowance) {
    // DIP28 with one VCC and one GND pin, allowance 0: threshold 26. Each
    // connected pin of a chip with one bond missing sees 26 others; with two, 25.
    // Two VCC and two GND pins (a comma each) and an allowance of 7: 40 - 2 - 2 - 7 = 29.
    struct Case { uint32_t package; int allowance, pins; std::set<int> noConnect; int verdict; };
    for (const Case& c : {Case{kDip28, 0, 28, {5}, 1}, Case{kDip28, 0, 28, {5, 6}, -1},
                          Case{kDip40, 7, 40, {2, 3, 4, 5, 6, 7, 8, 9, 10, 13}, 1},
                          Case{kDip40, 7, 40, {2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14}, -1}}) {
        Select(c.package, c.allowance);
        Seat(c.pins, 0, c.noConnect);
        ui.Clear();
        EXPECT_EQ(CheckDeviceInsertion(), c.verdict) << c.pins << " pins, " << c.noConnect.size() << " open";
    }
}

TEST_F(InsertionTest, PinsThatOnlyConductWhenDrivenHighAreMeasuredByTheDrivenPhase) {
    // Pins 1 and 28 have only their clamp to the supply rail: grounding them
    // pulls nothing ('A' never comes), driving them high lifts the ground pin
    // against the pull-down ('S'), and the pair counts towards the 28 pins.
    Select(kDip28, 2);
    static_cast<sim::ProbeChip*>(Seat(28))->SetHighSideOnly({1, 28});
    ui.Clear();
    EXPECT_EQ(CheckDeviceInsertion(), 1) << (ui.Log.empty() ? "" : ui.Log.front());
    char map[kPinMapBytes];
    EXPECT_EQ(MeasureDevicePinCount(map, 0), 28);
    // Socket pins 11-38; the ground pin (24) is left out of the map.
    EXPECT_EQ(std::string(map + 10, 28), "S" + std::string(12, 'A') + "O" + std::string(13, 'A') + "S");
    EXPECT_TRUE(simp.Violations().empty());
}

TEST_F(InsertionTest, PackageDetectionReadsEpromSignaturesAndRefusesTheRest) {
    struct Case { int pins; uint32_t maker, device; };
    for (const Case& c : {Case{24, 0x9B, 0x31}, Case{28, 0x1C, 0x8C}, Case{32, 0xC2, 0x0F}}) {
        socket->Clear();
        socket->Insert(std::make_unique<sim::SignatureEprom>(c.pins, c.maker, c.device));
        uint32_t mfg = 0, dev = 0;
        int pins = 0;
        EXPECT_EQ(DetectDevicePackage(&mfg, &dev, &pins), 1) << c.pins;
        EXPECT_EQ((std::vector<uint32_t>{uint32_t(pins), uint32_t(DetectedPinCount), mfg, dev}),
                  (std::vector<uint32_t>{uint32_t(c.pins), uint32_t(c.pins), c.maker, c.device}));
        EXPECT_TRUE(electrical->SuppliedPins().empty() && electrical->GroundedPins().empty());
    }
    socket->Clear();
    ExpectDetect(-4); // empty socket
    socket->Insert(std::make_unique<sim::SignatureEprom>(28, 1, 2));
    socket->Insert(std::make_unique<sim::Obstruction>());
    StartTrace();
    ExpectDetect(-2);
    EXPECT_LE(Reads().size(), 2u); // nothing scanned
    Seat(28, 1);                    // its lowest left pin is on ZIF 23
    ExpectDetect(-3);
    Seat(40);
    ExpectDetect(-1);
    EXPECT_EQ(detectedPins, 40);
    EXPECT_TRUE(simp.Violations().empty());
}

TEST_F(InsertionTest, ZifPinListsAreBounded) {
    Select(kDip28);
    uint8_t pins[4];
    std::memset(pins, 0xEE, sizeof pins);
    int count = -1;
    ParseZifPinList("1, 14,28,7,8", &count, pins, 4);
    EXPECT_EQ(count, 3);
    EXPECT_EQ((std::vector<uint8_t>(pins, pins + 4)), (std::vector<uint8_t>{11, 24, 38, 0}));
    ParseZifPinList("E1,14,F5", &count, pins, 4); // ball names read as 0
    EXPECT_EQ(count, 1);
    EXPECT_EQ((std::vector<uint8_t>(pins, pins + 2)), (std::vector<uint8_t>{24, 0}));
    ParseZifPinList(nullptr, &count, pins, 4);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(pins[0], 0);
}

} // namespace
