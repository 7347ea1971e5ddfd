#include "AppToolbar.h"

#include "AppModel.h"
#include "LogoTile.h"
#include "MaterialIcons.h"
#include "Palette.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace korvel::ui {
namespace {

using model::AppSection;

const QString kHelpAddress = QStringLiteral("https://korvel.example/help/");

QString title(AppSection section) {
    switch (section) {
    case AppSection::connect:
        return QStringLiteral("Korvel");
    case AppSection::locations:
        return QStringLiteral("VPN Locations");
    case AppSection::settings:
        return QStringLiteral("Preferences");
    }
    return {};
}

} // namespace

AppToolbar::AppToolbar(model::AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), title_(new QLabel), menu_(new QMenu(this)) {
    setFixedHeight(52);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, palette::navy900);
    colours.setColor(QPalette::ButtonText, palette::navy900);
    setPalette(colours);

    // The title is the bottom layer: created first, so the button and the logo stay on top of it.
    QFont titleFont = title_->font();
    titleFont.setPixelSize(18);
    titleFont.setBold(true);
    title_->setFont(titleFont);

    auto* menuButton = new QToolButton;
    menuButton->setText(QStringLiteral("menu"));
    menuButton->setAccessibleName(QStringLiteral("Navigation"));
    menuButton->setFont(materialIcons::font(21, QFont::DemiBold));
    menuButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    menuButton->setAutoRaise(true);
    menuButton->setFixedSize(42, 34);
    menuButton->setCursor(Qt::PointingHandCursor);
    // A rounded ring while it has the focus, as the other drawn controls show.
    menuButton->setStyleSheet(
        QStringLiteral("QToolButton { border: none; border-radius: 6px; outline: none; }"
                       "QToolButton:focus { border: 2px solid %1; }")
            .arg(palette::blue500.name()));
    // Popped up rather than attached to the button: an attached menu brings a disclosure arrow.
    connect(menuButton, &QToolButton::clicked, menu_,
            [this, menuButton] { menu_->popup(menuButton->mapToGlobal(QPoint(0, menuButton->height()))); });

    // Navy on the menu, and in the highlight's own text colour on the entry under the pointer or keys.
    const QColor highlighted = menu_->palette().color(QPalette::HighlightedText);
    const auto entry = [this, highlighted](const QString& text, const QString& glyph, auto action) {
        connect(menu_->addAction(materialIcons::icon(glyph, palette::navy900, highlighted), text),
                &QAction::triggered, this, action);
    };
    entry(QStringLiteral("Connection"), QStringLiteral("power_settings_new"),
          [this] { model_.setSection(AppSection::connect); });
    entry(QStringLiteral("VPN locations"), QStringLiteral("public"),
          [this] { model_.setSection(AppSection::locations); });
    entry(QStringLiteral("Preferences"), QStringLiteral("settings"),
          [this] { model_.setSection(AppSection::settings); });
    menu_->addSeparator();
    entry(QStringLiteral("Help && support"), QStringLiteral("help_outline"),
          [this] { model_.open(kHelpAddress); });
    menu_->addSeparator();
    // The task never throws; the model outlives it, while this toolbar goes when the session ends.
    connect(menu_->addAction(QStringLiteral("Sign out")), &QAction::triggered, this,
            [this] { QCoro::connect(model_.signOut(), &model_, [] {}); });

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(menuButton, 0, Qt::AlignVCenter);
    row->addStretch();
    row->addWidget(new LogoTile(28), 0, Qt::AlignVCenter);

    auto* layers = new QGridLayout(this);
    layers->setContentsMargins(16, 0, 16, 0);
    layers->addWidget(title_, 0, 0, Qt::AlignCenter);
    layers->addLayout(row, 0, 0);

    connect(&model_, &model::AppModel::sectionChanged, this, &AppToolbar::showTitle);
    showTitle();
}

void AppToolbar::showTitle() { title_->setText(title(model_.section())); }

} // namespace korvel::ui
