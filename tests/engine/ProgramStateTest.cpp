// The one reset every fixture starts and ends with: each engine area a test
// may leave changed is back at its start-up state afterwards, so no test
// depends on the one before it.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/Insertion.h"
#include "engine/Jtag.h"
#include "engine/Library.h"
#include "engine/LogModel.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/ProgramState.h"
#include "engine/Services.h"

namespace {

int ChangedRowProgram() { return 1; }
uint64_t FrozenTicks() { return 7; }

TEST(ProgramState, EveryAreaIsBackAtItsStartUpState) {
    ResetProgramState();
    const AlgorithmEntry row5 = AlgorithmTable[5];
    const TickSourceFn startTicks = OperationTickMs;
    const std::string device = CurrentDeviceName;

    // A run's worth of changes in every area.
    ProgrammerConnected = 1;
    ProgramDirectory = "/somewhere";
    LoadedLogicImage = 17;
    IdBusShadow = kIdBusClock;
    std::memset(HardwareIdBlock, 'X', sizeof HardwareIdBlock);
    GangAdapterState = 1;
    JtagIrLength = 8;
    DetectedPinCount = 28;
    AlgorithmTable[5].Program = ChangedRowProgram;
    SecurityMode = 3;
    CurrentDeviceName = "27C512";
    WordMode = 2;
    FillByte = 0x00;
    ProgressPercent = 40;
    ShowMessageLine("a line of the last run");
    UserBreak = 1;
    OperationBusy = true;
    BlankValue = 1;
    OperationTickMs = FrozenTicks;
    HighestLoadAddress = 0x1234;
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 0;

    ResetProgramState();

    EXPECT_EQ(ProgrammerConnected, -1);
    EXPECT_TRUE(ProgramDirectory.empty());
    EXPECT_EQ(LoadedLogicImage, 0);
    EXPECT_EQ(IdBusShadow, 0u);
    for (uint8_t b : HardwareIdBlock) ASSERT_EQ(b, 0);
    EXPECT_EQ(GangAdapterState, 0u);
    EXPECT_EQ(JtagIrLength, 0);
    EXPECT_EQ(DetectedPinCount, 0);
    EXPECT_EQ(AlgorithmTable[5].Program, row5.Program);
    EXPECT_EQ(SecurityMode, 1u);
    EXPECT_EQ(CurrentDeviceName, device);
    EXPECT_EQ(WordMode, 0u);
    EXPECT_EQ(FillByte, 0xFFu);
    EXPECT_EQ(ProgressPercent, 0u);
    EXPECT_TRUE(MainLog().Lines().empty());
    EXPECT_EQ(UserBreak.load(), 0);
    EXPECT_FALSE(OperationBusy.load());
    EXPECT_EQ(BlankValue, 255u);
    EXPECT_EQ(OperationTickMs, startTicks);
    EXPECT_EQ(HighestLoadAddress, 0u);
    EXPECT_EQ(BlankCheckBeforeProgram, 1u);
    EXPECT_EQ(VerifyAfterProgram, 1u);
}

} // namespace
