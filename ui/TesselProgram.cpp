#include "ui/TesselProgram.h"

#include <QApplication>
#include <QString>
#include <clocale>

#include "ui/Dialogs.h"
#include "ui/Help.h"
#include "ui/MainTessel.h"
#include "ui/Pictures.h"

int runTessel(bool secondInstance, Dialogs& dialogs) {
    QApplication::setWindowIcon(programIcon());
    if (secondInstance) {
        dialogs.showError(nullptr, QString::fromUtf8(kSecondInstanceText), QString::fromUtf8(kInstanceName));
        return 0;
    }
    // After Qt has set up: the log's date and time follow the user's regional settings.
    std::setlocale(LC_ALL, "");
    // The about box and the boxes shown while the window hides in the tray are windows too; closing the
    // last of them must not end Tessel. Only the main window's closing does.
    QApplication::setQuitOnLastWindowClosed(false);

    const QString missingHelp = missingHelpText(helpContentsBesideProgram());
    if (!missingHelp.isEmpty()) dialogs.showWarning(nullptr, missingHelp, QStringLiteral("Warning!"));

    TMainTesselForm MainTesselForm(dialogs);
    MainTesselForm.setHelpAvailable(missingHelp.isEmpty());
    QObject::connect(&MainTesselForm, &TMainTesselForm::closed, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    MainTesselForm.FormCreate();
    MainTesselForm.show();
    return QApplication::exec();
}
