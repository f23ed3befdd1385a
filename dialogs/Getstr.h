// "GetString": a one-line name prompt. The caller places it, may set its
// caption, label and edit text, shows it modally (OK gives 1) and reads
// EditString back.
#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TGetString : public QDialog {
    Q_OBJECT
  public:
    explicit TGetString(QWidget* parent = nullptr);
    QLabel* Label1 = nullptr; // "Device Name"
    QLineEdit* EditString = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;
};
