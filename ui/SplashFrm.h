#pragma once
// The about box: Tessel's picture, its name, version and web address. "About ..." shows it with its "Ok"
// button until the user presses it; every showing of the main window shows it briefly without the button.

#include <QWidget>

class Dialogs;
class QLabel;
class QPushButton;

class TTesselSplashForm : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 353;
    static constexpr int kHeight = 253;

    // A frameless box, centred on the screen, a little transparent and above every other window. It
    // releases itself when it closes.
    explicit TTesselSplashForm(Dialogs& dialogs);

    // "Ok": closes the box.
    void Button1Click();
    // The web address: handed to the desktop; whether anything opened it is not reported.
    void Label2Click();

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;  // "TM"
    QLabel* Label2 = nullptr;  // the web address
    QLabel* Label3 = nullptr;  // "Tessel"
    QLabel* Label4 = nullptr;  // "Version: " and the version
    QPushButton* Button1 = nullptr;

  private:
    Dialogs& m_dialogs;
};
