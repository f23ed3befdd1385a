#include "shell/Copy.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "dialogs/DialogKit.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Services.h"
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
    EditBufferStart = FilteredEdit(this, "EditBufferStart", 7, filter);
    EditBufferEnd = FilteredEdit(this, "EditBufferEnd", 7, filter);
    EditDestionation = FilteredEdit(this, "EditDestionation", 7, filter);
    auto* form = new QFormLayout;
    form->addRow("Buffer Start", EditBufferStart);
    form->addRow("Buffer End", EditBufferEnd);
    form->addRow("Destionation", EditDestionation);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(form);
    outer->addLayout(OkCancelRow(this, ButtonOk, ButtonCancel));
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
    if (AbortWhileLocked(this)) return;
    if (RefuseNonHexFields(this, {{EditBufferStart, "Buffer Start"},
                                  {EditBufferEnd, "Buffer End"},
                                  {EditDestionation, "Destionation"}}))
        return;
    CopyStart = HexFieldValue(EditBufferStart->text());
    CopyEnd = HexFieldValue(EditBufferEnd->text());
    CopyDestination = HexFieldValue(EditDestionation->text());
    if (RefuseReversedRange(this, CopyStart, CopyEnd, EditBufferStart)) return;
    if (CopyBufferRange(CopyStart, CopyEnd, CopyDestination) < 0) {
        RefuseDialogValues(this, QString::fromStdString(ErrorTextByCode(50)));
        return;
    }
    ShowValues();
    done(ModalOk);
}
