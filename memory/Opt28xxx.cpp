#include "memory/Opt28xxx.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "dialogs/FontFit.h"
#include "engine/Device.h"
#include "engine/Services.h"
#include "memory/PageFlash.h"

TOptProtect::TOptProtect(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Data Protection Mode");
    const bool lockout = DeviceSubVariant != 0;
    setFixedSize(lockout ? 232 : 210, lockout ? 205 : 100);
    RadioGroup1 = new QGroupBox("Protect", this);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioGroup1->setGeometry(8, 8, 110, 80);
    const char* captions[] = {"Disable", "Enable"};
    for (int i = 0; i < 2; ++i) {
        items_[i] = new QRadioButton(captions[i], RadioGroup1);
        items_[i]->setGeometry(10, 22 + 24 * i, 90, 20);
    }
    BitBtnOk = new QPushButton("OK", this);
    BitBtnOk->setObjectName("BitBtnOk");
    BitBtnOk->setGeometry(128, 30, 75, 25);
    auto button = [this, lockout](const char* name, const char* caption, int y) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(8, y, 216, 25);
        b->setVisible(lockout);
        return b;
    };
    Button1 = button("Button1", "Read Boot Block Status", 100);
    Button2 = button("Button2", "Activate Lower(First) Boot Block Lockout", 134);
    Button3 = button("Button3", "Activate Upper(Last) Boot Block Lockout", 168);
    SetItemIndex(static_cast<int>(DataProtectMode));
    connect(BitBtnOk, &QPushButton::clicked, this, [this] { BitBtnOkClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    FitToFont(this);
}

int TOptProtect::ItemIndex() const {
    for (int i = 0; i < 2; ++i) {
        if (items_[i]->isChecked()) return i;
    }
    return -1;
}

void TOptProtect::SetItemIndex(int index) {
    if (index >= 0 && index < 2) items_[index]->setChecked(true);
}

void TOptProtect::BitBtnOkClick() {
    if (ItemIndex() >= 0) DataProtectMode = static_cast<uint32_t>(ItemIndex());
    accept();
}

void TOptProtect::Button1Click() { ReadBootBlockStatus1(); }

void TOptProtect::Button2Click() {
    ActivateBootBlockLockout1(2);
    ReadBootBlockStatus1();
}

void TOptProtect::Button3Click() {
    ActivateBootBlockLockout1(3);
    ReadBootBlockStatus1();
}

void ShowOptProtectDialog() {
    TOptProtect dialog(QApplication::activeWindow());
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
}

void InstallOptProtectDialog() { ShowOptProtectDialogHook = ShowOptProtectDialog; }
