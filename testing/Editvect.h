// "Vector Test": the test vectors of the selected PLD in the vector grid,
// the test settings and the test of the programmed part in the socket. The
// grid's width is the pin count of the device's package.
#pragma once
#include <functional>

#include "testing/EditVectorGrid.h"

class TEditvector : public TVectorGrid {
    Q_OBJECT
public:
    explicit TEditvector(QWidget* parent = nullptr);
    ~TEditvector() override;

    // Shows a modal dialog: its result (tests answer it instead).
    std::function<int(QDialog*)> ExecDialog;

    void FormActivate();
    void ButtonTestClick();
    // The per-line report of the test.
    void VectorTestLineCallback(const char* in, const char* out, int index);

protected:
    void showEvent(QShowEvent* event) override;
    void SettingsChanged() override;
    // The list is to hold vectors entered for this device's pins: a list
    // for another pin count is cleared first, never taken as the device's.
    void SymbolToStore() override;
};

// The form created at start-up; nullptr before CreateVectorTestForm.
TEditvector* VectorTestForm();
void CreateVectorTestForm(QWidget* owner);
