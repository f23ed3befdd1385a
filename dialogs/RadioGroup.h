// A captioned group of radio buttons with one index, as the selection and
// configuration dialogs use it: ItemIndex is the checked button (-1 none).
#pragma once
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

class TRadioGroup : public QGroupBox {
  public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent, int columns = 1)
        : QGroupBox(caption, parent), Buttons(new QButtonGroup(this)) {
        auto* grid = new QGridLayout(this);
        const int rows = columns > 0 ? (static_cast<int>(items.size()) + columns - 1) / columns : 1;
        for (int i = 0; i < items.size(); ++i) {
            auto* b = new QRadioButton(items[i], this);
            Buttons->addButton(b, i);
            grid->addWidget(b, i % rows, i / rows);
        }
    }

    int ItemIndex() const { return Buttons->checkedId(); }
    // An index outside the items leaves no button checked.
    void SetItemIndex(int index) {
        if (QAbstractButton* b = Buttons->button(index)) {
            b->setChecked(true);
            return;
        }
        if (QAbstractButton* checked = Buttons->checkedButton()) {
            Buttons->setExclusive(false);
            checked->setChecked(false);
            Buttons->setExclusive(true);
        }
    }
    QAbstractButton* Item(int index) const { return Buttons->button(index); }
    int Count() const { return static_cast<int>(Buttons->buttons().size()); }

    // Emits idClicked(index) when the user picks an item.
    QButtonGroup* Buttons;
};
