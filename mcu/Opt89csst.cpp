#include "mcu/Opt89csst.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "mcu/Sst89.h"

TOpt89CSST1::TOpt89CSST1(QWidget* owner) : QDialog(owner) {
    setObjectName("Opt89CSST1");
    setWindowTitle("Option");
    auto* layout = new QVBoxLayout(this);
    RadioGroupOpt = new QGroupBox("&Protect", this);
    RadioGroupOpt->setObjectName("RadioGroupOpt");
    auto* itemsLayout = new QVBoxLayout(RadioGroupOpt);
    items_ = new QButtonGroup(this);
    const char* texts[] = {"&HardLock", "&Block 1 (4KB)Lock", "&SoftLock"};
    for (int i = 0; i < 3; ++i) {
        auto* item = new QRadioButton(texts[i], RadioGroupOpt);
        items_->addButton(item, i);
        itemsLayout->addWidget(item);
    }
    layout->addWidget(RadioGroupOpt);

    Panel1 = new QWidget(this);
    Panel1->setObjectName("Panel1");
    auto* grid = new QGridLayout(Panel1);
    LabelSFST = new QLabel("SFST[7:5]", Panel1);
    ComboBoxSFST = new QComboBox(Panel1);
    ComboBoxSFST->addItems({"000", "100", "110", "101", "010", "001", "111"});
    LabelRB = new QLabel("RB[1:0]", Panel1);
    ComboBoxRB = new QComboBox(Panel1);
    ComboBoxRB->addItems({"00", "01", "10", "11"});
    grid->addWidget(LabelSFST, 0, 0);
    grid->addWidget(ComboBoxSFST, 0, 1);
    grid->addWidget(LabelRB, 1, 0);
    grid->addWidget(ComboBoxRB, 1, 1);
    layout->addWidget(Panel1);
    BitBtn1 = new QPushButton("Program Re-Map Bits", this);
    BitBtn1->setObjectName("BitBtn1");
    layout->addWidget(BitBtn1);
    BitBtnClose = new QPushButton("&Close", this);
    BitBtnClose->setObjectName("BitBtnClose");
    layout->addWidget(BitBtnClose);

    RadioGroupOpt->hide();
    if (QAbstractButton* chosen = items_->button(ProtectOption)) chosen->setChecked(true);
    Panel1->hide();
    BitBtn1->hide();
    ComboBoxSFST->setCurrentIndex(SfstOption);
    ComboBoxRB->setCurrentIndex(RemapOption);
    if (DeviceVariant == 0) RadioGroupOpt->show();
    if (DeviceVariant == 1) {
        Panel1->show();
        BitBtn1->show();
    }
    connect(BitBtnClose, &QPushButton::clicked, this, &TOpt89CSST1::BitBtnCloseClick);
    connect(ComboBoxRB, &QComboBox::currentIndexChanged, this, &TOpt89CSST1::ComboBoxRBChange);
    connect(BitBtn1, &QPushButton::clicked, this, &TOpt89CSST1::BitBtn1Click);
}

int TOpt89CSST1::ItemIndex() const { return items_->checkedId(); }

void TOpt89CSST1::BitBtnCloseClick() {
    ProtectOption = ItemIndex();
    SfstOption = ComboBoxSFST->currentIndex();
    reject();
}

void TOpt89CSST1::ComboBoxRBChange() { RemapOption = ComboBoxRB->currentIndex(); }

void TOpt89CSST1::BitBtn1Click() {
    SkipIdCheck = 0;
    const int r = ProgramRemapBits118();
    ShowMessageLine(r == 1 ? "Re-Map Program ok!" : "Re-Map Program error!");
    Beep(r);
}

int RunSst89Dialog() {
    TOpt89CSST1 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
