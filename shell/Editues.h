// The user electronic signature editor ("Edit Ues"): the 8 bytes of the
// 64 fuses from UesFuseStart, edited as text and shown in hexadecimal and
// as fuse symbols. Byte i is fuses UesFuseStart + 8i .. + 8i + 7, the first
// fuse being its most significant bit.
#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TEditUes_ : public QWidget {
    Q_OBJECT
public:
    explicit TEditUes_(QWidget* parent = nullptr);
    QLineEdit* EditAsc = nullptr;
    QLineEdit* EditHex = nullptr;
    QPlainTextEdit* MemoBin = nullptr;
    QPushButton* ButtonClose = nullptr;

    // Working copy.
    uint8_t Bytes[8] = {};
    char Chars[8] = {};
    char Symbols[64] = {};
    // 0 while the form is being filled.
    int Loading = 1;
    // The text of EditAsc before the user's last change.
    QString Shown;

    // Reads the signature from the fuses and shows it.
    void LoadUes();
    void SetRunning(bool running);

public slots:
    void FormActivate();
    void EditAscChange();
    void ButtonCloseClick();

protected:
    bool event(QEvent* event) override;

private:
    void ReadFuses();
    void ShowHexAndBin();
};

extern QPointer<TEditUes_> EditUes_;

// The current device has a signature to edit: a PLD with a UesFuseStart.
bool UesOffered();
