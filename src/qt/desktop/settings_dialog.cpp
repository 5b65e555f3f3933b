#include "qt/desktop/settings_dialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "app/error_guard.h"
#include "app/settings_grid.h"
#include "qt/cp949.h"
#include "qt/desktop/look.h"
#include "qt/desktop/value_combo_box.h"

namespace tavorline {
namespace {

using namespace settings_grid;

constexpr QSize kWindowSize{kClientWidth, kClientHeight};
constexpr QSize kButtonSize{kButtonWidth, kButtonHeight};

constexpr char kPortHint[] = "단말기 포트를 선택합니다";
constexpr char kSpeedHint[] = "단말기 접속속도를 지정합니다";
constexpr char kSaveHint[] = "입력한 값을 저장 합니다";

const QString kCaptionStyle =
    QStringLiteral("QLabel { background: #E9EBDC; border: 1px solid #CDD0BD; padding-left: 6px; }");
// `.QFrame` matches the cell itself, not the editors inside it.
const QString kValueStyle =
    QStringLiteral(".QFrame { background: #F3F3F3; border: 1px solid #D6D6D6; }");
const QString kFocusedValueStyle =
    QStringLiteral(".QFrame { background: #F3F3F3; border: 1px solid #FF8000; }");

QRect cellRect(int row, int column, int left, int width) {
    return {kTableLeft + column * kColumnWidth + left, kTableTop + row * kRowHeight, width,
            kRowHeight};
}

QRect editorRect(const QFrame* cell) {
    return cell->rect().adjusted(kEditorInsetX, kEditorInsetY, -kEditorInsetX, -kEditorInsetY);
}

bool isEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

bool isDisplaySwitchChord(const QKeyEvent& key) {
    constexpr Qt::KeyboardModifiers kChord{Qt::ShiftModifier | Qt::ControlModifier |
                                           Qt::AltModifier};
    const Qt::KeyboardModifiers held = key.modifiers() & (kChord | Qt::MetaModifier);
    return key.key() == Qt::Key_F8 && held == kChord;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

}  // namespace

TFSET01::TFSET01(Configuration& config, bool& dispMode, UiSink& errors, QWidget* parent)
    : QDialog(parent), form_(config), dispMode_(dispMode), errors_(errors) {
    setObjectName(QStringLiteral("FSET01"));
    setWindowTitle(QStringLiteral("환경 설정 "));
    resize(kWindowSize);
    setMinimumSize(kWindowSize);
    setFont(look::gulimChe(9));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(0xF3, 0xF7, 0xE8));
    setPalette(background);

    Lab_Disp = new QLabel(QStringLiteral("화면표시"), this);
    Lab_Disp->setObjectName(QStringLiteral("Lab_Disp"));
    Lab_Disp->setFont(look::gulimChe(9, true));
    setTextColour(Lab_Disp, look::kGreen);
    Lab_Disp->setGeometry(kTableLeft, 14, kCaptionWidth, 20);

    buildCells();
    buildButtons();
    setFocusOrder();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), kWindowSize);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    Load_Data();
    Lab_Disp->setVisible(dispMode_);
}

void TFSET01::buildCells() {
    using Field = SettingsForm::Field;
    using List = SettingsForm::List;
    CB_TAVO_PORT = addCombo("CB_TAVO_PORT", "P C 포트", kPortRow, kLeft, List::EcPort, kPortHint);

    // Kept for the file's sake: the values are loaded and written back unseen.
    const Cell rsa = addCell("RSA 적용", kPortRow, kRight);
    CB_RSA = new QCheckBox(rsa.value);
    CB_RSA->setObjectName(QStringLiteral("CB_RSA"));
    CB_RSA->setGeometry(kEditorInsetX, kEditorInsetY, kCheckBoxWidth,
                        kRowHeight - 2 * kEditorInsetY);
    EDT_RSA = new QLineEdit(rsa.value);
    EDT_RSA->setObjectName(QStringLiteral("EDT_RSA"));
    EDT_RSA->setGeometry(editorRect(rsa.value).adjusted(kCheckBoxWidth, 0, 0, 0));
    edits_.push_back({Field::RsaPort, EDT_RSA});
    rsa.caption->hide();
    rsa.value->hide();

    CB_TAVO_SPEED =
        addCombo("CB_TAVO_SPEED", "단말기속도", kSpeedRow, kLeft, List::EcSpeed, kSpeedHint);
    CB_TAVO_TYPE =
        addCombo("CB_TAVO_TYPE", "통 신 유 형", kSpeedRow, kRight, List::EcType, kPortHint);

    // Made first so that the credit row, made next, covers them.
    Edt_DscAddr = addEdit("Edt_DscAddr", "신용IP(DSC)", kCreditRow, kLeft, Field::DscAddr);
    Edt_DscPort = addEdit("Edt_DscPort", "신용PORT(DSC)", kCreditRow, kRight, Field::DscPort);
    Edt_DscAddr->setEnabled(false);
    Edt_DscPort->setEnabled(false);

    Edt_AdslAddr = addEdit("Edt_AdslAddr", "신용 IP  ", kCreditRow, kLeft, Field::AdslAddr);
    Edt_AdslSPort = addEdit("Edt_AdslSPort", "신용 PORT", kCreditRow, kRight, Field::AdslSPort);
    Edt_UPAddr = addEdit("Edt_UPAddr", "PMS  IP  ", kPmsRow, kLeft, Field::UpAddr);
    Edt_UPPort = addEdit("Edt_UPPort", "PMS  PORT", kPmsRow, kRight, Field::UpPort);
    Edt_DNAddr = addEdit("Edt_DNAddr", "단말정보 IP  ", kTerminalInfoRow, kLeft, Field::DnAddr);
    Edt_DNPort = addEdit("Edt_DNPort", "단말정보 PORT", kTerminalInfoRow, kRight, Field::DnPort);
}

void TFSET01::buildButtons() {
    const int right = kTableLeft + 2 * kColumnWidth;
    BT_EXIT = new QPushButton(QStringLiteral("닫    기"), this);
    BT_EXIT->setObjectName(QStringLiteral("BT_EXIT"));
    BT_EXIT->setGeometry(QRect(QPoint(right - kButtonSize.width(), kButtonTop), kButtonSize));
    BT_SAVE = new QPushButton(QStringLiteral("저    장"), this);
    BT_SAVE->setObjectName(QStringLiteral("BT_SAVE"));
    BT_SAVE->setToolTip(QString::fromUtf8(kSaveHint));
    BT_SAVE->setGeometry(
        QRect(QPoint(BT_EXIT->x() - kButtonGap - kButtonSize.width(), kButtonTop), kButtonSize));
    // Enter moves between fields; it must never press a button.
    for (QPushButton* button : {BT_SAVE, BT_EXIT}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(BT_SAVE, &QPushButton::clicked, this, &TFSET01::BT_SAVEClick);
    connect(BT_EXIT, &QPushButton::clicked, this, &TFSET01::BT_EXITClick);
}

TFSET01::Cell TFSET01::addCell(const char* caption, int row, int column) {
    auto* label = new QLabel(QString::fromUtf8(caption), this);
    label->setStyleSheet(kCaptionStyle);
    label->setGeometry(cellRect(row, column, 0, kCaptionWidth));
    auto* value = new QFrame(this);
    value->setStyleSheet(kValueStyle);
    value->setGeometry(cellRect(row, column, kCaptionWidth, kValueWidth));
    return {label, value};
}

QLineEdit* TFSET01::addEdit(const char* name, const char* caption, int row, int column,
                            SettingsForm::Field field) {
    const Cell cell = addCell(caption, row, column);
    auto* edit = new QLineEdit(cell.value);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(editorRect(cell.value));
    prepareEditor(edit);
    edits_.push_back({field, edit});
    return edit;
}

ValueComboBox* TFSET01::addCombo(const char* name, const char* caption, int row, int column,
                                 SettingsForm::List list, const char* hint) {
    const Cell cell = addCell(caption, row, column);
    auto* combo = new ValueComboBox(SettingsForm::itemsOf(list), cell.value);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setToolTip(QString::fromUtf8(hint));
    combo->setGeometry(editorRect(cell.value));
    prepareEditor(combo);
    lists_.push_back({list, combo});
    return combo;
}

// The cell's style sheet cuts the editors off from the dialog's font, so
// they are given it again.
void TFSET01::prepareEditor(QWidget* editor) {
    editor->setFont(font());
    editor->installEventFilter(this);
}

// The nine editable fields in reading order; Qt's focus chain wraps from the
// last back to the first, as the shop's staff expect.
void TFSET01::setFocusOrder() {
    QWidget* const order[] = {CB_TAVO_PORT, CB_TAVO_SPEED, CB_TAVO_TYPE,
                              Edt_AdslAddr, Edt_AdslSPort, Edt_UPAddr,
                              Edt_UPPort,   Edt_DNAddr,    Edt_DNPort};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    CB_TAVO_PORT->setFocus();
}

void TFSET01::Load_Data() {
    form_.Load_Data();
    for (const BoundEdit& bound : edits_) bound.edit->setText(fromCp949(form_.loaded(bound.field)));
    for (const BoundList& bound : lists_) bound.combo->setCurrentIndex(form_.selected(bound.list));
    CB_RSA->setChecked(form_.rsaTicked());
}

// A key that cannot be written stops the save there, and the dialog stays
// open with the error shown.
void TFSET01::BT_SAVEClick() {
    runGuarded(errors_, [this] {
        form_.save(shownEntries());
        accept();
    });
}

// A field showing what it was loaded with counts as untouched, even when
// it was edited and changed back: its bytes may be no CP949 at all.
SettingsForm::Entries TFSET01::shownEntries() const {
    SettingsForm::Entries shown;
    for (const BoundEdit& bound : edits_) {
        const QString text = bound.edit->text();
        if (text != fromCp949(form_.loaded(bound.field))) shown.type(bound.field, toCp949(text));
    }
    for (const BoundList& bound : lists_) shown.select(bound.list, bound.combo->currentIndex());
    shown.rsaTicked = CB_RSA->isChecked();
    return shown;
}

void TFSET01::BT_EXITClick() { reject(); }

// The dialog sees every key before the focused field.
bool TFSET01::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            const auto& key = static_cast<const QKeyEvent&>(*event);
            if (FormKeyDown(key) || FormKeyPress(key)) return true;
            break;
        }
        case QEvent::FocusIn:
            highlightCellOf(watched, true);
            break;
        case QEvent::FocusOut:
            highlightCellOf(watched, false);
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

// A key a field leaves unused comes on to the dialog; it was previewed on
// its way in already and must not count twice (the F8 chord would undo itself).
void TFSET01::keyPressEvent(QKeyEvent* event) {
    const QWidget* focus = focusWidget();
    const bool previewed = focus && focus != this;
    if (!previewed && (FormKeyDown(*event) || FormKeyPress(*event))) return;
    QDialog::keyPressEvent(event);
}

// Up and Down always move between fields, so they never change a list's
// selection.
bool TFSET01::FormKeyDown(const QKeyEvent& key) {
    if (isDisplaySwitchChord(key)) toggleDispMode();
    switch (key.key()) {
        case Qt::Key_Escape:
            BT_EXITClick();
            return true;
        case Qt::Key_Up:
            focusNextPrevChild(false);
            return true;
        case Qt::Key_Down:
            focusNextPrevChild(true);
            return true;
        default:
            return false;
    }
}

// Enter moves to the next field and never reaches the field itself.
bool TFSET01::FormKeyPress(const QKeyEvent& key) {
    if (!isEnter(key)) return false;
    focusNextPrevChild(true);
    return true;
}

void TFSET01::toggleDispMode() {
    dispMode_ = !dispMode_;
    Lab_Disp->setVisible(dispMode_);
}

void TFSET01::highlightCellOf(QObject* editor, bool focused) {
    if (auto* cell = qobject_cast<QFrame*>(editor->parent())) {
        cell->setStyleSheet(focused ? kFocusedValueStyle : kValueStyle);
    }
}

}  // namespace tavorline
