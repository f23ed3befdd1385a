// "Copy Buffer": copies buffer bytes Buffer Start..Buffer End to the
// destination address, in memory (overlapping ranges included).
#pragma once
#include <QDialog>
#include <cstdint>

class QLineEdit;
class QPushButton;

// The last values entered (shown again by the next dialog).
extern uint32_t CopyStart;
extern uint32_t CopyEnd;
extern uint32_t CopyDestination;

// Copies buffer bytes start..end to destination as if the whole source were
// read first; the buffer grows to hold both ranges. Returns 1, or -1 (and
// changes nothing) when the buffer cannot hold them or end is below start.
int CopyBufferRange(uint32_t start, uint32_t end, uint32_t destination);

class TCopy1 : public QDialog {
    Q_OBJECT
public:
    explicit TCopy1(QWidget* parent = nullptr);
    QLineEdit* EditBufferStart = nullptr;
    QLineEdit* EditBufferEnd = nullptr;
    QLineEdit* EditDestionation = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

public slots:
    void ButtonOkClick();

private:
    void ShowValues();
};

// Start-up state of the remembered values.
void ResetCopyState();
