#include "testing/Editvect.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <cstring>

#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Messages.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "testing/Editlg1.h"
#include "testing/TestRun.h"
#include "testing/VectorTest.h"

namespace {

TEditvector* g_form = nullptr;
TEditvector* g_running = nullptr;

void ReportLine(const char* in, const char* out, int index) {
    if (g_running) g_running->VectorTestLineCallback(in, out, index);
}

// Pins of the selected device's package.
int PackagePins() { return PackageRow(PackageIndex).PinCount; }

} // namespace

TEditvector* VectorTestForm() { return g_form; }
void CreateVectorTestForm(QWidget* owner) {
    if (g_form == nullptr) g_form = new TEditvector(owner);
}

TEditvector::TEditvector(QWidget* parent) : TVectorGrid(parent) {
    setObjectName("Editvector");
    setWindowTitle("Vector Test");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowTitleHint);
    ExecDialog = [](QDialog* d) { return d->exec(); };
    buffer = VectorBuffer;
    bufferBytes = TestVectorBufferBytes;
    symbols = "XHLCN01.";
    CreateSettings(20, 8);
    LabelVectorPins = new QLabel(this);
    LabelVectorPins->setObjectName("LabelVectorPins");
    LabelVectorPins->setWordWrap(true);
    LabelVectorPins->hide();
    noteLabel_ = LabelVectorPins;
    ScrollBar1->setPageStep(16);
    connect(ButtonTest, &QPushButton::clicked, this, &TEditvector::ButtonTestClick);
    FormActivate();
}

TEditvector::~TEditvector() {
    if (g_form == this) g_form = nullptr;
    if (g_running == this) g_running = nullptr;
}

void TEditvector::showEvent(QShowEvent* event) {
    TVectorGrid::showEvent(event);
    FormActivate();
}

void TEditvector::SettingsChanged() {
    VectorVcc = vcc;
    VectorDelayMs = delayMs;
    VectorXLevel = xLevel;
}

bool TEditvector::ForAnotherPinCount(int own) const {
    return buffer != nullptr && buffer[0] != 0 && buffer[0] != 0xFF && TestVectorPinCount != 0 &&
           TestVectorPinCount != static_cast<uint32_t>(own);
}

void TEditvector::ShowVectorOwner(int own) {
    ShowNote(ForAnotherPinCount(own)
                 ? QString::asprintf("The vectors are for %lu pins; the device has %d: none shown. Typing a symbol "
                                     "clears them and starts a list for %d pins.",
                                     static_cast<unsigned long>(TestVectorPinCount), own, own)
                 : QString());
}

void TEditvector::SymbolToStore() {
    const uint32_t own = static_cast<uint32_t>(pins);
    if (TestVectorPinCount == own || buffer == nullptr) return;
    // Cut by this device's pins, each vector of the list would take pins of
    // the next: the list is cleared and the device's own starts empty.
    if (ForAnotherPinCount()) {
        ShowMessageLine(" The vectors for %lu pins are cleared: a new list for %lu pins starts.",
                        static_cast<unsigned long>(TestVectorPinCount), static_cast<unsigned long>(own));
        std::memset(buffer, 0, bufferBytes);
        ShowGridPage(topOffset);
    }
    TestVectorPinCount = own;
    ShowVectorOwner(pins);
}

void TEditvector::FormActivate() {
    buffer = VectorBuffer;
    vcc = static_cast<short>(VectorVcc);
    delayMs = static_cast<short>(VectorDelayMs);
    xLevel = VectorXLevel;
    ShowSettings();
    // A package without pins (no device) keeps a grid of one column.
    const int own = PackagePins() > 0 ? PackagePins() : 1;
    // The note first, so the form is laid out with it.
    ShowVectorOwner(own);
    SetupGrid(own);
}

void TEditvector::VectorTestLineCallback(const char* in, const char* out, int index) {
    RecordTestLine(in, out, index);
}

void TEditvector::ButtonTestClick() {
    ClearProgress();
    // Counted only: a last line without all its symbols still runs.
    CountIcLines(false);
    // Vectors of another pin count, cut by this device's pins, would drive
    // each pin with another pin's symbol, the supply pins included.
    const uint32_t own = static_cast<uint32_t>(pins);
    if (buffer != nullptr && buffer[0] != 0 && TestVectorPinCount != 0 && TestVectorPinCount != own) {
        IcTestBox(QString::asprintf("The vectors are for %lu pins; the device has %lu: Test refused.",
                                    static_cast<unsigned long>(TestVectorPinCount), static_cast<unsigned long>(own))
                      .toStdString());
        return;
    }
    // The vector engine's strobes mean something only to the vector image.
    if (LoadedLogicImage != static_cast<int32_t>(kVectorTestImage)) DownloadLogicImage(kVectorTestImage);
    if (ConnectProgrammer(0) == -1) {
        IcTestBox("Can not be executed with Communication Error!", "Error", UiIcon::Error);
        return;
    }
    if (buffer == nullptr || buffer[0] == 0) {
        IcTestBox("Buffer is empty.");
        return;
    }
    const TestRunScope running;
    g_running = this;
    const IcTestLineReportFn previous = ::VectorTestLineCallback;
    ::VectorTestLineCallback = ReportLine;
    const int r = RunPoweredVectorTest(pins, buffer, bufferBytes);
    ::VectorTestLineCallback = previous;
    g_running = nullptr;
    Beep(r);
    if (r == 1) {
        SetProgressPosition(100);
        IcTestBox("Vector Test Pass.");
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
