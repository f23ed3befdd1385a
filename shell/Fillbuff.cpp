#include "shell/Fillbuff.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Services.h"
#include "shell/EditText.h"

uint32_t FillStart = 0;
uint32_t FillEnd = 0;
uint32_t FillValue = 0;

void ResetFillState() {
    FillStart = 0;
    FillEnd = 0;
    FillValue = 0;
}

TFill1::TFill1(QWidget* parent) : QDialog(parent) {
    setObjectName("Fill1");
    setWindowTitle("Fill Buffer");
    // The fields take upper-cased hexadecimal digits only.
    auto* filter = new HexKeyFilter(this, true, false);
    auto makeEdit = [&](const char* name, int length) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(length);
        e->installEventFilter(filter);
        return e;
    };
    EditBufferStart = makeEdit("EditBufferStart", 7);
    EditBufferEnd = makeEdit("EditBufferEnd", 7);
    EditData = makeEdit("EditData", 2);
    auto* form = new QFormLayout;
    form->addRow("Buffer Start", EditBufferStart);
    form->addRow("Buffer End", EditBufferEnd);
    form->addRow("Fill Data", EditData);
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
    outer->addLayout(form);
    outer->addLayout(buttons);
    connect(ButtonOk, &QPushButton::clicked, this, &TFill1::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFill1::ButtonCancelClick);
    ShowValues();
}

void TFill1::ShowValues() {
    EditBufferStart->setText(QString::asprintf("%X", FillStart));
    EditBufferEnd->setText(QString::asprintf("%X", FillEnd));
    EditData->setText(QString::asprintf("%X", FillValue));
}

void TFill1::ButtonOkClick() {
    if (EditorsLocked()) {
        done(ModalAbort);
        return;
    }
    FillStart = HexFieldValue(EditBufferStart->text());
    FillEnd = HexFieldValue(EditBufferEnd->text());
    FillValue = HexFieldValue(EditData->text()) & 0xFF;
    const char* problem = nullptr;
    std::string tooLarge;
    if (static_cast<int32_t>(FillStart) > static_cast<int32_t>(FillEnd)) {
        problem = "Buffer End must begger than Buffer Start.";
    } else if (FillEnd >= BufferImageCapacity()) {
        tooLarge = ErrorTextByCode(50);
        problem = tooLarge.c_str();
    }
    if (problem) {
        QMessageBox box(QMessageBox::Information, "Error", problem, QMessageBox::Ok, this);
        box.exec();
        EditBufferStart->selectAll();
        EditBufferStart->setFocus();
        done(ModalAbort);
        return;
    }
    FillBufferRange(FillStart, FillEnd, FillValue);
    ShowValues();
    done(ModalOk);
}

void TFill1::ButtonCancelClick() { done(ModalCancel); }
