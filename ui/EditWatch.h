#pragma once
// The watch editor "Edit Watch Record": creates a new watch or changes one, straight in the watch file.
// It keeps no copy of the watch list; the main window reloads its list once the editor has closed.

#include <QDialog>

#include "watch/RunContext.h"
#include "watch/WatchRec.h"

class Dialogs;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QWidget;
class RadioGroup;

class TEditWatchForm : public QDialog {
    Q_OBJECT
  public:
    // EditIndex -1 makes a new watch; otherwise it is the WatchIndex of the watch to change, which is
    // loaded at once.
    TEditWatchForm(tessel::RunContext& context, Dialogs& dialogs, int EditIndex, QWidget* parent = nullptr);

    int EditIndex() const { return m_EditIndex; }

    // Fills the controls from the record whose WatchIndex is `index`; a missing file or record leaves
    // every control as it was.
    void LoadWatchIntoEditor(int index);

    void SourceButtonClick();
    void DistinationButtonClick();
    void SpeedButton1Click();
    void RadioGroup1Click();
    void RadioGroup3Click();
    // Ok: checks the folders and the text lengths, then stores the watch and closes; on a refusal the
    // dialog stays open with everything as it was.
    void BitBtn2Click();
    void CancelBtnClick();

    QTabWidget* PageControl1 = nullptr;
    QWidget* MainPage = nullptr;
    QWidget* AdvancedPage = nullptr;

    QLineEdit* SourceEdit = nullptr;
    QToolButton* SourceButton = nullptr;
    QLineEdit* DestinationEdit = nullptr;
    QToolButton* DistinationButton = nullptr;
    QLineEdit* FileTypeEdit = nullptr;
    QCheckBox* WhideLogCheckBox = nullptr;
    QCheckBox* CopyRootCheckBox = nullptr;

    RadioGroup* RadioGroup1 = nullptr;  // Run Syncro
    RadioGroup* RadioGroup2 = nullptr;  // Files Sync
    QCheckBox* BiDirectCheckBox = nullptr;
    QCheckBox* DelEpsendCheckBox = nullptr;
    RadioGroup* RadioGroup4 = nullptr;  // Tune Syncro
    RadioGroup* RadioGroup3 = nullptr;  // 1 in :
    QSpinBox* HourSpinEdit = nullptr;
    QSpinBox* MinSpinEdit = nullptr;
    QLineEdit* RunEdit = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLineEdit* ParamsRunEdit = nullptr;

    QPushButton* BitBtn2 = nullptr;  // Ok
    QPushButton* CancelBtn = nullptr;

  private:
    QWidget* createMainPage();
    QWidget* createAdvancedPage();
    // Puts the text into the record field; refuses a text too long for it with a message naming it.
    bool storeText(tessel::TextField& field, QLineEdit* edit, const QString& name);

    tessel::RunContext& m_context;
    Dialogs& m_dialogs;
    int m_EditIndex;
};
