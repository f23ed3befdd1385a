#include "shell/Fillbuff.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/DialogKit.h"
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
    EditBufferStart = FilteredEdit(this, "EditBufferStart", 7, filter);
    EditBufferEnd = FilteredEdit(this, "EditBufferEnd", 7, filter);
    EditData = FilteredEdit(this, "EditData", 2, filter);
    auto* form = new QFormLayout;
    form->addRow("Buffer Start", EditBufferStart);
    form->addRow("Buffer End", EditBufferEnd);
    form->addRow("Fill Data", EditData);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(form);
    outer->addLayout(OkCancelRow(this, ButtonOk, ButtonCancel));
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
    if (AbortWhileLocked(this)) return;
    if (RefuseNonHexFields(this, {{EditBufferStart, "Buffer Start"},
                                  {EditBufferEnd, "Buffer End"},
                                  {EditData, "Fill Data"}}))
        return;
    FillStart = HexFieldValue(EditBufferStart->text());
    FillEnd = HexFieldValue(EditBufferEnd->text());
    FillValue = HexFieldValue(EditData->text()) & 0xFF;
    if (RefuseReversedRange(this, FillStart, FillEnd, EditBufferStart)) return;
    if (FillEnd >= BufferImageCapacity()) {
        RefuseDialogValues(this, QString::fromStdString(ErrorTextByCode(50)), EditBufferStart);
        return;
    }
    FillBufferRange(FillStart, FillEnd, FillValue);
    ShowValues();
    done(ModalOk);
}

void TFill1::ButtonCancelClick() { done(ModalCancel); }
