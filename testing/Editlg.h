// "IC Test": the logic IC tester's window. The vector grid over the IC test
// list, the test settings (pins, supply, delay between lines, X level), the
// test of the part in the socket, the library editor ("&Select") and the
// search of the library for the part in the socket ("&Auto Find").
#pragma once
#include <functional>

#include "testing/EditVectorGrid.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TEditlg : public TVectorGrid {
    Q_OBJECT
public:
    explicit TEditlg(QWidget* parent = nullptr);
    ~TEditlg() override;

    QLabel* LabelIcName = nullptr;
    QPushButton* ButtonFile = nullptr;
    QPushButton* ButtonTest = nullptr;
    QPushButton* ButtonAutoFind = nullptr;
    QPushButton* ButtonClose = nullptr;
    QGroupBox* GroupBoxInfo = nullptr;
    QLineEdit* MaskEditPins = nullptr;
    QComboBox* ComboBoxXvalue = nullptr;
    QLineEdit* MaskEditVcc = nullptr;
    QSpinBox* UpDownVcc = nullptr;
    QLineEdit* MaskEditDelay = nullptr;
    QSpinBox* UpDownDelay = nullptr;

    short vcc = 50;
    short delayMs = 0;
    uint8_t xLevel = 1;

    // Shows a modal dialog: its result (tests answer it instead).
    std::function<int(QDialog*)> ExecDialog;

    void FormActivate();
    void ButtonCloseClick();
    void MaskEditPinsChange();
    void UpDownVccClick();
    void MaskEditVccKeyUp();
    void UpDownDelayClick();
    void MaskEditDelayKeyUp();
    void ComboBoxXvalueChange();
    void ButtonTestClick();
    void ButtonFileClick();
    void ButtonAutoFindClick();
    void SetupIcGrid();
    // The per-line report of the test: keeps the lines and moves the progress bar.
    void IcTestLineCallback(const char* in, const char* out, int index);

    // The last reported line, shown after a failure.
    QString failIn, failOut;
    int failIndex = 0;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The form created at start-up; nullptr before CreateIcTestForm.
TEditlg* IcTestForm();
void CreateIcTestForm(QWidget* owner);
