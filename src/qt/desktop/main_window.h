#pragma once

#include <QWidget>

class QAction;
class QFrame;
class QIcon;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QToolButton;

namespace tavorline {

class Gateway;
class LightController;
class StatusLight;
class UiSink;

// `TFmain`: the small always-on-top window behind the tray icon, with the
// title line, the status line, the R and T lights, the address of the call
// and the buttons 초기화, 설정 and 닫기. Every button runs the gateway's own
// handler; the window only shows what the gateway reports.
class TFmain : public QWidget {
    Q_OBJECT

public:
    explicit TFmain(QWidget* parent = nullptr);
    ~TFmain() override;

    // The gateway the buttons drive; errors no handler caught go to `errors`.
    void attach(Gateway& gateway, UiSink& errors);
    // Without a tray the window is the only way in: closing it minimises it,
    // and its right-click menu offers what the tray menu would.
    void setTrayAvailable(bool available);
    bool trayAvailable() const { return trayAvailable_; }

    // The status line, painted before this returns: the gateway's waits and
    // blocking writes keep the event loop from painting it.
    void disp_mess(const QString& text);
    void setTitleLine(const QString& text);
    void setAddressLine(const QString& text);

    QSystemTrayIcon& trayIcon() { return *RxTrayIcon1; }
    LightController& lights() { return *LightCtrl; }

    void BT_INITClick();
    void BT_PROCESSClick();
    void BT_EXITClick();
    void N1Show1Click();
    void N2Close1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void buildPanel1();
    void buildPanel2();
    void buildMenuAndTray();
    QToolButton* addButton(const char* name, const QString& caption, const QIcon& glyph, int top);

    Gateway* gateway_ = nullptr;
    UiSink* errors_ = nullptr;
    bool trayAvailable_ = true;
    bool ending_ = false;

    QMenu* PopupMenu1 = nullptr;
    QAction* N1Show1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2Close1 = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QToolButton* BT_PROCESS = nullptr;
    QToolButton* BT_EXIT = nullptr;
    QToolButton* BT_INIT = nullptr;
    QSystemTrayIcon* RxTrayIcon1 = nullptr;
    LightController* LightCtrl = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* Lab_Bigo = nullptr;
    QLabel* Label1 = nullptr;
    StatusLight* RXLight = nullptr;
    QLabel* Label2 = nullptr;
    StatusLight* TXLight = nullptr;
    QLabel* Lab_Addr = nullptr;
    QLabel* Lab_Title = nullptr;
};

}  // namespace tavorline
