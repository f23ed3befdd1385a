#include "logic/Opt16v8.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include "dialogs/FontFit.h"
#include "engine/Services.h"
#include "logic/PalEmulation.h"

TOptRal::TOptRal(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Option");
    setFixedSize(178, 175);
    QFont f("MS Sans Serif");
    f.setPixelSize(11);
    setFont(f);

    ListBoxDev = new QListWidget(this);
    ListBoxDev->setObjectName("ListBoxDev");
    BitBtnOk = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
    BitBtnOk->setObjectName("BitBtnOk");
    BitBtnOk->setGeometry(96, 8, 75, 25);
    BitBtnOk->setDefault(true);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(96, 40, 75, 25);
    RadioGroupSleepMode = new QGroupBox("Sleep Mode", this);
    RadioGroupSleepMode->setObjectName("RadioGroupSleepMode");
    RadioGroupSleepMode->setGeometry(8, 120, 81, 49);
    auto* sleep = new QButtonGroup(RadioGroupSleepMode);
    sleep->setObjectName("SleepModeItems");
    const char* const items[2] = {"Disable", "Enable"};
    for (int i = 0; i < 2; ++i) {
        auto* b = new QRadioButton(items[i], RadioGroupSleepMode);
        b->setGeometry(8, 14 + 16 * i, 70, 16);
        sleep->addButton(b, i);
    }
    sleep->button(0)->setChecked(true);
    setTabOrder(ListBoxDev, BitBtnOk);
    setTabOrder(BitBtnOk, BitBtn2);
    setTabOrder(BitBtn2, RadioGroupSleepMode);

    const bool showSleep = OptRalShowSleepMode == 1;
    RadioGroupSleepMode->setVisible(showSleep);
    ListBoxDev->setGeometry(8, 8, 81, showSleep ? 108 : 162);
    ListBoxDev->clear();
    const int set = OptRalUse20V8List != 0 ? 1 : 0;
    for (const char* name : PalEmulationNames[set]) ListBoxDev->addItem(name);
    ListBoxDev->setCurrentRow(PalEmulationIndex);

    connect(BitBtnOk, &QPushButton::clicked, this, &TOptRal::BitBtnOkClick);
    connect(ListBoxDev, &QListWidget::itemDoubleClicked, this, [this] { BitBtnOkClick(); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    FitToFont(this);
}

TOptRal::~TOptRal() = default;

int TOptRal::SleepModeIndex() const {
    const auto* group = RadioGroupSleepMode->findChild<QButtonGroup*>("SleepModeItems");
    return group != nullptr ? group->checkedId() : -1;
}

void TOptRal::BitBtnOkClick() {
    ApplyPalEmulationChoice(ListBoxDev->currentRow(), OptRalUse20V8List);
    done(QDialog::Accepted);
}

int ShowOptRalDialog() {
    TOptRal dialog;
    dialog.move(GetMainFormLeft() + 220, GetMainFormTop() + 40);
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}

void InstallOptRalDialog() { ShowOptRalDialogHook = ShowOptRalDialog; }
