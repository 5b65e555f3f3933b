#include "qt/desktop/desktop_ui.h"

#include <QApplication>
#include <QMessageBox>

#include "qt/cp949.h"

namespace tavorline {

DesktopUi::DesktopUi() = default;

void DesktopUi::showStatus(BytesView text) { mainWindow_.disp_mess(fromCp949(text)); }

void DesktopUi::setTitle(BytesView text) { mainWindow_.setTitleLine(fromCp949(text)); }

void DesktopUi::setAddress(BytesView text) { mainWindow_.setAddressLine(fromCp949(text)); }

void DesktopUi::setDisplayField(DisplayField field, BytesView text) {
    displayWindow_.setField(field, fromCp949(text));
}

void DesktopUi::clearDisplay() { displayWindow_.BT_CLEARClick(); }

void DesktopUi::showDisplayWindow() { displayWindow_.showInFront(); }

// Above whatever the user is looking at: an open dialog, or the main window,
// which would otherwise keep itself on top of the box.
void DesktopUi::reportError(BytesView message) {
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner && mainWindow_.isVisible()) owner = &mainWindow_;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tavorline"), fromCp949(message),
                    QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.exec();
}

}  // namespace tavorline
