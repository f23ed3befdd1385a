#include "memory/Opt24Dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "dialogs/RadioGroup.h"
#include "engine/Services.h"

TOpt24Dialog::TOpt24Dialog(QWidget* owner, const QStringList& items, const QString& pinLabel, int& blockProtect,
                           int& pinBit)
    : QDialog(owner), blockProtect_(blockProtect), pinBit_(pinBit) {
    setWindowTitle("Block Protect");
    setFixedSize(290, 150);
    RadioGroup1 = new TRadioGroup("Block Protect", items, this);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioGroup1->setGeometry(8, 8, 120, 130);
    PinLabel = new QLabel(pinLabel, this);
    PinLabel->setGeometry(140, 12, 50, 20);
    PinCombo = new QComboBox(this);
    PinCombo->addItems({"Low", "Hi"});
    PinCombo->setGeometry(196, 10, 80, 22);
    ReadButton = new QPushButton("Read Status Register", this);
    ReadButton->setGeometry(140, 44, 140, 25);
    ProgramButton = new QPushButton("Program Status Register", this);
    ProgramButton->setGeometry(140, 76, 140, 25);
    BitBtn1 = new QPushButton("&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(140, 112, 140, 25);
    LoadControls();
    // The values follow the controls as they change (the form's exit events).
    connect(RadioGroup1->Buttons, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    connect(PinCombo, &QComboBox::currentIndexChanged, this, [this] { RadioGroup1Click(); });
    connect(ReadButton, &QPushButton::clicked, this, [this] { ReadClick(); });
    connect(ProgramButton, &QPushButton::clicked, this, [this] { ProgramClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    FitToFont(this);
}

void TOpt24Dialog::LoadControls() {
    RadioGroup1->SetItemIndex(blockProtect_);
    PinCombo->blockSignals(true);
    PinCombo->setCurrentIndex(pinBit_);
    PinCombo->blockSignals(false);
}

void TOpt24Dialog::RadioGroup1Click() {
    blockProtect_ = RadioGroup1->ItemIndex();
    pinBit_ = PinCombo->currentIndex();
}

void TOpt24Dialog::ReadClick() {
    if (ReadRegister() != 1) {
        ShowMessageLine("Read error!");
        return;
    }
    LoadControls();
    ShowMessageLine("Read ok!");
}

void TOpt24Dialog::ProgramClick() {
    ProgramResult = ProgramRegister();
    ShowMessageLine(ProgramResult == 1 ? "Program ok!" : "Program error!");
}

int ShowOpt24Dialog(TOpt24Dialog& dialog) {
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return dialog.ProgramResult;
}
