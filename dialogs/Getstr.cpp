#include "dialogs/Getstr.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/DialogKit.h"

TGetString::TGetString(QWidget* parent) : QDialog(parent) {
    setObjectName("GetString");
    setWindowTitle("GetString");
    Label1 = new QLabel("Device Name", this);
    Label1->setObjectName("Label1");
    EditString = new QLineEdit(this);
    EditString->setObjectName("EditString");
    Label1->setBuddy(EditString);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(Label1);
    outer->addWidget(EditString);
    outer->addLayout(OkCancelRow(this, ButtonOk, ButtonCancel));
    connect(ButtonOk, &QPushButton::clicked, this, [this] { done(ModalOk); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(ModalCancel); });
}
