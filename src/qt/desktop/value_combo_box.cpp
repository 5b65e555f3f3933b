#include "qt/desktop/value_combo_box.h"

#include <QByteArray>

namespace tavorline {
namespace {

constexpr int kValueRole = Qt::UserRole;

}  // namespace

ValueComboBox::ValueComboBox(QWidget* parent) : QComboBox(parent) { setEditable(false); }

void ValueComboBox::addValueItem(const QString& text, BytesView value) {
    addItem(text, QByteArray(value.data(), static_cast<qsizetype>(value.size())));
}

bool ValueComboBox::selectByValue(BytesView value) {
    const QByteArray wanted(value.data(), static_cast<qsizetype>(value.size()));
    for (int index = 0; index < count(); ++index) {
        if (itemData(index, kValueRole).toByteArray() == wanted) {
            setCurrentIndex(index);
            return true;
        }
    }
    setCurrentIndex(0);
    return false;
}

Bytes ValueComboBox::selectedValue() const {
    if (currentIndex() < 0) return {};
    return currentData(kValueRole).toByteArray().toStdString();
}

}  // namespace tavorline
