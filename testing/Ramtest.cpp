#include "testing/Ramtest.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/OperationState.h"
#include "engine/Services.h"
#include "engine/UiBridge.h"
#include "testing/RamTester.h"

namespace {

// While a test runs: the window keeps painting and takes ESC at each
// progress step.
class PaintingUi : public UiBridge {
public:
    explicit PaintingUi(UiBridge& inner) : inner_(inner) {}
    void LogAppended(const std::string& text) override { inner_.LogAppended(text); }
    void LogReplaced(size_t index, const std::string& text) override { inner_.LogReplaced(index, text); }
    void LogRemoved(size_t index, size_t count) override { inner_.LogRemoved(index, count); }
    void SetProgressBar(int position) override {
        inner_.SetProgressBar(position);
        QApplication::processEvents();
    }
    void SetStatusPanel(int panel, const std::string& text) override { inner_.SetStatusPanel(panel, text); }
    void ShowCounters(uint32_t count, uint32_t success, uint32_t failure, uint32_t perHour) override {
        inner_.ShowCounters(count, success, failure, perHour);
    }
    UiAnswer MessageBox(const std::string& text, const std::string& caption, UiButtons buttons,
                        UiIcon icon) override {
        return inner_.MessageBox(text, caption, buttons, icon);
    }
    void RefreshMainForm() override { inner_.RefreshMainForm(); }
    int MainFormLeft() override { return inner_.MainFormLeft(); }
    int MainFormTop() override { return inner_.MainFormTop(); }

private:
    UiBridge& inner_;
};

} // namespace

TRamTest1::TRamTest1(QWidget* parent) : QDialog(parent) {
    setObjectName("RamTest1");
    setWindowTitle("RAM Test");
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    for (const char* name : RamTypeNames) ListBox1->addItem(name);
    ListBox1->setCurrentRow(0);
    ListBox1->setMinimumSize(170, 180);
    ButtonTest = new QPushButton("&Test", this);
    ButtonTest->setObjectName("ButtonTest");
    BitBtnClose = new QPushButton("&Close", this);
    BitBtnClose->setObjectName("BitBtnClose");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ButtonTest);
    buttons->addWidget(BitBtnClose);
    buttons->addStretch();
    auto* outer = new QHBoxLayout(this);
    outer->addWidget(ListBox1);
    outer->addLayout(buttons);
    connect(ButtonTest, &QPushButton::clicked, this, &TRamTest1::ButtonTestClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TRamTest1::BitBtnCloseClick);
}

void TRamTest1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && running_) {
        UserBreak = 1;
        return;
    }
    QDialog::keyPressEvent(event);
}

void TRamTest1::closeEvent(QCloseEvent* event) {
    if (running_) {
        // The dialog stays until the test has stopped and powered down.
        UserBreak = 1;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TRamTest1::BitBtnCloseClick() { done(1); }

void TRamTest1::ButtonTestClick() {
    const int row = ListBox1->currentRow();
    if (running_ || row < 0 || ListBox1->selectedItems().isEmpty()) return;
    running_ = true;
    // No second test and no close while this one runs; ESC still arrives.
    for (QWidget* w : std::initializer_list<QWidget*>{ListBox1, ButtonTest, BitBtnClose}) w->setEnabled(false);
    int r = 0;
    {
        PaintingUi painting(CurrentUi());
        ScopedUiBridge scope(painting);
        r = RunRamTest(row);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{ListBox1, ButtonTest, BitBtnClose}) w->setEnabled(true);
    running_ = false;
    ReportRamTestResult(r, row);
    ClearProgress();
}
