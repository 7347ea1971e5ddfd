#include "ContentView.h"

#include "AppModel.h"
#include "LoginView.h"
#include "MainShell.h"

#include <QVBoxLayout>

namespace korvel::ui {

ContentView::ContentView(model::AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), layout_(new QVBoxLayout(this)) {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);
    layout_->setContentsMargins(0, 0, 0, 0);
    connect(&model_, &model::AppModel::isSignedInChanged, this, &ContentView::showScreen);
    showScreen();
}

void ContentView::showScreen() {
    // The model announces every assignment; an unchanged value keeps the screen and its focus.
    if (showsShell_ == model_.isSignedIn()) {
        return;
    }
    showsShell_ = model_.isSignedIn();
    // The sign-in screen's form and brand panel keep fixed widths that need 760; a window narrower
    // than that grows to it.
    setMinimumSize(*showsShell_ ? 560 : 760, 680);
    if (screen_ != nullptr) {
        // Later: signing out starts from the shell's own menu.
        screen_->hide();
        screen_->deleteLater();
    }
    screen_ = *showsShell_ ? static_cast<QWidget*>(new MainShell(model_)) : new LoginView(model_);
    layout_->addWidget(screen_);
    screen_->show();
    if (!*showsShell_) {
        screen_->setFocus(); // to the e-mail field; the shell gives it to its section's screen itself
    }
}

} // namespace korvel::ui
