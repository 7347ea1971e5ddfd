#include "MainShell.h"

#include "AppModel.h"
#include "AppToolbar.h"
#include "ConnectView.h"
#include "LocationsView.h"
#include "SettingsView.h"

#include <QFrame>
#include <QVBoxLayout>

namespace korvel::ui {

using model::AppSection;

MainShell::MainShell(model::AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    layout_->addWidget(new AppToolbar(model_));

    auto* divider = new QFrame;
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette colours = divider->palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Midlight));
    divider->setPalette(colours);
    layout_->addWidget(divider);

    connect(&model_, &model::AppModel::sectionChanged, this, &MainShell::showSection);
    showSection();
}

void MainShell::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The tunnel state shown must be current straight after sign-in or start-up.
    if (!refreshed_) {
        refreshed_ = true;
        model_.refreshState();
        // Given before the shell was in the window, the focus went nowhere.
        content_->setFocus();
    }
}

void MainShell::showSection() {
    // Choosing the section already shown keeps its screen and whatever the person did in it.
    if (shownSection_ == model_.section()) {
        return;
    }
    shownSection_ = model_.section();
    if (content_ != nullptr) {
        // Later: the change may come from inside the screen that is going away.
        content_->hide();
        content_->deleteLater();
    }
    switch (model_.section()) {
    case AppSection::connect:
        content_ = new ConnectView(model_);
        break;
    case AppSection::locations:
        content_ = new LocationsView(model_);
        break;
    case AppSection::settings:
        content_ = new SettingsView(model_);
        break;
    }
    layout_->addWidget(content_, 1);
    content_->show();
    // Each screen hands the focus to its main control, so the keyboard starts there.
    content_->setFocus();
}

} // namespace korvel::ui
