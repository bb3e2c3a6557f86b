// Tessel: keeps pairs of folders in step. The program entry creates the main window and runs it.

#include <QApplication>
#include <clocale>
#include <string>
#include <system_error>

#include "platform/Paths.h"
#include "ui/Dialogs.h"
#include "ui/MainTessel.h"
#include "ui/Pictures.h"
#include "watch/Settings.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // After Qt has set up: the log's date and time follow the user's regional settings.
    std::setlocale(LC_ALL, "");
    QApplication::setWindowIcon(programIcon());

    QtDialogs dialogs;
    TMainTesselForm MainTesselForm(dialogs);

    // The settings file lives in the folder Tessel is started from.
    std::string folder;
    std::error_code error;
    tessel::Settings settings;
    if (tessel::platform::currentFolder(folder, error)) tessel::readSettings(folder, settings, error);
    MainTesselForm.core().WatchFilePath = settings.WatchFilePath;
    MainTesselForm.core().LogFilePath = settings.LogFilePath;
    MainTesselForm.FillWatchList();

    MainTesselForm.show();
    return QApplication::exec();
}
