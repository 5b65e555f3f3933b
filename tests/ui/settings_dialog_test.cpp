// The settings dialog against a real vorn.Ini: what it shows, what it writes
// and in which order, the keys that move the focus, and the flow behind the
// main window's 설정 button.
#include <QCheckBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "desktop_fixture.h"
#include "qt/cp949.h"
#include "qt/desktop/settings_dialog.h"
#include "qt/desktop/value_combo_box.h"

namespace tavorline {
namespace {

using testing::DesktopFixture;
using testing::ErrorBoxes;
using testing::PaintedTexts;
using testing::utf8;
using testing::whenModal;

class NoVersions : public VersionSource {
public:
    std::optional<VersionStrings> read() const override { return std::nullopt; }
};

class SettingsDialog : public DesktopFixture {
protected:
    void open() {
        config.Load_Config();
        dialog = std::make_unique<TFSET01>(config, dispMode, errorsShownBy);
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }

    template <typename T = QLineEdit>
    T& field(const char* name) {
        T* found = dialog->findChild<T*>(QString::fromLatin1(name));
        if (!found) throw std::runtime_error(std::string("no field named ") + name);
        return *found;
    }

    Bytes stored(BytesView key) const { return config.Ini_Read(kSection, key, config.iniPath()); }

    QString focused() const { return QApplication::focusWidget()->objectName(); }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    NoVersions versions;
    Configuration config{folder(), versions};
    DesktopUi errorsShownBy;
    bool dispMode = false;
    std::unique_ptr<TFSET01> dialog;
};

TEST_F(SettingsDialog, ShowsTheFileAsStored) {
    writeIni(QByteArray::fromStdString(
        toCp949(utf8("AdslAddr=203.0.113.5\r\nAdslSPort=7001\r\nDscAddr=10.1.1.1\r\n"
                     "DnAddr=가맹점\r\nEcPort=7\r\nEcSpeed=38400\r\nEcType=T\r\n"
                     "RsaYN=Y\r\nRsaPort=8100\r\n"))));
    open();
    EXPECT_EQ(dialog->windowTitle(), utf8("환경 설정 "));
    EXPECT_EQ(field("Edt_AdslAddr").text(), QStringLiteral("203.0.113.5"));
    EXPECT_EQ(field("Edt_UPAddr").text(), QStringLiteral("Empty"));
    EXPECT_EQ(field("Edt_DNAddr").text(), utf8("가맹점"));
    EXPECT_EQ(field<ValueComboBox>("CB_TAVO_PORT").currentText(), QStringLiteral("7"));
    EXPECT_EQ(field<ValueComboBox>("CB_TAVO_SPEED").currentText(), QStringLiteral("38400"));
    EXPECT_EQ(field<ValueComboBox>("CB_TAVO_TYPE").currentText(), QStringLiteral("TCP/IP"));
    EXPECT_EQ(field("Edt_DscAddr").text(), QStringLiteral("10.1.1.1"));
    EXPECT_FALSE(field("Edt_DscAddr").isEnabled());
    EXPECT_TRUE(field<QCheckBox>("CB_RSA").isChecked());
    EXPECT_FALSE(field<QCheckBox>("CB_RSA").isVisible());
    EXPECT_FALSE(field<QLabel>("Lab_Disp").isVisible());
    EXPECT_EQ(focused(), QStringLiteral("CB_TAVO_PORT"));
    // One fixed-pitch Korean face for captions and values alike.
    EXPECT_EQ(QFontInfo(field("Edt_AdslAddr").font()).family(), QFontInfo(dialog->font()).family());
}

// Keys new to the file are appended, so the file shows the order of the
// writes. A missing port and type "D" are no item, so the first items are
// saved; "y" is not "Y"; values go out as typed, in CP949; DSC is never written.
TEST_F(SettingsDialog, SaveWritesEveryKeyInOrderAsShown) {
    writeIni("EcType=D\r\nRsaYN=y\r\nDscAddr=10.1.1.1\r\n");
    open();
    field("Edt_AdslSPort").setText(utf8("신용-7001"));
    field<ValueComboBox>("CB_TAVO_SPEED").setCurrentText(QStringLiteral("115200"));
    field<QPushButton>("BT_SAVE").click();

    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(ini(),
              "[VORN]\r\nEcType=A\r\nRsaYN=N\r\nDscAddr=10.1.1.1\r\n"
              "AdslAddr=Empty\r\nAdslSPort=" +
                  toCp949(utf8("신용-7001")) +
                  "\r\nUpAddr=Empty\r\nUpPort=Empty\r\nDnAddr=Empty\r\nDnPort=Empty\r\n"
                  "EcPort=1\r\nEcSpeed=115200\r\nRsaPort=Empty\r\n");
}

// Bytes that are no CP949 show as U+FFFD; a field left alone is still
// written back as it was in the file, an edited one as typed.
TEST_F(SettingsDialog, SaveKeepsTheBytesOfFieldsNobodyEdited) {
    const QByteArray notCp949 = "\xFF\x80shop\xA1";
    writeIni("UpAddr=" + notCp949 + "\r\nRsaPort=" + notCp949 + "\r\nDnAddr=" + notCp949 + "\r\n");
    open();
    EXPECT_EQ(field("Edt_UPAddr").text(), utf8("\uFFFD\uFFFDshop\uFFFD"));
    field("Edt_DNAddr").setText(utf8("가맹점"));
    field<QPushButton>("BT_SAVE").click();

    EXPECT_EQ(stored("UpAddr"), "\xFF\x80shop\xA1");
    EXPECT_EQ(stored("RsaPort"), "\xFF\x80shop\xA1");
    EXPECT_EQ(stored("DnAddr"), toCp949(utf8("가맹점")));
}

// Enter and the arrows move through the nine fields in reading order and
// wrap; they never change a list's selection, type into a field or save.
// Escape leaves without writing, whatever was edited.
TEST_F(SettingsDialog, EnterAndArrowsMoveTheFocusRoundAndEscapeWritesNothing) {
    const std::string before = ini();
    open();
    const QStringList order{"CB_TAVO_PORT", "CB_TAVO_SPEED", "CB_TAVO_TYPE",
                            "Edt_AdslAddr", "Edt_AdslSPort", "Edt_UPAddr",
                            "Edt_UPPort",   "Edt_DNAddr",    "Edt_DNPort"};
    for (int step = 1; step <= order.size(); ++step) {
        press(Qt::Key_Return);
        EXPECT_EQ(focused(), order[step % order.size()]) << "after Enter number " << step;
    }
    press(Qt::Key_Up);
    EXPECT_EQ(focused(), QStringLiteral("Edt_DNPort"));
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    EXPECT_EQ(focused(), QStringLiteral("CB_TAVO_SPEED"));
    press(Qt::Key_Up);
    EXPECT_EQ(field<ValueComboBox>("CB_TAVO_PORT").currentText(), QStringLiteral("6"));
    EXPECT_EQ(field<ValueComboBox>("CB_TAVO_SPEED").currentText(), QStringLiteral("9600"));
    EXPECT_EQ(field("Edt_DNPort").text(), QStringLiteral("Empty"));
    EXPECT_TRUE(dialog->isVisible());

    field("Edt_AdslAddr").setText(QStringLiteral("10.9.9.9"));
    press(Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(ini(), before);
}

TEST_F(SettingsDialog, HiddenChordSwitchesTheDisplayModeAndItsLabel) {
    open();
    constexpr Qt::KeyboardModifiers kChord{Qt::ControlModifier | Qt::AltModifier |
                                           Qt::ShiftModifier};
    press(Qt::Key_F8, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(dispMode);
    press(Qt::Key_F8, kChord);
    EXPECT_TRUE(dispMode);
    EXPECT_TRUE(field<QLabel>("Lab_Disp").isVisible());
    press(Qt::Key_F8, kChord);
    EXPECT_FALSE(dispMode);
    EXPECT_FALSE(field<QLabel>("Lab_Disp").isVisible());

    // The switch outlives the dialog; the next one opens with the label up.
    dispMode = true;
    open();
    EXPECT_TRUE(field<QLabel>("Lab_Disp").isVisible());
}

// A value the file cannot hold stops the save at its key: the keys before it
// are written, the rest keep their old values, the dialog stays open.
TEST_F(SettingsDialog, SaveStopsAtAKeyThatCannotBeWrittenAndShowsWhy) {
    writeIni("UpAddr=old-up\r\nDnAddr=old-dn\r\nEcPort=6\r\n");
    open();
    field("Edt_AdslAddr").setText(QStringLiteral("10.0.0.1"));
    field("Edt_UPAddr").setText(QStringLiteral("10.0.0.2\nx"));
    field("Edt_DNAddr").setText(QStringLiteral("10.0.0.3"));
    field<ValueComboBox>("CB_TAVO_PORT").setCurrentText(QStringLiteral("2"));
    ErrorBoxes boxes;
    field<QPushButton>("BT_SAVE").click();

    EXPECT_EQ(boxes.texts,
              QStringList{QString::fromStdString("Unable to write to " + config.iniPath())});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(stored("AdslAddr"), "10.0.0.1");
    EXPECT_EQ(stored("UpAddr"), "old-up");
    EXPECT_EQ(stored("DnAddr"), "old-dn");
    EXPECT_EQ(stored("EcPort"), "6");
}

// Behind 설정: the file is reloaded after the dialog, and the port is reset
// once at most, only when its number or speed changed.
class SettingsFlow : public DesktopFixture {};

TEST_F(SettingsFlow, ResetsThePortOnlyWhenItsSpeedOrNumberChanged) {
    startProgram(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    // Presses 설정, lets `edit` work on the dialog and saves; returns the
    // resets the status line showed.
    const auto resetsAfterSaving = [this](std::function<void(TFSET01&)> edit) {
        PaintedTexts painted(part<QLabel>("Lab_Bigo"));
        whenModal<TFSET01>([edit](TFSET01& dialog) {
            edit(dialog);
            dialog.findChild<QPushButton*>(QStringLiteral("BT_SAVE"))->click();
        });
        part<QToolButton>("BT_PROCESS").click();
        return painted.texts.filter(utf8("초기화"));
    };

    EXPECT_TRUE(resetsAfterSaving([](TFSET01&) {}).isEmpty());
    EXPECT_EQ(runtime->gateway().config().record().AdslAddr, "Empty");

    const QStringList resets = resetsAfterSaving([](TFSET01& dialog) {
        dialog.findChild<ValueComboBox*>(QStringLiteral("CB_TAVO_SPEED"))
            ->setCurrentText(QStringLiteral("19200"));
    });
    EXPECT_EQ(resets.size(), 1);
    EXPECT_EQ(runtime->gateway().config().record().EcSpeed, "19200");
    EXPECT_TRUE(runtime->serialPort().isOpen());
}

}  // namespace
}  // namespace tavorline
