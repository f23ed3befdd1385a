// The per-fuse services against the operation state they report through.
#include "logic/FuseCells.h"
#include "tests/logic/PldFixture.h"

namespace {

enum Service { Process, ProcessCopy, Check, Shadow };

struct FuseCase {
    const char* what;
    Service service;
    uint32_t row;
    uint32_t ues;
    int fuse;
    int word; // bit 0 unless position says otherwise
    int position;
    int mode;
    int bufferBit; // the map's bit of the fuse
    int result;
    uint32_t failAddress; // after the call (starts as 77)
    uint32_t compareFailed;
};

int CallService(const FuseCase& c) {
    switch (c.service) {
    case Process: return static_cast<int>(ProcessFuseBit(c.fuse, c.position, c.word, c.mode));
    case ProcessCopy: return static_cast<int>(ProcessFuseBitCopy(c.fuse, c.position, c.word, c.mode));
    case Check: return CheckFuseBit(c.fuse, c.position, c.word, c.mode);
    case Shadow: return CheckShadowFuseBit(c.fuse, c.position, c.word, c.mode);
    }
    return 0;
}

class FuseCellsTest : public PldRun {};

TEST_F(FuseCellsTest, ServicesByModeRowAndLimit) {
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    const FuseCase cases[] = {
        // Blank check of row 241 stops comparing at 6400.
        {"241 blank 6399", Check, 241, 0, 6399, 0, 0, 0, 1, -1, 6399, 0},
        {"241 blank 6400", Check, 241, 0, 6400, 0, 0, 0, 1, 1, 77, 0},
        {"219 blank 6400", Check, 219, 0, 6400, 0, 0, 0, 1, -1, 6400, 0},
        // After-secure check below the UES only.
        {"secure, no UES", Check, 219, 0, 3000, 0, 0, 6, 1, -1, 3000, 0},
        {"secure 2055", Check, 219, 2056, 2055, 0, 0, 6, 1, -1, 2055, 0},
        {"secure 2056", Check, 219, 2056, 2056, 0, 0, 6, 1, 1, 77, 0},
        // The shadow check's limit by row.
        {"219 shadow 12047", Shadow, 219, 0, 12047, 0, 0, 6, 1, -1, 2047, 0},
        {"219 shadow 12048", Shadow, 219, 0, 12048, 0, 0, 6, 1, 1, 2048, 0},
        {"220 shadow 12559", Shadow, 220, 0, 12559, 0, 0, 6, 1, -1, 2559, 0},
        {"220 shadow 12560", Shadow, 220, 0, 12560, 0, 0, 6, 1, 1, 2560, 0},
        {"243 shadow 19000", Shadow, 243, 0, 19000, 0, 0, 6, 1, -1, 9000, 0},
        // Data compare checks nothing.
        {"compare check", Check, 219, 0, 5, 0, 0, 4, 1, 1, 77, 0},
        {"compare shadow", Shadow, 219, 0, 10005, 0, 0, 4, 1, 1, 5, 0},
        {"compare process", Process, 219, 0, 5, 0, 0, 4, 1, 0, 77, 0},
        // Verify: the bit at its position in the word.
        {"verify pass", Check, 219, 0, 9, 0x10, 4, 3, 1, 1, 77, 0},
        {"verify fail", Check, 219, 0, 9, 0x10, 4, 3, 0, -1, 9, 0},
        {"verify shadow", Shadow, 219, 0, 10009, 0, 0, 3, 1, -1, 9, 0},
        {"verify is not mode 1", Check, 219, 0, 9, 0, 0, 1, 1, 1, 77, 0},
        {"process mismatch", Process, 219, 0, 9, 0, 0, 3, 1, 0, 9, 1},
        {"copy mismatch", ProcessCopy, 219, 0, 9, 0, 0, 3, 1, 0, 9, 1},
        // Programming: the map's bit moved to the position.
        {"program bit", Process, 219, 0, 9, 0, 5, 1, 1, 32, 9, 0},
        {"program zero", ProcessCopy, 219, 0, 9, 0, 5, 1, 0, 0, 9, 0},
    };
    for (const FuseCase& c : cases) {
        SCOPED_TRACE(c.what);
        CurrentAlgorithm = c.row;
        UesFuseStart = c.ues;
        BlankValue = SecureCheckValue = 1;
        FailAddress = 77;
        CompareFailed = 0;
        SetBufferBit(static_cast<uint32_t>(c.fuse), static_cast<uint32_t>(c.bufferBit));
        EXPECT_EQ(CallService(c), c.result);
        EXPECT_EQ(FailAddress, c.failAddress);
        EXPECT_EQ(CompareFailed, c.compareFailed);
    }
}

TEST_F(FuseCellsTest, ReadStoresTheBitAndABreakAnsweredNoStops) {
    ASSERT_TRUE(SelectPld("LATTICE", "GAL16V8"));
    FuseProgressCheck = 1;
    SetBufferBit(40, 0);
    EXPECT_EQ(CheckFuseBit(40, 2, 0x4, 2), 1);
    EXPECT_EQ(GetBufferBit(40), 1u);
    EXPECT_EQ(CheckShadowFuseBit(10040, 0, 0, 2), 1);
    EXPECT_EQ(GetBufferBit(10040), 0u);

    // ESC, then No to "Continue?": both checks stop; the plain check leaves
    // FailAddress where it was.
    ui.QueueAnswer(UiAnswer::No);
    ui.QueueAnswer(UiAnswer::No);
    FailAddress = 5;
    UserBreak = 1;
    EXPECT_EQ(CheckFuseBit(40, 0, 1, 3), -1);
    EXPECT_EQ(FailAddress, 5u);
    UserBreak = 1;
    EXPECT_EQ(CheckShadowFuseBit(10041, 0, 0, 2), -1);
    EXPECT_EQ(FailAddress, 41u);

    // Without the progress check the plain service never polls the break;
    // the shadow service always does.
    FuseProgressCheck = 0;
    UserBreak = 1;
    EXPECT_EQ(CheckFuseBit(40, 0, 1, 3), 1);
    EXPECT_EQ(UserBreak.load(), 1);
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(CheckShadowFuseBit(10041, 0, 0, 3), -1);
    EXPECT_EQ(UserBreak.load(), 0);
}

} // namespace
