#include "dialogs/DialogKit.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "engine/OperationState.h"

bool EditorsLocked() {
    return OperationBusy.load();
}

bool IsHexDigit(QChar c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton("OK", dialog);
    ok->setObjectName("ButtonOk");
    ok->setDefault(true);
    cancel = new QPushButton("Cancel", dialog);
    cancel->setObjectName("ButtonCancel");
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

QLineEdit* FilteredEdit(QDialog* dialog, const char* name, int maxLength, QObject* filter) {
    auto* e = new QLineEdit(dialog);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    e->installEventFilter(filter);
    return e;
}

void ShowErrorBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, "Error", text, QMessageBox::Ok, parent);
    box.exec();
}

bool AbortWhileLocked(QDialog* dialog) {
    if (!EditorsLocked()) return false;
    dialog->done(ModalAbort);
    return true;
}

void RefuseDialogValues(QDialog* dialog, const QString& text, QLineEdit* field) {
    ShowErrorBox(dialog, text);
    if (field) {
        field->selectAll();
        field->setFocus();
    }
    dialog->done(ModalAbort);
}

bool RefuseNonHexFields(QDialog* dialog, std::initializer_list<HexField> fields) {
    for (const HexField& f : fields) {
        for (QChar c : f.Edit->text()) {
            if (!IsHexDigit(c)) {
                RefuseDialogValues(dialog, QString("%1: not a hexadecimal number.").arg(f.Label), f.Edit);
                return true;
            }
        }
    }
    return false;
}

bool RefuseReversedRange(QDialog* dialog, uint32_t start, uint32_t end, QLineEdit* startField) {
    if (static_cast<int32_t>(start) <= static_cast<int32_t>(end)) return false;
    RefuseDialogValues(dialog, "Buffer End must begger than Buffer Start.", startField);
    return true;
}
