// "Option": the lock-level dialog of the flash 8051 rows. A radio group
// "Protect" offers lock bit 1, lock bits 1 and 2 and, on the three-lock-bit
// rows, lock bits 1, 2 and 3; "&Close" (also ESC) stores the choice into
// LockBitLevel or, on row 106, LockBitLevel106. Closing by the title bar
// stores nothing.
#pragma once
#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QPushButton;

class TOptAT89C5x1 : public QDialog {
    Q_OBJECT
  public:
    explicit TOptAT89C5x1(QWidget* owner = nullptr);

    QGroupBox* RadioGroupOpt = nullptr;
    QPushButton* BitBtnClose = nullptr;

    // The checked item, -1 when none.
    int ItemIndex() const;
    int ItemCount() const;

    void BitBtnCloseClick();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QButtonGroup* items_ = nullptr;
    int* setting_ = nullptr; // the setting the group edits
};

// Shows the dialog at the main form's Left + 320, Top + 100, modally, and
// deletes it; returns 1.
int RunLockLevelDialog();
