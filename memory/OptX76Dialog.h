// What the two password dialogs of the password-protected serial memories
// share: caption "Password Option", password edits bound to their slots, the
// change buttons that open the new-password sub-dialog and one handler that
// tells them apart by the button that sent the click.
//
// The edits take hexadecimal digits only, upper-cased, as eight pairs; a slot
// takes an edit's text only when all 16 digits are there (a password with a
// wrong digit would count against the chip's retry counter).
#pragma once
#include <QDialog>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

class TOptX76Dialog : public QDialog {
    Q_OBJECT
public:
    explicit TOptX76Dialog(QWidget* owner);

    void FormActivate();
    void MaskEditPasswordExit();
    void ButtonChangePasswordClick();

protected:
    // An edit at row y with its label, bound to a slot; in `box` (at its
    // coordinates) when given, else on the dialog.
    QLineEdit* AddPasswordEdit(const QString& label, int slot, int x, int y, int labelWidth, QWidget* box = nullptr);
    // A change button: the call it makes with the new password and the slot it updates on success.
    QPushButton* AddChangeButton(const QString& caption, std::function<int()> change, int slot, QRect at);
    void showEvent(QShowEvent* event) override;

private:
    struct Binding {
        QLineEdit* edit;
        int slot;
    };
    struct Change {
        QPushButton* button;
        std::function<int()> call;
        int slot;
    };
    std::vector<Binding> edits_;
    std::vector<Change> changes_;
};

// The password edits' mask and the conversions between an edit and a slot.
void SetupPasswordEdit(QLineEdit* edit);
void ShowPassword(QLineEdit* edit, const uint8_t* bytes);
// False (bytes unchanged) unless the edit holds all 16 digits.
bool TakePassword(const QLineEdit* edit, uint8_t* bytes);
// Shows a dialog modally at the main form's Left + 320, Top + 100.
int ShowOptX76Dialog(QDialog& dialog);
