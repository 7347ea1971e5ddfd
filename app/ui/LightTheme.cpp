#include "LightTheme.h"

#include "Palette.h"

#include <QApplication>
#include <QStyleFactory>
#include <QToolTip>

namespace korvel::ui {

QPalette LightTheme::palette() {
    const QColor window(239, 239, 239);
    const QColor dark = window.darker(150);
    const QColor mid = window.darker(130);
    QPalette colours(Qt::black, window, Qt::white, dark, mid, Qt::black, Qt::white, Qt::white, window);
    colours.setColor(QPalette::Midlight, mid.lighter(110));
    colours.setColor(QPalette::Shadow, dark.darker(135));
    colours.setColor(QPalette::AlternateBase, QColor(247, 247, 247));
    colours.setColor(QPalette::Highlight, palette::blue500);
    colours.setColor(QPalette::HighlightedText, Qt::white);
    colours.setColor(QPalette::Link, palette::blue500);
    colours.setColor(QPalette::LinkVisited, palette::navy700);
    colours.setColor(QPalette::ToolTipBase, Qt::white);
    colours.setColor(QPalette::ToolTipText, palette::navy900);
    colours.setColor(QPalette::PlaceholderText, palette::gray400);
    const QColor disabledText(190, 190, 190);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        colours.setColor(QPalette::Disabled, role, disabledText);
    }
    colours.setColor(QPalette::Disabled, QPalette::Base, window);
    return colours;
}

void LightTheme::apply() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = palette();
    QApplication::setPalette(light);
    // A desktop theme also gives some kinds of widget palettes of their own, which the application's
    // palette does not replace.
    for (const char* kind : {"QAbstractButton", "QToolButton", "QCheckBox", "QRadioButton", "QHeaderView",
                             "QAbstractItemView", "QMessageBoxLabel", "QTabBar", "QLabel", "QGroupBox",
                             "QMenu", "QMenuBar", "QTextEdit", "QTextControl", "QLineEdit"}) {
        QApplication::setPalette(light, kind);
    }
    QToolTip::setPalette(light);
}

} // namespace korvel::ui
