#include "mcu/OptW78E5x.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "engine/Device.h"
#include "engine/Services.h"
#include "mcu/W78E5x.h"

namespace {

// Which options a variant uses: MOV execute, encryption, oscillator gain.
struct Shown {
    bool mov, encryption, osc, load;
};
Shown ShownFor(uint32_t variant) {
    switch (variant) {
    case 0:
        return {true, false, false, true};
    case 1:
        return {true, true, true, true};
    case 2:
        return {true, true, false, true};
    default:
        return {true, true, true, false};
    }
}

} // namespace

TOptW78E5x1::TOptW78E5x1(QWidget* owner) : QDialog(owner) {
    setObjectName("OptW78E5x1");
    setWindowTitle("Option");
    auto* grid = new QGridLayout(this);
    auto add = [this, grid](int row, const char* name, const char* caption, QStringList items, QLabel*& label,
                            QComboBox*& combo) {
        label = new QLabel(caption, this);
        label->setObjectName(QString("Label") + name);
        combo = new QComboBox(this);
        combo->setObjectName(QString("ComboBox") + name);
        combo->addItems(items);
        label->setBuddy(combo);
        combo->installEventFilter(this);
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1);
    };
    add(0, "MovExecute", "&MOV execute", {"Disable", "Enable"}, LabelMovExecute, ComboBoxMovExecute);
    add(1, "Encryption", "&Encryption", {"Disable", "Enable"}, LabelEncryption, ComboBoxEncryption);
    add(2, "OscControl", "&Osc Control", {"Full gain", "1/2 gain "}, LabelOscControl, ComboBoxOscControl);
    BitBtn1 = new QPushButton("&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    grid->addWidget(BitBtn1, 3, 1);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(1); });

    const Shown s = ShownFor(DeviceVariant);
    LabelMovExecute->setVisible(s.mov);
    ComboBoxMovExecute->setVisible(s.mov);
    LabelEncryption->setVisible(s.encryption);
    ComboBoxEncryption->setVisible(s.encryption);
    LabelOscControl->setVisible(s.osc);
    ComboBoxOscControl->setVisible(s.osc);
    if (s.load) LoadSpecialRegisterControls();
}

void TOptW78E5x1::LoadSpecialRegisterControls() {
    const Shown s = ShownFor(DeviceVariant);
    if (s.mov) ComboBoxMovExecute->setCurrentIndex(SpecialRegisterMovExecute);
    if (s.encryption) ComboBoxEncryption->setCurrentIndex(SpecialRegisterEncryption);
    if (s.osc) ComboBoxOscControl->setCurrentIndex(SpecialRegisterOscControl);
}

void TOptW78E5x1::Change() {
    // A combo left without a choice keeps the option as it was.
    auto take = [](const QComboBox* c, int& option) {
        if (!c->isHidden() && c->currentIndex() >= 0) option = c->currentIndex();
    };
    take(ComboBoxMovExecute, SpecialRegisterMovExecute);
    take(ComboBoxEncryption, SpecialRegisterEncryption);
    take(ComboBoxOscControl, SpecialRegisterOscControl);
}

bool TOptW78E5x1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) Change();
    return QDialog::eventFilter(watched, event);
}

int RunW78E5xDialog() {
    TOptW78E5x1 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
