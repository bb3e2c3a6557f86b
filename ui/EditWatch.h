#pragma once
// The watch editor "Edit Watch Record": creates a new watch or changes one, its record in the watch
// file and its extras in the text file beside it, both saved together under the watch file's lock.
// It keeps no copy of the watch list; the main window reloads its list once the editor has closed.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "watch/RunContext.h"
#include "watch/WatchCheck.h"
#include "watch/WatchRec.h"
#include "watch/WatchText.h"

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

    // Fills the controls from the record whose WatchIndex is `index` and its extras; a missing file or
    // record leaves every control as it was.
    void LoadWatchIntoEditor(int index);

    void SourceButtonClick();
    void DistinationButtonClick();
    void SpeedButton1Click();
    void RadioGroup1Click();
    void RadioGroup3Click();
    // Ok: checks the folders, then every value as tessel-batch does (checkWatch), then stores the watch
    // and closes; on a refusal or a failure to save the dialog stays open with everything as it was.
    void BitBtn2Click();
    void CancelBtnClick();

    QTabWidget* PageControl1 = nullptr;
    QWidget* MainPage = nullptr;
    QWidget* AdvancedPage = nullptr;

    QLineEdit* NameEdit = nullptr;     // proposed from the source folder while it is left as proposed
    QLineEdit* ExcludeEdit = nullptr;  // ";"-separated masks
    QCheckBox* HiddenCheckBox = nullptr;
    RadioGroup* LinksGroup = nullptr;  // Follow, Copy as links, Skip (LinkHandling's order)

    QLineEdit* SourceEdit = nullptr;
    QToolButton* SourceButton = nullptr;
    QLineEdit* DestinationEdit = nullptr;
    QToolButton* DistinationButton = nullptr;
    QLineEdit* FileTypeEdit = nullptr;
    QCheckBox* WhideLogCheckBox = nullptr;
    QCheckBox* CopyRootCheckBox = nullptr;

    RadioGroup* RadioGroup1 = nullptr;        // Run Syncro: the record's four run modes, then On Change
    QSpinBox* ChangeDelaySpinEdit = nullptr;  // On Change: the quiet time in seconds
    RadioGroup* RadioGroup2 = nullptr;        // Files Sync
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
    // A source folder typed or picked: the name follows it while it still is the proposed one.
    void proposeNameFromSource();
    // Says why nothing was saved and shows the control the problem is about.
    void refuse(const tessel::WatchProblem& problem);
    QWidget* controlOf(tessel::WatchField field) const;

    tessel::RunContext& m_context;
    Dialogs& m_dialogs;
    int m_EditIndex;
    // The names of the file's other watches, for proposing one; the key of the watch being edited.
    std::vector<std::string> m_otherNames;
    std::optional<tessel::WatchKey> m_key;
    QString m_proposedName;
};
