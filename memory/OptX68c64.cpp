#include "memory/OptX68c64.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "engine/Device.h"
#include "engine/Services.h"
#include "memory/MuxEeprom.h"

TOptXx8C64::TOptXx8C64(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Data Protect");
    setFixedSize(330, 250);
    RadioGroup1 = new QGroupBox("Protect Option", this);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioGroup1->setGeometry(8, 8, 180, 234);
    QCheckBox** boxes[] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4,
                           &CheckBox5, &CheckBox6, &CheckBox7, &CheckBox8};
    for (int n = 0; n < 8; ++n) {
        auto hex4 = [](int v) { return QString::number(v, 16).toUpper().rightJustified(4, '0'); };
        auto* box = new QCheckBox(QString("Protect %1h-%2h").arg(hex4(n * 0x400), hex4(n * 0x400 + 0x3FF)), RadioGroup1);
        box->setObjectName(QString("CheckBox%1").arg(n + 1));
        box->setGeometry(12, 22 + 26 * n, 160, 22);
        box->installEventFilter(this);
        *boxes[n] = box;
    }
    auto button = [this](const char* name, const char* caption, int y) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(200, y, 120, 25);
        return b;
    };
    ButtonWrote = button("ButtonWrote", "Write to device", 16);
    ButtonSetAll = button("ButtonSetAll", "Set All", 56);
    ButtonResetAll = button("ButtonResetAll", "Reset All", 88);
    ButtonToggle = button("ButtonToggle", "Toggle", 120);
    BitBtn1 = button("BitBtn1", "&Close", 210);
    Refresh();
    connect(ButtonWrote, &QPushButton::clicked, this, [this] { ButtonWroteClick(); });
    connect(ButtonSetAll, &QPushButton::clicked, this, [this] { ButtonSetAllClick(); });
    connect(ButtonResetAll, &QPushButton::clicked, this, [this] { ButtonResetAllClick(); });
    connect(ButtonToggle, &QPushButton::clicked, this, [this] { ButtonToggleClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    FitToFont(this);
}

QCheckBox* TOptXx8C64::Box(int n) const {
    QCheckBox* const boxes[] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4,
                                CheckBox5, CheckBox6, CheckBox7, CheckBox8};
    return boxes[n];
}

void TOptXx8C64::Refresh() {
    for (int n = 0; n < 8; ++n) Box(n)->setChecked(BlockProtectFlags[n] != 0);
}

bool TOptXx8C64::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && qobject_cast<QCheckBox*>(watched) != nullptr) CheckBox1Click();
    return QDialog::eventFilter(watched, event);
}

void TOptXx8C64::CheckBox1Click() {
    for (int n = 0; n < 8; ++n) BlockProtectFlags[n] = Box(n)->isChecked() ? 1 : 0;
}

void TOptXx8C64::ButtonSetAllClick() {
    for (uint32_t& f : BlockProtectFlags) f = 1;
    Refresh();
}

void TOptXx8C64::ButtonResetAllClick() {
    for (uint32_t& f : BlockProtectFlags) f = 0;
    Refresh();
}

void TOptXx8C64::ButtonToggleClick() {
    for (int n = 0; n < 8; ++n) BlockProtectFlags[n] = Box(n)->isChecked() ? 0 : 1;
    Refresh();
}

void TOptXx8C64::ButtonWroteClick() {
    if (CurrentAlgorithm == 9) {
        WriteBlockProtection9();
    } else {
        WriteBlockProtection8();
    }
}

void ShowOptXx8C64Dialog() {
    TOptXx8C64 dialog(QApplication::activeWindow());
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
}

void InstallOptXx8C64Dialog() { ShowOptXx8C64DialogHook = ShowOptXx8C64Dialog; }
