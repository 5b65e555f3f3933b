// The display window: filled by the gateway whether shown or not, shown
// without blocking, emptied by a new connection, 지움 and Escape.
#include <QLineEdit>
#include <QPushButton>

#include "desktop_fixture.h"
#include "qt/cp949.h"

namespace tavorline {
namespace {

using testing::utf8;

TEST(DisplayWindow, ShowsTheLastMessagesUntilClearedAndClosingKeepsThem) {
    DesktopUi ui;
    TFDisp& window = ui.displayWindow();
    // Longer than the fields are wide, as every real message is.
    const std::string tail(400, '9');
    const auto fill = [&] {
        ui.setDisplayField(DisplayField::Request1, "02 31 32 " + tail);
        ui.setDisplayField(DisplayField::Request2, toCp949(utf8("승인요청 1000 ")) + tail);
        ui.setDisplayField(DisplayField::Answer1, "02 30 30 " + tail);
        ui.setDisplayField(DisplayField::Answer2, toCp949(utf8("정상승인 ")) + tail);
    };
    const auto fields = [&] {
        QStringList texts;
        for (const char* name : {"EDT_REQ1", "EDT_REQ2", "EDT_ANS1", "EDT_ANS2"}) {
            texts.push_back(window.findChild<QLineEdit*>(QString::fromLatin1(name))->text());
        }
        return texts;
    };
    const QString tailText = QString::fromStdString(tail);
    const QStringList filled{"02 31 32 " + tailText, utf8("승인요청 1000 ") + tailText,
                             "02 30 30 " + tailText, utf8("정상승인 ") + tailText};
    // The STX and the message code in view: each field shows its start.
    const auto showsStarts = [&] {
        window.grab();  // lays the texts out as painted
        for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
            if (edit->cursorPosition() != 0 ||
                edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() >
                    edit->width() / 10) {
                return false;
            }
        }
        return true;
    };
    const QStringList empty{"", "", "", ""};

    fill();
    EXPECT_FALSE(window.isVisible());
    ui.showDisplayWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(window.windowTitle(), utf8("수신전문 내역"));
    EXPECT_EQ(fields(), filled);
    EXPECT_TRUE(showsStarts());

    ui.clearDisplay();
    EXPECT_EQ(fields(), empty);
    fill();
    window.findChild<QPushButton*>(QStringLiteral("BT_CLEAR"))->click();
    EXPECT_EQ(fields(), empty);
    fill();
    QTest::keyClick(window.findChild<QLineEdit*>(QStringLiteral("EDT_ANS1")), Qt::Key_Escape);
    EXPECT_EQ(fields(), empty);
    EXPECT_TRUE(window.isVisible());

    fill();
    window.close();
    EXPECT_FALSE(window.isVisible());
    ui.showDisplayWindow();
    EXPECT_EQ(fields(), filled);
    EXPECT_TRUE(showsStarts());
}

}  // namespace
}  // namespace tavorline
