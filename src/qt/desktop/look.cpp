#include "qt/desktop/look.h"

#include <QStringList>

// Outside any namespace, as Q_INIT_RESOURCE requires. The pictures live in a
// static library, whose resource initialiser the linker would otherwise drop.
static void registerDesktopResources() { Q_INIT_RESOURCE(desktop); }

static void initDesktopResources() {
    static const bool registered = (registerDesktopResources(), true);
    (void)registered;
}

namespace tavorline::look {
namespace {

QFont withFamilies(const QStringList& families, int pointSize, bool bold) {
    QFont font;
    font.setFamilies(families);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

QIcon iconFrom(const char* path) {
    initDesktopResources();
    return QIcon(QString::fromLatin1(path));
}

}  // namespace

QFont gulimChe(int pointSize, bool bold) {
    static const QStringList families{QStringLiteral("GulimChe"), QStringLiteral("굴림체"),
                                      QStringLiteral("NanumGothicCoding"),
                                      QStringLiteral("NanumGothic")};
    QFont font = withFamilies(families, pointSize, bold);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QFont gulim(int pointSize, bool bold) {
    static const QStringList families{QStringLiteral("Gulim"), QStringLiteral("굴림"),
                                      QStringLiteral("NanumGothic"),
                                      QStringLiteral("NanumGothicCoding")};
    return withFamilies(families, pointSize, bold);
}

QFont windowFont() {
    static const QStringList families{QStringLiteral("MS Sans Serif"),
                                      QStringLiteral("Microsoft Sans Serif"),
                                      QStringLiteral("DejaVu Sans")};
    return withFamilies(families, 8, false);
}

QIcon programIcon() {
    QIcon icon = iconFrom(":/desktop/images/tavorline-16.png");
    icon.addFile(QStringLiteral(":/desktop/images/tavorline-32.png"));
    icon.addFile(QStringLiteral(":/desktop/images/tavorline-64.png"));
    return icon;
}

QIcon trayIcon() { return iconFrom(":/desktop/images/tavorline-16.png"); }

QPixmap logo() {
    initDesktopResources();
    return QPixmap(QStringLiteral(":/desktop/images/logo.png"));
}

QIcon resetGlyph() { return iconFrom(":/desktop/images/reset.png"); }
QIcon settingsGlyph() { return iconFrom(":/desktop/images/settings.png"); }
QIcon closeGlyph() { return iconFrom(":/desktop/images/close.png"); }

}  // namespace tavorline::look
