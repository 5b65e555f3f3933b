#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>

#include "pty_pair.h"
#include "qt/desktop/desktop_program.h"
#include "qt_wait.h"

// Readable failures: gtest would print a QString as its UTF-16 code units.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tavorline::testing {

inline QString utf8(const char* text) { return QString::fromUtf8(text); }

// Answers every message box the program shows with OK, keeping its text.
class ErrorBoxes {
public:
    ErrorBoxes() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts.push_back(box->text());
                box->accept();
            }
        });
        timer_.start();
    }
    QStringList texts;

private:
    QTimer timer_;
};

// Runs `action` on the modal window of type T as soon as one is up: for
// driving a dialog that a button opens with exec().
template <typename T>
void whenModal(std::function<void(T&)> action) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            action(*window);
        }
    });
    poll->start();
}

// The texts a label was painted with, each once for a run of paints.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QLabel& label) : label_(label) { label_.installEventFilter(this); }
    ~PaintedTexts() override { label_.removeEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool painted = watched == &label_ && event->type() == QEvent::Paint;
        if (painted && (texts.isEmpty() || texts.back() != label_.text())) {
            texts.push_back(label_.text());
        }
        return false;
    }

private:
    QLabel& label_;
};

// The desktop program in a temporary folder of its own, its terminal on a pty
// reached as COM6.
class DesktopFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        linkPort(6, line.slavePath());
        writeIni("EcPort=6\r\nEcSpeed=9600\r\n");
    }

    void TearDown() override {
        program.reset();
        runtime.reset();
        ui.reset();
    }

    std::filesystem::path folder() const { return QFile::encodeName(home.path()).toStdString(); }
    QString pathOf(const QString& name) const { return QDir(home.path()).filePath(name); }

    void linkPort(int number, const std::string& target) {
        const QByteArray link = QFile::encodeName(pathOf(QStringLiteral("COM%1").arg(number)));
        ::unlink(link.constData());
        ASSERT_EQ(::symlink(target.c_str(), link.constData()), 0);
    }

    void writeIni(const QByteArray& keys) {
        QFile ini(pathOf(QStringLiteral("vorn.Ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[VORN]\r\n" + keys);
    }

    std::string ini() const {
        QFile file(pathOf(QStringLiteral("vorn.Ini")));
        file.open(QIODevice::ReadOnly);
        return file.readAll().toStdString();
    }

    void startProgram(bool trayAvailable) {
        ui = std::make_unique<DesktopUi>();
        runtime = std::make_unique<GatewayRuntime>(folder(), *ui);
        program = std::make_unique<DesktopProgram>(*ui, *runtime, trayAvailable);
        program->start();
    }

    TFmain& window() { return ui->mainWindow(); }

    template <typename T>
    T& part(const char* name) {
        T* found = window().findChild<T*>(QString::fromLatin1(name));
        if (!found) throw std::runtime_error(std::string("no part named ") + name);
        return *found;
    }

    QString status() { return part<QLabel>("Lab_Bigo").text(); }

    QTemporaryDir home;
    PtyPair line;
    std::unique_ptr<DesktopUi> ui;
    std::unique_ptr<GatewayRuntime> runtime;
    std::unique_ptr<DesktopProgram> program;
};

}  // namespace tavorline::testing
