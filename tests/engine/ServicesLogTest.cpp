#include <cstring>
#include <thread>

#include "BufferFixture.h"

using ServicesLogTest = BufferFixture;

TEST_F(ServicesLogTest, AddressProgressAndUserBreak) {
    DeviceSection = SectionEprom;
    DeviceStart = 0;
    DeviceEnd = 0xFFFF;
    DeviceSize = 0x10000;
    ProgressStep = 256;
    ClearProgress();
    ui.Clear();

    // Only multiples of the step are looked at; the percent only rises.
    EXPECT_EQ(StepProgress(0x0FFF), 1);
    EXPECT_TRUE(ui.Progress.empty());
    EXPECT_EQ(StepProgress(0x8000), 1);
    EXPECT_EQ(ProgressPercent, 49u); // 8000h / (FFFFh / 100 + 1)
    EXPECT_EQ(ui.Status[0], "49%");
    EXPECT_EQ(ui.Status[1], "8000");
    EXPECT_EQ(ui.Progress, std::vector<int>{49});
    EXPECT_EQ(StepProgress(0x8000), 1);
    EXPECT_EQ(ui.Progress.size(), 1u);

    // ESC, answered No: 3, and the request is consumed.
    ui.QueueAnswer(UiAnswer::No);
    UserBreak = 1;
    EXPECT_EQ(StepProgress(0x8100), 3);
    EXPECT_EQ(UserBreak.load(), 0);
    ASSERT_EQ(ui.Boxes.size(), 1u);
    EXPECT_EQ(ui.Boxes[0].text, "Continue?");
    EXPECT_EQ(ui.Boxes[0].caption, "Warning");
    EXPECT_EQ(ui.Boxes[0].buttons, UiButtons::YesNo);
    // Answered Yes: the run goes on.
    ui.QueueAnswer(UiAnswer::Yes);
    UserBreak = 1;
    EXPECT_EQ(StepProgress(0x8200), 1);
    // Between multiples of the step the break is not polled.
    UserBreak = 1;
    EXPECT_EQ(StepProgress(0x8201), 1);
    EXPECT_EQ(UserBreak.load(), 1);
    UserBreak = 0;

    // Erase waits show the time and poll the break.
    EXPECT_EQ(ShowElapsedAndCheckCancel(15), 1);
    EXPECT_EQ(ui.Status[1], "1.5 sec");
    ui.QueueAnswer(UiAnswer::No);
    UserBreak = 1;
    EXPECT_EQ(ShowElapsedAndCheckCancel(16), 3);

    EXPECT_EQ(ShowPercentDone(50, 200), 1);
    EXPECT_EQ(ui.Progress.back(), 25);
    EXPECT_EQ(ui.Status[0], "25%");
    EXPECT_EQ(ui.Status[1], "32");
    EXPECT_EQ(ShowPercentDone(1, 0), 1); // no total: no division
    ShowProgressStatus(250, -1);
    EXPECT_EQ(ui.Status[0], "100%");
    EXPECT_EQ(ui.Status[1], "1"); // address -1 leaves the panel

    ClearProgress();
    EXPECT_EQ(ProgressPercent, 0u);
    EXPECT_EQ(ui.Status[0], "");
    EXPECT_EQ(ui.Status[1], "");
}

TEST_F(ServicesLogTest, LargeDevicesShowTheAddressMoving) {
    DeviceSection = SectionEprom;
    DeviceStart = 0;
    DeviceEnd = 0x3FFFFF;
    DeviceSize = 0x400000;
    ProgressStep = 256;
    ui.Clear();
    EXPECT_EQ(StepProgress(0x1000), 1);
    EXPECT_EQ(ProgressPercent, 0u);
    EXPECT_EQ(ui.Status[1], "1000");
    EXPECT_EQ(StepProgress(0x1100), 1);
    EXPECT_EQ(ui.Status[1], "1000");
}

TEST_F(ServicesLogTest, CountedProgressOfLogicDevices) {
    DeviceSection = SectionPld;
    DeviceSize = 50; // below 100 fuses the bar never moves
    ui.Clear();
    for (uint32_t n = 0; n < 50; ++n) EXPECT_EQ(StepProgress(n), 1);
    EXPECT_TRUE(ui.Progress.empty());
    ui.QueueAnswer(UiAnswer::No);
    UserBreak = 1;
    EXPECT_EQ(StepProgress(50), 3);

    ResetProgress();
    DeviceSize = 1000;
    ui.Clear();
    for (uint32_t n = 0; n < 1000; ++n) ASSERT_EQ(StepProgress(n), 1);
    // Percent rises one per 10 fuses and never reaches 100.
    EXPECT_GE(ProgressPercent, 98u);
    EXPECT_LE(ProgressPercent, 99u);
    EXPECT_EQ(ui.Progress.front(), 0);
    EXPECT_EQ(ui.Status[0], "99%");
}

TEST_F(ServicesLogTest, StepLineRewriteSurvivesTrimming) {
    for (int i = 1; i <= 450; ++i) ShowMessageLine("line %d", i);
    OperationEngine engine;
    engine.StatusLine = LogLineCount();
    ShowMessageLine("Programming ...");
    for (int i = 452; i <= 501; ++i) ShowMessageLine("line %d", i);

    // After the 501st line: 400 lines kept and one empty line.
    std::vector<std::string> lines = MainLog().Lines();
    ASSERT_EQ(lines.size(), 402u);
    EXPECT_EQ(lines.front(), "line 101");
    EXPECT_EQ(lines[399], "line 500");
    EXPECT_EQ(lines[400], "line 501");
    EXPECT_EQ(lines[401], "");

    ReplaceMessageLine(engine, "%s", "Program ok!");
    lines = MainLog().Lines();
    EXPECT_EQ(lines[350], "Program ok!");
    EXPECT_EQ(lines.size(), 402u);
    // The window's mirror followed every change.
    EXPECT_EQ(ui.Log, lines);

    // A step line trimmed away is not lost: the result is appended.
    OperationEngine old;
    old.StatusLine = 5;
    ReplaceMessageLine(old, "Erase ok!");
    EXPECT_EQ(MainLog().Lines().back(), "Erase ok!");
    EXPECT_EQ(ui.Log, MainLog().Lines());
}

TEST_F(ServicesLogTest, StepLineRewrittenBeforeItIsWritten) {
    // The driver remembers the line count, then the step appends its line.
    ShowMessageLine("head");
    OperationEngine engine;
    engine.StatusLine = LogLineCount();
    ReplaceMessageLine(engine, "Blank check ok!");
    ShowMessageLine("next");
    EXPECT_EQ(MainLog().Lines(), (std::vector<std::string>{"head", "Blank check ok!", "next"}));

    // In-place progress text and deleting lines.
    ShowMessageLine("10%%");
    ReplaceLastMessageLine("%d%%", 20);
    EXPECT_EQ(MainLog().Lines().back(), "20%");
    DeleteLastMessageLines(2);
    EXPECT_EQ(MainLog().Lines(), (std::vector<std::string>{"head", "Blank check ok!"}));
    DeleteLastMessageLines(10);
    EXPECT_EQ(MainLog().LineCount(), 0u);
    EXPECT_EQ(ui.Log, MainLog().Lines());
    // Handles go on from where the log was: a line deleted and written again
    // takes the same handle, as an index would.
    ShowMessageLine("again");
    EXPECT_EQ(LogLineCount(), 1u);
}

TEST_F(ServicesLogTest, LongLinesAreCutSafely) {
    const std::string longText(500, 'x');
    ShowMessageLine("%s%s", "File: ", longText.c_str());
    const std::string line = MainLog().Lines().back();
    EXPECT_EQ(line.size(), static_cast<size_t>(MessageLineMax));
    EXPECT_EQ(line.substr(0, 7), "File: x");
    OperationEngine engine;
    engine.StatusLine = 0;
    ReplaceMessageLine(engine, "%s", longText.c_str());
    EXPECT_EQ(MainLog().Lines()[0].size(), static_cast<size_t>(MessageLineMax));
}

TEST_F(ServicesLogTest, QuestionsAndIdLines) {
    ui.QueueAnswer(UiAnswer::Yes);
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(ConfirmWarning("Are you sure?"), 1);
    EXPECT_EQ(ConfirmWarning("Are you sure?"), -1);
    EXPECT_EQ(ui.Boxes[0].icon, UiIcon::Information);

    ExpectedMakerId = 0x1F;
    ExpectedDeviceId = 0x51;
    ShowChipAndDataIds(0x1F, 0xFF);
    EXPECT_EQ(MainLog().Lines(), (std::vector<std::string>{"Chip Mfg Id:001Fh, Dev Id:00FFh",
                                                            "Data Mfg Id:001Fh, Dev Id:0051h",
                                                            "-------------------------------------------"}));
}

TEST_F(ServicesLogTest, TwoThreadsLoggingKeepTheMirrorInStep) {
    // The UI thread (option dialogs) and the worker may log at once; the
    // window's mirror must see the changes in the log's own order.
    auto writer = [](const char* who) {
        for (int i = 0; i < 700; ++i) {
            ShowMessageLine("%s %d", who, i);
            if (i % 50 == 0) ReplaceLastMessageLine("%s %d again", who, i);
        }
    };
    std::thread worker(writer, "worker");
    writer("ui");
    worker.join();
    const std::vector<std::string> lines = MainLog().Lines();
    EXPECT_LE(lines.size(), LogModel::TrimAbove + 1);
    EXPECT_EQ(ui.Log, lines);
}

TEST_F(ServicesLogTest, BreakFromTheUiThreadWhileAWorkerRuns) {
    DeviceSection = SectionEprom;
    DeviceStart = 0;
    DeviceEnd = 0xFFFFF;
    DeviceSize = 0x100000;
    ProgressStep = 1;
    ui.DefaultAnswer = UiAnswer::No;
    int result = 0;
    uint32_t stoppedAt = 0;
    std::thread worker([&] {
        for (uint32_t a = 0; a <= DeviceEnd; ++a) {
            if (StepProgress(a) == 3) {
                result = 3;
                stoppedAt = a;
                return;
            }
            if (a == 1000) UserBreak = 1; // stands in for ESC on the UI thread
        }
    });
    worker.join();
    EXPECT_EQ(result, 3);
    EXPECT_EQ(stoppedAt, 1001u);
}

TEST(ServicesTextTest, HexHelpers) {
    char a[] = "00ff";
    EXPECT_EQ(HexTextToInt(a), 255);
    EXPECT_STREQ(a, "00FF");
    char empty[] = "";
    EXPECT_EQ(HexTextToInt(empty), 0);
    char zeros[] = "0000";
    EXPECT_EQ(HexTextToInt(zeros), 0);
    char nine[] = "123456789"; // only the last 8 digits count
    EXPECT_EQ(static_cast<uint32_t>(HexTextToInt(nine)), 0x23456789u);
    char big[] = "FFFFFFFF";
    EXPECT_EQ(static_cast<uint32_t>(HexTextToInt(big)), 0xFFFFFFFFu);

    const uint8_t bytes[8] = {0x00, 0x01, 0xAB, 0x7F, 0x80, 0xFE, 0x10, 0xFF};
    char text[32];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(FormatHexBytes8(text, bytes), text);
    EXPECT_STREQ(text, "00 01 ab 7f 80 fe 10 ff ");
    uint8_t back[8] = {};
    ParseHexBytes8(text, back);
    EXPECT_EQ(std::memcmp(back, bytes, 8), 0);

    // A short entry is read as far as it goes, the rest 0, without running
    // past its end.
    char shortText[] = "12 34";
    uint8_t part[8];
    std::memset(part, 0xEE, sizeof part);
    ParseHexBytes8(shortText, part);
    EXPECT_EQ(part[0], 0x12);
    EXPECT_EQ(part[1], 0x34);
    EXPECT_EQ(part[2], 0x00);
    EXPECT_EQ(part[7], 0x00);

    EXPECT_EQ(IndexOfChar("ABCDC", 'C'), 3);
    EXPECT_EQ(IndexOfChar("ABC", 'x'), 0);
    EXPECT_EQ(IndexOfChar("ABC", '\0'), 0);
    EXPECT_GT(GetFreeDiskBytes(), 0u);
}
