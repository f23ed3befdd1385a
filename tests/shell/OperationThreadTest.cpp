// The operation thread and the Qt bridge: log, progress and counters reach the
// window on the UI thread, busy is taken before the worker starts, the break
// question blocks only the worker, the log mirror follows trims and rewrites.
#include <QScrollBar>
#include <QThread>
#include <stdexcept>
#include <thread>

#include "SelectTestLibrary.h"
#include "ShellTestSupport.h"
#include "shell/AutoRepeatProgram.h"
#include "shell/InfoPanel.h"
#include "shell/SimSetup.h"

namespace {

// A chip the fake algorithm row below reads and writes; the run still goes
// through bring-up and the logic-image download of the simulated programmer.
std::vector<uint8_t> g_chip;
std::atomic<bool> g_holdProgram{false};
std::atomic<bool> g_inProgram{false};

int ChipRead(int mode) {
    for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ReadValue = g_chip[a];
        if (ProcessReadByte(mode) != 1) return -1;
        if (StepProgress(a) == 3) return 3;
    }
    return 1;
}

int ChipProgram() {
    g_inProgram = true;
    while (g_holdProgram.load()) {
        if (StepProgressByAddress(DeviceStart) == 3) {
            g_inProgram = false;
            return 3;
        }
        QThread::msleep(2);
    }
    for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) {
        g_chip[a] = BufferWindow[a];
        if (StepProgress(a) == 3) return 3;
    }
    g_inProgram = false;
    return 1;
}

int ThrowingProgram() { throw std::runtime_error("Chip model fault"); }

// An Options slot that polls the break as a long option routine does.
int g_optionsResult = 0;
int PollingOptions() {
    g_optionsResult = StepProgressByAddress(DeviceStart) == 3 ? 3 : 1;
    return 0;
}

class OperationThreadTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ProgramDirectory = dir.Path();
        WriteBytes(LibraryFilePath(), MakeLibraryBytes({{LogicImageNumber, TestImage(sim::kPersonalityUniversal)}}));
        InstallPortIo(MakeProgramSimulator());
        g_chip.assign(DeviceSize, 0xFF);
        g_holdProgram = false;
        AlgorithmTable[CurrentAlgorithm].Read = ChipRead;
        AlgorithmTable[CurrentAlgorithm].Program = ChipProgram;
        form->EnableOperationControls(SupportedOperationMask);
        form->show();
    }
    void TearDown() override {
        g_holdProgram = false;
        ShellTest::TearDown();
        InstallPortIo(nullptr);
    }
    TempLibraryDir dir{"Shell"};
};

// A program-and-verify run (the whole flow on a real chip model is ProgramFlowTest).
TEST_F(OperationThreadTest, ProgramAndVerifyRunOnTheWorker) {
    for (uint32_t i = 0; i < BufferByteSize; ++i)
        BufferWindow[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(StartOperation(OpProgram), 0);
    // Busy at once, before the worker has done anything.
    EXPECT_TRUE(OperationBusy.load());
    EXPECT_EQ(StartOperation(OpProgram), -1);
    EXPECT_FALSE(form->Load1->isEnabled());
    ASSERT_TRUE(WaitIdle());

    const QStringList memo = MemoLines();
    EXPECT_EQ(memo, LogLines());
    EXPECT_TRUE(memo.contains("Program ok!")) << memo.join('\n').toStdString();
    EXPECT_EQ(g_chip[100], static_cast<uint8_t>(700));
    EXPECT_EQ(form->ProgressBar1->value(), 100);
    EXPECT_EQ(QStringList({form->LabelCount->text(), form->LabelSuccess->text(), form->LabelFailure->text()}),
              QStringList({"Count : 1", "Success : 1", "Failure : 0"}));
    // The bracket is closed: commands back, status text gone.
    EXPECT_EQ(form->StatusPanels[2]->text(), "");
    EXPECT_TRUE(form->Program1->isEnabled() && form->SpeedButtonProgram->isEnabled() && form->Load1->isEnabled());
    // The programmer's ID block reached the panel.
    UpdateInfoPanel();
    EXPECT_EQ(form->HWRev->text(), "2.1C");
    EXPECT_EQ(form->SerialNo->text(), "QX4207");

    // A verify against a chip that differs fails and counts nothing.
    g_chip[3] ^= 0xFF;
    ASSERT_EQ(StartOperation(OpVerify), 0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(MemoLines().contains("Verification error!"));
    EXPECT_EQ(form->LabelCount->text(), "Count : 1");
    EXPECT_EQ(MemoLines(), LogLines());
}

TEST_F(OperationThreadTest, BreakDuringARunIsAskedOnTheUiThread) {
    g_holdProgram = true;
    ASSERT_EQ(StartOperation(OpProgram), 0);
    ASSERT_TRUE(WaitUntil([] { return g_inProgram.load(); }));
    ASSERT_TRUE(WaitUntil([&] { return form->StatusPanels[2]->text() == "Press ESC to Cancel"; }));
    EXPECT_FALSE(form->Program1->isEnabled() || form->SpeedButtonAuto->isEnabled() || form->Select1->isEnabled());

    // Yes goes on.
    BoxAnswer box;
    AnswerNextBox(QMessageBox::Yes, &box);
    form->Memo1->setFocus();
    QTest::keyClick(form->Memo1, Qt::Key_Escape);
    ASSERT_TRUE(WaitUntil([&] { return box.seen == 1; }));
    EXPECT_EQ(box.text, "Continue?");
    EXPECT_EQ(box.title, "Warning");
    QTest::qWait(30);
    EXPECT_TRUE(OperationBusy.load());

    // A click on the progress bar asks again; No stops the run.
    AnswerNextBox(QMessageBox::No, &box);
    QTest::mousePress(form->ProgressBar1, Qt::LeftButton);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(box.seen, 2);
    EXPECT_TRUE(MemoLines().contains("USER BREAK!"));
    EXPECT_EQ(form->StatusPanels[2]->text(), "");
    EXPECT_EQ(form->LabelFailure->text(), "Failure : 1");
    EXPECT_TRUE(form->Program1->isEnabled());
}

TEST_F(OperationThreadTest, ClosingDuringARunWaitsForItsEnd) {
    g_holdProgram = true;
    ASSERT_EQ(StartOperation(OpProgram), 0);
    ASSERT_TRUE(WaitUntil([] { return g_inProgram.load(); }));
    BoxAnswer box;
    AnswerNextBox(QMessageBox::No, &box);
    QSignalSpy closed(form.get(), &TForm1::FormClosed);
    EXPECT_FALSE(form->close()); // refused; the run is asked to stop
    EXPECT_EQ(closed.count(), 0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(box.text, "Continue?");
    EXPECT_TRUE(WaitUntil([&] { return !form->isVisible(); }));
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(OperationThreadTest, ExceptionInAStepIsShownAndReleasesTheBusyState) {
    AlgorithmTable[CurrentAlgorithm].Program = ThrowingProgram;
    BoxAnswer box;
    AnswerNextBox(QMessageBox::Ok, &box);
    ASSERT_EQ(StartOperation(OpProgram), 0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(box.text, "Chip model fault");
    EXPECT_TRUE(MemoLines().contains("Program failed: Chip model fault")) << MemoLines().join('\n').toStdString();
    EXPECT_EQ(form->StatusPanels[2]->text(), "");
    EXPECT_TRUE(form->Program1->isEnabled() && form->Load1->isEnabled());

    // The next command is taken and runs.
    AlgorithmTable[CurrentAlgorithm].Program = ChipProgram;
    ASSERT_EQ(StartOperation(OpProgram), 0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(MemoLines().contains("Program ok!")) << MemoLines().join('\n').toStdString();
}

TEST_F(OperationThreadTest, EscOrCloseInTheAutoRepeatDialogStopsTheRun) {
    for (bool esc : {true, false}) {
        SCOPED_TRACE(esc ? "Esc" : "Close");
        g_holdProgram = true;
        TAutoRepeatProgram1 d(form.get());
        d.Timer1->stop();
        d.ComboBoxFunction->setCurrentIndex(d.ComboBoxFunction->findText("Program"));
        ASSERT_EQ(d.Timer1Timer(), 0);
        ASSERT_TRUE(WaitUntil([] { return g_inProgram.load(); }));
        BoxAnswer box;
        AnswerNextBox(QMessageBox::No, &box);
        if (esc)
            QTest::keyClick(&d, Qt::Key_Escape);
        else
            d.BitBtn1->click();
        EXPECT_FALSE(d.Timer1->isActive()); // no run after this one
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(box.text, "Continue?");
        EXPECT_EQ(MemoLines().count("USER BREAK!"), esc ? 1 : 2) << MemoLines().join('\n').toStdString();
        g_holdProgram = false;
    }
    RepeatFunctionIndex = 0;
}

TEST_F(OperationThreadTest, EscOrClickWhileIdleIsNoBreakForTheNextCommand) {
    AlgorithmTable[CurrentAlgorithm].Options = PollingOptions;
    g_optionsResult = 0;
    BoxAnswer box;
    AnswerNextBox(QMessageBox::No, &box);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    QTest::mousePress(form->ProgressBar1, Qt::LeftButton);
    ASSERT_EQ(UserBreak.load(), 1);
    form->Option1Click();
    EXPECT_EQ(g_optionsResult, 1);
    EXPECT_EQ(box.seen, 0) << box.text.toStdString();
}

// ---------------------------------------------------------------------------
// The bridge without a run

TEST_F(ShellTest, LogMirrorFollowsTrimsAndRewritesFromAWorker) {
    QSignalSpy progress(form->ProgressBar1, &QProgressBar::valueChanged);
    std::thread worker([&] {
        ShowMessageLine("Programming ...");
        OperationEngine engine;
        engine.StatusLine = LogLineCount() - 1;
        for (int i = 0; i < 520; ++i)
            ShowMessageLine("line %d", i);
        ReplaceMessageLine(engine, "Program ok!"); // its line is gone: appended
        ReplaceLastMessageLine("last");
        DeleteLastMessageLines(2);
        for (int p = 0; p <= 100; ++p)
            SetProgressPosition(p);
        ShowProgressStatus(42, 0x1234);
        CurrentUi().ShowCounters(3, 2, 1, 99);
    });
    worker.join();
    // Nothing reached the widgets yet: they change only on this thread.
    EXPECT_EQ(form->MirrorLineCount(), 0);
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    ASSERT_TRUE(WaitUntil([&] { return form->LabelCount->text() == "Count : 3"; }));
    EXPECT_EQ(MemoLines(), LogLines());
    EXPECT_EQ(form->ProgressBar1->value(), 100);
    EXPECT_EQ(progress.count(), 1); // coalesced to the latest value
    EXPECT_EQ(form->StatusPanels[0]->text(), "42%");
    EXPECT_EQ(form->StatusPanels[1]->text(), "1234");
    EXPECT_EQ(form->LabelDeviceHR->text(), "Devices/HR : 99");

    // A line wider than the log (the RAM test's DRAM result), added or
    // rewritten from a worker, leaves the start of every line in view.
    form->show();
    form->resize(1, form->height()); // as narrow as the window goes
    QCoreApplication::processEvents();
    const QString wide = "Good Memory! (row address lines, disturbance between rows and retention not tested)";
    ASSERT_GT(form->Memo1->fontMetrics().horizontalAdvance(wide), form->Memo1->viewport()->width());
    const QScrollBar* sideways = form->Memo1->horizontalScrollBar();
    std::thread w3([&] { ShowMessageLine("%s", wide.toStdString().c_str()); });
    w3.join();
    ASSERT_TRUE(WaitUntil([&] { return MemoLines().last() == wide; }));
    QCoreApplication::processEvents();
    EXPECT_GT(sideways->maximum(), sideways->minimum());
    EXPECT_EQ(sideways->value(), sideways->minimum());
    std::thread w4([&] {
        ShowMessageLine("Testing ...");
        OperationEngine engine;
        engine.StatusLine = LogLineCount() - 1;
        ReplaceMessageLine(engine, "%s", wide.toStdString().c_str());
    });
    w4.join();
    ASSERT_TRUE(WaitUntil([&] { return MemoLines() == LogLines(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(MemoLines().last(), wide);
    EXPECT_EQ(sideways->value(), sideways->minimum());
}

TEST_F(ShellTest, LineBreakInsideALogLineKeepsLaterRewritesInPlace) {
    ShowMessageLine("Device %s", "AB\nC\r\nD");
    ShowMessageLine("Programming ...");
    OperationEngine engine;
    engine.StatusLine = LogLineCount() - 1;
    ShowMessageLine("next");
    ReplaceMessageLine(engine, "Program ok!");
    EXPECT_EQ(MemoLines(), QStringList({"Device AB C  D", "Program ok!", "next"}));
}

TEST_F(ShellTest, QuestionsFromAWorkerBlockOnlyTheWorker) {
    UserBreak.store(1);
    std::atomic<int> result{0};
    BoxAnswer box;
    AnswerNextBox(QMessageBox::No, &box);
    std::thread worker([&] { result = StepProgressByAddress(DeviceStart); });
    // The UI thread keeps running events while the worker waits.
    ASSERT_TRUE(WaitUntil([&] { return result.load() != 0; }));
    worker.join();
    EXPECT_EQ(result.load(), 3);
    EXPECT_EQ(box.text, "Continue?");
    // The panel written from a worker lands on the UI thread.
    DeviceSize = 0;
    std::thread w2([] { UpdateInfoPanel(); });
    w2.join();
    ASSERT_TRUE(WaitUntil([&] { return form->DeviceSize->text() == "Unknown"; }));
}

} // namespace
