#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>

namespace tavorline {

// The fonts, colours and pictures the desktop windows share.
namespace look {

// The Korean faces the shop's screens were laid out with; where they are
// missing (every Linux desktop), the Nanum faces of fonts-nanum take their
// place, fixed-pitch for GulimChe.
QFont gulimChe(int pointSize, bool bold = false);
QFont gulim(int pointSize, bool bold = false);
// The main window's own font, for the few texts that are not Korean.
QFont windowFont();

inline const QColor kNavy{0x00, 0x00, 0x80};
inline const QColor kTeal{0x00, 0x80, 0x80};
inline const QColor kGrey{0x80, 0x80, 0x80};
inline const QColor kGreen{0x00, 0x80, 0x00};

QIcon programIcon();
// The tray's icon: the 16-pixel drawing alone, so that no tray scales a larger one down.
QIcon trayIcon();
QPixmap logo();
QIcon resetGlyph();
QIcon settingsGlyph();
QIcon closeGlyph();

}  // namespace look
}  // namespace tavorline
