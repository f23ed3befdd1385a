// The main window: its menus, keys and buttons, which commands a device
// offers, the refusal of shared-state commands during a run, the break keys,
// the window position and the file commands.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <functional>

#include "SelectTestLibrary.h"
#include "ShellTestSupport.h"
#include "engine/Tables.h"
#include "shell/About.h"
#include "shell/AutoRepeatProgram.h"
#include "shell/ChangeAlgorithm.h"
#include "shell/Editbit.h"
#include "shell/Editbyte.h"
#include "shell/Editues.h"
#include "shell/Project.h"
#include "shell/Startup.h"

namespace {

int g_identifyCalls = 0;
int g_optionsCalls = 0;
int FakeIdentify() {
    ++g_identifyCalls;
    ChipMakerId = 0x1F;
    ChipDeviceId = 0x51;
    return 0;
}
int FakeOptions() {
    ++g_optionsCalls;
    return 0;
}

class MainWindowTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        g_identifyCalls = 0;
        g_optionsCalls = 0;
    }
    void ShowActive() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    // Every command of the window, all made available as if every form existed.
    QList<QObject*> AllCommands() {
        QList<QObject*> out;
        for (QAction* m : form->menuBar()->actions())
            for (QAction* a : m->menu()->actions())
                if (!a->isSeparator()) out << a;
        for (QToolButton* b : form->findChildren<QToolButton*>())
            if (b->window() == form.get() && b != form->SpeedButton3 && !b->toolTip().isEmpty()) out << b;
        for (QObject* o : out)
            form->SetCommandAvailable(o, true);
        return out;
    }
};

TEST_F(MainWindowTest, MenusCarryTheirCaptionsAndKeys) {
    const struct {
        QAction* item;
        const char* caption;
        QKeySequence key;
    } items[] = {
        {form->Load1, "&Load", QKeySequence(Qt::Key_F3)},
        {form->Save1, "&Save", QKeySequence(Qt::Key_F2)},
        {form->LoadPorject1, "Load Project", {}},
        {form->SaveProject1, "Save Project", {}},
        {form->Exit1, "E&xit", QKeySequence(Qt::ALT | Qt::Key_X)},
        {form->EditBuffer1, "&Edit Buffer", QKeySequence(Qt::Key_F6)},
        {form->EditUES1, "Edit &UES", {}},
        {form->Select1, "&Select", QKeySequence(Qt::Key_F7)},
        {form->ChangeAlgorithm1, "&Change Algorithm", {}},
        {form->AutoRepeatProgram1, "A&uto Repeat Program", {}},
        {form->BlankCheck1, "&Blank Check", QKeySequence(Qt::CTRL | Qt::Key_B)},
        {form->Program1, "&Program", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {form->Read1, "&Read", QKeySequence(Qt::CTRL | Qt::Key_R)},
        {form->Verify1, "&Verify", QKeySequence(Qt::CTRL | Qt::Key_V)},
        {form->DataCompare1, "&Data Compare", QKeySequence(Qt::CTRL | Qt::Key_D)},
        {form->Erase1, "&Erase", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {form->Security1, "&Security", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {form->Encryption1, "E&ncryption", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {form->Option1, "&Option", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {form->Auto1, "&Auto", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {form->Read_ID, "Read ID", QKeySequence(Qt::SHIFT | Qt::Key_F1)},
        {form->VectorTest1, "&Vector Test", QKeySequence(Qt::CTRL | Qt::Key_T)},
        {form->ICTest1, "&IC Test", {}},
        {form->RAMTest1, "&RAM Test", {}},
        {form->Configoption1, "&Config option", {}},
        {form->Hardwaretest1, "&Hardware test", {}},
        {form->Contents1, "&Contents", {}},
        {form->UsingHelp1, "&Using Help", {}},
        {form->About1, "&About", {}},
    };
    for (const auto& i : items) {
        EXPECT_EQ(i.item->text(), i.caption);
        EXPECT_EQ(i.item->shortcut(), i.key) << i.caption;
    }
    EXPECT_EQ(form->File1->title(), "&File");
    EXPECT_EQ(form->Buffer1->title(), "&Buffer");
    EXPECT_EQ(form->Device1->title(), "&Device");
    EXPECT_EQ(form->Test1->title(), "&Test");
    EXPECT_EQ(form->Config1->title(), "&Config");
    EXPECT_EQ(form->Help1->title(), "&Help");
    EXPECT_FALSE(form->Contents1->isEnabled());
    EXPECT_FALSE(form->UsingHelp1->isEnabled());

    const struct {
        QToolButton* button;
        const char* hint;
        const char* caption;
    } buttons[] = {
        {form->SpeedButtonLoad, "Load File", ""},
        {form->SpeedButtonSave, "Save File", ""},
        {form->SpeedButtonLoadProject, "Load Project", ""},
        {form->SpeedButtonSaveProject, "Save Project", ""},
        {form->SpeedButtonSelect, "Select Device", "Select"},
        {form->SpeedButtonEdit, "Buffer Edit", "Edit"},
        {form->SpeedButtonBlankCheck, "Blank Check", "Blank"},
        {form->SpeedButtonProgram, "Program", "Prog.."},
        {form->SpeedButtonRead, "Read", "Read"},
        {form->SpeedButtonVerify, "Verify", "Verify"},
        {form->SpeedButtonErase, "Erase", "Erase"},
        {form->SpeedButtonSecurity, "Security", "Secu.."},
        {form->SpeedButtonOption, "Option", "Option"},
        {form->SpeedButtonAuto, "Auto", "Auto"},
        {form->SpeedButtonVectorTest, "VectorTest", ""},
        {form->SpeedButtonIcTest, "IC Test", ""},
        {form->SpeedButtonRamTest, "RAM Test", ""},
        {form->SpeedButtonCounter, "Reset Counter", ""},
    };
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->toolTip(), b.hint);
        EXPECT_EQ(b.button->text(), b.caption) << b.hint;
    }
    EXPECT_EQ(form->GroupBox1->title(), " System Info ");
    EXPECT_EQ(form->GroupBox2->title(), " Option Info ");
    EXPECT_EQ(form->GroupBoxCounter->title(), " Counter ");
    EXPECT_TRUE(form->Memo1->isReadOnly());
    EXPECT_EQ(form->ProgressBar1->maximum(), 100);
    // Panels 0 and 1 are cleared with the progress; 2 until the window shows.
    EXPECT_EQ(form->StatusPanels[0]->text(), "");
    EXPECT_EQ(form->StatusPanels[2]->text(), "Help");
    EXPECT_EQ(form->LabelCount->text(), "Count : 0");
    EXPECT_EQ(form->LabelDeviceHR->text(), "Devices/HR : 0");
    // The testing forms and the hardware test are not part of the program yet.
    for (QObject* o : std::initializer_list<QObject*>{form->VectorTest1, form->SpeedButtonVectorTest,
                                                      form->ICTest1, form->SpeedButtonIcTest, form->RAMTest1,
                                                      form->SpeedButtonRamTest, form->Hardwaretest1})
        EXPECT_FALSE(form->CommandEnabled(o));
}

TEST_F(MainWindowTest, CommandsFollowTheDevice) {
    for (QObject* o : AllCommands())
        (void)o;
    // The built-in device: blank check, program, read, verify, compare, auto.
    form->EnableOperationControls(0x41F);
    EXPECT_TRUE(form->BlankCheck1->isVisible() && form->BlankCheck1->isEnabled());
    EXPECT_TRUE(form->DataCompare1->isVisible() && form->DataCompare1->isEnabled());
    EXPECT_TRUE(form->Auto1->isEnabled());
    EXPECT_TRUE(form->SpeedButtonAuto->isEnabled());
    EXPECT_FALSE(form->Erase1->isVisible());
    EXPECT_FALSE(form->SpeedButtonErase->isEnabled());
    EXPECT_FALSE(form->Encryption1->isVisible());
    EXPECT_FALSE(form->Option1->isVisible());
    EXPECT_FALSE(form->SpeedButtonOption->isEnabled());
    EXPECT_FALSE(form->Read_ID->isVisible());
    EXPECT_FALSE(form->AutoRepeatProgram1->isVisible());
    // Row 0 has parameters to change.
    EXPECT_TRUE(form->ChangeAlgorithm1->isEnabled());
    EXPECT_FALSE(form->VectorTest1->isVisible());

    // Compare and encryption get a menu item but no button; option its button.
    form->EnableOperationControls(OpMaskCompare | OpMaskEncryption | OpMaskOption | OpMaskErase);
    EXPECT_TRUE(form->Encryption1->isVisible() && form->Encryption1->isEnabled());
    EXPECT_TRUE(form->SpeedButtonOption->isEnabled());
    EXPECT_TRUE(form->SpeedButtonErase->isEnabled());
    EXPECT_FALSE(form->SpeedButtonBlankCheck->isEnabled());
    EXPECT_FALSE(form->Program1->isVisible());

    // A row without parameters withdraws Change Algorithm.
    CurrentAlgorithm = 59;
    ASSERT_EQ(AlgorithmTable[59].ParameterGroup, NoParameterGroup);
    form->EnableOperationControls(0x41F);
    EXPECT_FALSE(form->ChangeAlgorithm1->isEnabled());

    // A PLD: UES when it has one; vector test only below 49 pins.
    DeviceSection = SectionPld;
    UesFuseStart = 5828;
    uint32_t small = 0, large = 0;
    for (uint32_t i = 1; i < PackageRowCount; ++i) {
        if (!small && PackageTable[i].PinCount > 0 && PackageTable[i].PinCount < 49) small = i;
        if (!large && PackageTable[i].PinCount >= 49) large = i;
    }
    ASSERT_TRUE(small && large);
    PackageIndex = small;
    form->EnableOperationControls(0x41F);
    EXPECT_TRUE(form->EditUES1->isVisible() && form->EditUES1->isEnabled());
    EXPECT_TRUE(form->VectorTest1->isVisible() && form->VectorTest1->isEnabled());
    EXPECT_TRUE(form->SpeedButtonVectorTest->isEnabled());
    PackageIndex = large;
    UesFuseStart = 0;
    form->EnableOperationControls(0x41F);
    EXPECT_FALSE(form->EditUES1->isVisible());
    EXPECT_FALSE(form->VectorTest1->isVisible());
    EXPECT_FALSE(form->SpeedButtonVectorTest->isEnabled());
    // Vector test belongs to the PLD section only.
    DeviceSection = SectionEprom;
    PackageIndex = small;
    form->EnableOperationControls(0x41F);
    EXPECT_FALSE(form->VectorTest1->isVisible());
}

TEST_F(MainWindowTest, CommandKeysWorkFromTheLogAndReadIdStaysReachable) {
    form->EnableOperationControls(0x41F);
    ShowActive();
    form->Memo1->setFocus();
    // Handlers refuse (busy), so only the key routing is looked at.
    OperationBusy.store(true);
    QSignalSpy autoSpy(form->Auto1, &QAction::triggered);
    QSignalSpy verifySpy(form->Verify1, &QAction::triggered);
    QTest::keyClick(form->Memo1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form->Memo1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(autoSpy.count(), 1);
    EXPECT_EQ(verifySpy.count(), 1);
    OperationBusy.store(false);

    // Read ID is hidden, yet Shift+F1 reads the identity.
    AlgorithmTable[CurrentAlgorithm].Identify = FakeIdentify;
    ASSERT_FALSE(form->Read_ID->isVisible());
    QTest::keyClick(form->Memo1, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(g_identifyCalls, 1);
    EXPECT_TRUE(LogLines().contains("Chip Mfg Id:001Fh, Dev Id:0051h"));
    // Without an Identify entry nothing happens and nothing is logged.
    AlgorithmTable[CurrentAlgorithm].Identify = AlgNoOperation;
    const int lines = static_cast<int>(MainLog().LineCount());
    QTest::keyClick(form.get(), Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(static_cast<int>(MainLog().LineCount()), lines);
}

TEST_F(MainWindowTest, SharedStateCommandsAreRefusedWhileARunIsActive) {
    const QList<QObject*> commands = AllCommands();
    form->EnableOperationControls(0xFFFF);
    AlgorithmTable[CurrentAlgorithm].Identify = FakeIdentify;
    AlgorithmTable[CurrentAlgorithm].Options = FakeOptions;
    int dialogs = 0;
    form->ExecDialog = [&](QFileDialog*) {
        ++dialogs;
        return int(QDialog::Rejected);
    };

    ASSERT_EQ(StartOperation(OpBlankCheck), 0); // takes the busy flag at once
    // The run may end quickly (no programmer): hold the gate as if it ran on.
    WaitUntil([] { return !OperationBusy.load(); });
    WaitForOperationThread();
    OperationBusy.store(true);
    form->SetOperationRunning(true);
    for (QObject* o : commands) {
        bool free = o == form->Exit1 || o == form->About1;
        EXPECT_EQ(form->CommandEnabled(o), free)
            << o->objectName().toStdString() << " "
            << (qobject_cast<QAction*>(o) ? qobject_cast<QAction*>(o)->text().toStdString()
                                          : qobject_cast<QToolButton*>(o)->toolTip().toStdString());
    }
    EXPECT_FALSE(form->ReadIdShortcut->isEnabled());

    // A handler reached anyway does nothing.
    form->DevicesPerHour = 7;
    form->Load1Click();
    form->Save1Click();
    form->LoadPorject1Click();
    form->SaveProject1Click();
    form->Option1Click();
    form->Read_IDClick();
    form->SpeedButtonCounterClick();
    ProgramDirectory = "/nonexistent-dir";
    BoxAnswer box;
    AnswerNextBox(QMessageBox::Ok, &box);
    form->Select1Click();
    QTest::qWait(50);
    EXPECT_EQ(box.seen, 0);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(g_identifyCalls, 0);
    EXPECT_EQ(g_optionsCalls, 0);
    EXPECT_EQ(form->DevicesPerHour, 7u);
    EXPECT_EQ(StartOperation(OpProgram), -1);

    OperationBusy.store(false);
    form->SetOperationRunning(false);
    EXPECT_TRUE(form->Load1->isEnabled());
    EXPECT_TRUE(form->Program1->isEnabled());

    // Select without a library says so.
    AnswerNextBox(QMessageBox::Ok, &box);
    form->Select1Click();
    EXPECT_EQ(box.seen, 1);
    EXPECT_EQ(box.text, "Can not open Library File!");
}

// Closes the next modal dialog through `answer` (which must end it), noting its class.
struct ModalSeen {
    QString className;
    int seen = 0;
};
void AnswerNextModal(ModalSeen* out, std::function<void(QDialog*)> answer = [](QDialog* d) { d->reject(); }) {
    auto* timer = new QTimer(&BoxTimerOwner());
    QObject::connect(timer, &QTimer::timeout, [timer, out, answer] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        out->className = d->metaObject()->className();
        ++out->seen;
        timer->stop();
        timer->deleteLater();
        answer(d);
    });
    timer->start(5);
}

TEST_F(MainWindowTest, FormCommandsOpenTheirFormsAndAreRefusedWhileBusy) {
    TempLibraryDir dir{"Forms"};
    ProgramDirectory = dir.Path();
    WriteTestLibrary(TestDevices());
    DeviceSection = SectionPld;
    UesFuseStart = 5828;
    form->EnableOperationControls(0x41F);
    for (QObject* o : std::initializer_list<QObject*>{
             form->EditBuffer1, form->SpeedButtonEdit, form->EditUES1, form->Select1, form->SpeedButtonSelect,
             form->ChangeAlgorithm1, form->SaveProject1, form->SpeedButtonSaveProject, form->Configoption1,
             form->About1})
        EXPECT_TRUE(form->CommandEnabled(o)) << o->metaObject()->className();
    // Auto Repeat Program is hidden like Read ID, and a hidden item is disabled.
    EXPECT_FALSE(form->AutoRepeatProgram1->isVisible());
    // Vector test is offered for a small PLD, but its form is not there yet.
    EXPECT_TRUE(form->VectorTest1->isVisible());
    EXPECT_FALSE(form->VectorTest1->isEnabled());

    // While a run is active nothing opens (the about box reads nothing shared).
    OperationBusy.store(true);
    ModalSeen modal;
    AnswerNextModal(&modal);
    int dialogs = 0;
    form->ExecDialog = [&](QFileDialog*) {
        ++dialogs;
        return int(QDialog::Rejected);
    };
    form->EditBuffer1Click();
    form->EditUES1Click();
    form->Select1Click();
    form->ChangeAlgorithm1Click();
    form->AutoRepeatProgram1Click();
    form->SaveProject1Click();
    form->Configoption1Click();
    QTest::qWait(50);
    EXPECT_EQ(modal.seen, 0);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(EditByte1.isNull() && EditUes_.isNull());
    EXPECT_FALSE(SelDev && SelDev->isVisible());
    EXPECT_FALSE(CfgOpt && CfgOpt->isVisible());
    form->About1Click();
    EXPECT_EQ(modal.className, "TAboutKr");
    OperationBusy.store(false);

    // Modeless forms.
    DeviceSection = SectionEprom;
    form->SpeedButtonEdit->click();
    ASSERT_FALSE(EditByte1.isNull());
    EXPECT_TRUE(EditByte1->isVisible());
    form->EditUES1->trigger();
    ASSERT_FALSE(EditUes_.isNull());
    EXPECT_TRUE(EditUes_->isVisible());
    form->SpeedButtonSelect->click();
    ASSERT_NE(SelDev, nullptr);
    EXPECT_TRUE(SelDev->isVisible());
    EXPECT_EQ(SelDev->DeviceCount, 8);
    form->Configoption1->trigger();
    ASSERT_NE(CfgOpt, nullptr);
    EXPECT_TRUE(CfgOpt->isVisible());

    // A run makes the open editor read-only; a fuse map device closes it.
    form->SetOperationRunning(true);
    EXPECT_FALSE(EditByte1->Clear->isEnabled());
    form->SetOperationRunning(false);
    EXPECT_TRUE(EditByte1->Clear->isEnabled());
    DeviceFlags |= 8u;
    form->RefreshBufferView(0);
    EXPECT_FALSE(EditByte1->isVisible());
    DeviceFlags &= ~8u;

    // Modal dialogs.
    const struct {
        void (TForm1::*handler)();
        const char* form;
    } modals[] = {{&TForm1::ChangeAlgorithm1Click, "TChangeAlgorithm1"},
                  {&TForm1::AutoRepeatProgram1Click, "TAutoRepeatProgram1"},
                  {&TForm1::About1Click, "TAboutKr"}};
    for (const auto& m : modals) {
        ModalSeen seen;
        AnswerNextModal(&seen);
        (form.get()->*m.handler)();
        EXPECT_EQ(seen.className, m.form);
    }
}

TEST_F(MainWindowTest, SaveProjectAsksForTheTextsAndSavesOnlyOnOk) {
    TempLibraryDir dir{"Prj"};
    const QString prj = QString::fromStdString(dir.Path() + "/job.prj");
    const QString cwd = QDir::currentPath();
    form->ExecDialog = [&](QFileDialog* d) {
        d->selectFile(prj);
        return int(QDialog::Accepted);
    };
    ModalSeen seen;
    AnswerNextModal(&seen);
    form->SaveProject1Click();
    EXPECT_EQ(seen.className, "TProject");
    EXPECT_FALSE(QFileInfo::exists(prj)); // cancelled: nothing written

    AnswerNextModal(&seen, [](QDialog* d) {
        auto* p = static_cast<TProject*>(d);
        p->Edit1->setText("Ann");
        p->Memo1->setPlainText("two\nlines");
        p->BitBtnOk->click();
    });
    form->SpeedButtonSaveProject->click();
    QDir::setCurrent(cwd);
    EXPECT_EQ(seen.seen, 2);
    ASSERT_TRUE(QFileInfo::exists(prj));
    EXPECT_EQ(LogLines().last(), "Project file saved!");

    // Loading it back logs the texts, a multi-line one on one line.
    ProjectAuthor.clear();
    ProjectDescription.clear();
    form->LoadPorject1Click();
    QDir::setCurrent(cwd);
    EXPECT_TRUE(LogLines().contains("Author : Ann"));
    EXPECT_TRUE(LogLines().contains("Description : two lines"));
}

TEST_F(MainWindowTest, WindowPositionIsKeptInTheSettings) {
    {
        QSettings s(QSettings::UserScope, "Harrowend", "Remember");
        s.remove(kWindowPositionKey);
        s.beginGroup(kWindowPositionKey);
        s.setValue("Left", 123);
        s.setValue("Top", 77);
    }
    form->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->pos(), QPoint(123, 77));
    EXPECT_EQ(form->StatusPanels[2]->text(), "");
    form->move(201, 150);
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->close());
    QSettings s(QSettings::UserScope, "Harrowend", "Remember");
    s.beginGroup(kWindowPositionKey);
    EXPECT_EQ(s.value("Left").toInt(), form->x());
    EXPECT_EQ(s.value("Top").toInt(), form->y());
    EXPECT_EQ(form->x(), 201);
}

// ---------------------------------------------------------------------------
// File commands

class FileCommandTest : public MainWindowTest {
  protected:
    void TearDown() override {
        // The dialogs move the current directory into the temporary one.
        QDir::setCurrent(cwd);
        MainWindowTest::TearDown();
    }
    QString cwd = QDir::currentPath();
    // Answers the next dialog with a file and a filter (1-based), or cancels.
    void Answer(const QString& path, int filter) {
        form->ExecDialog = [path, filter, this](QFileDialog* d) {
            titles << d->windowTitle();
            filters = d->nameFilters();
            if (path.isEmpty()) return int(QDialog::Rejected);
            d->selectNameFilter(d->nameFilters().value(filter - 1));
            d->selectFile(path);
            return int(QDialog::Accepted);
        };
    }
    QString Write(const QString& name, const std::string& bytes) {
        QString p = dir.filePath(name);
        std::ofstream(p.toStdString(), std::ios::binary) << bytes;
        return p;
    }
    QTemporaryDir dir;
    QStringList titles;
    QStringList filters;
};

TEST_F(FileCommandTest, FiltersFollowTheFileFormats) {
    // "*.*" means any file, with or without an extension.
    EXPECT_EQ(ToQtNameFilters(FiltersForFormatMask(0x01).Open)[0], "Binary File(*.*) (*)");
    EXPECT_EQ(ToQtNameFilters(FiltersForFormatMask(0x10).Save).size(), 5);
    EXPECT_EQ(ToQtNameFilters(FiltersForFormatMask(0x10).Save)[2], "Motorola Hex File (*.s0 *.s1 *.s2)");
    // The first format bit decides.
    EXPECT_TRUE(FiltersForFormatMask(0x30).Open.startsWith("Binary File"));
    EXPECT_EQ(FiltersForFormatMask(0x60).Open, "Jed File(*.jed)|*.jed");
    EXPECT_EQ(FiltersForFormatMask(0xC0).Save, "Pof File(*.pof)|*.pof");
    EXPECT_EQ(FiltersForFormatMask(0x80).Open, "Prg File(*.prg)|*.prg");
    EXPECT_FALSE(FiltersForFormatMask(0x100).Set);

    // Formats that offer nothing leave the last filters in place.
    FileFormatMask = 0x20;
    Answer("", 1);
    form->Load1Click();
    EXPECT_EQ(filters, QStringList({"Jed File(*.jed) (*.jed)"}));
    FileFormatMask = 0;
    form->Load1Click();
    EXPECT_EQ(filters, QStringList({"Jed File(*.jed) (*.jed)"}));
    EXPECT_EQ(titles.first(), "Open");
    EXPECT_TRUE(LogLines().isEmpty()); // cancelled: nothing logged
}

TEST_F(FileCommandTest, LoadAndSaveThroughTheDialogs) {
    // Binary, filter 1.
    std::string data(16, '\0');
    for (int i = 0; i < 16; ++i)
        data[i] = static_cast<char>(i * 3);
    const QString bin = Write("image.bin", data);
    Answer(bin, 1);
    form->Load1Click();
    uint32_t sum = (BufferByteSize - 16) * 0xFF;
    for (char c : data)
        sum += static_cast<uint8_t>(c);
    QStringList log = LogLines();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0], "File Loading...");
    EXPECT_EQ(log[1], QString::asprintf("File load success! (Checksum:%04Xh)", sum & 0xFFFF));
    EXPECT_EQ(DataFileName, bin.toStdString());
    EXPECT_EQ(DataFileType, DataFileBinary);
    EXPECT_EQ(form->File->text(), bin);
    EXPECT_EQ(BufferWindow[5], 15);

    // Intel hex, filter 2.
    const QString hex = Write("image.hex", ":0400100012345678D4\n:00000001FF\n");
    Answer(hex, 2);
    form->Load1Click();
    EXPECT_EQ(DataFileType, DataFileHex);
    EXPECT_EQ(BufferWindow[0x10], 0x12);
    EXPECT_EQ(LogLines().last().left(19), "File load success! ");

    // A failed load keeps the data file and logs no success.
    MainLog().Clear();
    form->MirrorReload();
    Answer(dir.filePath("missing.hex"), 2);
    form->Load1Click();
    EXPECT_EQ(DataFileName, hex.toStdString());
    EXPECT_FALSE(LogLines().join('\n').contains("success"));

    // Save as Intel hex, filter 2.
    const QString out = dir.filePath("out.hex");
    Answer(out, 2);
    form->Save1Click();
    EXPECT_EQ(titles.last(), "Save");
    EXPECT_EQ(LogLines().last(), "File save success!");
    EXPECT_EQ(SavedFileName, out.toStdString());
    std::ifstream in(out.toStdString());
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first.substr(0, 1), ":");
}

TEST_F(FileCommandTest, ProjectFiles) {
    ProjectAuthor = "Ann";
    ProjectDescription = "Board 7";
    const QString prj = dir.filePath("board.prj");
    ASSERT_EQ(SaveConfigOrProjectFile(prj.toStdString(), 1), 0);
    ProjectAuthor.clear();
    MainLog().Clear();
    form->MirrorReload();
    Answer(prj, 1);
    form->LoadPorject1Click();
    EXPECT_EQ(titles.last(), "Open Project");
    EXPECT_EQ(filters, QStringList({"Project File(*.prj) (*.prj)"}));
    QStringList log = LogLines();
    EXPECT_TRUE(log.contains("Author : Ann"));
    EXPECT_TRUE(log.contains("Description : Board 7"));
    EXPECT_EQ(log.last(), "Project file loaded!");

    Answer(Write("bad.prj", "not a project"), 1);
    form->LoadPorject1Click();
    EXPECT_EQ(LogLines().last(), "Illegal Project File!");
}

} // namespace
