// "Fill Buffer": fills buffer bytes Buffer Start..Buffer End with one value.
#pragma once
#include <QDialog>
#include <cstdint>

class QLineEdit;
class QPushButton;

// The last values entered (shown again by the next dialog).
extern uint32_t FillStart;
extern uint32_t FillEnd;
extern uint32_t FillValue;

class TFill1 : public QDialog {
    Q_OBJECT
public:
    explicit TFill1(QWidget* parent = nullptr);
    QLineEdit* EditBufferStart = nullptr;
    QLineEdit* EditBufferEnd = nullptr;
    QLineEdit* EditData = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

public slots:
    void ButtonOkClick();
    void ButtonCancelClick();

private:
    void ShowValues();
};

// Start-up state of the remembered values.
void ResetFillState();
