// "Vector Test": the test vectors of the selected PLD in the vector grid,
// the test settings and the test of the programmed part in the socket. The
// grid's width is the pin count of the device's package; vectors held for
// another pin count are not shown (cut by this one each line would take pins
// of the next), a note under the grid says whose they are.
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
    // The note that the vectors held are for another pin count; empty and
    // hidden otherwise.
    QLabel* LabelVectorPins = nullptr;

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
    bool LinesShown() const override { return !ForAnotherPinCount(); }

private:
    // The list holds vectors, and they are for another pin count than the
    // device's `own`.
    bool ForAnotherPinCount(int own) const;
    bool ForAnotherPinCount() const { return ForAnotherPinCount(pins); }
    // The note for the list and the device's pins.
    void ShowVectorOwner(int own);
};

// The form created at start-up; nullptr before CreateVectorTestForm.
TEditvector* VectorTestForm();
void CreateVectorTestForm(QWidget* owner);
