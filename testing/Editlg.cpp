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

namespace {

TEditlg* g_form = nullptr;
TEditlg* g_running = nullptr; // the form whose test reports its lines

void ReportLine(const char* in, const char* out, int index) {
    if (g_running) g_running->IcTestLineCallback(in, out, index);
}

QPushButton* Button(QWidget* parent, const char* name, const char* text, int y) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(0, y, 90, 25);
    return b;
}

QLineEdit* MaskEdit(QWidget* parent, const char* name, const char* mask, int x, int y, int w) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setInputMask(mask);
    e->setGeometry(x, y, w, 21);
    return e;
}

QSpinBox* UpDown(QWidget* parent, const char* name, int lo, int hi, int x, int y) {
    auto* u = new QSpinBox(parent);
    u->setObjectName(name);
    u->setRange(lo, hi);
    u->setGeometry(x, y, 17, 21);
    u->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    return u;
}

// The number typed into a box, clamped to its up-down's range, moved to the
// up-down without a click.
int TakeTypedValue(const QLineEdit* box, QSpinBox* upDown) {
    const int v = std::clamp(TVectorGrid::DigitsToInt(box->text()), upDown->minimum(), upDown->maximum());
    upDown->blockSignals(true);
    upDown->setValue(v);
    upDown->blockSignals(false);
    return v;
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

    ButtonFile = Button(this, "ButtonFile", "&Select", 8);
    ButtonTest = Button(this, "ButtonTest", "&Test", 38);
    ButtonAutoFind = Button(this, "ButtonAutoFind", "&Auto Find", 68);
    ButtonClose = Button(this, "ButtonClose", "&Close", 98);

    GroupBoxInfo = new QGroupBox("Info", this);
    GroupBoxInfo->setObjectName("GroupBoxInfo");
    GroupBoxInfo->setGeometry(0, 132, 118, 140);
    auto label = [this](const char* text, int y) {
        auto* l = new QLabel(text, GroupBoxInfo);
        l->setGeometry(6, y, 44, 21);
    };
    label("Pins", 20);
    MaskEditPins = MaskEdit(GroupBoxInfo, "MaskEditPins", "99;_", 52, 20, 40);
    label("X Value", 50);
    ComboBoxXvalue = new QComboBox(GroupBoxInfo);
    ComboBoxXvalue->setObjectName("ComboBoxXvalue");
    ComboBoxXvalue->addItems({"Low", "Hi"});
    ComboBoxXvalue->setGeometry(52, 50, 58, 21);
    label("Vcc", 80);
    MaskEditVcc = MaskEdit(GroupBoxInfo, "MaskEditVcc", "9.9V;_", 52, 80, 44);
    UpDownVcc = UpDown(GroupBoxInfo, "UpDownVcc", 20, 70, 96, 80);
    label("Delay", 110);
    MaskEditDelay = MaskEdit(GroupBoxInfo, "MaskEditDelay", "99mS;_", 52, 110, 44);
    UpDownDelay = UpDown(GroupBoxInfo, "UpDownDelay", 0, 99, 96, 110);

    connect(ButtonClose, &QPushButton::clicked, this, &TEditlg::ButtonCloseClick);
    connect(ButtonTest, &QPushButton::clicked, this, &TEditlg::ButtonTestClick);
    connect(ButtonFile, &QPushButton::clicked, this, &TEditlg::ButtonFileClick);
    connect(ButtonAutoFind, &QPushButton::clicked, this, &TEditlg::ButtonAutoFindClick);
    connect(MaskEditPins, &QLineEdit::editingFinished, this, &TEditlg::MaskEditPinsChange);
    connect(UpDownVcc, &QSpinBox::valueChanged, this, &TEditlg::UpDownVccClick);
    connect(UpDownDelay, &QSpinBox::valueChanged, this, &TEditlg::UpDownDelayClick);
    connect(ComboBoxXvalue, &QComboBox::currentIndexChanged, this, &TEditlg::ComboBoxXvalueChange);
    MaskEditVcc->installEventFilter(this);
    MaskEditDelay->installEventFilter(this);
    SetupIcGrid();
}

TEditlg::~TEditlg() {
    if (g_form == this) g_form = nullptr;
    if (g_running == this) g_running = nullptr;
}

bool TEditlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease && watched == MaskEditVcc) MaskEditVccKeyUp();
    if (event->type() == QEvent::KeyRelease && watched == MaskEditDelay) MaskEditDelayKeyUp();
    return TVectorGrid::eventFilter(watched, event);
}

void TEditlg::showEvent(QShowEvent* event) {
    TVectorGrid::showEvent(event);
    FormActivate();
}

void TEditlg::SetupIcGrid() {
    SetupGrid(IcPinCount);
    const int w = 8 * pins;
    setFixedSize(w + 208, 282);
    for (QPushButton* b : {ButtonFile, ButtonTest, ButtonAutoFind, ButtonClose}) b->move(w + 102, b->y());
    GroupBoxInfo->move(ButtonClose->x() - 20, GroupBoxInfo->y());
    MaskEditPins->setText(QString::number(IcPinCount));
}

void TEditlg::FormActivate() {
    buffer = IcVectorBuffer;
    ComboBoxXvalue->blockSignals(true);
    ComboBoxXvalue->setCurrentIndex(xLevel ? 1 : 0);
    ComboBoxXvalue->blockSignals(false);
    for (QSpinBox* u : {UpDownVcc, UpDownDelay}) u->blockSignals(true);
    UpDownVcc->setValue(vcc);
    UpDownDelay->setValue(delayMs);
    for (QSpinBox* u : {UpDownVcc, UpDownDelay}) u->blockSignals(false);
    MaskEditVcc->setText(QString::asprintf("%d.%dV", vcc / 10, vcc % 10));
    MaskEditDelay->setText(QString::asprintf("%02dmS", delayMs));
    LabelIcName->setText(QString::fromStdString(IcDeviceName));
    SetupIcGrid();
}

void TEditlg::ButtonCloseClick() { close(); }

void TEditlg::MaskEditPinsChange() {
    int n = DigitsToInt(MaskEditPins->text());
    if (n % 2 != 0) --n;
    IcPinCount = std::clamp(n, 8, 48);
    SetupIcGrid();
}

void TEditlg::UpDownVccClick() {
    vcc = static_cast<short>(UpDownVcc->value());
    MaskEditVcc->setText(QString::asprintf("%d.%dV", vcc / 10, vcc % 10));
}

void TEditlg::MaskEditVccKeyUp() {
    vcc = static_cast<short>(TakeTypedValue(MaskEditVcc, UpDownVcc));
    MaskEditVcc->setText(QString::asprintf("%d.%dV", vcc / 10, vcc % 10));
}

void TEditlg::UpDownDelayClick() {
    delayMs = static_cast<short>(UpDownDelay->value());
    MaskEditDelay->setText(QString::asprintf("%02dmS", delayMs));
}

void TEditlg::MaskEditDelayKeyUp() {
    // The typed delay is the one shown, so it is the one used.
    delayMs = static_cast<short>(TakeTypedValue(MaskEditDelay, UpDownDelay));
}

void TEditlg::ComboBoxXvalueChange() { xLevel = ComboBoxXvalue->currentIndex() != 0 ? 1 : 0; }

void TEditlg::IcTestLineCallback(const char* in, const char* out, int index) {
    failIn = QString::fromLatin1(in);
    failOut = QString::fromLatin1(out);
    failIndex = index;
    if (lineCount <= 0) return;
    if (lineCount < 100) {
        SetProgressPosition(100 / lineCount * index);
    } else if (static_cast<uint32_t>(index / (lineCount / 100 + 1)) == ProgressPercent) {
        SetProgressPosition(static_cast<int>(ProgressPercent));
        ++ProgressPercent;
    }
}

void TEditlg::ButtonTestClick() {
    CountIcLines();
    if (!ConnectIcTester()) return;
    if (buffer[0] == 0) {
        IcTestBox("Buffer is empty.");
        return;
    }
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
