#include "mcu/OptAt90Sxx.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/DialogKit.h"
#include "dialogs/RadioGroup.h"
#include "engine/Device.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "mcu/Avr.h"

TOptAt90Sxx1::TOptAt90Sxx1(QWidget* owner) : QDialog(owner) {
    setObjectName("OptAt90Sxx1");
    setWindowTitle("Option");
    auto* top = new QVBoxLayout(this);
    auto group = [this, top](const char* name) {
        auto* g = new QGroupBox("&Option", this);
        g->setObjectName(name);
        new QGridLayout(g);
        top->addWidget(g);
        return g;
    };
    auto fuse = [this](QGroupBox* g, int row, const char* labelName, const char* caption, const char* comboName,
                       QLabel*& label, QComboBox*& combo) {
        combo = new QComboBox(g);
        combo->setObjectName(comboName);
        combo->addItems({"Programmed", "Erased"});
        label = new QLabel(caption, g);
        label->setObjectName(labelName);
        label->setBuddy(combo);
        auto* grid = static_cast<QGridLayout*>(g->layout());
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1);
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { Change(); });
    };
    GroupBox90S1200 = group("GroupBox90S1200");
    fuse(GroupBox90S1200, 0, "LabelFSTR", "&FSTR Fuse", "ComboBoxFSTR", LabelFSTR, ComboBoxFSTR);
    fuse(GroupBox90S1200, 1, "LabelSPEN", "&SPIEN Fuse", "ComboBoxSPEN", LabelSPEN, ComboBoxSPEN);
    GroupBox90S2333 = group("GroupBox90S2333");
    fuse(GroupBox90S2333, 0, "LabelSPIEN1", "&SPIEN Fuse", "ComboBoxSPEN1", LabelSPIEN1, ComboBoxSPEN1);
    fuse(GroupBox90S2333, 1, "LabelBODLEVEL", "&BODLEVEL Fuse", "ComboBoxBODLEVEL", LabelBODLEVEL, ComboBoxBODLEVEL);
    fuse(GroupBox90S2333, 2, "LabelBODEN", "B&ODEN Fuse", "ComboBoxBODEN", LabelBODEN, ComboBoxBODEN);
    fuse(GroupBox90S2333, 3, "LabelCKSEL2", "CKSEL&2 Fuse", "ComboBoxCKSEL2", LabelCKSEL2, ComboBoxCKSEL2);
    fuse(GroupBox90S2333, 4, "LabelCKSEL1", "CKSEL&1 Fuse", "ComboBoxCKSEL1", LabelCKSEL1, ComboBoxCKSEL1);
    fuse(GroupBox90S2333, 5, "LabelCKSEL0", "CKSEL&0 Fuse", "ComboBoxCKSEL0", LabelCKSEL0, ComboBoxCKSEL0);
    RadioGroupSecMode = new TRadioGroup("S&eucrity Mode", {"Lock Bit 1", "Lock Bits 1,2"}, this);
    RadioGroupSecMode->setObjectName("RadioGroupSecMode");
    connect(RadioGroupSecMode->Buttons, &QButtonGroup::idClicked, this, [this] { Change(); });
    top->addWidget(RadioGroupSecMode);
    ButtonProgram = new QPushButton("&Program Fuse Bits", this);
    ButtonProgram->setObjectName("ButtonProgram");
    BitBtn1 = new QPushButton("&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    top->addWidget(ButtonProgram);
    top->addWidget(BitBtn1);
    connect(ButtonProgram, &QPushButton::clicked, this, &TOptAt90Sxx1::ButtonProgramClick);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(ModalCancel); });
}

QComboBox* TOptAt90Sxx1::Fuses125(int i) const {
    QComboBox* const all[AvrFuse125Count] = {ComboBoxSPEN1, ComboBoxBODLEVEL, ComboBoxBODEN,
                                             ComboBoxCKSEL2, ComboBoxCKSEL1, ComboBoxCKSEL0};
    return all[i];
}

void TOptAt90Sxx1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void TOptAt90Sxx1::FormActivate() {
    loading_ = true;
    for (QGroupBox* g : {GroupBox90S1200, GroupBox90S2333}) {
        g->setEnabled(false);
        g->setVisible(false);
    }
    if (CurrentAlgorithm == 125) {
        GroupBox90S2333->setEnabled(true);
        GroupBox90S2333->setVisible(true);
        ReadAvrFuses125();
        for (int i = 0; i < AvrFuse125Count; ++i) Fuses125(i)->setCurrentIndex(AvrFuses125[i] & 1);
        RadioGroupSecMode->SetItemIndex(AvrLockMode125);
    } else {
        GroupBox90S1200->setEnabled(true);
        GroupBox90S1200->setVisible(true);
        LabelSPEN->setText("&SPIEN Fuse");
        LabelFSTR->setText(DeviceVariant == 0 ? "&FSTR Fuse" : "&RCEN Fuse");
        if (CurrentAlgorithm == 117) {
            ReadAvrFuses117();
        } else {
            ReadAvrFuses119();
        }
        ComboBoxSPEN->setCurrentIndex(AvrFuseSpien & 1);
        ComboBoxFSTR->setCurrentIndex(AvrFuseFstr & 1);
        RadioGroupSecMode->SetItemIndex(AvrLockMode);
    }
    loading_ = false;
}

// Stores the controls in the fuse variables of the current row.
void TOptAt90Sxx1::Change() {
    if (loading_) return;
    const int mode = RadioGroupSecMode->ItemIndex();
    if (CurrentAlgorithm == 125) {
        for (int i = 0; i < AvrFuse125Count; ++i)
            if (Fuses125(i)->currentIndex() >= 0) AvrFuses125[i] = Fuses125(i)->currentIndex();
        if (mode >= 0) AvrLockMode125 = mode;
    } else {
        if (ComboBoxSPEN->currentIndex() >= 0) AvrFuseSpien = ComboBoxSPEN->currentIndex();
        if (ComboBoxFSTR->currentIndex() >= 0) AvrFuseFstr = ComboBoxFSTR->currentIndex();
        if (mode >= 0) AvrLockMode = mode;
    }
}

void TOptAt90Sxx1::ButtonProgramClick() {
    const int r = CurrentAlgorithm == 125   ? WriteAvrFuses125()
                  : CurrentAlgorithm == 117 ? WriteAvrFuses117()
                                            : WriteAvrFuses119();
    AvrFuseResult = r;
    ShowMessageLine(r != 1 ? "Option Fuse Program Error!" : "Option Fuse Program Ok!");
    Beep(r);
    close();
}

int RunAvrFuseDialog() {
    TOptAt90Sxx1 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
