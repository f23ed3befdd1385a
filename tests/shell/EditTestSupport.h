// Shared set-up of the buffer editor tests: the main window fixture with
// the dialogs' remembered values back at their start, and helpers that
// send keys to the edit the editor's cursor is in.
#pragma once
#include <QRadioButton>
#include <QScrollBar>

#include "ShellTestSupport.h"
#include "engine/RowHooks.h"
#include "shell/Copy.h"
#include "shell/EditText.h"
#include "shell/Editbit.h"
#include "shell/Editbyte.h"
#include "shell/Editues.h"
#include "shell/Fillbuff.h"
#include "shell/FindStr.h"

// Editors made by a test belong to the main window and go with it.
class EditorTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        ResetCopyState();
        ResetFillState();
        ResetFindState();
        ResetRowHooks();
    }
    // A fresh editor of type E in place of `ed`.
    template <class E>
    void Remake(E*& ed) {
        delete ed;
        ed = new E(form.get());
    }
    void TearDown() override {
        OperationBusy.store(false);
        ResetRowHooks();
        ShellTest::TearDown();
    }
};

// A key (with modifiers) to the edit the cursor is in, as the user's focus would.
template <class Editor>
void Press(Editor& ed, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(ed.CursorEdit(), key, mods);
}
// One typed character (any Unicode one) to a widget.
inline void TypeChar(QWidget* w, QChar c) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}
// Characters typed one by one at the cursor.
template <class Editor>
void Type(Editor& ed, const QString& text) {
    for (QChar c : text) TypeChar(ed.CursorEdit(), c);
}

// Makes the current device a programmable logic device with this fuse map.
inline void SelectFuseMap(uint32_t fuses, uint32_t rowLength, uint32_t uesStart = 0) {
    DeviceSection = SectionPld;
    DeviceFlags |= 8u;
    DeviceSize = fuses;
    FuseRowLength = rowLength;
    UesFuseStart = uesStart;
    SetupAddressRange();
}
