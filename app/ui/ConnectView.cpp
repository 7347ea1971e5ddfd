#include "ConnectView.h"

#include "ConnectButton.h"
#include "ConnectionBackdrop.h"
#include "ElidedLabel.h"
#include "MaterialIcons.h"
#include "Palette.h"
#include "ScrollColumn.h"
#include "SessionStat.h"
#include "TunnelLook.h"
#include "Typography.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFocusEvent>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>

#include <utility>

namespace korvel::ui {
namespace {

using Kind = tunnel::TunnelState::Kind;

constexpr int kBackdropHeight = 245;
constexpr int kMarker = 42;
constexpr int kRowPadding = 13;
constexpr int kRowHeight = kMarker + 2 * kRowPadding;

QLabel* text(int pixelSize, QFont::Weight weight, const QColor& colour) {
    return Typography::label(QString(), pixelSize, weight, colour);
}

QLabel* glyph(const QString& name, int pixelSize, QFont::Weight weight, const QColor& colour) {
    auto* label = new QLabel(name);
    label->setFont(materialIcons::font(pixelSize, weight));
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, colour);
    label->setPalette(colours);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void tint(QLabel& label, const QColor& colour) {
    label.setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
}

QString rgba(QColor colour, float alpha) {
    colour.setAlphaF(alpha);
    return colour.name(QColor::HexArgb);
}

QGraphicsDropShadowEffect* shadow(const QColor& colour, float alpha, int blur, int down) {
    auto* effect = new QGraphicsDropShadowEffect;
    QColor shade = colour;
    shade.setAlphaF(alpha);
    effect->setColor(shade);
    effect->setBlurRadius(blur);
    effect->setOffset(0, down);
    return effect;
}

// A row holding one widget, which a maximum width keeps centred.
QHBoxLayout* centred(QWidget* widget, int side, int above) {
    auto* row = new QHBoxLayout;
    row->setContentsMargins(side, above, side, 0);
    row->addWidget(widget);
    return row;
}

} // namespace

ConnectView::ConnectView(model::AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), backdrop_(new ConnectionBackdrop(palette::blue500)),
      button_(new ConnectButton), title_(text(27, QFont::Bold, palette::navy900)),
      explanation_(text(13, QFont::Normal, palette::gray600)), locationRow_(new QPushButton),
      locationCaption_(text(10, QFont::Bold, palette::gray400)), location_(new ElidedLabel),
      statistics_(new QWidget), session_(new SessionStat(QStringLiteral("Session"), model.sessionTimeText())),
      statusLine_(text(12, QFont::DemiBold, palette::gray600)),
      usage_(text(11, QFont::Normal, palette::gray400)) {
    QPalette page = palette();
    page.setColor(QPalette::Window, QColor(251, 250, 247));
    setPalette(page);
    setAutoFillBackground(true);

    backdrop_->setFixedHeight(kBackdropHeight);
    backdrop_->installEventFilter(this);
    title_->setAlignment(Qt::AlignCenter);
    explanation_->setAlignment(Qt::AlignCenter);
    explanation_->setWordWrap(true);
    explanation_->setMaximumWidth(340);

    // The row is one button: its contents let every click through to it. Under its style sheet a
    // palette's text colour is overridden, so the labels inside take theirs from style sheets too.
    locationRow_->setObjectName(QStringLiteral("locationRow"));
    // Focus thickens the capsule's own outline; Qt's square focus box is left out.
    locationRow_->setStyleSheet(
        QStringLiteral("#locationRow { background: white; border: 1px solid %1; border-radius: %2px;"
                       " outline: none; }"
                       "#locationRow:focus { border: 2px solid %3; }")
            .arg(palette::gray200.name())
            .arg(kRowHeight / 2)
            .arg(palette::blue500.name()));
    locationRow_->setAutoDefault(true); // Return presses it, as Space does
    auto* marker = glyph(QStringLiteral("near_me"), 17, QFont::DemiBold, palette::blue500);
    marker->setFixedSize(kMarker, kMarker);
    marker->setStyleSheet(QStringLiteral("background: %1; border-radius: %2px; color: %3;")
                              .arg(rgba(palette::blue500, 0.10F))
                              .arg(kMarker / 2)
                              .arg(palette::blue500.name()));
    location_->setTextFormat(Qt::PlainText);
    Typography::style(*location_, 17, QFont::Bold, palette::navy900);
    tint(*location_, palette::navy900);
    tint(*locationCaption_, palette::gray400);
    auto* names = new QVBoxLayout;
    names->setSpacing(1);
    names->addWidget(locationCaption_);
    names->addWidget(location_);
    auto* more = glyph(QStringLiteral("more_horiz"), 19, QFont::Bold, palette::gray600);
    tint(*more, palette::gray600);
    auto* rowContent = new QHBoxLayout(locationRow_);
    rowContent->setContentsMargins(17, kRowPadding, 17, kRowPadding);
    rowContent->setSpacing(14);
    rowContent->addWidget(marker);
    rowContent->addLayout(names, 1);
    rowContent->addWidget(more);
    for (QWidget* part : {static_cast<QWidget*>(marker), static_cast<QWidget*>(locationCaption_),
                          static_cast<QWidget*>(location_), static_cast<QWidget*>(more)}) {
        part->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    locationRow_->setFixedHeight(kRowHeight);
    locationRow_->setMaximumWidth(470);
    locationRow_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    locationRow_->setCursor(Qt::PointingHandCursor);
    locationRow_->setGraphicsEffect(shadow(palette::navy900, 0.09F, 18, 8));

    auto* divider = new QWidget;
    divider->setFixedSize(1, 30);
    divider->setAutoFillBackground(true);
    QPalette line = divider->palette();
    line.setColor(QPalette::Window, line.color(QPalette::Midlight));
    divider->setPalette(line);
    auto* card = new QFrame;
    card->setObjectName(QStringLiteral("statisticsCard"));
    card->setStyleSheet(QStringLiteral("#statisticsCard { background: %1; border-radius: 14px; }")
                            .arg(palette::gray50.name()));
    card->setMaximumWidth(420);
    card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* figures = new QHBoxLayout(card);
    figures->setContentsMargins(0, 12, 0, 12);
    figures->setSpacing(0);
    figures->addWidget(session_, 1);
    figures->addWidget(divider, 0, Qt::AlignVCenter);
    figures->addWidget(new SessionStat(QStringLiteral("Protocol"), model.protocolLabel()), 1);
    auto* statisticsRow = centred(card, 34, 18);
    statistics_->setLayout(statisticsRow);

    auto* footer = new QVBoxLayout;
    footer->setContentsMargins(0, 18, 0, 30);
    footer->setSpacing(3);
    footer->addWidget(statusLine_, 0, Qt::AlignHCenter);
    footer->addWidget(usage_, 0, Qt::AlignHCenter);

    // Over the column, not in it: it overhangs the backdrop and takes no space of its own. In it first,
    // so Tab reaches the main action before the location below it.
    auto* content = new QWidget;
    button_->setParent(content);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(backdrop_);
    column->addSpacing(92);
    column->addWidget(title_);
    column->addSpacing(4);
    column->addLayout(centred(explanation_, 0, 0));
    column->addLayout(centred(locationRow_, 34, 28));
    column->addWidget(statistics_);
    column->addLayout(footer);
    column->addStretch();
    button_->raise();

    auto* scroll = new ScrollColumn(content);
    scroll->viewport()->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    // toggle() never throws and reports only through the model, so its task needs no keeper.
    connect(button_, &QAbstractButton::clicked, this, [this] { model_.toggle(); });
    connect(locationRow_, &QPushButton::clicked, this,
            [this] { model_.setSection(model::AppSection::locations); });

    showState();
    showFooter();
    showBusy();
    showLocation();
    connect(&model, &model::AppModel::stateChanged, this, &ConnectView::showState);
    connect(&model, &model::AppModel::isBusyChanged, this, &ConnectView::showBusy);
    connect(&model, &model::AppModel::selectedLocationChanged, this, &ConnectView::showLocation);
    connect(&model, &model::AppModel::sessionElapsedChanged, this,
            [this] { session_->setValue(model_.sessionTimeText()); });
    connect(&model, &model::AppModel::statusLineChanged, this, &ConnectView::showFooter);
    connect(&model, &model::AppModel::usageUsedLabelChanged, this, &ConnectView::showFooter);
}

bool ConnectView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == backdrop_ && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        placeButton();
    }
    return QWidget::eventFilter(watched, event);
}

void ConnectView::showState() {
    const tunnel::TunnelState& state = model_.state();
    // The model announces every assignment, the state monitor's unchanged state every 3 seconds too:
    // repainting the backdrop and the button's shadow for it would wake the machine for nothing.
    if (shownState_ == state) {
        return;
    }
    shownState_ = state;
    const bool connected = state.kind() == Kind::connected;
    const TunnelLook look = TunnelLook::of(state);
    backdrop_->setColor(look.colour);
    button_->setColor(look.colour);
    button_->setSpinning(state.kind() == Kind::connecting);
    button_->setAccessibleName(connected ? QStringLiteral("Disconnect VPN") : QStringLiteral("Connect VPN"));
    button_->setAccessibleDescription(look.title);
    title_->setText(look.title);
    explanation_->setText(look.explanation);
    locationCaption_->setText(connected ? QStringLiteral("CURRENT LOCATION")
                                        : QStringLiteral("VPN LOCATION"));
    statistics_->setVisible(connected);
    showLocation();
}

void ConnectView::showBusy() {
    // Disabled, the button loses the focus to the location row; it takes it back afterwards unless
    // the person has moved on.
    if (model_.isBusy()) {
        refocus_ = button_->hasFocus();
        button_->setEnabled(false);
        return;
    }
    button_->setEnabled(true);
    // The screen itself holds the focus when it came while the button was disabled, as after sign-in.
    if ((std::exchange(refocus_, false) && locationRow_->hasFocus()) || hasFocus()) {
        button_->setFocus(Qt::OtherFocusReason);
    }
}

void ConnectView::showLocation() {
    location_->setText(model_.selectedLocationLabel());
    // The pill shows no text of its own to assistive technology: it reads as its caption and name.
    const bool connected = model_.state().kind() == Kind::connected;
    locationRow_->setAccessibleName(
        (connected ? QStringLiteral("Current location: ") : QStringLiteral("VPN location: ")) +
        model_.selectedLocationLabel());
    locationRow_->setAccessibleDescription(QStringLiteral("Choose another location"));
}

void ConnectView::showFooter() {
    statusLine_->setText(model_.statusLine());
    const std::optional<QString>& usage = model_.usageUsedLabel();
    usage_->setText(usage.value_or(QString()));
    usage_->setVisible(usage.has_value());
}

void ConnectView::placeButton() {
    // Centred on the backdrop's lower edge: aligned to its bottom, then moved down half the disc.
    const QRect area = backdrop_->geometry();
    button_->move(area.x() + (area.width() - ConnectButton::kDiameter) / 2,
                  area.bottom() + 1 - ConnectButton::kDiameter / 2);
}

// Given the focus as a whole, the screen passes it on to where the keyboard starts; a focus proxy
// would move both ahead of the toolbar in the Tab order.
void ConnectView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    button_->setFocus(event->reason());
}

} // namespace korvel::ui
