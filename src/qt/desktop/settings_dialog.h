#pragma once

#include <QDialog>
#include <vector>

#include "app/settings_form.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavorline {

class Configuration;
class UiSink;
class ValueComboBox;

// `TFSET01`, "환경 설정 ": edits the terminal's port, speed and communication
// type and the three host destinations in vorn.Ini. It reads the file when it
// opens and writes it when saved; the configuration record is the caller's to
// reload. It also owns the display switch, flipped by Ctrl+Alt+Shift+F8.
class TFSET01 : public QDialog {
    Q_OBJECT

public:
    // Errors of a save go to `errors` (the default error handler); the
    // dialog then stays open.
    TFSET01(Configuration& config, bool& dispMode, UiSink& errors, QWidget* parent = nullptr);

    void Load_Data();
    void BT_SAVEClick();
    void BT_EXITClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildCells();
    void buildButtons();
    struct Cell {
        QLabel* caption;
        QFrame* value;
    };
    Cell addCell(const char* caption, int row, int column);
    QLineEdit* addEdit(const char* name, const char* caption, int row, int column,
                       SettingsForm::Field field);
    ValueComboBox* addCombo(const char* name, const char* caption, int row, int column,
                            SettingsForm::List list, const char* hint);
    void prepareEditor(QWidget* editor);
    void setFocusOrder();

    // True when the key is used up here and must not reach the control.
    bool FormKeyDown(const QKeyEvent& key);
    bool FormKeyPress(const QKeyEvent& key);
    void toggleDispMode();
    void highlightCellOf(QObject* editor, bool focused);

    SettingsForm::Entries shownEntries() const;

    struct BoundEdit {
        SettingsForm::Field field;
        QLineEdit* edit;
    };
    struct BoundList {
        SettingsForm::List list;
        ValueComboBox* combo;
    };
    std::vector<BoundEdit> edits_;
    std::vector<BoundList> lists_;

    SettingsForm form_;
    bool& dispMode_;
    UiSink& errors_;

    QLabel* Lab_Disp = nullptr;
    ValueComboBox* CB_TAVO_PORT = nullptr;
    ValueComboBox* CB_TAVO_SPEED = nullptr;
    ValueComboBox* CB_TAVO_TYPE = nullptr;
    QCheckBox* CB_RSA = nullptr;
    QLineEdit* EDT_RSA = nullptr;
    QLineEdit* Edt_AdslAddr = nullptr;
    QLineEdit* Edt_AdslSPort = nullptr;
    QLineEdit* Edt_DscAddr = nullptr;
    QLineEdit* Edt_DscPort = nullptr;
    QLineEdit* Edt_UPAddr = nullptr;
    QLineEdit* Edt_UPPort = nullptr;
    QLineEdit* Edt_DNAddr = nullptr;
    QLineEdit* Edt_DNPort = nullptr;
    QPushButton* BT_SAVE = nullptr;
    QPushButton* BT_EXIT = nullptr;
};

}  // namespace tavorline
