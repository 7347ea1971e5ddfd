#include "LoginView.h"

#include "AppModel.h"
#include "BrandPanel.h"
#include "LogoTile.h"
#include "Palette.h"
#include "PrimaryButtonStyle.h"
#include "Typography.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvel::ui {
namespace {

constexpr int kColumnWidth = 360;
constexpr int kColumnMargin = 40;

const QString kFreePlanAddress = QStringLiteral("https://korvel.example/free-vpn/");

// In the body font, which has no size of its own.
QLabel* label(const QString& text, const QColor& colour) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, colour);
    label->setPalette(colours);
    return label;
}

// A caption over its field, 6 apart; the caption names the field for assistive technology.
QVBoxLayout* group(const QString& caption, QLineEdit* field) {
    auto* layout = new QVBoxLayout;
    layout->setSpacing(6);
    QLabel* label = Typography::label(caption, 12, QFont::DemiBold, palette::gray600);
    label->setBuddy(field);
    layout->addWidget(label, 0, Qt::AlignLeft);
    layout->addWidget(field);
    return layout;
}

} // namespace

LoginView::LoginView(model::AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), email_(new QLineEdit), password_(new QLineEdit), error_(new QLabel),
      signIn_(new QPushButton) {
    email_->setObjectName(QStringLiteral("email"));
    email_->setPlaceholderText(QStringLiteral("you@example.com"));
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);

    // Shown verbatim: a server's sentence is never read as markup.
    error_->setObjectName(QStringLiteral("authError"));
    error_->setTextFormat(Qt::PlainText);
    error_->setWordWrap(true);
    Typography::style(*error_, 12, QFont::Normal, palette::red500);

    signIn_->setObjectName(QStringLiteral("signIn"));
    PrimaryButtonStyle::apply(*signIn_);
    signIn_->setAutoDefault(true); // Return presses it, as Space does

    auto* freePlan = new QPushButton(QStringLiteral("Get the free plan"));
    freePlan->setObjectName(QStringLiteral("freePlan"));
    freePlan->setCursor(Qt::PointingHandCursor);
    // Plain: the label alone, no bezel even while held down; underlined while it has the focus.
    freePlan->setStyleSheet(
        QStringLiteral("QPushButton { border: none; padding: 0; background: transparent; color: %1;"
                       " outline: none; }"
                       "QPushButton:focus { text-decoration: underline; }")
            .arg(palette::blue500.name()));
    freePlan->setAutoDefault(true);
    freePlan->setFont(Typography::font(13, QFont::Normal));

    auto* form = new QWidget;
    form->setFixedWidth(kColumnWidth + 2 * kColumnMargin);
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(kColumnMargin, kColumnMargin, kColumnMargin, kColumnMargin);
    column->setSpacing(14);
    column->addWidget(new LogoTile(48), 0, Qt::AlignLeft);
    column->addWidget(
        Typography::label(QStringLiteral("Sign in to connect"), 24, QFont::Bold, palette::navy900), 0,
        Qt::AlignLeft);
    column->addWidget(label(QStringLiteral("Use your Korvel email and password."), palette::gray600), 0,
                      Qt::AlignLeft);
    column->addLayout(group(QStringLiteral("Email"), email_));
    column->addLayout(group(QStringLiteral("Password"), password_));
    column->addWidget(error_);
    column->addWidget(signIn_);
    column->addWidget(freePlan, 0, Qt::AlignLeft);

    // The pair keeps its fixed widths and stays centred in whatever the window offers.
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addStretch(1);
    row->addWidget(form, 0, Qt::AlignVCenter);
    row->addWidget(new BrandPanel);
    row->addStretch(1);

    connect(email_, &QLineEdit::textEdited, &model_, &model::AppModel::setEmail);
    connect(password_, &QLineEdit::textEdited, &model_, &model::AppModel::setPassword);
    connect(password_, &QLineEdit::returnPressed, this, &LoginView::signIn);
    connect(signIn_, &QPushButton::clicked, this, &LoginView::signIn);
    connect(freePlan, &QPushButton::clicked, this, [this] { model_.open(kFreePlanAddress); });

    connect(&model_, &model::AppModel::emailChanged, this, &LoginView::showEmail);
    connect(&model_, &model::AppModel::passwordChanged, this, &LoginView::showPassword);
    connect(&model_, &model::AppModel::isBusyChanged, this, &LoginView::showBusy);
    connect(&model_, &model::AppModel::authErrorChanged, this, &LoginView::showAuthError);
    // After a failed attempt the password is what to type again.
    connect(&model_, &model::AppModel::authErrorChanged, this, [this] {
        if (model_.authError()) {
            password_->setFocus();
            password_->selectAll();
        }
    });
    showEmail();
    showPassword();
    showBusy();
    showAuthError();
}

void LoginView::signIn() {
    // Return in the password field would otherwise start a second sign-in past the disabled button.
    if (model_.isBusy()) {
        return;
    }
    // login() never throws and reports only through the model, so its task needs no keeper.
    model_.login();
}

// A field is rewritten only when the model holds other text, so typing keeps the cursor where it is.
void LoginView::showEmail() {
    if (email_->text() != model_.email()) {
        email_->setText(model_.email());
    }
}

void LoginView::showPassword() {
    if (password_->text() != model_.password()) {
        password_->setText(model_.password());
    }
}

void LoginView::showBusy() {
    signIn_->setText(model_.isBusy() ? QStringLiteral("Signing in...") : QStringLiteral("Sign in"));
    signIn_->setEnabled(!model_.isBusy());
}

void LoginView::showAuthError() {
    error_->setText(model_.authError().value_or(QString()));
    error_->setVisible(model_.authError().has_value());
}

// Given the focus as a whole, the screen passes it on to where the keyboard starts; a focus proxy
// would move both ahead of the toolbar in the Tab order.
void LoginView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    email_->setFocus(event->reason());
}

} // namespace korvel::ui
