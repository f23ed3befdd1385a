#include "mcu/OptGms87c1202.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/DialogKit.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "mcu/Gms87Otp.h"

TOptGms87C1202_::TOptGms87C1202_(QWidget* owner) : QDialog(owner) {
    setObjectName("OptGms87C1202_");
    setWindowTitle("Option");
    auto* grid = new QGridLayout(this);
    auto label = [this, grid](int row, const char* name, const char* caption, QWidget* buddy) {
        auto* l = new QLabel(caption, this);
        l->setObjectName(name);
        l->setBuddy(buddy);
        buddy->installEventFilter(this);
        grid->addWidget(l, row, 0);
        grid->addWidget(buddy, row, 1);
        return l;
    };
    auto combo = [this](const char* name, const char* const (&items)[2]) {
        auto* c = new QComboBox(this);
        c->setObjectName(name);
        c->addItems({items[0], items[1]});
        return c;
    };
    ComboBoxOscillator = combo("ComboBoxOscillator", Gms87OscillatorItems);
    LabelOscillator = label(0, "LabelOscillator", "&Oscillator", ComboBoxOscillator);
    ComboBoxCodeProtect = combo("ComboBoxCodeProtect", Gms87CodeProtectItems);
    LabelCodeProtect = label(1, "LabelCodeProtect", "Co&de Protect", ComboBoxCodeProtect);
    EditCustmerId = new QLineEdit(this);
    EditCustmerId->setObjectName("EditCustmerId");
    EditCustmerId->setMaxLength(static_cast<int>(Gms87CustomerIdLength));
    LabelCustmerId = label(2, "LabelCustmerId", "&Custmer ID", EditCustmerId);

    auto button = [this, grid](int row, const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        grid->addWidget(b, row, 0, 1, 2);
        return b;
    };
    ButtonRead = button(3, "ButtonRead", "&Read Option Bits");
    ButtonProgram = button(4, "ButtonProgram", "&Program Option Bits");
    BitBtn1 = button(5, "BitBtn1", "&Close");
    connect(ButtonRead, &QPushButton::clicked, this, &TOptGms87C1202_::ButtonReadClick);
    connect(ButtonProgram, &QPushButton::clicked, this, &TOptGms87C1202_::ButtonProgramClick);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(ModalCancel); });
    LoadGms87Controls();
}

void TOptGms87C1202_::LoadGms87Controls() {
    ComboBoxOscillator->setCurrentIndex(Gms87Oscillator & 1);
    ComboBoxCodeProtect->setCurrentIndex(Gms87CodeProtect & 1);
    Gms87CustomerIdFromOptionBytes();
    EditCustmerId->setText(QString::fromLatin1(Gms87CustomerId));
}

void TOptGms87C1202_::Change() {
    if (ComboBoxOscillator->currentIndex() >= 0) Gms87Oscillator = ComboBoxOscillator->currentIndex();
    if (ComboBoxCodeProtect->currentIndex() >= 0) Gms87CodeProtect = ComboBoxCodeProtect->currentIndex();
    SetGms87CustomerId(EditCustmerId->text().toLatin1().toStdString());
}

bool TOptGms87C1202_::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) Change();
    return QDialog::eventFilter(watched, event);
}

void TOptGms87C1202_::ButtonReadClick() {
    // A device the module refuses has said why; nothing was read.
    if (ReadGms87OptionBits() != 1) {
        Beep(-1);
        return;
    }
    Beep(1);
    ShowMessageLine("Configuration Bits read ok!");
    LoadGms87Controls();
}

void TOptGms87C1202_::ButtonProgramClick() {
    Gms87ProgramResult = ProgramGms87OptionBits();
    Beep(Gms87ProgramResult);
    ShowMessageLine(Gms87ProgramResult == 1 ? "Configuration Bits program ok!" : "Configuration Bits program error!");
}

int RunGms87Dialog() {
    TOptGms87C1202_ dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
