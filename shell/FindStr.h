// "Find Data": the search pattern of the byte editor, entered as characters
// or as hexadecimal digits (each field mirrors the other while it is edited).
#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The find state: direction (0 down, 1 up), the characters (up to 16) and
// the hexadecimal digits (up to 32) the editor searches for.
extern uint32_t SearchDirection;
extern std::string SearchText;
extern std::string SearchHex;

class TFind1 : public QDialog {
    Q_OBJECT
public:
    explicit TFind1(QWidget* parent = nullptr);
    QGroupBox* RadioGroup1 = nullptr; // "Direction"
    QRadioButton* RadioDown = nullptr;
    QRadioButton* RadioUp = nullptr;
    QLineEdit* EditAsc = nullptr;
    QLineEdit* EditHex = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

    // The radio index (0 Down, 1 Up).
    int DirectionIndex() const;

public slots:
    void EditAscChange();
    void EditHexChange();
    void ButtonOkClick();
    void ButtonCancelClick();
};

// Start-up state of the find state.
void ResetFindState();
