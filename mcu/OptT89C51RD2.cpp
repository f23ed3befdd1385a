#include "mcu/OptT89C51RD2.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/NeighbourState.h"
#include "engine/Services.h"
#include "mcu/T89C51RD2.h"

TOptT89C51RD21::TOptT89C51RD21(QWidget* owner) : QDialog(owner) {
    setObjectName("OptT89C51RD21");
    setWindowTitle("Option");
    auto* layout = new QVBoxLayout(this);
    GroupBox1 = new QGroupBox("&Option", this);
    GroupBox1->setObjectName("GroupBox1");
    auto* grid = new QGridLayout(GroupBox1);
    auto add = [this, grid](int row, const char* name, const char* caption, const QStringList& items,
                            QLabel*& label, QComboBox*& combo) {
        label = new QLabel(caption, GroupBox1);
        label->setObjectName(QString("Label") + name);
        combo = new QComboBox(GroupBox1);
        combo->setObjectName(QString("ComboBox") + name);
        combo->addItems(items);
        label->setBuddy(combo);
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1);
    };
    add(0, "LockBits", "Lock Bits HSB[2:0]", {"LEVEL1-UUU", "LEVEL2-UUP", "LEVEL3-UPx", "LEVEL4-Pxx"}, LabelLockBits,
        ComboBoxLockBits);
    add(1, "BLLB", "BLLB HSB[5]", {"0", "1"}, LabelBLLB, ComboBoxBLLB);
    add(2, "BLJB", "BLJB HSB[6]", {"0", "1"}, LabelBLJB, ComboBoxBLJB);
    add(3, "SB", "SB HSB[7]", {"0", "1"}, LabelSB, ComboBoxSB);
    layout->addWidget(GroupBox1);
    auto button = [this, layout](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        layout->addWidget(b);
        return b;
    };
    ButtonRdHSB = button("ButtonRdHSB", "&Read HSB");
    ButtonPgmHSB = button("ButtonPgmHSB", "&Program HSB");
    BitBtn1 = button("BitBtn1", "&Close");
    ShowSettings();
    for (QComboBox* c : {ComboBoxLockBits, ComboBoxBLLB, ComboBoxBLJB, ComboBoxSB})
        connect(c, &QComboBox::currentIndexChanged, this, &TOptT89C51RD21::ComboBoxChange);
    connect(ButtonRdHSB, &QPushButton::clicked, this, &TOptT89C51RD21::ButtonRdHSBClick);
    connect(ButtonPgmHSB, &QPushButton::clicked, this, &TOptT89C51RD21::ButtonPgmHSBClick);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(1); });
}

void TOptT89C51RD21::ShowSettings() {
    // Setting the indexes raises the change handler; it must not take the
    // half-shown choices back meanwhile.
    showing_ = true;
    ComboBoxLockBits->setCurrentIndex(HsbLockLevel128);
    ComboBoxBLLB->setCurrentIndex(HsbBllb128);
    ComboBoxBLJB->setCurrentIndex(HsbBljb128);
    ComboBoxSB->setCurrentIndex(HsbSb128);
    showing_ = false;
}

void TOptT89C51RD21::ComboBoxChange() {
    if (showing_) return;
    auto take = [](const QComboBox* c, int& setting) {
        if (c->currentIndex() >= 0) setting = c->currentIndex();
    };
    take(ComboBoxLockBits, HsbLockLevel128);
    take(ComboBoxBLLB, HsbBllb128);
    take(ComboBoxBLJB, HsbBljb128);
    take(ComboBoxSB, HsbSb128);
}

void TOptT89C51RD21::ButtonRdHSBClick() {
    ReadHsb128();
    ShowSettings();
    SkipIdCheck = 0;
}

void TOptT89C51RD21::ButtonPgmHSBClick() {
    ProgramHsb128();
    SkipIdCheck = 0;
}

int RunT89C51RD2Dialog() {
    TOptT89C51RD21 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
