#include "testing/Editlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <algorithm>
#include <filesystem>

#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/UiBridge.h"
#include "testing/Editlg1.h"
#include "testing/IcTest.h"
#include "testing/LogicLibrary.h"
#include "testing/TestRun.h"

namespace {

TEditlg* g_form = nullptr;
TEditlg* g_running = nullptr; // the form whose test reports its lines

void ReportLine(const char* in, const char* out, int index) {
    if (g_running) g_running->IcTestLineCallback(in, out, index);
}

} // namespace

TEditlg* IcTestForm() { return g_form; }
void CreateIcTestForm(QWidget* owner) {
    if (g_form == nullptr) g_form = new TEditlg(owner);
}

TEditlg::TEditlg(QWidget* parent) : TVectorGrid(parent) {
    setObjectName("Editlg");
    setWindowTitle("IC Test");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowTitleHint);
    ExecDialog = [](QDialog* d) { return d->exec(); };
    buffer = IcVectorBuffer;
    bufferBytes = TestBufferBytes;

    LabelIcName = new QLabel("None", this);
    LabelIcName->setObjectName("LabelIcName");
    LabelIcName->setGeometry(100, LabelAddrPos->y(), 120, 16);
    bottomLabels_.push_back(LabelIcName);

    ButtonFile = AddButton("ButtonFile", "&Select", 8);
    CreateSettings(50, 38);
    ButtonAutoFind = AddButton("ButtonAutoFind", "&Auto Find", 68);
    // The test and close buttons stand around the library search.
    ButtonClose->move(ButtonClose->x(), 98);
    auto* pinsLabel = new QLabel("Pins", GroupBoxInfo);
    pinsLabel->setGeometry(6, 20, 44, 21);
    MaskEditPins = new QLineEdit(GroupBoxInfo);
    MaskEditPins->setObjectName("MaskEditPins");
    MaskEditPins->setInputMask("99;_");
    MaskEditPins->setGeometry(52, 20, 40, 21);
    AddSettingsRow(pinsLabel, MaskEditPins, nullptr, "48");

    connect(ButtonTest, &QPushButton::clicked, this, &TEditlg::ButtonTestClick);
    connect(ButtonFile, &QPushButton::clicked, this, &TEditlg::ButtonFileClick);
    connect(ButtonAutoFind, &QPushButton::clicked, this, &TEditlg::ButtonAutoFindClick);
    connect(MaskEditPins, &QLineEdit::editingFinished, this, &TEditlg::MaskEditPinsChange);
    MaskEditPins->installEventFilter(this);
    SetupIcGrid();
}

// Enter in the pin count applies it and goes no further: the form's default
// button ("&Select") does not take it.
bool TEditlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MaskEditPins && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            MaskEditPinsChange();
            return true;
        }
    }
    return TVectorGrid::eventFilter(watched, event);
}

TEditlg::~TEditlg() {
    if (g_form == this) g_form = nullptr;
    if (g_running == this) g_running = nullptr;
}

void TEditlg::showEvent(QShowEvent* event) {
    TVectorGrid::showEvent(event);
    FormActivate();
}

void TEditlg::SetupIcGrid() {
    SetupGrid(IcPinCount);
    MaskEditPins->setText(QString::number(IcPinCount));
}

void TEditlg::FormActivate() {
    buffer = IcVectorBuffer;
    ShowSettings();
    LabelIcName->setText(QString::fromStdString(IcDeviceName));
    SetupIcGrid();
}

void TEditlg::MaskEditPinsChange() {
    int n = DigitsToInt(MaskEditPins->text());
    if (n % 2 != 0) --n;
    IcPinCount = std::clamp(n, 8, 48);
    SetupIcGrid();
}

void TEditlg::IcTestLineCallback(const char* in, const char* out, int index) {
    RecordTestLine(in, out, index);
}

void TEditlg::ButtonTestClick() {
    CountIcLines();
    if (!ConnectIcTester()) return;
    if (buffer[0] == 0) {
        IcTestBox("Buffer is empty.");
        return;
    }
    const TestRunScope running;
    SetIcTestSupply(vcc);
    g_running = this;
    const IcTestLineReportFn previous = ::IcTestLineCallback;
    ::IcTestLineCallback = ReportLine;
    const int r = RunIcTest(pins, buffer, xLevel, delayMs, 1, bufferBytes);
    ::IcTestLineCallback = previous;
    g_running = nullptr;
    ResetProgrammerOutputs();
    Beep(r);
    if (r == 1) {
        SetProgressPosition(100);
        IcTestBox("Ic Test Pass.");
    } else if (r == 3) {
        // Stopped by a quit: no box to wait on.
        ShowMessageLine("User Break!");
    } else {
        IcTestBox(QString::asprintf("%s\nTest In:%s\nTest Out:%s\nLocation:%d", "Vector Test Fail.", qPrintable(failIn),
                              qPrintable(failOut), failIndex + 1)
                .toStdString());
    }
    ResetProgress();
}

namespace {

bool LibraryMissing() {
    std::error_code ec;
    if (std::filesystem::exists(LogicLibraryPath(), ec)) return false;
    IcTestBox("Unable to open \"lg.dat\"!");
    return true;
}

} // namespace

void TEditlg::ButtonFileClick() {
    CountIcLines();
    if (LibraryMissing()) return;
    auto* d = new TEditLgFile(this);
    d->move(x() + 10, y() + 10);
    d->ExecDialog = ExecDialog;
    if (ExecDialog(d) == 1) {
        SetupIcGrid();
        LabelIcName->setText(QString::fromStdString(IcDeviceName));
    }
    delete d;
}

void TEditlg::ButtonAutoFindClick() {
    CountIcLines();
    if (LibraryMissing()) return;
    auto* d = new TEditLgFile(this);
    d->move(x() + 10, y() + 10);
    d->xLevel = xLevel;
    d->vcc = vcc;
    d->delayMs = delayMs;
    d->FormActivate();
    AutoFindLogicDevice(*d);
    d->FormDeactivate();
    delete d;
}
