#pragma once

#include <QComboBox>

#include "support/bytes.h"

namespace tavorline {

// A drop-down list whose items each carry the value stored for them in the
// configuration file (`ItemValues`): "ADSL" shows, "A" is stored.
class ValueComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit ValueComboBox(QWidget* parent = nullptr);

    void addValueItem(const QString& text, BytesView value);
    // Selects the first item whose value equals `value` exactly (case
    // counts); without one, selects the first item and reports false.
    bool selectByValue(BytesView value);
    // The stored value of the selected item; empty when nothing is selected.
    Bytes selectedValue() const;
};

}  // namespace tavorline
