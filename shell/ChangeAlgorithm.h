// The Change Algorithm dialog: overrides the current device's programming
// parameters (voltages, pulse widths, pulse multiplier, retry count, page
// size). The items shown follow the ParameterGroup of the device's
// algorithm-table row; a value is taken only inside its limits.
#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>

class QGroupBox;
class QLabel;
class QLineEdit;

constexpr int kChangeAlgorithmItemCount = 10;

// One item: its caption, edit and unit label, the setting it writes and the
// limits in the setting's unit.
struct ChangeAlgorithmItem {
    QLabel* Caption = nullptr;
    QLineEdit* Edit = nullptr;
    QLabel* Unit = nullptr; // nullptr for items without a unit
};

class TChangeAlgorithm1 : public QDialog {
    Q_OBJECT
  public:
    explicit TChangeAlgorithm1(QWidget* parent = nullptr);

    QGroupBox* GroupBoxItems = nullptr;
    QLineEdit* EditVccp = nullptr;
    QLineEdit* EditVpp = nullptr;
    QLineEdit* EditReadVcc = nullptr;
    QLineEdit* EditReadVccLow = nullptr;
    QLineEdit* EditReadVccHigh = nullptr;
    QLineEdit* EditPulseWidth = nullptr;
    QLineEdit* EditOverPulseWidth = nullptr;
    QLineEdit* EditPulseMul = nullptr;
    QLineEdit* EditRetry = nullptr;
    QLineEdit* EditPage = nullptr;
    QPushButton* BitBtn1 = nullptr;
    // Indexed by item code (0 Vccp ... 9 Page).
    ChangeAlgorithmItem Items[kChangeAlgorithmItemCount];
    // The row of ChangeAlgorithmItemTable laid out (-1 none).
    int ParameterGroup = -1;

    // 0 fills every edit from the settings, 1 stores every edit into them.
    void TransferAlgorithmItems(int direction);

  public slots:
    // Leaving an edit: store, then show what is in force.
    void EditExit();
    void BitBtn1Click();

  protected:
    // Closing by Esc or the window button keeps the focused edit's value, as
    // leaving the field would.
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void LayoutItems();
};

// "None" for 0, else whole volts, a point and two-digit hundredths ("12.50").
QString FormatHundredths(uint32_t value);
// Volts typed with up to two decimals to hundredths ("12.5" 1250, "5.05" 505);
// a third decimal is ignored.
uint32_t ParseHundredths(const QString& text);

// Opens the dialog modally at the main window's Left + 320, Top + 100 and
// destroys it after it closes; the information panel then shows the values
// in force. -1 when refused: an operation runs, or the
// device has no adjustable parameters.
int ShowChangeAlgorithm(QWidget* parent = nullptr);
