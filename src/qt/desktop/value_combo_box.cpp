#include "qt/desktop/value_combo_box.h"

namespace tavorline {

ValueComboBox::ValueComboBox(std::span<const ValueItem> items, QWidget* parent)
    : QComboBox(parent) {
    setEditable(false);
    for (const ValueItem& item : items) {
        addItem(QString::fromLatin1(item.text.data(), static_cast<qsizetype>(item.text.size())));
    }
}

}  // namespace tavorline
