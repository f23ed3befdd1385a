// The new-password sub-dialog of the password dialogs (caption "Change
// Password"): the shared new-password buffer in one edit; OK takes a complete
// entry into the buffer, Cancel (or an incomplete entry) leaves it.
#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;

class TOptX76F640Sub_ : public QDialog {
    Q_OBJECT
public:
    explicit TOptX76F640Sub_(QWidget* owner = nullptr);

    QLineEdit* MaskEditChange;
    QPushButton* BitBtn1; // OK
    QPushButton* BitBtn2; // Cancel

    void FormCreate();
    void BitBtn1Click();
};
