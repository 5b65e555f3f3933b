#pragma once

#include <QObject>

class QSocketNotifier;

namespace tavorline {

// SIGTERM and SIGINT as a Qt signal: the C handler only writes the signal's
// number into a socket pair, and the event loop reads it from there, so the
// orderly end runs as an ordinary event and never inside the handler.
// SIGPIPE is ignored while this exists: a vanished reader of the status lines
// must not kill the gateway in the middle of a payment.
// One instance at a time.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    int readEnd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tavorline
