#include "qt/desktop/display_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "qt/desktop/look.h"

namespace tavorline {
namespace {

constexpr QSize kWindowSize{1020, 176};
constexpr int kMargin = 8;
constexpr int kCaptionWidth = 70;
constexpr int kFieldLeft = 81;
constexpr int kFieldWidth = 931;
constexpr int kFieldHeight = 22;
constexpr int kRowPitch = 26;
constexpr QSize kClearSize{90, 28};
constexpr int kClearTop = 124;

struct FieldSpec {
    const char* name;
    const char* caption;
};

// In the order of DisplayField.
constexpr std::array<FieldSpec, 4> kFields{{
    {"EDT_REQ1", "요청전문"},
    {"EDT_REQ2", "요청해독"},
    {"EDT_ANS1", "응답전문"},
    {"EDT_ANS2", "응답해독"},
}};

std::size_t indexOf(DisplayField field) { return static_cast<std::size_t>(field); }

}  // namespace

TFDisp::TFDisp(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FDisp"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("수신전문 내역"));
    setWindowIcon(look::programIcon());
    setFixedSize(kWindowSize);
    setFont(look::gulimChe(9));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xF0));
    setPalette(background);

    for (std::size_t row = 0; row < kFields.size(); ++row) {
        const int top = kMargin + static_cast<int>(row) * kRowPitch;
        auto* caption = new QLabel(QString::fromUtf8(kFields[row].caption), this);
        caption->setFont(look::gulimChe(9, true));
        QPalette navy = caption->palette();
        navy.setColor(QPalette::WindowText, look::kNavy);
        caption->setPalette(navy);
        caption->setGeometry(kMargin, top, kCaptionWidth, kFieldHeight);

        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(kFields[row].name));
        edit->setGeometry(kFieldLeft, top, kFieldWidth, kFieldHeight);
        edit->installEventFilter(this);
        fields_[row] = edit;
    }

    BT_CLEAR = new QPushButton(QStringLiteral("지움"), this);
    BT_CLEAR->setObjectName(QStringLiteral("BT_CLEAR"));
    BT_CLEAR->setGeometry((kWindowSize.width() - kClearSize.width()) / 2, kClearTop,
                          kClearSize.width(), kClearSize.height());
    BT_CLEAR->installEventFilter(this);
    connect(BT_CLEAR, &QPushButton::clicked, this, &TFDisp::BT_CLEARClick);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

// A message begins with its STX and its message code, which are what the
// counter looks for; setText would leave the field scrolled to the tail.
void TFDisp::setField(DisplayField field, const QString& text) {
    QLineEdit* edit = fields_[indexOf(field)];
    edit->setText(text);
    edit->setCursorPosition(0);
}

QString TFDisp::field(DisplayField field) const { return fields_[indexOf(field)]->text(); }

void TFDisp::showInFront() {
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
}

void TFDisp::BT_CLEARClick() {
    for (QLineEdit* edit : fields_) edit->clear();
}

// The window sees keys before its fields, so Escape clears even from inside
// one of them.
bool TFDisp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyDown(static_cast<QKeyEvent&>(*event))) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFDisp::keyPressEvent(QKeyEvent* event) {
    if (!FormKeyDown(*event)) QWidget::keyPressEvent(event);
}

bool TFDisp::FormKeyDown(const QKeyEvent& key) {
    if (key.key() != Qt::Key_Escape) return false;
    BT_CLEARClick();
    return true;
}

}  // namespace tavorline
