#include "shell/AutoRepeatProgram.h"

#include <QComboBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Services.h"
#include "shell/Thread.h"

int RepeatFunctionIndex = 0;

namespace {

// The order of the list (OperationCode, also its bit in
// SupportedOperationMask), which is not the order of the operation codes.
constexpr int kFunctions[] = {OpBlankCheck, OpProgram,    OpRead,    OpVerify, OpErase,
                              OpSecurity,   OpEncryption, OpCompare, OpAuto};

} // namespace

TAutoRepeatProgram1::TAutoRepeatProgram1(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Auto Repeat Program");
    ComboBoxFunction = new QComboBox(this);
    for (int op : kFunctions) {
        if (SupportedOperationMask & (1u << op)) ComboBoxFunction->addItem(OperationName(op), op);
    }
    // An index beyond the list chooses nothing, so nothing is started.
    ComboBoxFunction->setCurrentIndex(RepeatFunctionIndex < ComboBoxFunction->count() ? RepeatFunctionIndex
                                                                                      : -1);
    auto* label = new QLabel("&Function", this);
    label->setBuddy(ComboBoxFunction);
    BitBtn1 = new QPushButton("&Close", this);
    connect(BitBtn1, &QPushButton::clicked, this, &TAutoRepeatProgram1::BitBtn1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(ComboBoxFunction);
    layout->addWidget(BitBtn1, 0, Qt::AlignRight);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
}

int TAutoRepeatProgram1::ChosenOperation() const {
    const QVariant op = ComboBoxFunction->currentData();
    return op.isValid() ? op.toInt() : -1;
}

void TAutoRepeatProgram1::BitBtn1Click() {
    // Closing ends the repeats and, as ESC in the main window, asks the run
    // in progress to stop.
    Timer1->stop();
    if (OperationBusy.load()) UserBreak.store(1);
    RepeatFunctionIndex = ComboBoxFunction->currentIndex() < 0 ? 0 : ComboBoxFunction->currentIndex();
    accept();
}

void TAutoRepeatProgram1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        BitBtn1Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

int TAutoRepeatProgram1::Timer1Timer() {
    const int op = ChosenOperation();
    if (op < 0) return -1;
    return StartOperation(static_cast<uint32_t>(op));
}

int ShowAutoRepeat(QWidget* parent) {
    TAutoRepeatProgram1 dialog(parent);
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    return dialog.exec();
}
