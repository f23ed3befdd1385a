// "IC Test": the logic IC tester's window. The vector grid over the IC test
// list, the test settings (pins, supply, delay between lines, X level), the
// test of the part in the socket, the library editor ("&Select") and the
// search of the library for the part in the socket ("&Auto Find").
#pragma once
#include <functional>

#include "testing/EditVectorGrid.h"


class TEditlg : public TVectorGrid {
    Q_OBJECT
public:
    explicit TEditlg(QWidget* parent = nullptr);
    ~TEditlg() override;

    QLabel* LabelIcName = nullptr;
    QPushButton* ButtonFile = nullptr;
    QPushButton* ButtonAutoFind = nullptr;
    QLineEdit* MaskEditPins = nullptr;

    // Shows a modal dialog: its result (tests answer it instead).
    std::function<int(QDialog*)> ExecDialog;

    void FormActivate();
    void MaskEditPinsChange();
    void ButtonTestClick();
    void ButtonFileClick();
    void ButtonAutoFindClick();
    void SetupIcGrid();
    // The per-line report of the test: keeps the lines and moves the progress bar.
    void IcTestLineCallback(const char* in, const char* out, int index);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The form created at start-up; nullptr before CreateIcTestForm.
TEditlg* IcTestForm();
void CreateIcTestForm(QWidget* owner);
