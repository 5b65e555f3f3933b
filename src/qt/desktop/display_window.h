#pragma once

#include <QWidget>
#include <array>

#include "app/ui_sink.h"

class QLineEdit;
class QPushButton;

namespace tavorline {

// `TFDisp`, "수신전문 내역": the last request from the terminal and the last
// response to it, each as a hex dump and as readable text. Filled on every
// message whether shown or not; closing it only hides it.
class TFDisp : public QWidget {
    Q_OBJECT

public:
    explicit TFDisp(QWidget* parent = nullptr);

    void setField(DisplayField field, const QString& text);
    QString field(DisplayField field) const;
    // Not modal: the counter keeps working while it is up.
    void showInFront();
    void BT_CLEARClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool FormKeyDown(const QKeyEvent& key);

    std::array<QLineEdit*, 4> fields_{};
    QPushButton* BT_CLEAR = nullptr;
};

}  // namespace tavorline
