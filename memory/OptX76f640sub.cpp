#include "memory/OptX76f640sub.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/FontFit.h"
#include "memory/OptX76Dialog.h"
#include "memory/SecureSerial.h"

TOptX76F640Sub_::TOptX76F640Sub_(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Change Password");
    setFixedSize(260, 100);
    auto* label = new QLabel("New Password :", this);
    label->setGeometry(8, 15, 80, 18);
    MaskEditChange = new QLineEdit(this);
    MaskEditChange->setObjectName("MaskEditChange");
    SetupPasswordEdit(MaskEditChange);
    MaskEditChange->setGeometry(90, 12, 160, 22);
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(40, 60, 80, 25);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn2->setGeometry(140, 60, 80, 25);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
    FitToFont(this);
}

void TOptX76F640Sub_::FormCreate() { ShowPassword(MaskEditChange, X76NewPassword); }

void TOptX76F640Sub_::BitBtn1Click() {
    if (TakePassword(MaskEditChange, X76NewPassword)) accept();
    else reject(); // an incomplete entry changes nothing
}
