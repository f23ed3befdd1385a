// Building blocks of the small modal dialogs (copy, fill, find, name
// prompt, the algorithm folders' option dialogs): the results of a modal
// dialog, the OK/Cancel row, the hexadecimal entry fields and the error box.
#pragma once
#include <cstdint>
#include <initializer_list>

class QChar;
class QDialog;
class QHBoxLayout;
class QLineEdit;
class QObject;
class QPushButton;
class QString;
class QWidget;

// Results of the modal dialogs (OK is 1, as the callers test).
constexpr int ModalOk = 1;
constexpr int ModalCancel = 2;
constexpr int ModalAbort = 3;

// True while an operation runs: the editors do not touch the buffer then.
bool EditorsLocked();

// 0-9, A-F, a-f.
bool IsHexDigit(QChar c);

// The "OK" (default) and "Cancel" buttons, named ButtonOk and ButtonCancel,
// in a row aligned right.
QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);

// A named entry field of at most maxLength characters whose keys go
// through `filter`.
QLineEdit* FilteredEdit(QDialog* dialog, const char* name, int maxLength, QObject* filter);

// The "Error" information box.
void ShowErrorBox(QWidget* parent, const QString& text);

// While an operation runs the dialog changes nothing: it ends with
// ModalAbort (true).
bool AbortWhileLocked(QDialog* dialog);

// Refuses the values entered: the error box, then `field` (when given)
// selected and focused, and the dialog ends with ModalAbort.
void RefuseDialogValues(QDialog* dialog, const QString& text, QLineEdit* field = nullptr);

// Every field's whole text must be hexadecimal digits (empty reads as 0):
// keys are filtered, pasted text is not. The first field that is not is
// refused with "<label>: not a hexadecimal number." and selected. True when
// refused.
struct HexField {
    QLineEdit* Edit;
    const char* Label;
};
bool RefuseNonHexFields(QDialog* dialog, std::initializer_list<HexField> fields);

// A start above the end (compared as signed numbers) is refused with
// "Buffer End must begger than Buffer Start." and the start field selected.
// True when refused.
bool RefuseReversedRange(QDialog* dialog, uint32_t start, uint32_t end, QLineEdit* startField);
