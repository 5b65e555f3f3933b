#include "qt/desktop/status_light.h"

#include <QPainter>

#include "qt/qt_serial_port.h"

namespace tavorline {
namespace {

constexpr int kSide = 11;
const QColor kDarkColour = Qt::white;
const QColor kRimColour{0x80, 0x80, 0x80};

}  // namespace

StatusLight::StatusLight(const QColor& litColour, QWidget* parent)
    : QWidget(parent), litColour_(litColour) {
    setFixedSize(kSide, kSide);
    darkTimer_.setSingleShot(true);
    darkTimer_.setInterval(kLitTime);
    connect(&darkTimer_, &QTimer::timeout, this, &StatusLight::goDark);
}

void StatusLight::flash() {
    darkTimer_.start();
    if (lit_) return;
    lit_ = true;
    repaint();
}

void StatusLight::goDark() {
    lit_ = false;
    update();
}

void StatusLight::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(kRimColour);
    painter.setBrush(lit_ ? litColour_ : kDarkColour);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

LightController::LightController(StatusLight& receiveLight, StatusLight& transmitLight,
                                 QObject* parent)
    : QObject(parent), receiveLight_(receiveLight), transmitLight_(transmitLight) {
    setObjectName(QStringLiteral("LightCtrl"));
}

void LightController::watch(const QtSerialPort& port) {
    connect(&port, &QtSerialPort::received, &receiveLight_, &StatusLight::flash);
    connect(&port, &QtSerialPort::transmitted, &transmitLight_, &StatusLight::flash);
}

}  // namespace tavorline
