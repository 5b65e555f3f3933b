#pragma once

#include <QComboBox>
#include <span>

#include "app/settings_form.h"

namespace tavorline {

// A drop-down list of the items of one of the settings' lists, in their
// order, so that the selected index names the item's stored value.
class ValueComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit ValueComboBox(std::span<const ValueItem> items, QWidget* parent = nullptr);
};

}  // namespace tavorline
