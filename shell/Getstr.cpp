#include "shell/Getstr.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/EditText.h"

TGetString::TGetString(QWidget* parent) : QDialog(parent) {
    setObjectName("GetString");
    setWindowTitle("GetString");
    Label1 = new QLabel("Device Name", this);
    Label1->setObjectName("Label1");
    EditString = new QLineEdit(this);
    EditString->setObjectName("EditString");
    Label1->setBuddy(EditString);
    ButtonOk = new QPushButton("OK", this);
    ButtonOk->setObjectName("ButtonOk");
    ButtonOk->setDefault(true);
    ButtonCancel = new QPushButton("Cancel", this);
    ButtonCancel->setObjectName("ButtonCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(Label1);
    outer->addWidget(EditString);
    outer->addLayout(buttons);
    connect(ButtonOk, &QPushButton::clicked, this, [this] { done(ModalOk); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(ModalCancel); });
}
