#include "shell/Copy.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "shell/EditText.h"

uint32_t CopyStart = 0;
uint32_t CopyEnd = 0;
uint32_t CopyDestination = 0;

void ResetCopyState() {
    CopyStart = 0;
    CopyEnd = 0;
    CopyDestination = 0;
}

int CopyBufferRange(uint32_t start, uint32_t end, uint32_t destination) {
    if (end < start) return -1;
    const uint64_t count = static_cast<uint64_t>(end) - start + 1;
    const uint64_t reach = std::max<uint64_t>(end, destination + count - 1);
    if (reach >= BufferImageCapacity()) return -1;
    const uint32_t remembered = CurrentBank;
    if (!SelectBank(static_cast<uint32_t>(reach), 1)) return -1;
    SelectBank(remembered << 16, 0);
    uint8_t* image = BufferImage();
    std::memmove(image + destination, image + start, static_cast<size_t>(count));
    return 1;
}

TCopy1::TCopy1(QWidget* parent) : QDialog(parent) {
    setObjectName("Copy1");
    setWindowTitle("Copy Buffer");
    auto* filter = new HexKeyFilter(this, false, true);
    auto makeEdit = [&](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(7);
        e->installEventFilter(filter);
        return e;
    };
    EditBufferStart = makeEdit("EditBufferStart");
    EditBufferEnd = makeEdit("EditBufferEnd");
    EditDestionation = makeEdit("EditDestionation");
    auto* form = new QFormLayout;
    form->addRow("Buffer Start", EditBufferStart);
    form->addRow("Buffer End", EditBufferEnd);
    form->addRow("Destionation", EditDestionation);
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
    connect(ButtonOk, &QPushButton::clicked, this, &TCopy1::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(ModalCancel); });
    ShowValues();
}

void TCopy1::ShowValues() {
    EditBufferStart->setText(QString::asprintf("%X", CopyStart));
    EditBufferEnd->setText(QString::asprintf("%X", CopyEnd));
    EditDestionation->setText(QString::asprintf("%X", CopyDestination));
}

void TCopy1::ButtonOkClick() {
    if (EditorsLocked()) {
        done(ModalAbort);
        return;
    }
    CopyStart = HexFieldValue(EditBufferStart->text());
    CopyEnd = HexFieldValue(EditBufferEnd->text());
    CopyDestination = HexFieldValue(EditDestionation->text());
    if (static_cast<int32_t>(CopyStart) > static_cast<int32_t>(CopyEnd)) {
        QMessageBox box(QMessageBox::Information, "Error", "Buffer End must begger than Buffer Start.",
                        QMessageBox::Ok, this);
        box.exec();
        EditBufferStart->selectAll();
        EditBufferStart->setFocus();
        done(ModalAbort);
        return;
    }
    if (CopyBufferRange(CopyStart, CopyEnd, CopyDestination) < 0) {
        QMessageBox box(QMessageBox::Information, "Error", QString::fromStdString(ErrorTextByCode(50)),
                        QMessageBox::Ok, this);
        box.exec();
        done(ModalAbort);
        return;
    }
    ShowValues();
    done(ModalOk);
}
