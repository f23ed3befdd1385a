// "RAM Test": the list of the eleven RAM types and the test of the part in
// the socket; each result is one line in the main window's log. ESC during
// the test, or closing the dialog, stops it at its next progress step.
#pragma once
#include <QDialog>

class QListWidget;
class QPushButton;

class TRamTest1 : public QDialog {
    Q_OBJECT
public:
    explicit TRamTest1(QWidget* parent = nullptr);

    QListWidget* ListBox1 = nullptr;
    QPushButton* ButtonTest = nullptr;
    QPushButton* BitBtnClose = nullptr;

    void ButtonTestClick();
    void BitBtnCloseClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool running_ = false;
};
