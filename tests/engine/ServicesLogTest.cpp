// Progress, user break, the log's step-line rewrite across trimming, safe
// formatting, and the hex text helpers.
#include <cstring>
#include <thread>

#include "BufferFixture.h"

using ServicesLogTest = BufferFixture;

TEST_F(ServicesLogTest, AddressProgressAndUserBreak) {
    DeviceSection = SectionEprom;
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
    EXPECT_EQ(StepProgress(0x8000), 1);
    EXPECT_EQ(ui.Progress, std::vector<int>{49});

    // ESC answered No gives 3 and consumes the request; Yes goes on; between
    // multiples of the step the break is not polled.
    ui.QueueAnswer(UiAnswer::No);
    UserBreak = 1;
    EXPECT_EQ(StepProgress(0x8100), 3);
    EXPECT_EQ(UserBreak.load(), 0);
    ASSERT_EQ(ui.Boxes.size(), 1u);
    EXPECT_EQ(ui.Boxes[0].text, "Continue?");
    EXPECT_EQ(ui.Boxes[0].buttons, UiButtons::YesNo);
    ui.QueueAnswer(UiAnswer::Yes);
    UserBreak = 1;
    EXPECT_EQ(StepProgress(0x8200), 1);
    UserBreak = 1;
    EXPECT_EQ(StepProgress(0x8201), 1);
    EXPECT_EQ(UserBreak.load(), 1);

    // Erase waits show the time and poll the break.
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(ShowElapsedAndCheckCancel(16), 3);
    EXPECT_EQ(ui.Status[1], "1.6 sec");
    EXPECT_EQ(ShowPercentDone(50, 200), 1);
    EXPECT_EQ(ui.Status[0], "25%");
    EXPECT_EQ(ShowPercentDone(1, 0), 1); // no total: no division

    // A large device shows the address moving before the percent does.
    DeviceEnd = 0x3FFFFF;
    DeviceSize = 0x400000;
    ClearProgress();
    EXPECT_EQ(StepProgress(0x1000), 1);
    EXPECT_EQ(ProgressPercent, 0u);
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
    for (uint32_t n = 0; n < 1000; ++n) ASSERT_EQ(StepProgress(n), 1);
    EXPECT_EQ(ui.Status[0], "99%"); // never reaches 100
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
    EXPECT_EQ(lines[400], "line 501");
    EXPECT_EQ(lines[401], "");

    ReplaceMessageLine(engine, "%s", "Program ok!");
    lines = MainLog().Lines();
    EXPECT_EQ(lines[350], "Program ok!");
    EXPECT_EQ(lines.size(), 402u);
    EXPECT_EQ(ui.Log, lines); // the window's mirror followed every change

    // A step line trimmed away is not lost: the result is appended.
    OperationEngine old;
    old.StatusLine = 5;
    ReplaceMessageLine(old, "Erase ok!");
    EXPECT_EQ(MainLog().Lines().back(), "Erase ok!");

    // The driver remembers the line count before the step appends its line.
    MainLog().Clear();
    ShowMessageLine("head");
    engine.StatusLine = LogLineCount();
    ReplaceMessageLine(engine, "Blank check ok!");
    ShowMessageLine("next");
    EXPECT_EQ(MainLog().Lines(), (std::vector<std::string>{"head", "Blank check ok!", "next"}));
    ReplaceLastMessageLine("%d%%", 20);
    DeleteLastMessageLines(1);
    EXPECT_EQ(MainLog().Lines(), (std::vector<std::string>{"head", "Blank check ok!"}));
    EXPECT_EQ(ui.Log, MainLog().Lines());
}

TEST_F(ServicesLogTest, LongLinesAreCutSafelyAndTwoThreadsKeepTheMirrorInStep) {
    const std::string longText(500, 'x');
    ShowMessageLine("%s%s", "File: ", longText.c_str());
    EXPECT_EQ(MainLog().Lines().back().size(), static_cast<size_t>(MessageLineMax));
    OperationEngine engine;
    engine.StatusLine = 0;
    ReplaceMessageLine(engine, "%s", longText.c_str());
    EXPECT_EQ(MainLog().Lines()[0].size(), static_cast<size_t>(MessageLineMax));

    // The UI thread and the worker may log at once; the mirror keeps the log's order.
    auto writer = [](const char* who) {
        for (int i = 0; i < 700; ++i) {
            ShowMessageLine("%s %d", who, i);
            if (i % 50 == 0) ReplaceLastMessageLine("%s %d again", who, i);
        }
    };
    std::thread worker(writer, "worker");
    writer("ui");
    worker.join();
    EXPECT_LE(MainLog().Lines().size(), LogModel::TrimAbove + 1);
    EXPECT_EQ(ui.Log, MainLog().Lines());
}

TEST_F(ServicesLogTest, QuestionsAndIdLines) {
    ui.QueueAnswer(UiAnswer::Yes);
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(ConfirmWarning("Are you sure?"), 1);
    EXPECT_EQ(ConfirmWarning("Are you sure?"), -1);
    ExpectedMakerId = 0x1F;
    ExpectedDeviceId = 0x51;
    ShowChipAndDataIds(0x1F, 0xFF);
    EXPECT_EQ(MainLog().Lines(), (std::vector<std::string>{"Chip Mfg Id:001Fh, Dev Id:00FFh",
                                                            "Data Mfg Id:001Fh, Dev Id:0051h",
                                                            "-------------------------------------------"}));
}

TEST(ServicesTextTest, HexHelpers) {
    char a[] = "00ff";
    EXPECT_EQ(HexTextToInt(a), 255);
    EXPECT_STREQ(a, "00FF");
    char nine[] = "123456789"; // only the last 8 digits count
    EXPECT_EQ(static_cast<uint32_t>(HexTextToInt(nine)), 0x23456789u);

    const uint8_t bytes[8] = {0x00, 0x01, 0xAB, 0x7F, 0x80, 0xFE, 0x10, 0xFF};
    char text[32];
    EXPECT_STREQ(FormatHexBytes8(text, bytes), "00 01 ab 7f 80 fe 10 ff ");
    uint8_t back[8] = {};
    ParseHexBytes8(text, back);
    EXPECT_EQ(std::memcmp(back, bytes, 8), 0);
    // A short entry is read as far as it goes, the rest 0, never past its end.
    char shortText[] = "12 34";
    uint8_t part[8];
    std::memset(part, 0xEE, sizeof part);
    ParseHexBytes8(shortText, part);
    EXPECT_EQ(std::vector<uint8_t>(part, part + 8), (std::vector<uint8_t>{0x12, 0x34, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(IndexOfChar("ABCDC", 'C'), 3);
    EXPECT_GT(GetFreeDiskBytes(), 0u);
}

// Characters read from a chip never put control bytes or invalid UTF-8 into
// the log: printable ASCII and Latin-1 stay, the rest shows as ".".
TEST(ServicesTextTest, ChipCharactersAreLoggedAsValidText) {
    EXPECT_EQ(ChipCharsForLog("AB", 2), "AB");
    EXPECT_EQ(ChipCharsForLog("\xFF\xFF", 2), "\xC3\xBF\xC3\xBF");
    EXPECT_EQ(ChipCharsForLog("\x01\x7F\x85\x1F" "a~ \xA0", 8), "....a~ \xC2\xA0");
    EXPECT_EQ(ChipCharsForLog("\x12\x34\x56", 2), ".4"); // the count bounds an unterminated field
    EXPECT_EQ(ChipCharsForLog("A\0B", 3), "A");          // the text ends at its first 0
}
