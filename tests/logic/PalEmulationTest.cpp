// The remap between the user's map in a PAL type's numbering and the GAL's
// device image, for every PAL type of both sets.
#include "logic/FuseCells.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr uint32_t kPackage20 = 4;
constexpr uint32_t kPackage24 = 6;

class PalEmulationTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    }
    void Choose(int set, int index) {
        PackageIndex = set == 0 ? kPackage20 : kPackage24;
        PalEmulationIndex = index;
        DeviceSize = PalEmulationGeometry[set][index].Fuses;
    }
    static uint32_t ImageBit(uint32_t x) { return GetBufferBit(ShadowFuseBase + x); }
    static void Fill(uint32_t from, uint32_t count, const std::vector<uint8_t>& bits) {
        for (uint32_t n = 0; n < count; ++n) SetBufferBit(from + n, bits[n % bits.size()]);
    }
};

bool TermUsed(int row, uint32_t r) { return (PalEmulationMasks[row][5 + r / 8] >> (r % 8)) & 1; }
bool ColumnAbsent(int row, uint32_t c) { return (PalEmulationMasks[row][c / 8] >> (7 - c % 8)) & 1; }

TEST_F(PalEmulationTest, EveryTypeGoesToTheImageAndBackUnchanged) {
    for (int set = 0; set < 2; ++set) {
        const GalFuseBaseEntry& bases = GalFuseBases[set];
        const uint32_t columns = set == 0 ? 32 : 40;
        for (int index = 0; index < PalEmulationTypes; ++index) {
            SCOPED_TRACE(std::string(PalEmulationNames[set][index]));
            Choose(set, index);
            ASSERT_EQ(PalEmulationSet(), set);
            const int row = set * PalEmulationTypes + index;
            const std::vector<uint8_t> user = Pattern(DeviceSize, static_cast<uint32_t>(row) + 3);
            const std::vector<uint8_t> ues = Pattern(64, static_cast<uint32_t>(row) + 99);
            Fill(0, 9000, {0, 1, 1});
            Fill(ShadowFuseBase, 9000, {1, 0, 0});
            SetUserFuses(user);
            if (index != 0) Fill(bases.Ues, 64, ues);
            RemapFuseRows(1);

            // The image: absent columns 1, unused terms 0, the disable bits
            // from the used terms, forced architecture bits as given.
            uint32_t used = 0;
            for (uint32_t r = 0; r < 64; ++r) {
                if (index != 0) {
                    EXPECT_EQ(ImageBit(bases.ProductTermDisable + r), TermUsed(row, r) ? 1u : 0u);
                }
                used += TermUsed(row, r);
                for (uint32_t c = 0; c < columns && index != 0; ++c) {
                    const uint32_t expected = ColumnAbsent(row, c) ? 1 : TermUsed(row, r) ? ImageBit(r * columns + c) : 0;
                    EXPECT_EQ(ImageBit(r * columns + c), expected) << r << "/" << c;
                }
            }
            const uint32_t groups[3] = {bases.Xor, bases.Ac1, bases.SynAc0};
            uint32_t copied = 0;
            for (uint32_t b = 0; b < 18 && index != 0; ++b) {
                const int v = PalEmulationArchitecture[row][b];
                if (v != 2) {
                    EXPECT_EQ(ImageBit(groups[b / 8] + b % 8), static_cast<uint32_t>(v)) << b;
                }
                copied += v == 2;
            }
            // The type's fuse count is its array and its copied polarity bits.
            uint32_t present = 0;
            for (uint32_t c = 0; c < columns; ++c) present += !ColumnAbsent(row, c);
            if (index != 0) {
                EXPECT_EQ(DeviceSize, used * present + copied);
            }

            // Back: clear the user side; the same map comes out.
            Fill(0, DeviceSize, {0});
            Fill(bases.Ues, 64, {0});
            RemapFuseRows(2);
            EXPECT_EQ(UserFuses(DeviceSize), user);
            if (index != 0) {
                std::vector<uint8_t> back(64);
                for (uint32_t i = 0; i < 64; ++i) back[i] = static_cast<uint8_t>(GetBufferBit(bases.Ues + i));
                EXPECT_EQ(back, ues);
            }
        }
    }
}

// The architecture bits of each PAL type's image, from the GAL's mode rules
// rather than the remap's table: simple mode (SYN 1, AC0 0) with AC1 set on
// the macrocells that are no outputs (the outputs are the middle ones);
// the 8-output combinational types in complex mode (SYN 1, AC0 1, AC1 all
// 1); registered types (SYN 0, AC0 1) with AC1 set on the macrocells
// around the middle registers. XOR: 1 on every macrocell of the H types, 0
// on the L and R types, the file's polarity on the outputs of the P types
// (copied, not checked here) and 0 on their other macrocells.
TEST_F(PalEmulationTest, ArchitectureBitsFollowTheModeOfEachType) {
    for (int set = 0; set < 2; ++set) {
        const GalFuseBaseEntry& bases = GalFuseBases[set];
        const int largest = set == 0 ? 16 : 20;
        for (int index = 1; index < PalEmulationTypes; ++index) {
            const std::string name = PalEmulationNames[set][index];
            SCOPED_TRACE(name);
            const size_t letter = name.find_first_of("HLPR");
            const int inputs = std::stoi(name.substr(0, letter));
            const std::string kind = name.substr(letter, name.size() - letter - 1);
            const int count = name.back() - '0';
            const bool registered = kind[0] == 'R';
            const bool complex = !registered && inputs == largest && count == 8;
            const bool polarity = kind == "P" || kind == "RP";
            const int first = (8 - count) / 2;
            Choose(set, index);
            Fill(0, 9000, {1, 0});
            Fill(ShadowFuseBase, 9000, {1, 0, 1});
            RemapFuseRows(1);
            EXPECT_EQ(ImageBit(bases.SynAc0), registered ? 0u : 1u);                // SYN
            EXPECT_EQ(ImageBit(bases.SynAc0 + 1), registered || complex ? 1u : 0u); // AC0
            for (int i = 0; i < 8; ++i) {
                const bool middle = i >= first && i < first + count;
                const bool output = registered || complex || middle;
                EXPECT_EQ(ImageBit(bases.Ac1 + static_cast<uint32_t>(i)), complex || !middle ? 1u : 0u) << "AC1 " << i;
                if (polarity && output) continue;
                const uint32_t x = kind == "H" ? 1 : 0;
                EXPECT_EQ(ImageBit(bases.Xor + static_cast<uint32_t>(i)), x) << "XOR " << i;
            }
        }
    }
}

TEST_F(PalEmulationTest, TenH8ImageOnTwentyPins) {
    Choose(0, 1);
    EXPECT_EQ(DeviceSize, 320u);
    SetUserFuses(std::vector<uint8_t>(320, 0));
    SetBufferBit(0, 1);   // term 0, first present column (0)
    SetBufferBit(319, 1); // term 57, last present column (31)
    RemapFuseRows(1);
    EXPECT_EQ(ImageBit(0 * 32 + 0), 1u);
    EXPECT_EQ(ImageBit(57 * 32 + 31), 1u);
    EXPECT_EQ(ImageBit(0 * 32 + 1), 0u);
    const std::vector<uint32_t> absent{6, 7, 10, 11, 14, 15, 18, 19, 22, 23, 26, 27};
    for (uint32_t term : {8u, 2u}) { // a used and an unused term
        for (uint32_t c = 0; c < 32; ++c) {
            const bool isAbsent = std::find(absent.begin(), absent.end(), c) != absent.end();
            EXPECT_EQ(ImageBit(term * 32 + c), isAbsent ? 1u : 0u) << term << "/" << c;
        }
    }
    for (uint32_t b = 0; b < 8; ++b) {
        EXPECT_EQ(ImageBit(2048 + b), 1u);
        EXPECT_EQ(ImageBit(2120 + b), 0u);
    }
    EXPECT_EQ(ImageBit(2192), 1u);
    EXPECT_EQ(ImageBit(2193), 0u);
}

TEST_F(PalEmulationTest, IndexZeroCopiesExactlyTheDeviceFuses) {
    Choose(0, 0);
    ASSERT_EQ(DeviceSize, 2194u);
    Fill(0, 2300, {1});
    Fill(ShadowFuseBase, 2300, {0});
    RemapFuseRows(1);
    EXPECT_EQ(ImageBit(2193), 1u);
    EXPECT_EQ(ImageBit(2194), 0u);
    Fill(ShadowFuseBase, 2194, {0});
    RemapFuseRows(2);
    EXPECT_EQ(GetBufferBit(2193), 0u);
    EXPECT_EQ(GetBufferBit(2194), 1u);
}

TEST_F(PalEmulationTest, ReadBackRewritesTheDisableBitsAndKeepsOtherUserFuses) {
    Choose(0, 18); // 16R8
    Fill(ShadowFuseBase + 2128, 64, {0});
    Fill(2048, 8, {1});
    RemapFuseRows(2);
    for (uint32_t r = 0; r < 64; ++r) EXPECT_EQ(ImageBit(2128 + r), 1u);
    for (uint32_t b = 0; b < 8; ++b) EXPECT_EQ(GetBufferBit(2048 + b), 1u); // forced bits: user side untouched
}

TEST_F(PalEmulationTest, PolarityOfPTypesFollowsTheirArray) {
    struct Case {
        int set, index;
        uint32_t arrayFuses;
        std::vector<uint32_t> xorBits; // copied XOR bits, ascending
    };
    const Case cases[] = {
        {0, 3, 320, {0, 1, 2, 3, 4, 5, 6, 7}}, // 10P8
        {0, 6, 384, {1, 2, 3, 4, 5, 6}},       // 12P6
        {0, 9, 448, {2, 3, 4, 5}},             // 14P4
        {0, 12, 512, {3, 4}},                  // 16P2
        {0, 15, 2048, {0, 1, 2, 3, 4, 5, 6, 7}}, // 16P8 at the GAL's own numbers
        {1, 3, 560, {0, 1, 2, 3, 4, 5, 6, 7}}, // 14P8
        {1, 12, 640, {3, 4}},                  // 20P2
        {1, 15, 2560, {0, 1, 2, 3, 4, 5, 6, 7}}, // 20P8 copies like 16P8
        {1, 21, 2560, {0, 1, 2, 3, 4, 5, 6, 7}}, // 20RP8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(PalEmulationNames[c.set][c.index]);
        Choose(c.set, c.index);
        EXPECT_EQ(DeviceSize, c.arrayFuses + c.xorBits.size());
        Fill(0, DeviceSize, {0});
        const uint32_t xorBase = GalFuseBases[c.set].Xor;
        for (size_t i = 0; i < c.xorBits.size(); i += 2) SetBufferBit(c.arrayFuses + static_cast<uint32_t>(i), 1);
        RemapFuseRows(1);
        for (size_t i = 0; i < c.xorBits.size(); ++i)
            EXPECT_EQ(ImageBit(xorBase + c.xorBits[i]), i % 2 == 0 ? 1u : 0u) << i;
    }
}

TEST_F(PalEmulationTest, AnyPackageButTwentyPinsUsesTheTwentyFourPinSet) {
    Choose(1, 2); // 14L8 on a 24-pin package
    SetUserFuses(std::vector<uint8_t>(560, 0));
    SetBufferBit(0, 1); // term 0, column 0
    SetBufferBit(10, 1); // term 0, column 12 (10 and 11 are absent)
    RemapFuseRows(1);
    EXPECT_EQ(ImageBit(0), 1u);
    EXPECT_EQ(ImageBit(1), 0u);
    EXPECT_EQ(ImageBit(10), 1u); // absent column
    EXPECT_EQ(ImageBit(12), 1u);
    EXPECT_EQ(ImageBit(40 + 12), 0u); // term 1 is unused
    EXPECT_EQ(ImageBit(2640), 1u); // disable bit of term 0 at the 20V8 base
}

} // namespace
