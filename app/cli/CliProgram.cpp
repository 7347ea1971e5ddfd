#include "CliProgram.h"

#include "CommandLine.h"
#include "CommandRunner.h"
#include "PasswordPrompt.h"

#include "AppModel.h"
#include "AutostartLoginItem.h"
#include "Keychain.h"
#include "LinuxDesktop.h"
#include "SettingsPreferences.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace korvel::cli {

namespace {

// Standard error carries the command's own sentences only: Qt's warnings are not for the person
// typing.
void dropQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs(qPrintable(message + u'\n'), stderr);
    }
}

} // namespace

int CliProgram::run(int argc, char** argv, model::AppModelOptions options) {
    qInstallMessageHandler(dropQtMessages);
    // A core application is enough: the command line never opens an address or a window.
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty()) {
        err << CommandLine::help(std::nullopt);
        return 2;
    }
    const std::variant<Command, CommandLine::Error> parsed = CommandLine::parse(arguments);
    if (const auto* error = std::get_if<CommandLine::Error>(&parsed)) {
        const QString helpCommand =
            error->kind ? QStringLiteral("korvel %1 --help").arg(CommandLine::name(*error->kind))
                        : QStringLiteral("korvel --help");
        err << "korvel: " << error->message << "\nRun '" << helpCommand << "' for usage.\n";
        return 2;
    }
    const Command& command = std::get<Command>(parsed);
    if (command.kind == Command::Kind::help) {
        out << CommandLine::help(command.topic);
        return 0;
    }
    if (command.kind == Command::Kind::version) {
        out << "korvel " KORVEL_VERSION "\n";
        return 0;
    }
    // Before the model exists: its session restore must not wait on the person typing.
    const QString password =
        command.kind == Command::Kind::login ? PasswordPrompt::read(QStringLiteral("Password: ")) : QString();

    api::Keychain keychain;
    platform::SettingsPreferences preferences;
    platform::AutostartLoginItem loginItem;
    platform::LinuxDesktop desktop;
    options.autoConnectAfterRestore = false;
    model::AppModel model(keychain, preferences, loginItem, desktop, std::move(options));
    CommandRunner runner(model, out, err);
    int code = 1;
    // Started from inside the event loop, so that its end can stop the loop.
    QTimer::singleShot(0, &application, [&] {
        QCoro::connect(runner.run(command, password), &application, [&](int result) {
            code = result;
            QCoreApplication::exit(result);
        });
    });
    QCoreApplication::exec();
    return code;
}

} // namespace korvel::cli
