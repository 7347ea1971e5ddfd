#include "SettingsView.h"

#include "Palette.h"
#include "ScrollColumn.h"
#include "SettingsGroup.h"
#include "SettingsRow.h"
#include "SettingsToggleRow.h"
#include "Typography.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace korvel::ui {
namespace {

// The same line as the one under the toolbar.
QWidget* separator() {
    auto* line = new QWidget;
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette colors = line->palette();
    colors.setColor(QPalette::Window, colors.color(QPalette::Midlight));
    line->setPalette(colors);
    return line;
}

} // namespace

SettingsView::SettingsView(model::AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model),
      autoConnect_(new SettingsToggleRow(QStringLiteral("Auto-connect on launch"),
                                         QStringLiteral("Connect automatically when Korvel opens."))),
      launchAtLogin_(new SettingsToggleRow(QStringLiteral("Launch at login"),
                                           QStringLiteral("Open Korvel when you log in."))),
      showInPanel_(new SettingsToggleRow(
          QStringLiteral("Show Korvel in the panel"),
          QStringLiteral("The tunnel at a glance; closing the window keeps Korvel running there."))),
      error_(Typography::wrappingLabel(QString(), 11, QFont::Normal, palette::red500)) {
    // White only while enabled: disabled controls, such as the kill switch, keep their disabled look.
    QPalette white = palette();
    white.setColor(QPalette::Active, QPalette::Window, Qt::white);
    white.setColor(QPalette::Inactive, QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* header = new QVBoxLayout;
    header->setContentsMargins(28, 26, 28, 18);
    header->setSpacing(4);
    header->addWidget(
        Typography::wrappingLabel(QStringLiteral("Settings"), 22, QFont::Bold, palette::navy900));
    header->addWidget(Typography::wrappingLabel(QStringLiteral("Preferences for Korvel on this computer."),
                                                13, QFont::Normal, palette::gray600));

    auto* connection = new SettingsGroup(QStringLiteral("Connection"));
    auto* protocol = Typography::wrappingLabel(model.protocolLabel(), 13, QFont::DemiBold, palette::gray600);
    protocol->setWordWrap(false);
    connection->addRow(new SettingsRow(QStringLiteral("Protocol"),
                                       QStringLiteral("The encryption protocol Korvel uses."), protocol));
    connection->addRow(separator());
    connection->addRow(autoConnect_);

    auto* startup = new SettingsGroup(QStringLiteral("Startup"));
    startup->addRow(launchAtLogin_);

    // Not available yet: always off and out of reach.
    auto* killSwitch = new QCheckBox;
    killSwitch->setAccessibleName(QStringLiteral("Kill switch"));
    killSwitch->setEnabled(false);
    auto* privacy = new SettingsGroup(QStringLiteral("Privacy and security"));
    privacy->addRow(new SettingsRow(QStringLiteral("Kill switch"),
                                    QStringLiteral("Block traffic if the VPN drops. Coming soon."),
                                    killSwitch));

    auto* app = new SettingsGroup(QStringLiteral("App"));
    app->addRow(showInPanel_);

    auto* uninstall = new QPushButton(QStringLiteral("Open uninstaller\u2026"));
    uninstall->setAccessibleDescription(
        QStringLiteral("Remove the tunnel service, protected state, and app."));
    connect(uninstall, &QPushButton::clicked, this, [this] { model_.openUninstaller(); });
    auto* maintenance = new SettingsGroup(QStringLiteral("Maintenance"));
    maintenance->addRow(
        new SettingsRow(QStringLiteral("Uninstall Korvel"),
                        QStringLiteral("Remove the tunnel service, protected state, and app."), uninstall));

    // A hidden error line takes no slot, so the groups around it sit 14 apart.
    auto* content = new QWidget;
    auto* groups = new QVBoxLayout(content);
    groups->setContentsMargins(28, 0, 28, 24);
    groups->setSpacing(14);
    groups->addWidget(connection);
    groups->addWidget(startup);
    groups->addWidget(error_);
    groups->addWidget(privacy);
    groups->addWidget(app);
    groups->addWidget(maintenance);
    groups->addStretch();

    auto* scroll = new ScrollColumn(content);
    scroll->viewport()->setAutoFillBackground(false);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(header);
    column->addWidget(scroll, 1);

    autoConnect_->setOn(model.autoConnect());
    launchAtLogin_->setOn(model.launchAtLogin());
    showInPanel_->setOn(model.showInPanel());
    showError();
    connect(autoConnect_, &SettingsToggleRow::userToggled, &model, &model::AppModel::setAutoConnect);
    connect(launchAtLogin_, &SettingsToggleRow::userToggled, &model, &model::AppModel::setLaunchAtLogin);
    connect(showInPanel_, &SettingsToggleRow::userToggled, &model, &model::AppModel::setShowInPanel);
    connect(&model, &model::AppModel::autoConnectChanged, this,
            [this] { autoConnect_->setOn(model_.autoConnect()); });
    connect(&model, &model::AppModel::launchAtLoginChanged, this,
            [this] { launchAtLogin_->setOn(model_.launchAtLogin()); });
    connect(&model, &model::AppModel::showInPanelChanged, this,
            [this] { showInPanel_->setOn(model_.showInPanel()); });
    connect(&model, &model::AppModel::settingsErrorChanged, this, &SettingsView::showError);
}

void SettingsView::showError() {
    const std::optional<QString>& error = model_.settingsError();
    error_->setText(error.value_or(QString()));
    error_->setVisible(error.has_value());
}

// Given the focus as a whole, the screen passes it on to where the keyboard starts; a focus proxy
// would move both ahead of the toolbar in the Tab order.
void SettingsView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    autoConnect_->setFocus(event->reason());
}

} // namespace korvel::ui
