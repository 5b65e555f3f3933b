#include "qt/desktop/main_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QToolButton>

#include "app/error_guard.h"
#include "app/gateway.h"
#include "qt/desktop/look.h"
#include "qt/desktop/settings_dialog.h"
#include "qt/desktop/status_light.h"

namespace tavorline {
namespace {

constexpr QSize kClientSize{314, 118};
constexpr QRect kPanel1Rect{0, 0, 314, 97};
constexpr QRect kPanel2Rect{0, 97, 314, 21};
constexpr QPoint kImagePos{10, 34};
constexpr int kButtonLeft = 204;
constexpr QSize kButtonSize{101, 24};
constexpr int kInitTop = 8;
constexpr int kProcessTop = 36;
constexpr int kExitTop = 65;
constexpr QRect kAddressRect{11, 78, 190, 12};
constexpr QPoint kTitlePos{16, 8};
constexpr QPoint kStatusPos{59, 5};
constexpr QPoint kReceiveLabelPos{7, 3};
constexpr QPoint kReceiveLightPos{15, 5};
constexpr QPoint kTransmitLabelPos{29, 3};
constexpr QPoint kTransmitLightPos{34, 5};

constexpr char kTrayHint[] = "Tavorline " TAVORLINE_VERSION_MAJOR_MINOR;

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QFrame* whitePanel(QWidget* parent, const char* name, const QRect& rect) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setAutoFillBackground(true);
    setColour(panel, QPalette::Window, Qt::white);
    panel->setGeometry(rect);
    return panel;
}

QLabel* fittedLabel(QWidget* parent, const char* name, const QString& text, const QPoint& pos) {
    auto* fitted = new QLabel(text, parent);
    fitted->setObjectName(QString::fromLatin1(name));
    fitted->move(pos);
    fitted->adjustSize();
    return fitted;
}

}  // namespace

TFmain::TFmain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Fmain"));
    // A fixed frame with no buttons in its title bar: only 닫기 or the tray
    // put it away, and it stays above the shop's other programs.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("Tavorline"));
    setWindowIcon(look::programIcon());
    setFixedSize(kClientSize);
    setFont(look::windowFont());
    setAutoFillBackground(true);
    setColour(this, QPalette::Window, Qt::white);

    buildMenuAndTray();
    buildPanel1();
    buildPanel2();
    LightCtrl = new LightController(*RXLight, *TXLight, this);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), kClientSize);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    // Qt asks every window to close before it lets the application quit;
    // this window must then agree, however it answers the user.
    QCoreApplication::instance()->installEventFilter(this);
}

TFmain::~TFmain() = default;

void TFmain::buildMenuAndTray() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1Show1 = PopupMenu1->addAction(QStringLiteral("화면표시(&S)"));
    N1Show1->setObjectName(QStringLiteral("N1Show1"));
    N1 = PopupMenu1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    N2Close1 = PopupMenu1->addAction(QStringLiteral("끝내기(&E)"));
    N2Close1->setObjectName(QStringLiteral("N2Close1"));
    connect(N1Show1, &QAction::triggered, this, &TFmain::N1Show1Click);
    connect(N2Close1, &QAction::triggered, this, &TFmain::N2Close1Click);

    RxTrayIcon1 = new QSystemTrayIcon(look::trayIcon(), this);
    RxTrayIcon1->setObjectName(QStringLiteral("RxTrayIcon1"));
    RxTrayIcon1->setToolTip(QString::fromLatin1(kTrayHint));
    RxTrayIcon1->setContextMenu(PopupMenu1);
    connect(RxTrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) N1Show1Click();
            });
}

void TFmain::buildPanel1() {
    Panel1 = whitePanel(this, "Panel1", kPanel1Rect);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    const QPixmap logo = look::logo();
    Image1->setPixmap(logo);
    Image1->setGeometry(QRect(kImagePos, logo.size()));

    BT_PROCESS =
        addButton("BT_PROCESS", QStringLiteral("설    정"), look::settingsGlyph(), kProcessTop);
    BT_EXIT = addButton("BT_EXIT", QStringLiteral("닫    기"), look::closeGlyph(), kExitTop);
    BT_INIT = addButton("BT_INIT", QStringLiteral("초 기 화"), look::resetGlyph(), kInitTop);
    connect(BT_PROCESS, &QToolButton::clicked, this, &TFmain::BT_PROCESSClick);
    connect(BT_EXIT, &QToolButton::clicked, this, &TFmain::BT_EXITClick);
    connect(BT_INIT, &QToolButton::clicked, this, &TFmain::BT_INITClick);

    Lab_Addr = new QLabel(Panel1);
    Lab_Addr->setObjectName(QStringLiteral("Lab_Addr"));
    Lab_Addr->setFont(look::gulimChe(9, true));
    Lab_Addr->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setColour(Lab_Addr, QPalette::WindowText, look::kGrey);
    Lab_Addr->setGeometry(kAddressRect);

    Lab_Title = new QLabel(Panel1);
    Lab_Title->setObjectName(QStringLiteral("Lab_Title"));
    Lab_Title->setFont(look::gulim(9, true));
    setColour(Lab_Title, QPalette::WindowText, look::kTeal);
    Lab_Title->move(kTitlePos);
    setTitleLine(QStringLiteral("Tavorline 6"));
}

// Flat, white, with a hand cursor, the bold caption beside its glyph.
QToolButton* TFmain::addButton(const char* name, const QString& caption, const QIcon& glyph,
                               int top) {
    auto* button = new QToolButton(Panel1);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setIcon(glyph);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFont(look::gulimChe(9, true));
    button->setAutoFillBackground(true);
    setColour(button, QPalette::Button, Qt::white);
    setColour(button, QPalette::Window, Qt::white);
    button->setGeometry(QRect(QPoint(kButtonLeft, top), kButtonSize));
    return button;
}

void TFmain::buildPanel2() {
    Panel2 = whitePanel(this, "Panel2", kPanel2Rect);

    Lab_Bigo = new QLabel(Panel2);
    Lab_Bigo->setObjectName(QStringLiteral("Lab_Bigo"));
    Lab_Bigo->setFont(look::gulimChe(9, true));
    setColour(Lab_Bigo, QPalette::WindowText, look::kNavy);
    Lab_Bigo->move(kStatusPos);
    Lab_Bigo->setText(QStringLiteral("Vorn Adsl G/W 조회 중..."));
    Lab_Bigo->adjustSize();

    Label1 = fittedLabel(Panel2, "Label1", QStringLiteral("R"), kReceiveLabelPos);
    RXLight = new StatusLight(Qt::red, Panel2);
    RXLight->setObjectName(QStringLiteral("RXLight"));
    RXLight->move(kReceiveLightPos);
    Label2 = fittedLabel(Panel2, "Label2", QStringLiteral("T"), kTransmitLabelPos);
    TXLight = new StatusLight(Qt::blue, Panel2);
    TXLight->setObjectName(QStringLiteral("TXLight"));
    TXLight->move(kTransmitLightPos);
}

void TFmain::attach(Gateway& gateway, UiSink& errors) {
    gateway_ = &gateway;
    errors_ = &errors;
}

void TFmain::setTrayAvailable(bool available) { trayAvailable_ = available; }

void TFmain::disp_mess(const QString& text) {
    Lab_Bigo->setText(text);
    Lab_Bigo->adjustSize();
    Lab_Bigo->repaint();
}

void TFmain::setTitleLine(const QString& text) {
    Lab_Title->setText(text);
    Lab_Title->adjustSize();
}

void TFmain::setAddressLine(const QString& text) { Lab_Addr->setText(text); }

void TFmain::BT_INITClick() {
    if (!gateway_) return;
    runGuarded(*errors_, [this] { gateway_->BT_INITClick(); });
}

// The dialog belongs to this window so that it stays above it: the main
// window is always on top, and would otherwise cover the dialog's middle.
void TFmain::BT_PROCESSClick() {
    if (!gateway_) return;
    runGuarded(*errors_, [this] {
        const Bytes portBefore = gateway_->config().record().EcPort;
        const Bytes speedBefore = gateway_->config().record().EcSpeed;
        {
            TFSET01 dialog(gateway_->config(), gateway_->DispMode, *errors_, this);
            dialog.exec();
        }
        gateway_->settingsClosed(portBefore, speedBefore);
    });
}

void TFmain::BT_EXITClick() { close(); }

void TFmain::N1Show1Click() {
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
}

// The event loop ends; the program then closes the port, drops the host and
// unloads the cipher library, in that order.
void TFmain::N2Close1Click() { QCoreApplication::quit(); }

bool TFmain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) ending_ = true;
    return QWidget::eventFilter(watched, event);
}

// Closing never ends the program: only 끝내기 in the menu (or a stop signal)
// does.
void TFmain::closeEvent(QCloseEvent* event) {
    if (ending_) {
        event->accept();
        return;
    }
    event->ignore();
    if (trayAvailable_) {
        hide();
    } else {
        showMinimized();
    }
}

void TFmain::contextMenuEvent(QContextMenuEvent* event) {
    if (trayAvailable_) {
        QWidget::contextMenuEvent(event);
        return;
    }
    PopupMenu1->exec(event->globalPos());
}

}  // namespace tavorline
