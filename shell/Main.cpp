#include "shell/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/JedecPof.h"
#include "engine/Library.h"
#include "engine/LogModel.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "shell/About.h"
#include "shell/AutoRepeatProgram.h"
#include "shell/CfgOpt.h"
#include "shell/ChangeAlgorithm.h"
#include "shell/Editbyte.h"
#include "shell/InfoPanel.h"
#include "shell/Project.h"
#include "shell/QtUiBridge.h"
#include "shell/Select.h"
#include "shell/SimSetup.h"
#include "testing/Editlg.h"
#include "testing/Editvect.h"
#include "testing/Ramtest.h"
#include "testing/SelfTest.h"
#include "testing/TestRun.h"
#include "shell/Startup.h"
#include "shell/Thread.h"

TForm1* Form1 = nullptr;

MainFormView* MainView() { return Form1; }

namespace {

// How soon a close refused under a running test is tried again.
constexpr int kCloseRetryMs = 20;
// How long after the first show a window manager's frame is looked for,
// and how often the window is fitted again to it.
constexpr int kFrameWaitMs = 10000;
constexpr int kFramedFits = 4;

// Commands of this window that read nothing shared and stay usable during a run.
bool IsUngated(const TForm1* f, const QObject* o) {
    return o == f->Exit1 || o == f->About1 || o == f->Contents1 || o == f->UsingHelp1;
}

} // namespace

FileDialogFilters FiltersForFormatMask(uint32_t mask) {
    FileDialogFilters f;
    if (mask & 0x1F) {
        f.Open = "Binary File(*.*)|*.*;|All Hex File(*.hex,*.prg,*.s0,*.s1,*.s2,*.tek,*.asc)|"
                 "*.hex;*.prg;*.s0;*.s1;*.s2;*.tek;*.asc";
        f.Save = "Binary File|*.*;|Intel Hex File|*.hex;|Motorola Hex File|*.s0,*.s1,*.s2;|"
                 "Tektronix Hex File|*.hex,*.tek;|Asc File|*.asc;";
    } else if (mask & 0x20) {
        f.Open = f.Save = "Jed File(*.jed)|*.jed";
    } else if (mask & 0x40) {
        f.Open = f.Save = "Pof File(*.pof)|*.pof";
    } else if (mask & 0x80) {
        f.Open = f.Save = "Prg File(*.prg)|*.prg";
    } else {
        return f;
    }
    f.Set = true;
    return f;
}

QStringList ToQtNameFilters(const QString& filter) {
    QStringList out;
    const QStringList parts = filter.split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (QString p : parts[i + 1].split(QRegularExpression("[;,]"), Qt::SkipEmptyParts)) {
            p = p.trimmed();
            if (p == "*.*") p = "*"; // any file, with or without an extension
            if (!p.isEmpty()) patterns << p;
        }
        if (patterns.isEmpty()) patterns << "*";
        out << QString("%1 (%2)").arg(parts[i], patterns.join(' '));
    }
    return out;
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName("Form1");
    setWindowTitle("Vexlor");
    CreateMenus();
    CreateSpeedButtons();
    CreatePanels();

    OpenDialog1 = new QFileDialog(this);
    SaveDialog1 = new QFileDialog(this);
    for (QFileDialog* d : {OpenDialog1, SaveDialog1}) d->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    ExecDialog = [](QFileDialog* d) { return d->exec(); };
    ExecTestDialog = [](QDialog* d) { return d->exec(); };

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    CreateIcTestForm(this);
    CreateVectorTestForm(this);

    Memo1->clear();
    Count = Success = Failure = DevicesPerHour = 0;
    ShowCounters();
    ProgressBar1->setValue(0);
    StatusPanels[0]->setText("");
    StatusPanels[1]->setText("");
    DisableOperationControls();
    ApplyCommandStates();
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
    delete registry_;
}

QAction* TForm1::AddItem(QMenu* menu, const QString& caption, const QKeySequence& key,
                         void (TForm1::*handler)()) {
    QAction* a = menu->addAction(caption);
    if (!key.isEmpty()) a->setShortcut(key);
    if (handler) connect(a, &QAction::triggered, this, handler);
    offered_[a] = true;
    return a;
}

void TForm1::CreateMenus() {
    QMenuBar* bar = menuBar();
    File1 = bar->addMenu("&File");
    Load1 = AddItem(File1, "&Load", Qt::Key_F3, &TForm1::Load1Click);
    Save1 = AddItem(File1, "&Save", Qt::Key_F2, &TForm1::Save1Click);
    LoadPorject1 = AddItem(File1, "Load Project", {}, &TForm1::LoadPorject1Click);
    SaveProject1 = AddItem(File1, "Save Project", {}, &TForm1::SaveProject1Click);
    File1->addSeparator();
    Exit1 = AddItem(File1, "E&xit", QKeySequence(Qt::ALT | Qt::Key_X), &TForm1::Exit1Click);

    Buffer1 = bar->addMenu("&Buffer");
    EditBuffer1 = AddItem(Buffer1, "&Edit Buffer", Qt::Key_F6, &TForm1::EditBuffer1Click);
    EditUES1 = AddItem(Buffer1, "Edit &UES", {}, &TForm1::EditUES1Click);

    Device1 = bar->addMenu("&Device");
    Select1 = AddItem(Device1, "&Select", Qt::Key_F7, &TForm1::Select1Click);
    ChangeAlgorithm1 = AddItem(Device1, "&Change Algorithm", {}, &TForm1::ChangeAlgorithm1Click);
    AutoRepeatProgram1 =
        AddItem(Device1, "A&uto Repeat Program", {}, &TForm1::AutoRepeatProgram1Click);
    Device1->addSeparator();
    BlankCheck1 = AddItem(Device1, "&Blank Check", QKeySequence(Qt::CTRL | Qt::Key_B),
                          &TForm1::BlankCheck1Click);
    Program1 = AddItem(Device1, "&Program", QKeySequence(Qt::CTRL | Qt::Key_P), &TForm1::Program1Click);
    Read1 = AddItem(Device1, "&Read", QKeySequence(Qt::CTRL | Qt::Key_R), &TForm1::Read1Click);
    Verify1 = AddItem(Device1, "&Verify", QKeySequence(Qt::CTRL | Qt::Key_V), &TForm1::Verify1Click);
    DataCompare1 = AddItem(Device1, "&Data Compare", QKeySequence(Qt::CTRL | Qt::Key_D),
                           &TForm1::DataCompare1Click);
    Erase1 = AddItem(Device1, "&Erase", QKeySequence(Qt::CTRL | Qt::Key_E), &TForm1::Erase1Click);
    Security1 =
        AddItem(Device1, "&Security", QKeySequence(Qt::CTRL | Qt::Key_S), &TForm1::Security1Click);
    Encryption1 = AddItem(Device1, "E&ncryption", QKeySequence(Qt::CTRL | Qt::Key_N),
                          &TForm1::Encryption1Click);
    Option1 = AddItem(Device1, "&Option", QKeySequence(Qt::CTRL | Qt::Key_O), &TForm1::Option1Click);
    Auto1 = AddItem(Device1, "&Auto", QKeySequence(Qt::CTRL | Qt::Key_A), &TForm1::Auto1Click);
    Read_ID = AddItem(Device1, "Read ID", QKeySequence(Qt::SHIFT | Qt::Key_F1), nullptr);
    // A hidden action's shortcut does not fire; the window shortcut does.
    ReadIdShortcut = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), this);
    ReadIdShortcut->setContext(Qt::WindowShortcut);
    connect(ReadIdShortcut, &QShortcut::activated, this, &TForm1::Read_IDClick);
    connect(Read_ID, &QAction::triggered, this, &TForm1::Read_IDClick);

    Test1 = bar->addMenu("&Test");
    VectorTest1 = AddItem(Test1, "&Vector Test", QKeySequence(Qt::CTRL | Qt::Key_T),
                          &TForm1::VectorTest1Click);
    ICTest1 = AddItem(Test1, "&IC Test", {}, &TForm1::ICTest1Click);
    RAMTest1 = AddItem(Test1, "&RAM Test", {}, &TForm1::RAMTest1Click);

    Config1 = bar->addMenu("&Config");
    Configoption1 = AddItem(Config1, "&Config option", {}, &TForm1::Configoption1Click);
    Hardwaretest1 = AddItem(Config1, "&Hardware test", {}, &TForm1::Hardwaretest1Click);

    Help1 = bar->addMenu("&Help");
    Contents1 = AddItem(Help1, "&Contents", {}, nullptr);
    UsingHelp1 = AddItem(Help1, "&Using Help", {}, nullptr);
    Help1->addSeparator();
    About1 = AddItem(Help1, "&About", {}, &TForm1::About1Click);
    offered_[Contents1] = false;
    offered_[UsingHelp1] = false;
}

QToolButton* TForm1::AddSpeedButton(const QString& caption, const QString& hint, int icon,
                                    void (TForm1::*handler)()) {
    auto* b = new QToolButton(this);
    if (icon >= 0) b->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)));
    if (!caption.isEmpty()) {
        b->setText(caption);
        b->setToolButtonStyle(icon >= 0 ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonTextOnly);
    } else {
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    if (handler) connect(b, &QToolButton::clicked, this, handler);
    offered_[b] = true;
    return b;
}

void TForm1::CreateSpeedButtons() {
    QToolBar* bar = addToolBar("Speed buttons");
    bar->setObjectName("SpeedBar");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    SpeedButtonLoad = AddSpeedButton("", "Load File", QStyle::SP_DialogOpenButton, &TForm1::Load1Click);
    SpeedButtonSave = AddSpeedButton("", "Save File", QStyle::SP_DialogSaveButton, &TForm1::Save1Click);
    SpeedButtonLoadProject =
        AddSpeedButton("", "Load Project", QStyle::SP_DirOpenIcon, &TForm1::LoadPorject1Click);
    SpeedButtonSaveProject =
        AddSpeedButton("", "Save Project", QStyle::SP_DriveFDIcon, &TForm1::SaveProject1Click);
    SpeedButtonSelect = AddSpeedButton("Select", "Select Device", -1, &TForm1::Select1Click);
    SpeedButtonEdit = AddSpeedButton("Edit", "Buffer Edit", -1, &TForm1::EditBuffer1Click);
    SpeedButtonBlankCheck = AddSpeedButton("Blank", "Blank Check", -1, &TForm1::BlankCheck1Click);
    SpeedButtonProgram = AddSpeedButton("Prog..", "Program", -1, &TForm1::Program1Click);
    SpeedButtonRead = AddSpeedButton("Read", "Read", -1, &TForm1::Read1Click);
    SpeedButtonVerify = AddSpeedButton("Verify", "Verify", -1, &TForm1::Verify1Click);
    SpeedButtonErase = AddSpeedButton("Erase", "Erase", -1, &TForm1::Erase1Click);
    SpeedButtonSecurity = AddSpeedButton("Secu..", "Security", -1, &TForm1::Security1Click);
    SpeedButtonOption = AddSpeedButton("Option", "Option", -1, &TForm1::Option1Click);
    SpeedButtonAuto = AddSpeedButton("Auto", "Auto", -1, &TForm1::Auto1Click);
    SpeedButtonVectorTest =
        AddSpeedButton("", "VectorTest", QStyle::SP_FileDialogDetailedView, &TForm1::VectorTest1Click);
    SpeedButtonIcTest = AddSpeedButton("", "IC Test", QStyle::SP_ComputerIcon, &TForm1::ICTest1Click);
    SpeedButtonRamTest = AddSpeedButton("", "RAM Test", QStyle::SP_DriveHDIcon, &TForm1::RAMTest1Click);
    SpeedButton3 = AddSpeedButton("", "", -1, nullptr);

    for (QToolButton* b : {SpeedButtonLoad, SpeedButtonSave, SpeedButtonLoadProject,
                           SpeedButtonSaveProject})
        bar->addWidget(b);
    bar->addSeparator();
    for (QToolButton* b : {SpeedButtonSelect, SpeedButtonEdit}) bar->addWidget(b);
    bar->addSeparator();
    for (QToolButton* b : {SpeedButtonBlankCheck, SpeedButtonProgram, SpeedButtonRead,
                           SpeedButtonVerify, SpeedButtonErase, SpeedButtonSecurity,
                           SpeedButtonOption, SpeedButtonAuto})
        bar->addWidget(b);
    bar->addSeparator();
    for (QToolButton* b : {SpeedButtonVectorTest, SpeedButtonIcTest, SpeedButtonRamTest})
        bar->addWidget(b);
    bar->addWidget(SpeedButton3)->setVisible(false);
}

namespace {

// A scroll area that asks for its panel's whole size and needs only room
// for its scroll bar, so the window shrinks below the panel's height.
class PanelScroll : public QScrollArea {
  public:
    explicit PanelScroll(QWidget* parent) : QScrollArea(parent) {
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    QSize sizeHint() const override {
        const QSize inner = widget() ? widget()->sizeHint() : QSize();
        return QSize(width(), inner.height() + 2 * frameWidth());
    }
};

// A row of an information group: the form's value label, its caption, and
// the form's caption label where the panel relabels the row later.
struct InfoRow {
    QLabel* TForm1::*value;
    const char* caption;
    QLabel* TForm1::*captionLabel = nullptr;
};

// A group box of caption/value rows, the values taking the width.
QGroupBox* AddInfoGroup(TForm1* form, const char* title, QWidget* parent, std::initializer_list<InfoRow> rows) {
    auto* box = new QGroupBox(title, parent);
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(1, 1);
    for (const InfoRow& row : rows) {
        const int r = grid->rowCount();
        auto* cap = new QLabel(row.caption);
        auto* value = new QLabel;
        value->setTextInteractionFlags(Qt::NoTextInteraction);
        // Long values (a deep file path) are cut at the panel's edge rather
        // than widening the panel.
        value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        value->setMinimumWidth(160);
        grid->addWidget(cap, r, 0);
        grid->addWidget(value, r, 1);
        form->*row.value = value;
        if (row.captionLabel) form->*row.captionLabel = cap;
    }
    return box;
}

} // namespace

void TForm1::CreatePanels() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* outer = new QVBoxLayout(central);
    auto* row = new QHBoxLayout;
    outer->addLayout(row, 1);

    auto* bevel = new QFrame(central);
    bevel->setFrameShape(QFrame::StyledPanel);
    bevel->setFrameShadow(QFrame::Sunken);
    Bevel1 = bevel;
    auto* bevelLayout = new QVBoxLayout(bevel);
    bevelLayout->setContentsMargins(2, 2, 2, 2);
    Memo1 = new QPlainTextEdit(bevel);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(13);
    Memo1->setFont(font);
    Memo1->setMinimumSize(420, 300);
    Memo1->installEventFilter(this);
    bevelLayout->addWidget(Memo1);
    row->addWidget(bevel, 1);

    // The panels scroll when the window is lower than they are (a large
    // font on a small screen); the window asks for their whole height.
    auto* sideScroll = new PanelScroll(central);
    sideScroll->setObjectName("SidePanels");
    auto* sideWidget = new QWidget;
    auto* side = new QVBoxLayout(sideWidget);
    side->setContentsMargins(0, 0, 0, 0);
    row->addWidget(sideScroll);

    GroupBox1 = AddInfoGroup(this, " System Info ", sideWidget,
                             {{&TForm1::DeviceName, "Device :"},
                              {&TForm1::DeviceSize, "Size :"},
                              {&TForm1::FreeDisk, "Free Disk :"},
                              {&TForm1::File, "File :"},
                              {&TForm1::Adapter, "Adapter :"},
                              {&TForm1::Pins, "Pins :"}});
    side->addWidget(GroupBox1);
    GroupBox2 = AddInfoGroup(this, " Option Info ", sideWidget,
                             {{&TForm1::GangSize, "Gang Size :"},
                              {&TForm1::Split, "Split :"},
                              {&TForm1::EncMode, "Encryption :"},
                              {&TForm1::BasePort, "Base Port :"},
                              {&TForm1::CheckSum, "CheckSum :"},
                              {&TForm1::HWRev, "H/W Rev :"},
                              {&TForm1::SWRev, "SW Rev :"},
                              {&TForm1::SerialNo, "Serial No :"},
                              {&TForm1::Label1, "Algorithm :", &TForm1::Label1Cap},
                              {&TForm1::Label2, "Vccp :", &TForm1::Label2Cap},
                              {&TForm1::Label3, "Vpp :", &TForm1::Label3Cap},
                              {&TForm1::Label4, "Tpwp :", &TForm1::Label4Cap}});
    side->addWidget(GroupBox2);

    GroupBoxCounter = new QGroupBox(" Counter ", sideWidget);
    auto* gc = new QGridLayout(GroupBoxCounter);
    LabelDeviceHR = new QLabel;
    LabelSuccess = new QLabel;
    LabelFailure = new QLabel;
    LabelCount = new QLabel;
    gc->addWidget(LabelDeviceHR, 0, 0);
    gc->addWidget(LabelSuccess, 1, 0);
    gc->addWidget(LabelFailure, 2, 0);
    gc->addWidget(LabelCount, 3, 0);
    SpeedButtonCounter =
        AddSpeedButton("", "Reset Counter", QStyle::SP_BrowserReload, &TForm1::SpeedButtonCounterClick);
    gc->addWidget(SpeedButtonCounter, 0, 1, 4, 1, Qt::AlignRight | Qt::AlignVCenter);
    side->addWidget(GroupBoxCounter);
    side->addStretch(1);
    // The panel's width of 300, or what its captions need in a larger font.
    sideWidget->setFixedWidth(std::max(300, sideWidget->minimumSizeHint().width()));
    sideScroll->setWidget(sideWidget);
    sideScroll->setFixedWidth(sideWidget->width() + 2 * sideScroll->frameWidth() +
                              sideScroll->verticalScrollBar()->sizeHint().width());

    ProgressBar1 = new QProgressBar(central);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    outer->addWidget(ProgressBar1);

    StatusBar1 = statusBar();
    StatusBar1->setSizeGripEnabled(true);
    const int widths[3] = {35, 50, 50};
    const char* texts[3] = {"Pro", "Addr", "Help"};
    for (int i = 0; i < 3; ++i) {
        StatusPanels[i] = new QLabel(texts[i]);
        StatusPanels[i]->setMinimumWidth(widths[i] * 2);
        StatusPanels[i]->setFrameShape(QFrame::Panel);
        StatusPanels[i]->setFrameShadow(QFrame::Sunken);
        StatusBar1->addWidget(StatusPanels[i], i == 2 ? 1 : 0);
    }
}

// ---------------------------------------------------------------------------
// Command states

void TForm1::Offer(QObject* command, bool offered) {
    offered_[command] = offered;
    ApplyCommandState(command);
}

void TForm1::ApplyCommandState(QObject* o) {
    bool on = offered_.value(o, true) && !unavailable_.contains(o) && !(running_ && !IsUngated(this, o));
    if (auto* a = qobject_cast<QAction*>(o))
        a->setEnabled(on);
    else if (auto* w = qobject_cast<QWidget*>(o))
        w->setEnabled(on);
}

void TForm1::ApplyCommandStates() {
    for (auto it = offered_.cbegin(); it != offered_.cend(); ++it) ApplyCommandState(it.key());
    if (ReadIdShortcut) ReadIdShortcut->setEnabled(!running_);
}

void TForm1::SetCommandAvailable(QObject* command, bool available) {
    if (available)
        unavailable_.remove(command);
    else
        unavailable_.insert(command);
    ApplyCommandState(command);
}

bool TForm1::CommandEnabled(QObject* command) const {
    if (auto* a = qobject_cast<QAction*>(command)) return a->isEnabled();
    if (auto* w = qobject_cast<QWidget*>(command)) return w->isEnabled();
    return false;
}

void TForm1::SetOperationRunning(bool running) {
    running_ = running;
    ApplyCommandStates();
    // Open editors turn read-only for the run and are redrawn after it.
    SetBufferEditorsRunning(running);
    if (!running && closePending_) {
        closePending_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

bool TForm1::RefuseWhileBusy() const { return OperationBusy.load(); }

void TForm1::DisableOperationControls() {
    for (QToolButton* b : {SpeedButtonBlankCheck, SpeedButtonProgram, SpeedButtonRead,
                           SpeedButtonVerify, SpeedButtonErase, SpeedButtonSecurity,
                           SpeedButtonOption, SpeedButtonAuto, SpeedButtonVectorTest})
        Offer(b, false);
    for (QAction* a : {BlankCheck1, Program1, Read1, Verify1, Erase1, Security1, Option1, Auto1,
                       VectorTest1, Encryption1, DataCompare1, EditUES1}) {
        Offer(a, false);
        a->setVisible(false);
    }
    Offer(ChangeAlgorithm1, false);
    Read_ID->setVisible(false);
    AutoRepeatProgram1->setVisible(false);
}

void TForm1::EnableOperationControls(uint32_t mask) {
    DisableOperationControls();
    const struct {
        int bit;
        QAction* item;
        QToolButton* button;
    } rows[] = {
        {0, BlankCheck1, SpeedButtonBlankCheck}, {1, Program1, SpeedButtonProgram},
        {2, Read1, SpeedButtonRead},             {3, Verify1, SpeedButtonVerify},
        {4, DataCompare1, nullptr},              {5, Erase1, SpeedButtonErase},
        {6, Security1, SpeedButtonSecurity},     {7, Encryption1, nullptr},
        {8, Option1, SpeedButtonOption},         {10, Auto1, SpeedButtonAuto},
    };
    for (const auto& r : rows) {
        if (!(mask & (1u << r.bit))) continue;
        r.item->setVisible(true);
        Offer(r.item, true);
        if (r.button) Offer(r.button, true);
    }
    const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm);
    if (row && row->ParameterGroup != NoParameterGroup) Offer(ChangeAlgorithm1, true);
    if (DeviceSection == SectionPld) {
        if (UesFuseStart != 0) {
            EditUES1->setVisible(true);
            Offer(EditUES1, true);
        }
        if (PackageRow(PackageIndex).PinCount < 49) {
            VectorTest1->setVisible(true);
            Offer(VectorTest1, true);
            Offer(SpeedButtonVectorTest, true);
            return;
        }
    }
    if (TEditvector* f = VectorTestForm()) f->hide();
}

void TForm1::ShowCounters() {
    LabelDeviceHR->setText(QString::asprintf("Devices/HR : %d", static_cast<int>(DevicesPerHour)));
    LabelSuccess->setText(QString::asprintf("Success : %d", static_cast<int>(Success)));
    LabelFailure->setText(QString::asprintf("Failure : %d", static_cast<int>(Failure)));
    LabelCount->setText(QString::asprintf("Count : %d", static_cast<int>(Count)));
}

void TForm1::RefreshBufferView(int flag) {
    // The byte editor (bit 3 of DeviceFlags clear) or the fuse map editor
    // shows the buffer; the other one is closed.
    RefreshBufferEditors(flag);
}

void TForm1::ShowReadResult() {
    RefreshBufferView(0);
    UpdateInfoPanel();
}

void TForm1::ShowProgressPosition(int position) { ProgressBar1->setValue(position); }

void TForm1::ShowStatusPanel(int panel, const QString& text) {
    if (panel >= 0 && panel < 3) StatusPanels[panel]->setText(text);
}

void TForm1::SetCounters(uint32_t count, uint32_t success, uint32_t failure, uint32_t devicesPerHour) {
    Count = count;
    Success = success;
    Failure = failure;
    DevicesPerHour = devicesPerHour;
    ShowCounters();
}

// ---------------------------------------------------------------------------
// Log mirror

namespace {
// One model line is one line of the view: a line break inside it (a name
// read from a file) would shift every later rewrite onto the wrong line.
QString OneViewLine(QString text) {
    for (QChar& c : text)
        if (c == '\n' || c == '\r' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = ' ';
    return text;
}
} // namespace

void TForm1::MirrorAppend(const QString& rawText) {
    const QString text = OneViewLine(rawText);
    if (mirrorLines_ == 0) {
        Memo1->setPlainText(text);
    } else {
        Memo1->appendPlainText(text);
    }
    ++mirrorLines_;
    Memo1->moveCursor(QTextCursor::End);
    Memo1->ensureCursorVisible();
    // The log does not wrap: showing a long line's end would hide the start
    // of every line. The view keeps its left edge.
    Memo1->horizontalScrollBar()->setValue(Memo1->horizontalScrollBar()->minimum());
}

void TForm1::MirrorReplace(int index, const QString& text) {
    if (index < 0 || index >= mirrorLines_) return;
    QTextBlock block = Memo1->document()->findBlockByNumber(index);
    if (!block.isValid()) return;
    QTextCursor c(block);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(OneViewLine(text));
}

void TForm1::MirrorRemove(int index, int count) {
    if (index < 0 || count <= 0 || index >= mirrorLines_) return;
    count = std::min(count, mirrorLines_ - index);
    if (count == mirrorLines_) {
        Memo1->clear();
        mirrorLines_ = 0;
        return;
    }
    QTextDocument* doc = Memo1->document();
    QTextCursor c(doc);
    if (index + count < mirrorLines_) {
        // Lines index..index+count-1 with their line breaks.
        c.setPosition(doc->findBlockByNumber(index).position());
        c.setPosition(doc->findBlockByNumber(index + count).position(), QTextCursor::KeepAnchor);
    } else {
        // The last lines: the break before them goes with them.
        QTextBlock before = doc->findBlockByNumber(index - 1);
        c.setPosition(before.position() + before.length() - 1);
        c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    c.removeSelectedText();
    mirrorLines_ -= count;
}

void TForm1::MirrorReload() {
    const std::vector<std::string> lines = MainLog().Lines();
    Memo1->clear();
    mirrorLines_ = 0;
    for (const std::string& l : lines) MirrorAppend(QString::fromStdString(l));
}

// ---------------------------------------------------------------------------
// Window events

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

namespace {

// The screen a window starts on: the one whose available area holds its
// title bar, or the primary screen when none does.
const QScreen* StartScreen(const QWidget* w) {
    const QRect grip(w->pos(), QSize(std::min(w->width(), 100), 30));
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(grip)) return screen;
    return QGuiApplication::primaryScreen();
}

// The part of a screen's available area a window may take. At a fractional
// scale Qt rounds a window's place and size to pixels each on its own, so
// one unit is kept spare at the right and bottom: rounding cannot then
// carry the window a pixel past the area's edge.
QRect StartArea(const QScreen* screen) {
    QRect area = screen->availableGeometry();
    const qreal ratio = screen->devicePixelRatio();
    if (ratio != std::floor(ratio)) area.adjust(0, 0, -1, -1);
    return area;
}

// The window with its frame as the platform knows it now: the widget's own
// copy of the frame is taken at its next move or resize, and a window
// manager may frame the window without either.
QRect FrameOf(const QWidget* w) {
    const QWindow* handle = w->windowHandle();
    return handle != nullptr ? w->geometry().marginsAdded(handle->frameMargins()) : w->frameGeometry();
}

// The window lies wholly on the area of its start screen: moved in from
// every edge it passes, so its toolbar, counters and status bar can be seen.
// A window still larger than that area (a toolbar wider than the screen,
// or a log already at its least) keeps its top left corner, and so its
// title bar, on it.
void KeepOnAScreen(QWidget* w) {
    const QScreen* on = StartScreen(w);
    if (on == nullptr) return;
    const QRect area = StartArea(on);
    const QRect frame = FrameOf(w);
    const int left = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int top = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    // Moved by the distance, which holds whatever frame the widget counts.
    if (left != frame.left() || top != frame.top()) w->move(w->pos() + QPoint(left - frame.left(), top - frame.top()));
}

} // namespace

void TForm1::FormShow() {
    QGuiApplication::setApplicationDisplayName(QString::fromUtf8(ProductName));
    delete registry_;
    registry_ = new QSettings(QSettings::UserScope, "Harrowend", "Remember");
    registry_->beginGroup(kWindowPositionKey);
    bool okLeft = false;
    bool okTop = false;
    int left = registry_->value("Left").toInt(&okLeft);
    int top = registry_->value("Top").toInt(&okTop);
    bool okWidth = false;
    bool okHeight = false;
    const int width = registry_->value("Width").toInt(&okWidth);
    const int height = registry_->value("Height").toInt(&okHeight);
    const bool sizeKept = okWidth && okHeight && width > 0 && height > 0;
    if (sizeKept) resize(width, height);
    if (okLeft && okTop) {
        RememberedLeft = left;
        RememberedTop = top;
        // The place kept is the client area's corner, as FormClose saves it:
        // under a window manager the frame is not known yet, and a frame
        // corner given now would be taken for the client's, the window
        // moving by its title bar at every start.
        setGeometry(QRect(QPoint(left, top), size()));
    }
    if (registry_->value("Maximized").toBool()) setWindowState(windowState() | Qt::WindowMaximized);
    // Without a kept size the window takes the height its panels ask for.
    if (!sizeKept && this->height() < sizeHint().height()) resize(this->width(), sizeHint().height());
    FitStartSize();
    if (!isMaximized()) KeepOnAScreen(this);
    LeftCache.store(x());
    TopCache.store(y());
    StatusPanels[2]->setText("");
    // A window manager frames the window only once it is shown, and the
    // frame may then reach past the screen: once a frame other than the one
    // counted comes, the fit is made again, frame included, and again (a
    // few times at most) while the manager's answers leave it off the
    // screen's area, for a while after the start. Without a frame, or with
    // the one counted (no manager, or one known before the show), nothing
    // changes.
    if (QWindow* handle = windowHandle()) {
        fitFrame_ = handle->frameMargins();
        framedFitsLeft_ = kFramedFits;
        handle->installEventFilter(this);
        QTimer::singleShot(kFrameWaitMs, this, [this] { framedFitsLeft_ = 0; });
    }
}

void TForm1::FitFramedStart() {
    QWindow* handle = windowHandle();
    if (framedFitsLeft_ <= 0 || handle == nullptr || isMaximized() || isFullScreen()) return;
    const QMargins frame = handle->frameMargins();
    const bool newFrame = frame != fitFrame_;
    if (!newFrame && (framedFitsLeft_ == kFramedFits || frame.isNull())) return;
    const QScreen* on = StartScreen(this);
    if (on == nullptr) return;
    const QRect area = StartArea(on);
    // Where the manager has put the window, as the platform last heard it.
    const QRect placed = handle->frameGeometry();
    if (!newFrame && area.contains(placed)) return;
    fitFrame_ = frame;
    --framedFitsLeft_;
    FitStartSize();
    // Place and size in one request to the manager, from where it has put
    // the window: the widget's own place may be one the manager never took.
    const QSize whole = size().grownBy(frame);
    const int left = std::max(area.left(), std::min(placed.left(), area.right() + 1 - whole.width()));
    const int top = std::max(area.top(), std::min(placed.top(), area.bottom() + 1 - whole.height()));
    handle->setGeometry(QRect(QPoint(left + frame.left(), top + frame.top()), size()));
}

// A size kept from a smaller font, or given before the start, may be too
// narrow for the speed buttons: the window grows so that none hides behind
// the toolbar's overflow button. Then it is fitted to the screen's area,
// frame included, on both sides: a kept size larger than the area shrinks
// (the panels scroll), and where the window's least size is larger than the
// area (a large font on a small screen) the log gives up as much of its
// least size as that takes, down to a few lines of a few words. Only a
// toolbar wider than the screen keeps the window wider, its buttons whole.
void TForm1::FitStartSize() {
    const QToolBar* bar = findChild<QToolBar*>("SpeedBar");
    if (bar == nullptr || isMaximized()) return;
    const int need = bar->sizeHint().width() + std::max(0, width() - bar->width());
    if (width() < need) resize(need, height());
    const QScreen* screen = StartScreen(this);
    if (screen == nullptr) return;
    const QSize room = StartArea(screen).size() - (FrameOf(this).size() - size());
    // At a fractional scale a window manager may round the window's size
    // down to its whole steps of pixels (one unit each): the least size
    // keeps one unit under the room.
    const qreal ratio = screen->devicePixelRatio();
    const int step = ratio != std::floor(ratio) ? 1 : 0;
    const QSize over = minimumSize().expandedTo(minimumSizeHint()) - room + QSize(step, step);
    if (over.width() > 0 || over.height() > 0) {
        const QFontMetrics metrics = Memo1->fontMetrics();
        const int leastWidth = 20 * metrics.averageCharWidth();
        const int leastHeight = 3 * metrics.lineSpacing();
        Memo1->setMinimumSize(std::max(std::min(leastWidth, Memo1->minimumWidth()),
                                       Memo1->minimumWidth() - std::max(0, over.width())),
                              std::max(std::min(leastHeight, Memo1->minimumHeight()),
                                       Memo1->minimumHeight() - std::max(0, over.height())));
        // Each layout from the log's out to the window's takes the new least
        // size now (a shown window would take it only at its next events).
        for (QWidget* w = Memo1->parentWidget(); w != nullptr; w = w == this ? nullptr : w->parentWidget())
            if (QLayout* l = w->layout()) l->activate();
    }
    const QSize fitted(std::max(need, std::min(width(), room.width())), std::min(height(), room.height()));
    if (fitted != size()) resize(fitted);
}

void TForm1::FormClose() {
    if (!registry_) return;
    // A maximised window keeps the place and size it goes back to.
    const bool maximized = isMaximized();
    // The client area's corner, the one FormShow restores.
    const QRect normal = maximized ? normalGeometry() : geometry();
    registry_->setValue("Left", normal.x());
    registry_->setValue("Top", normal.y());
    registry_->setValue("Width", normal.width());
    registry_->setValue("Height", normal.height());
    registry_->setValue("Maximized", maximized);
    registry_->sync();
    delete registry_;
    registry_ = nullptr;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (OperationBusy.load()) {
        // Never end the program under a running operation: ask for the stop
        // (the run's own "Continue?" question) and close once it has ended.
        event->ignore();
        closePending_ = true;
        UserBreak.store(1);
        return;
    }
    if (TestBusy.load()) {
        // A test runs on this thread below the event loop: it ends as a user
        // break at its next step, powering the socket down, and the close is
        // tried again once it has returned.
        event->ignore();
        UserBreak.store(1);
        QTimer::singleShot(kCloseRetryMs, this, &QWidget::close);
        return;
    }
    FormClose();
    event->accept();
    emit FormClosed();
}

void TForm1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    LeftCache.store(x());
    TopCache.store(y());
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        UserBreak.store(1);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TForm1::mousePressEvent(QMouseEvent* event) {
    UserBreak.store(1);
    QMainWindow::mousePressEvent(event);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (framedFitsLeft_ > 0 && watched == windowHandle()) {
        const QEvent::Type t = event->type();
        // After the window has taken the event, its frame included.
        if (t == QEvent::Expose || t == QEvent::Move || t == QEvent::Resize || t == QEvent::WindowStateChange)
            QMetaObject::invokeMethod(this, &TForm1::FitFramedStart, Qt::QueuedConnection);
    }
    if (watched == Memo1) {
        if (event->type() == QEvent::ShortcutOverride) {
            // The read-only log would take Ctrl+A, Ctrl+V and the like for
            // itself; leave the window's command keys to the commands.
            auto* k = static_cast<QKeyEvent*>(event);
            QKeySequence seq(k->keyCombination());
            for (QAction* a : findChildren<QAction*>()) {
                if (!a->shortcut().isEmpty() && a->shortcut() == seq) {
                    event->ignore();
                    return true;
                }
            }
        } else if (event->type() == QEvent::KeyPress &&
                   static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            UserBreak.store(1);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// File dialogs

void TForm1::SetupFileDialog(QFileDialog* d, const QString& filter, const QString& title,
                             const QString& defaultSuffix) {
    d->setFileMode(d == OpenDialog1 ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    d->setOption(QFileDialog::DontConfirmOverwrite, d == OpenDialog1);
    d->setWindowTitle(title);
    d->setDefaultSuffix(defaultSuffix);
    QStringList filters = ToQtNameFilters(filter);
    if (filters.isEmpty()) filters << "All files (*)";
    d->setNameFilters(filters);
    d->selectNameFilter(filters.first());
}

int TForm1::RunDialog(QFileDialog* d) {
    int r = ExecDialog(d);
    if (r == QDialog::Accepted && !d->selectedFiles().isEmpty()) {
        // The dialog moves the current directory to the chosen file's folder.
        QDir::setCurrent(QFileInfo(d->selectedFiles().first()).absolutePath());
    }
    return r;
}

namespace {

int SelectedFilterIndex(QFileDialog* d) {
    int i = d->nameFilters().indexOf(d->selectedNameFilter());
    return i < 0 ? 1 : i + 1;
}

std::string SelectedPath(QFileDialog* d) {
    const QStringList files = d->selectedFiles();
    return files.isEmpty() ? std::string() : files.first().toStdString();
}

} // namespace

// ---------------------------------------------------------------------------
// Handlers

void TForm1::Load1Click() {
    if (RefuseWhileBusy()) return;
    FileDialogFilters f = FiltersForFormatMask(FileFormatMask);
    if (f.Set) {
        openFilter_ = f.Open;
        saveFilter_ = f.Save;
    }
    SetupFileDialog(OpenDialog1, openFilter_, "Open", "");
    if (RunDialog(OpenDialog1) == QDialog::Accepted) {
        repaint();
        ShowMessageLine("File Loading...");
        const std::string name = SelectedPath(OpenDialog1);
        const int filter = SelectedFilterIndex(OpenDialog1);
        int result = 0;
        uint8_t type = DataFileBinary;
        if (FileFormatMask & 0x1F) {
            if (filter == 1) {
                result = LoadFileAt(name, LoadFileOffset, LoadBufferStart);
                type = DataFileBinary;
            } else {
                result = LoadHexFamilyFile(name, LoadFileOffset, LoadBufferStart);
                type = DataFileHex;
            }
        } else if (FileFormatMask & 0x20) {
            uint32_t fileChecksum = 0;
            uint32_t blowCount = 0;
            result = LoadJedecFile(name, fileChecksum, blowCount);
            type = DataFileJedec;
            if (result == 1) {
                // The whole sum, unmasked, when there is one.
                const uint32_t sum = ComputeBufferChecksum(BufferStart, BufferEnd);
                if (BufferChecksumKnown) {
                    ShowMessageLine(" Buffer Check Sum: %04Xh", sum);
                } else {
                    ShowMessageLine(" Buffer Check Sum: %s", BufferChecksumText().c_str());
                }
                ShowMessageLine(" File Check Sum: %04Xh", fileChecksum);
                ShowMessageLine(" Blow Count: %lu", static_cast<unsigned long>(blowCount));
            }
        } else if (FileFormatMask & 0x40) {
            result = LoadPofFile(name);
            type = DataFilePof;
        } else if (FileFormatMask & 0x80) {
            result = LoadHexFamilyFile(name, LoadFileOffset, LoadBufferStart);
            type = DataFileHex;
        }
        if (result == 1) {
            DataFileType = type;
            DataFileName = name;
            ComputeBufferChecksum(BufferStart, BufferEnd);
            ShowMessageLine("File load success! (Checksum:%s)", BufferChecksumText().c_str());
            UpdateInfoPanel();
        }
    }
    RefreshBufferView(0);
}

void TForm1::Save1Click() {
    if (RefuseWhileBusy()) return;
    FileDialogFilters f = FiltersForFormatMask(FileFormatMask);
    if (f.Set) {
        openFilter_ = f.Open;
        saveFilter_ = f.Save;
    }
    SetupFileDialog(SaveDialog1, saveFilter_, "Save", "");
    if (RunDialog(SaveDialog1) != QDialog::Accepted) return;
    repaint();
    ShowMessageLine("File Saving...");
    const std::string name = SelectedPath(SaveDialog1);
    const int filter = SelectedFilterIndex(SaveDialog1);
    int result = 0;
    if (FileFormatMask & 0x1F) {
        switch (filter) {
        case 1: result = SaveRangeAs(name, SaveBufferStart, SaveBufferEnd); break;
        case 2: result = SaveHexFamilyFile(name, SaveBufferStart, SaveBufferEnd, HexFormatIntel); break;
        case 3:
            result = SaveHexFamilyFile(name, SaveBufferStart, SaveBufferEnd, HexFormatMotorola);
            break;
        case 4:
            result = SaveHexFamilyFile(name, SaveBufferStart, SaveBufferEnd, HexFormatTektronix);
            break;
        case 5: result = SaveAsciiHexFile(name, SaveBufferStart, SaveBufferEnd); break;
        default: break;
        }
    } else if (FileFormatMask & 0x20) {
        // The test vectors the last JEDEC load kept or the vector editor
        // holds, never buffer bytes; none when they were for another pin count.
        const VectorList vectors = TestVectorsForSave();
        result = SaveJedecFile(name, vectors.Data, vectors.Length);
    } else if (FileFormatMask & 0x40) {
        result = SavePofFile(name);
    } else if (FileFormatMask & 0x80) {
        result = SaveHexFamilyFile(name, SaveBufferStart, SaveBufferEnd, HexFormatIntel);
    }
    if (result == 1) {
        SavedFileName = name;
        ShowMessageLine("File save success!");
        ResetProgress();
    }
}

void TForm1::LoadPorject1Click() {
    if (RefuseWhileBusy()) return;
    SetupFileDialog(OpenDialog1, "Project File(*.prj)|*.prj", "Open Project", "prj");
    if (RunDialog(OpenDialog1) != QDialog::Accepted) return;
    if (LoadConfigOrProjectFile(SelectedPath(OpenDialog1), 1) != 0) {
        ShowMessageLine("Illegal Project File!");
        return;
    }
    // A multi-line description is logged on one line.
    ShowMessageLine("Author : %s", ProjectTextForLog(ProjectAuthor).c_str());
    ShowMessageLine("Description : %s", ProjectTextForLog(ProjectDescription).c_str());
    ShowMessageLine("Project file loaded!");
    UpdateInfoPanel();
    EnableOperationControls(SupportedOperationMask);
    RefreshBufferView(0);
}

void TForm1::SaveProject1Click() {
    if (RefuseWhileBusy()) return;
    SetupFileDialog(SaveDialog1, "Project File(*.prj)|*.prj", "Save Project", "prj");
    if (RunDialog(SaveDialog1) != QDialog::Accepted) return;
    const std::string name = SelectedPath(SaveDialog1);
    // The project dialog takes the author and description; only OK saves.
    if (ShowProjectDialog(this) == QDialog::Accepted) SaveProjectAfterDialog(name);
}

void TForm1::SaveProjectAfterDialog(const std::string& name) {
    const FileSaveResult saved = SaveConfigOrProjectFile(name, 1);
    if (saved.Ok()) {
        ShowMessageLine("Project file saved!");
        return;
    }
    // The file was not written: the system's reason for a failed create,
    // the program's text for a failed write.
    saved.Show();
}

void TForm1::Exit1Click() { close(); }

void TForm1::EditBuffer1Click() {
    if (RefuseWhileBusy()) return;
    OpenBufferEditor(this);
}

void TForm1::EditUES1Click() {
    if (RefuseWhileBusy()) return;
    OpenUesEditor(this);
}

void TForm1::Select1Click() {
    if (RefuseWhileBusy()) return;
    if (OpenLibraryEntry(kLibraryEntryPrompt) == 0) {
        ShowMessageBox("Can not open Library File!");
        return;
    }
    ShowDeviceSelection(this);
}

void TForm1::ChangeAlgorithm1Click() {
    if (RefuseWhileBusy()) return;
    ShowChangeAlgorithm(this);
}

void TForm1::AutoRepeatProgram1Click() {
    if (RefuseWhileBusy()) return;
    ShowAutoRepeat(this);
}

void TForm1::BlankCheck1Click() { StartOperation(0); }
void TForm1::Program1Click() { StartOperation(1); }
void TForm1::Read1Click() { StartOperation(2); }
void TForm1::Verify1Click() { StartOperation(3); }
void TForm1::DataCompare1Click() { StartOperation(4); }
void TForm1::Erase1Click() { StartOperation(5); }
void TForm1::Security1Click() { StartOperation(6); }
void TForm1::Encryption1Click() { StartOperation(7); }
void TForm1::Auto1Click() { StartOperation(10); }

void TForm1::Option1Click() {
    if (RefuseWhileBusy()) return;
    RunOptionsOnUiThread();
}

void TForm1::Read_IDClick() {
    if (RefuseWhileBusy()) return;
    RunReadIdOnUiThread();
}

void TForm1::RunOptionsOnUiThread() {
    // A click or ESC while idle is no request to stop this command.
    UserBreak.store(0);
    if (CheckCommunication(MainEngine) != 1) return; // it reported why
    SkipIdCheck = 0;
    PrepareOperation(MainEngine);
    if (const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm)) row->Options();
    ResetProgrammerOutputs();
    UpdateInfoPanel();
}

void TForm1::RunReadIdOnUiThread() {
    const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm);
    if (!row || row->Identify == AlgNoOperation) return;
    UserBreak.store(0);
    PrepareOperation(MainEngine);
    row->Identify();
    ResetProgrammerOutputs();
    ShowChipAndDataIds(ChipMakerId, ChipDeviceId);
}

void TForm1::ResetCounters() {
    MainCounters = OperationCounters{};
    Count = Success = Failure = DevicesPerHour = 0;
    ShowCounters();
}

void TForm1::VectorTest1Click() {
    if (RefuseWhileBusy()) return;
    if (TEditvector* f = VectorTestForm()) f->ExecDialog(f);
}

void TForm1::ICTest1Click() {
    if (RefuseWhileBusy()) return;
    if (TEditlg* f = IcTestForm()) f->ExecDialog(f);
}

void TForm1::RAMTest1Click() {
    if (RefuseWhileBusy()) return;
    auto* d = new TRamTest1(this);
    d->move(x() + 320, y() + 100);
    ExecTestDialog(d);
    delete d;
}

void TForm1::Configoption1Click() {
    if (RefuseWhileBusy()) return;
    ShowConfigOptions(this);
}

void TForm1::Hardwaretest1Click() {
    if (RefuseWhileBusy()) return;
    // The test needs an empty socket: on the simulated programmer the parts
    // are laid aside for it and put back after it.
    const SimSocketsEmptied emptied;
    RunHardwareSelfTest();
}

// The about box reads nothing shared and stays usable during a run.
void TForm1::About1Click() { ShowAbout(this); }

void TForm1::SpeedButtonCounterClick() {
    if (RefuseWhileBusy()) return;
    ResetCounters();
}

void TForm1::Timer1Timer() {}
