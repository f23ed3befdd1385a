// The main window: menus, keys and buttons, the commands a device offers,
// refusals during a run, the window position and the file commands.
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QToolBar>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>

#include "FormChecks.h"
#include "SelectTestLibrary.h"
#include "ShellTestSupport.h"
#include "engine/Tables.h"
#include "shell/Editbyte.h"
#include "shell/Editues.h"
#include "shell/Project.h"
#include "shell/Startup.h"
#include "testing/Editvect.h"

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

// The window's remembered place (and size, where given) as the last run
// left them; no place: none remembered.
void Remember(std::optional<QPoint> place, std::optional<QSize> size = {}) {
    QSettings s(QSettings::UserScope, "Harrowend", "Remember");
    s.remove(kWindowPositionKey);
    if (!place) return;
    s.beginGroup(kWindowPositionKey);
    s.setValue("Left", place->x());
    s.setValue("Top", place->y());
    if (!size) return;
    s.setValue("Width", size->width());
    s.setValue("Height", size->height());
}

// Under a window manager (the runs under tools/under-window-manager.sh name
// it) the window is framed only once it is shown, and the window's start
// is waited for: bounded, so a slow manager fails the test, never hangs it.
bool UnderWindowManager() { return qEnvironmentVariableIsSet("VEXLOR_WINDOW_MANAGER"); }
constexpr int kFrameWaitMs = 10000; // for the manager to frame a shown window
constexpr int kSettleWaitMs = 2000; // for a framed window to settle where it fits

// The window's frame lies on the screen's available area, in the window's
// units and in whole pixels: at a fractional scale Qt rounds the window's
// place and size to pixels each on its own, and the area's pixels may be as
// few as its units stand for when rounded.
// Under a window manager the frame is the one the manager gave, as the
// platform reports it.
QRect FrameOf(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return UnderWindowManager() && handle != nullptr ? handle->frameGeometry() : window->frameGeometry();
}
bool WhollyOn(const QRect& area, const QWidget* window) {
    const QRect frame = FrameOf(window);
    const qreal ratio = window->devicePixelRatioF();
    auto end = [ratio](int at, int size) { return qRound(at * ratio) + qRound(size * ratio); };
    auto least = [ratio](int at, int size) { return static_cast<int>(std::ceil((at + size - 0.5) * ratio)); };
    return area.contains(frame) && end(frame.left(), frame.width()) <= least(area.left(), area.width()) &&
           end(frame.top(), frame.height()) <= least(area.top(), area.height());
}
void ExpectWhollyOn(const QRect& area, const QWidget* window) {
    if (UnderWindowManager()) static_cast<void>(QTest::qWaitFor([&] { return WhollyOn(area, window); }, kSettleWaitMs));
    const QRect frame = FrameOf(window);
    EXPECT_TRUE(WhollyOn(area, window)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                        << frame.height() << " on " << area.width() << "x" << area.height();
}

// The whole screen as a PNG named `name` (and the dpi) in the folder
// VEXLOR_SCREENSHOTS names, when it names one.
void Screenshot(const QWidget* window, const std::string& name) {
    const QString folder = qEnvironmentVariable("VEXLOR_SCREENSHOTS");
    if (folder.isEmpty()) return;
    const int dpi = qRound(window->logicalDpiY() * window->devicePixelRatioF());
    const QString file = QString("%1/%2-%3dpi.png").arg(folder, QString::fromStdString(name)).arg(dpi);
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(file)) << file.toStdString();
}

class MainWindowTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        g_identifyCalls = 0;
        g_optionsCalls = 0;
    }
    // A new main window, as the next start of the program makes it, shown
    // (`made`: runs on it before it shows).
    void StartAgain(const std::function<void(TForm1&)>& made = {}) {
        InstallUiBridge(nullptr);
        bridge.reset();
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        bridge = std::make_unique<QtUiBridge>(form.get());
        InstallUiBridge(bridge.get());
        if (made) made(*form);
        form->show();
        QCoreApplication::processEvents();
        if (UnderWindowManager()) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get(), kFrameWaitMs));
            EXPECT_TRUE(QTest::qWaitFor([this] { return !form->windowHandle()->frameMargins().isNull(); }, kFrameWaitMs))
                << "no frame from the window manager";
        }
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

TEST_F(MainWindowTest, KeysAndStartState) {
    const std::pair<QAction*, const char*> keys[] = {
        {form->Load1, "F3"}, {form->Save1, "F2"}, {form->Exit1, "Alt+X"}, {form->EditBuffer1, "F6"},
        {form->Select1, "F7"}, {form->BlankCheck1, "Ctrl+B"}, {form->Program1, "Ctrl+P"},
        {form->Read1, "Ctrl+R"}, {form->Verify1, "Ctrl+V"}, {form->DataCompare1, "Ctrl+D"},
        {form->Erase1, "Ctrl+E"}, {form->Security1, "Ctrl+S"}, {form->Encryption1, "Ctrl+N"},
        {form->Option1, "Ctrl+O"}, {form->Auto1, "Ctrl+A"}, {form->Read_ID, "Shift+F1"},
        {form->VectorTest1, "Ctrl+T"}, {form->ICTest1, ""}, {form->About1, ""},
    };
    for (const auto& [item, key] : keys)
        EXPECT_EQ(item->shortcut(), QKeySequence(key)) << key;
    EXPECT_FALSE(form->Contents1->isEnabled() || form->UsingHelp1->isEnabled());
    EXPECT_TRUE(form->Memo1->isReadOnly());
    EXPECT_EQ(form->ProgressBar1->maximum(), 100);
    // Panels 0 and 1 are cleared with the progress; 2 until the window shows.
    EXPECT_EQ(form->StatusPanels[0]->text(), "");
    EXPECT_EQ(form->StatusPanels[2]->text(), "Help");
    EXPECT_EQ(form->LabelCount->text() + "|" + form->LabelDeviceHR->text(), "Count : 0|Devices/HR : 0");
    // The testers are reachable at once; the vector test waits for a PLD.
    for (QObject* o : std::initializer_list<QObject*>{form->ICTest1, form->SpeedButtonIcTest, form->RAMTest1,
                                                      form->SpeedButtonRamTest, form->Hardwaretest1})
        EXPECT_TRUE(form->CommandEnabled(o));
}

TEST_F(MainWindowTest, CommandsFollowTheDevice) {
    AllCommands();
    auto shown = [](QAction* a) { return a->isVisible() && a->isEnabled(); };
    // The built-in device: blank check, program, read, verify, compare, auto.
    form->EnableOperationControls(0x41F);
    EXPECT_TRUE(shown(form->BlankCheck1) && shown(form->DataCompare1) && shown(form->Auto1));
    EXPECT_TRUE(form->SpeedButtonAuto->isEnabled());
    for (QAction* a : {form->Erase1, form->Encryption1, form->Option1, form->Read_ID, form->AutoRepeatProgram1,
                       form->VectorTest1})
        EXPECT_FALSE(a->isVisible()) << a->text().toStdString();
    EXPECT_FALSE(form->SpeedButtonErase->isEnabled() || form->SpeedButtonOption->isEnabled());
    EXPECT_TRUE(form->ChangeAlgorithm1->isEnabled()); // row 0 has parameters to change

    // Compare and encryption get a menu item but no button; option its button.
    form->EnableOperationControls(OpMaskCompare | OpMaskEncryption | OpMaskOption | OpMaskErase);
    EXPECT_TRUE(shown(form->Encryption1));
    EXPECT_TRUE(form->SpeedButtonOption->isEnabled() && form->SpeedButtonErase->isEnabled());
    EXPECT_FALSE(form->SpeedButtonBlankCheck->isEnabled());
    EXPECT_FALSE(form->Program1->isVisible());

    // A row without parameters withdraws Change Algorithm.
    CurrentAlgorithm = 59;
    ASSERT_EQ(AlgorithmTable[59].ParameterGroup, NoParameterGroup);
    form->EnableOperationControls(0x41F);
    EXPECT_FALSE(form->ChangeAlgorithm1->isEnabled());

    // UES when the PLD has one; vector test only for a PLD below 49 pins.
    uint32_t small = 0, large = 0;
    for (uint32_t i = 1; i < PackageRowCount; ++i) {
        if (!small && PackageTable[i].PinCount > 0 && PackageTable[i].PinCount < 49) small = i;
        if (!large && PackageTable[i].PinCount >= 49) large = i;
    }
    ASSERT_TRUE(small && large);
    const struct {
        uint32_t section, package, uesStart;
        bool ues, vector;
    } cases[] = {{SectionPld, small, 5828, true, true},
                 {SectionPld, large, 0, false, false},
                 {SectionPld, 33, 0, false, false}, // a 68-pin PLCC
                 {SectionEprom, small, 0, false, false}};
    ASSERT_EQ(PackageTable[33].PinCount, 68);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "section " << c.section << " package " << c.package);
        DeviceSection = c.section;
        PackageIndex = c.package;
        UesFuseStart = c.uesStart;
        form->EnableOperationControls(0x41F);
        EXPECT_EQ(shown(form->EditUES1), c.ues);
        EXPECT_EQ(shown(form->VectorTest1), c.vector);
        EXPECT_EQ(form->SpeedButtonVectorTest->isEnabled(), c.vector);
        // A device without the vector test closes the vector form.
        if (!c.vector) {
            EXPECT_FALSE(VectorTestForm()->isVisible());
        }
    }
}

TEST_F(MainWindowTest, CommandKeysWorkFromTheLogAndReadIdStaysReachable) {
    form->EnableOperationControls(0x41F);
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->Memo1->setFocus();
    // Handlers refuse (busy), so only the key routing is looked at.
    OperationBusy.store(true);
    QSignalSpy autoSpy(form->Auto1, &QAction::triggered);
    QSignalSpy verifySpy(form->Verify1, &QAction::triggered);
    QTest::keyClick(form->Memo1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form->Memo1, Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(autoSpy.count() == 1 && verifySpy.count() == 1);
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
    TempLibraryDir dir{"Forms"};
    ProgramDirectory = dir.Path();
    WriteTestLibrary(TestDevices());
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
    WaitIdle();
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

    // A handler reached anyway does nothing: no file dialog, box or form
    // opens; only the about box, which reads nothing shared.
    form->DevicesPerHour = 7;
    ModalSeen modal;
    AnswerNextModal(&modal);
    for (auto handler : {&TForm1::Load1Click, &TForm1::Save1Click, &TForm1::LoadPorject1Click,
                         &TForm1::SaveProject1Click, &TForm1::Option1Click, &TForm1::Read_IDClick,
                         &TForm1::SpeedButtonCounterClick, &TForm1::Select1Click, &TForm1::EditBuffer1Click,
                         &TForm1::EditUES1Click, &TForm1::ChangeAlgorithm1Click, &TForm1::AutoRepeatProgram1Click,
                         &TForm1::Configoption1Click})
        (form.get()->*handler)();
    QTest::qWait(50);
    EXPECT_EQ(modal.seen, 0);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(g_identifyCalls + g_optionsCalls, 0);
    EXPECT_EQ(form->DevicesPerHour, 7u);
    EXPECT_TRUE(EditByte1.isNull() && EditUes_.isNull());
    EXPECT_FALSE(SelDev && SelDev->isVisible());
    EXPECT_FALSE(CfgOpt && CfgOpt->isVisible());
    EXPECT_EQ(StartOperation(OpProgram), -1);
    form->About1Click();
    EXPECT_EQ(modal.className, "TAboutKr");

    OperationBusy.store(false);
    form->SetOperationRunning(false);
    EXPECT_TRUE(form->Load1->isEnabled() && form->Program1->isEnabled());

    // Select without a library says so.
    ProgramDirectory = "/nonexistent-dir";
    BoxAnswer box;
    AnswerNextBox(QMessageBox::Ok, &box);
    form->Select1Click();
    EXPECT_EQ(box.seen, 1);
    EXPECT_EQ(box.text, "Can not open Library File!");
}

TEST_F(MainWindowTest, FormCommandsOpenTheirForms) {
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
    // Auto Repeat Program is hidden like Read ID; the vector test is offered
    // for a small PLD.
    EXPECT_FALSE(form->AutoRepeatProgram1->isVisible());
    EXPECT_TRUE(form->VectorTest1->isVisible());
    EXPECT_TRUE(form->VectorTest1->isEnabled());

    // Modeless forms.
    form->EditUES1->trigger();
    DeviceSection = SectionEprom;
    form->SpeedButtonEdit->click();
    form->SpeedButtonSelect->click();
    form->Configoption1->trigger();
    ASSERT_TRUE(!EditByte1.isNull() && !EditUes_.isNull() && SelDev && CfgOpt);
    for (QWidget* w : std::initializer_list<QWidget*>{EditByte1, EditUes_, SelDev, CfgOpt})
        EXPECT_TRUE(w->isVisible()) << w->metaObject()->className();
    EXPECT_EQ(SelDev->DeviceCount, 8);

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

// Position, size and maximised state survive a restart in the settings; a
// place off every screen is given up for one on the primary screen.
TEST_F(MainWindowTest, WindowPlaceSizeAndMaximisedStateAreKeptAcrossStarts) {
    Remember(QPoint(123, 77));
    form->show();
    QCoreApplication::processEvents();
    // The place read is the client area's corner, moved in only as far as
    // the window, frame included, needs to lie on the screen (the offscreen
    // screen is 800 pixels wide).
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(QPoint(form->RememberedLeft, form->RememberedTop), QPoint(123, 77));
    const QPoint frameToClient = form->geometry().topLeft() - form->pos();
    EXPECT_EQ(form->geometry().topLeft(),
              QPoint(std::min(123, area.right() + 1 - form->frameGeometry().width() + frameToClient.x()), 77));
    EXPECT_EQ(form->StatusPanels[2]->text(), "");
    // Sizes between the window's least and the offscreen screen's 800 x 800.
    const QSize first = form->minimumSizeHint() + QSize(20, 10);
    const QSize second = first + QSize(10, 20);
    form->resize(first);
    form->move(4, 3);
    QCoreApplication::processEvents();
    form->showMaximized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(form->isMaximized());
    EXPECT_TRUE(form->close());

    // A new main window, as the next start of the program makes it.
    auto start = [this] { StartAgain(); };
    start();
    EXPECT_TRUE(form->isMaximized());
    form->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(form->size(), first);
    EXPECT_EQ(form->pos(), QPoint(4, 3));
    form->resize(second);
    EXPECT_TRUE(form->close());

    start();
    EXPECT_FALSE(form->isMaximized());
    EXPECT_EQ(form->size(), second);
    form->move(201, 150);
    QCoreApplication::processEvents();
    EXPECT_TRUE(form->close());
    {
        QSettings s(QSettings::UserScope, "Harrowend", "Remember");
        s.beginGroup(kWindowPositionKey);
        EXPECT_EQ(QPoint(s.value("Left").toInt(), s.value("Top").toInt()), QPoint(201, 150) + frameToClient);
        s.setValue("Left", -9000);
        s.setValue("Top", 7000);
    }
    start();
    EXPECT_NE(QGuiApplication::screenAt(form->pos() + QPoint(10, 10)), nullptr) << form->x() << "," << form->y();

    // A window larger than the screen shrinks to lie wholly on it.
    EXPECT_TRUE(form->close());
    Remember(QPoint(-9000, 7000), QSize(1500, 1400));
    start();
    ExpectWhollyOn(QGuiApplication::primaryScreen()->availableGeometry(), form.get());
}

// The place kept at close is where the next start puts the window: three
// starts in a row leave it where the first did, frame and all; under a
// window manager too, which frames the window only once it is shown.
TEST_F(MainWindowTest, ThreeStartsInARowKeepThePlace) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(form->close());
    Remember(area.topLeft() + QPoint(257, 158));
    std::vector<QRect> frames;
    for (int start = 0; start < 3; ++start) {
        StartAgain();
        ExpectWhollyOn(area, form.get()); // settled where it fits
        frames.push_back(FrameOf(form.get()));
        EXPECT_TRUE(form->close());
        QSettings s(QSettings::UserScope, "Harrowend", "Remember");
        s.beginGroup(kWindowPositionKey);
        EXPECT_EQ(QPoint(s.value("Left").toInt(), s.value("Top").toInt()), form->geometry().topLeft());
    }
    for (const QRect& frame : frames)
        EXPECT_EQ(frame.topLeft(), frames.front().topLeft())
            << frames[0].x() << "," << frames[0].y() << " then " << frames[1].x() << "," << frames[1].y() << " then "
            << frames[2].x() << "," << frames[2].y();
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
    Answer("", 1);
    for (uint32_t mask : {0x20u, 0u}) {
        FileFormatMask = mask;
        form->Load1Click();
        EXPECT_EQ(filters, QStringList({"Jed File(*.jed) (*.jed)"})) << mask;
    }
    EXPECT_EQ(titles.first(), "Open");
    EXPECT_TRUE(LogLines().isEmpty()); // cancelled: nothing logged
}

TEST_F(FileCommandTest, LoadAndSaveThroughTheDialogs) {
    // Binary, filter 1.
    std::string data(16, '\0');
    uint32_t sum = (BufferByteSize - 16) * 0xFF;
    for (int i = 0; i < 16; ++i)
        sum += static_cast<uint8_t>(data[i] = static_cast<char>(i * 3));
    const QString bin = Write("image.bin", data);
    Answer(bin, 1);
    form->Load1Click();
    EXPECT_EQ(LogLines(), QStringList({"File Loading...", "10h(16) byte(s) loaded.",
                                       QString::asprintf("File load success! (Checksum:%04Xh)", sum & 0xFFFF)}));
    EXPECT_EQ(DataFileName, bin.toStdString());
    EXPECT_EQ(DataFileType, DataFileBinary);
    EXPECT_EQ(form->File->text(), bin);
    EXPECT_EQ(BufferWindow[5], 15);

    // Intel hex, filter 2.
    const QString hex = Write("image.hex", ":0400100012345678D8\n:00000001FF\n");
    Answer(hex, 2);
    form->Load1Click();
    EXPECT_EQ(DataFileType, DataFileHex);
    EXPECT_EQ(BufferWindow[0x10], 0x12);
    EXPECT_EQ(LogLines().last().left(19), "File load success! ");
    // The same file again with the first filter, as F3 and Enter give it:
    // it loads as binary, and says what its text is.
    MainLog().Clear();
    form->MirrorReload();
    Answer(hex, 1);
    form->Load1Click();
    EXPECT_EQ(DataFileType, DataFileBinary);
    EXPECT_EQ(LogLines().mid(1, 2),
              QStringList({"20h(32) byte(s) loaded.",
                           " Warning: this file's text is Intel hex lines; it was loaded as binary."}));
    EXPECT_EQ(BufferWindow[0], ':');
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
    EXPECT_EQ(std::ifstream(out.toStdString()).get(), ':');
}

TEST_F(FileCommandTest, ProjectFilesThroughTheDialogs) {
    // Save asks for the texts and writes only on OK.
    const QString prj = dir.filePath("board.prj");
    Answer(prj, 1);
    ModalSeen seen;
    auto fill = [](const char* author, QPushButton* TProject::*button) {
        return [author, button](QDialog* d) {
            auto* p = static_cast<TProject*>(d);
            p->Edit1->setText(author);
            p->Memo1->setPlainText("Board 7\nGröße B");
            (p->*button)->click();
        };
    };
    AnswerNextModal(&seen, fill("someone", &TProject::BitBtnCancel));
    form->SaveProject1Click();
    EXPECT_EQ(seen.className, "TProject");
    EXPECT_FALSE(QFileInfo::exists(prj)); // cancelled: nothing written, nothing kept
    EXPECT_TRUE(ProjectAuthor.empty());
    AnswerNextModal(&seen, fill("Ann", &TProject::BitBtnOk));
    form->SpeedButtonSaveProject->click();
    EXPECT_EQ(seen.seen, 2);
    ASSERT_TRUE(QFileInfo::exists(prj));
    EXPECT_EQ(LogLines().last(), "Project file saved!");
    // A file that cannot be written says why.
    form->SaveProjectAfterDialog(dir.filePath("gone/board.prj").toStdString());
    EXPECT_EQ(LogLines().last().toStdString(), ErrorTextByCode(ENOENT));
    // The system's numbers overlap the program's codes (36, 40): a failed
    // create shows the system's own text.
    form->SaveProjectAfterDialog(dir.filePath(QString(300, 'n') + ".prj").toStdString());
    EXPECT_EQ(LogLines().last().toStdString(), std::strerror(ENAMETOOLONG));
    const std::string loop = dir.filePath("loop.prj").toStdString();
    std::filesystem::create_symlink(loop + ".b", loop);
    std::filesystem::create_symlink(loop, loop + ".b");
    form->SaveProjectAfterDialog(loop);
    EXPECT_EQ(LogLines().last().toStdString(), std::strerror(ELOOP));

    // Loading it back logs the texts, a multi-line one on one line.
    ProjectAuthor.clear();
    ProjectDescription.clear();
    form->LoadPorject1Click();
    EXPECT_EQ(titles.last(), "Open Project");
    EXPECT_EQ(filters, QStringList({"Project File(*.prj) (*.prj)"}));
    const QStringList log = LogLines();
    EXPECT_TRUE(log.contains("Author : Ann"));
    EXPECT_TRUE(log.contains("Description : Board 7 Größe B"));
    EXPECT_EQ(log.last(), "Project file loaded!");
    TProject shown(form.get());
    EXPECT_EQ(shown.Edit1->text(), "Ann");
    EXPECT_EQ(shown.Memo1->toPlainText(), "Board 7\nGröße B");

    Answer(Write("bad.prj", "not a project"), 1);
    form->LoadPorject1Click();
    EXPECT_EQ(LogLines().last(), "Illegal Project File!");
}

} // namespace

namespace {

// The main window at any font: the information panel's captions and values,
// the counters and the status panels whole, nothing outside its panel or
// over another; the captions stand in the panel's order.
TEST_F(MainWindowTest, PanelsAndCaptionsShowWhole) {
    FontSizes([] {
        TForm1 w;
        for (QLabel* value : {w.DeviceName, w.DeviceSize, w.HWRev, w.SWRev, w.SerialNo, w.CheckSum})
            value->setText("2.1C");
        w.resize(800, 600);
        w.show();
        QApplication::processEvents();
        ExpectNothingClipped(&w);
        const QGroupBox* info = w.GroupBox2;
        std::vector<const QLabel*> captions;
        for (const QLabel* l : info->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
            if (l->text().endsWith(" :")) captions.push_back(l);
        std::stable_sort(captions.begin(), captions.end(), [](const QLabel* a, const QLabel* b) { return a->y() < b->y(); });
        QStringList order;
        for (const QLabel* l : captions) order << l->text();
        EXPECT_EQ(order.join("|").toStdString(),
                  "Gang Size :|Split :|Encryption :|Base Port :|CheckSum :|H/W Rev :|SW Rev :|Serial No :|Algorithm :|"
                  "Vccp :|Vpp :|Tpwp :");
        ExpectLeftOf(w.Memo1, w.GroupBox1);
        ExpectAbove(w.GroupBox1, w.GroupBox2);
        w.hide();
    });
}

// The window fits a screen of 1280 x 1024 (the runs at 144 dpi give it
// one): it can be made that small, it starts on it, and every speed button
// shows at the start, with no size kept and with a size kept from a
// smaller font.
TEST_F(MainWindowTest, FitsA1280By1024ScreenWithEveryButtonShowWhole) {
    auto start = [this](std::optional<QSize> kept) {
        EXPECT_TRUE(form->close());
        Remember(kept ? std::optional(QPoint(0, 0)) : std::nullopt, kept);
        StartAgain();
    };
    // At 144 dpi a screen of 1280 x 1024 pixels is 853 x 683 in the window's
    // units.
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect screen = primary->availableGeometry();
    const QSize pixels = primary->geometry().size() * primary->devicePixelRatio();
    const bool large = pixels.width() >= 1280 && pixels.height() >= 1024;
    const QSize room = large ? screen.size() : QSize(1280, 1024);
    for (std::optional<QSize> kept : {std::optional<QSize>(), std::optional<QSize>(QSize(500, 300))}) {
        SCOPED_TRACE(kept ? "size kept from a smaller font" : "no size kept");
        start(kept);
        const QSize frame = form->frameGeometry().size() - form->size();
        const QSize least = form->minimumSize().expandedTo(form->minimumSizeHint()) + frame;
        EXPECT_LE(least.width(), room.width());
        EXPECT_LE(least.height(), room.height());
        if (large) {
            ExpectWhollyOn(screen, form.get());
            if (!kept) Screenshot(form.get(), "first-start");
        }
        const QToolBar* bar = form->findChild<QToolBar*>("SpeedBar");
        ASSERT_NE(bar, nullptr);
        formchecks::ExpectToolBarWhole(bar);
        // Every speed button with a hint shows (the spare one has none).
        int shown = 0;
        for (const QToolButton* b : bar->findChildren<QToolButton*>()) {
            if (b->toolTip().isEmpty()) continue;
            EXPECT_TRUE(b->isVisible()) << b->toolTip().toStdString();
            shown += b->isVisible();
        }
        EXPECT_EQ(shown, 17);
        ExpectNothingClipped(form.get());
    }
}

// A remembered place near the screen's edge (or above its top) is kept as
// read, and the window starts wholly on the screen's available area, its
// toolbar, counters and status bar in sight; at 144 dpi too.
TEST_F(MainWindowTest, FromARememberedPlaceAtTheEdgeItStartsShowWhole) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const std::optional<QSize> size : {std::optional<QSize>(), std::optional<QSize>(QSize(700, 500))}) {
        for (const QPoint place : {QPoint(area.right() - 60, area.bottom() - 40), QPoint(area.left() + 20, -13),
                                   QPoint(area.right() + 200, area.top() + 10)}) {
            SCOPED_TRACE(std::to_string(place.x()) + "," + std::to_string(place.y()) +
                         (size ? ", 700x500 kept" : ", no size kept"));
            EXPECT_TRUE(form->close());
            Remember(place, size);
            StartAgain();
            EXPECT_EQ(QPoint(form->RememberedLeft, form->RememberedTop), place);
            ExpectWhollyOn(area, form.get());
        }
    }
}

// A remembered size larger than the screen's available area on either side
// or both, or near it, from a place at the area's corner or edges: the
// window starts wholly on the area, frame included, every speed button in
// sight and nothing in it cut (where a large font asks for more height than
// the screen has, the log gives way); at 96 and 144 dpi on a screen of
// 1280 x 1024 too.
TEST_F(MainWindowTest, FromARememberedSizeLargerThanTheScreenItStartsShowWhole) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize sizes[] = {QSize(1800, 900), QSize(1800, 1400), area.size() + QSize(300, 200), area.size() - QSize(8, 8),
                           QSize(area.width() + 40, 300), QSize(500, area.height() + 60)};
    const QPoint places[] = {QPoint(0, 50), QPoint(area.right() - 60, area.bottom() - 40), QPoint(20, -13),
                             QPoint(area.right() + 200, 10)};
    for (const QSize size : sizes) {
        for (const QPoint place : places) {
            SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()) + " at " +
                         std::to_string(place.x()) + "," + std::to_string(place.y()));
            EXPECT_TRUE(form->close());
            Remember(place, size);
            StartAgain();
            ExpectWhollyOn(area, form.get());
            if (size == QSize(1800, 1400) && place == places[1]) Screenshot(form.get(), "remembered-larger-at-corner");
            const QToolBar* bar = form->findChild<QToolBar*>("SpeedBar");
            ASSERT_NE(bar, nullptr);
            formchecks::ExpectToolBarWhole(bar);
            ExpectNothingClipped(form.get());
        }
    }
}

// A window whose least size is larger than the screen's area (a large font
// on a small screen; here the log asks for the whole area): the log gives
// way, and the window starts wholly on the area with every speed button and
// nothing in it cut; at 144 dpi too.
TEST_F(MainWindowTest, WhereItsLeastSizeIsLargerThanTheScreenTheLogGivesWayShowWhole) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(form->close());
    Remember(std::nullopt);
    StartAgain([&](TForm1& w) { w.Memo1->setMinimumSize(area.size()); });
    ExpectWhollyOn(area, form.get());
    EXPECT_LT(form->Memo1->minimumHeight(), area.height());
    EXPECT_LT(form->Memo1->minimumWidth(), area.width());
    formchecks::ExpectToolBarWhole(form->findChild<QToolBar*>("SpeedBar"));
    ExpectNothingClipped(form.get());
}

} // namespace
