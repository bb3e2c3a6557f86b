#include "ui/TesselProgram.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QString>
#include <QTranslator>
#include <clocale>
#include <cstdio>
#include <memory>
#include <system_error>

#include "TesselVersion.h"
#include "platform/StopSignal.h"
#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/InstanceChannel.h"
#include "ui/MainWindow.h"
#include "ui/Pictures.h"
#include "ui/Texts.h"
#include "ui/WindowCommands.h"
#include "watch/StartFolder.h"

bool parseStartOptions(const std::vector<std::string_view>& arguments, StartOptions& options,
                       std::string& problem) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const tessel::FolderOption folder = tessel::takeFolderOption(arguments, i, options.folder, problem);
        if (folder == tessel::FolderOption::Invalid) return false;
        if (folder == tessel::FolderOption::Taken) continue;
        if (argument == "--version") {
            options.version = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument.starts_with("--")) {
            problem = "unknown option " + std::string(argument);
            return false;
        }
    }
    return true;
}

QString secondInstanceText() {
    return QCoreApplication::translate("Tessel", "Starting a second copy of the program is not allowed.");
}

namespace {

// The kinds the file pickers' lists show, which Qt's own translations (6.4) lack: Tessel's carry them,
// and Qt looks there once its own have none.
struct QtText {
    const char* source;
    const char* comment;
};
[[maybe_unused]] constexpr QtText kFilePickerKinds[] = {
    QT_TRANSLATE_NOOP3("QAbstractFileIconProvider", "Folder", "All other platforms"),
    QT_TRANSLATE_NOOP3("QAbstractFileIconProvider", "Drive", ""),
    QT_TRANSLATE_NOOP3("QAbstractFileIconProvider", "Unknown", "")};

}  // namespace

// Tessel's texts from its resources; the standard dialogs' (file picker, message box buttons) from Qt's
// own translations, which a system without them simply shows in English.
void loadTranslation(const QLocale& locale) {
    // A load discards what the translator held before, so a language without translations shows English.
    static QTranslator translator;
    if (translator.load(locale, QStringLiteral("tessel"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(&translator);
    static QTranslator qtTranslator;
    if (qtTranslator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);
}

int runTessel(bool secondInstance, Dialogs& dialogs, const QString& channel, const std::string& folder) {
    QApplication::setWindowIcon(programIcon());
    // Desktops match the running window to its menu entry, and so to its icon, by this name.
    QGuiApplication::setDesktopFileName(QLatin1String(kTesselAppId));
    loadTranslation();
    if (secondInstance) {
        // The running Tessel comes to the front, and the refusal is shown over it.
        if (!channel.isEmpty()) InstanceChannel::askToRaise(channel);
        dialogs.showError(nullptr, secondInstanceText(), QString::fromUtf8(kInstanceName));
        return 0;
    }
    std::string problem;
    if (!folder.empty() && !tessel::enterStartFolder(folder, problem)) {
        std::fprintf(stderr, "tessel: %s\n", problem.c_str());
        dialogs.showError(nullptr, QStringLiteral("Tessel ") + fromBytes(problem) + QLatin1Char('.'),
                          applicationTitle());
        return 1;
    }
    // After Qt has set up: numbers and the system's messages follow the user's regional settings (the
    // log's dates follow the machine's, whatever language the window speaks).
    std::setlocale(LC_ALL, "");
    // The about box and the boxes shown while the window hides in the tray are windows too; closing the
    // last of them must not end Tessel. Only the main window's closing does.
    QApplication::setQuitOnLastWindowClosed(false);

    const QString missingHelp = missingHelpText(helpContents());
    if (!missingHelp.isEmpty()) {
        // Said on the terminal too, where an installation is checked without looking at a screen.
        std::fprintf(stderr, "tessel: %s\n", missingHelp.toLocal8Bit().constData());
        dialogs.showWarning(nullptr, missingHelp, QCoreApplication::translate("Tessel", "Warning!"));
    }

    MainWindow window(dialogs);
    window.commands().setHelpAvailable(missingHelp.isEmpty());
    InstanceChannel instances;
    if (!channel.isEmpty()) {
        QObject::connect(&instances, &InstanceChannel::raiseRequested, &window, &MainWindow::bringToFront);
        instances.listen(channel);
    }
    QObject::connect(&window, &MainWindow::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    // SIGTERM (the session's end, kill, systemctl) and Ctrl+C end Tessel as closing its window does: a
    // run stops after the file in hand, "End Work Program" is logged once, and Tessel leaves.
    std::error_code signalError;
    const int stopSignals = tessel::platform::watchStopSignals(signalError);
    std::unique_ptr<QSocketNotifier> stopNotifier;
    if (stopSignals >= 0) {
        stopNotifier = std::make_unique<QSocketNotifier>(stopSignals, QSocketNotifier::Read);
        QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &window, [&] {
            stopNotifier->setEnabled(false);
            window.close();
        });
    } else {
        std::fprintf(stderr, "tessel: SIGTERM will end Tessel without its last log line: %s\n",
                     signalError.message().c_str());
    }
    window.startUp();
    window.show();
    const int status = QApplication::exec();
    if (const int signal = tessel::platform::stopSignal(); signal != 0)
        return tessel::platform::exitStatusFor(signal);
    return status;
}
