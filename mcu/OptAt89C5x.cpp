#include "mcu/OptAt89C5x.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "engine/Device.h"
#include "engine/Services.h"
#include "mcu/McuFrame.h"

namespace {

// The rows with three lock bits; the others (row 106) have two.
bool ThreeLockBits(uint32_t row) {
    for (uint32_t r : {105u, 126u, 178u, 187u, 193u, 197u, 199u}) {
        if (row == r) return true;
    }
    return false;
}

} // namespace

TOptAT89C5x1::TOptAT89C5x1(QWidget* owner) : QDialog(owner) {
    setObjectName("OptAT89C5x1");
    setWindowTitle("Option");
    auto* layout = new QVBoxLayout(this);
    RadioGroupOpt = new QGroupBox("Protect", this);
    RadioGroupOpt->setObjectName("RadioGroupOpt");
    auto* itemsLayout = new QVBoxLayout(RadioGroupOpt);
    items_ = new QButtonGroup(this);
    const bool three = ThreeLockBits(CurrentAlgorithm);
    QStringList texts{"Lock Bit 1", "Lock Bit 1,2"};
    if (three) texts << "Lock Bit 1,2,3";
    for (int i = 0; i < texts.size(); ++i) {
        auto* item = new QRadioButton(texts[i], RadioGroupOpt);
        items_->addButton(item, i);
        itemsLayout->addWidget(item);
    }
    setting_ = three ? &LockBitLevel : &LockBitLevel106;
    if (QAbstractButton* chosen = items_->button(*setting_)) chosen->setChecked(true);
    layout->addWidget(RadioGroupOpt);
    BitBtnClose = new QPushButton("&Close", this);
    BitBtnClose->setObjectName("BitBtnClose");
    BitBtnClose->setAutoDefault(false);
    layout->addWidget(BitBtnClose);
    connect(BitBtnClose, &QPushButton::clicked, this, &TOptAT89C5x1::BitBtnCloseClick);
}

int TOptAT89C5x1::ItemIndex() const { return items_->checkedId(); }
int TOptAT89C5x1::ItemCount() const { return static_cast<int>(items_->buttons().size()); }

void TOptAT89C5x1::BitBtnCloseClick() {
    *setting_ = ItemIndex();
    reject();
}

// ESC presses the cancel button, which stores the choice; the title-bar
// close goes through reject() alone.
void TOptAT89C5x1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        BitBtnClose->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

int RunLockLevelDialog() {
    TOptAT89C5x1 dialog;
    dialog.move(GetMainFormLeft() + 320, GetMainFormTop() + 100);
    dialog.exec();
    return 1;
}
