#include "ui/TesselProgram.h"

#include <QApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>
#include <clocale>

#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/InstanceChannel.h"
#include "ui/MainTessel.h"
#include "ui/Pictures.h"

QString secondInstanceText() {
    return QCoreApplication::translate("Tessel", "Starting a second copy of the program is not allowed.");
}

void loadTranslation() {
    static QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("tessel"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(&translator);
}

int runTessel(bool secondInstance, Dialogs& dialogs, const QString& channel) {
    QApplication::setWindowIcon(programIcon());
    loadTranslation();
    if (secondInstance) {
        // The running Tessel comes to the front, and the refusal is shown over it.
        if (!channel.isEmpty()) InstanceChannel::askToRaise(channel);
        dialogs.showError(nullptr, secondInstanceText(), QString::fromUtf8(kInstanceName));
        return 0;
    }
    // After Qt has set up: the log's date and time follow the user's regional settings.
    std::setlocale(LC_ALL, "");
    // The about box and the boxes shown while the window hides in the tray are windows too; closing the
    // last of them must not end Tessel. Only the main window's closing does.
    QApplication::setQuitOnLastWindowClosed(false);

    const QString missingHelp = missingHelpText(helpContentsBesideProgram());
    if (!missingHelp.isEmpty())
        dialogs.showWarning(nullptr, missingHelp, QCoreApplication::translate("Tessel", "Warning!"));

    TMainTesselForm MainTesselForm(dialogs);
    MainTesselForm.setHelpAvailable(missingHelp.isEmpty());
    InstanceChannel instances;
    if (!channel.isEmpty()) {
        QObject::connect(&instances, &InstanceChannel::raiseRequested, &MainTesselForm,
                         &TMainTesselForm::bringToFront);
        instances.listen(channel);
    }
    QObject::connect(&MainTesselForm, &TMainTesselForm::closed, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    MainTesselForm.FormCreate();
    MainTesselForm.show();
    return QApplication::exec();
}
