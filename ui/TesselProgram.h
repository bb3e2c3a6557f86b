#pragma once
// What the program entry does once the application object exists.

class Dialogs;

// The name of the mark of a running Tessel, and the caption of the refusal of a second one.
inline constexpr char kInstanceName[] = "Tessel v";
inline constexpr char kSecondInstanceText[] = "Запуск второй копии программы недопустим.";

// A second instance only shows the refusal and touches no file. Otherwise Tessel looks for its help,
// creates, sets up and shows the main window and runs until that window closes. The exit status.
int runTessel(bool secondInstance, Dialogs& dialogs);
