#pragma once
// What the program entry does once the application object exists.

#include <QString>

class Dialogs;

// The name of the mark of a running Tessel, and the caption of the refusal of a second one.
inline constexpr char kInstanceName[] = "Tessel v";

// The refusal of a second start, in the user's language.
QString secondInstanceText();

// Loads the translation of the window for the user's language, when Tessel has one.
void loadTranslation();

// A second instance asks the first to come to the front through `channel` (the socket beside the
// instance mark), shows the refusal and touches no file. Otherwise Tessel listens there, looks for its
// help, creates, sets up and shows the main window and runs until that window closes. The exit status.
int runTessel(bool secondInstance, Dialogs& dialogs, const QString& channel = {});
