#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>
#include <chrono>

namespace tavorline {

class QtSerialPort;

// An 11-pixel lamp that lights in its colour for a moment after activity and
// is white when dark.
class StatusLight : public QWidget {
    Q_OBJECT

public:
    // Long enough to see a single byte go by, short enough that a quiet line
    // looks quiet at once.
    static constexpr std::chrono::milliseconds kLitTime{100};

    explicit StatusLight(const QColor& litColour, QWidget* parent = nullptr);

    // Lights the lamp, or keeps it lit, for kLitTime from now. Painted at
    // once: the gateway often blocks the thread right after line activity.
    void flash();
    bool isLit() const { return lit_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void goDark();

    QColor litColour_;
    bool lit_ = false;
    QTimer darkTimer_;
};

// `LightCtrl`: the receive and transmit lamps following the terminal's line.
// The port reports activity only while the gateway has monitoring on.
class LightController : public QObject {
    Q_OBJECT

public:
    LightController(StatusLight& receiveLight, StatusLight& transmitLight,
                    QObject* parent = nullptr);

    void watch(const QtSerialPort& port);

private:
    StatusLight& receiveLight_;
    StatusLight& transmitLight_;
};

}  // namespace tavorline
