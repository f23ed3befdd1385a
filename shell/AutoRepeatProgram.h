// The auto-repeat dialog: while it is open, a timer starts the chosen
// operation every 500 ms; a start made while a run is still going is refused
// and the next tick tries again, so runs follow one another.
#pragma once
#include <QDialog>
#include <cstdint>

class QComboBox;
class QPushButton;
class QTimer;

// The combo box entry chosen last (program-wide, 0 at start).
extern int RepeatFunctionIndex;

class TAutoRepeatProgram1 : public QDialog {
    Q_OBJECT
  public:
    explicit TAutoRepeatProgram1(QWidget* parent = nullptr);

    QComboBox* ComboBoxFunction = nullptr; // entries carry their OperationCode
    QPushButton* BitBtn1 = nullptr;        // "&Close"
    QTimer* Timer1 = nullptr;              // 500 ms, running from creation

    // The operation of the chosen entry, -1 when none is chosen.
    int ChosenOperation() const;

  public slots:
    // Keeps the choice, stops the repeats and asks a running operation to
    // stop; the dialog closes with OK.
    void BitBtn1Click();
    // Starts the chosen operation: 0 started, -1 refused (a run is going or
    // nothing is chosen).
    int Timer1Timer();

  protected:
    // Esc is the close button's key.
    void keyPressEvent(QKeyEvent* event) override;
};

// Opens the dialog modally at the main window's Left + 320, Top + 100 and
// destroys it after it closes.
int ShowAutoRepeat(QWidget* parent = nullptr);
