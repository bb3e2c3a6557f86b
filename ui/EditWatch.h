#pragma once
// The watch editor "Edit Watch Record": creates a new watch or changes one, its record in the watch
// file and its extras in the text file beside it, both saved together under the watch file's lock.
// It keeps no copy of the watch list; the main window reloads its list once the editor has closed.
// The folders are typed, pasted, picked or dropped from the file manager; Ok checks every value as
// tessel-batch does, offers to make a destination folder that is missing, and says, without refusing,
// when one folder lies inside the other. Building the dialog and loading a watch are in
// EditWatch.cpp, what Ok does in EditWatchSave.cpp.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "sync/RunContext.h"
#include "ui/PathEdit.h"
#include "watch/WatchCheck.h"
#include "watch/WatchRec.h"
#include "watch/WatchText.h"

class Dialogs;
class QCheckBox;
class QLabel;
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
    // A new watch of a folder dropped on the main window's list: the folder becomes the source.
    void presetSource(const QString& folder);

    void SourceButtonClick();
    void DistinationButtonClick();
    void SpeedButton1Click();
    void RadioGroup1Click();
    void RadioGroup3Click();
    // Ok: checks every value as tessel-batch does (checkWatch), then that the source folder exists,
    // offers to make a missing destination folder, stores the watch and closes; on a refusal, a
    // declined folder or a failure to save the dialog stays open with everything as it was.
    void BitBtn2Click();
    void CancelBtnClick();

    QTabWidget* PageControl1 = nullptr;
    QWidget* MainPage = nullptr;
    QWidget* AdvancedPage = nullptr;

    QLineEdit* NameEdit = nullptr;     // proposed from the source folder while it is left as proposed
    QLineEdit* ExcludeEdit = nullptr;  // ";"-separated masks
    QCheckBox* HiddenCheckBox = nullptr;
    RadioGroup* LinksGroup = nullptr;  // Follow, Copy as links, Skip (LinkHandling's order)

    PathEdit* SourceEdit = nullptr;
    QToolButton* SourceButton = nullptr;
    PathEdit* DestinationEdit = nullptr;
    QToolButton* DistinationButton = nullptr;
    // Shown while one folder lies inside the other (watch/WatchWarning.h); saving is not refused.
    QLabel* RootsWarningLabel = nullptr;
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
    PathEdit* RunEdit = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QLineEdit* ParamsRunEdit = nullptr;

    QPushButton* BitBtn2 = nullptr;  // Ok
    QPushButton* CancelBtn = nullptr;

  private:
    QWidget* createMainPage();
    QWidget* createAdvancedPage();
    // A source folder typed or picked: the name follows it while it still is the proposed one.
    void proposeNameFromSource();
    // Shows or hides the warning about one folder inside the other, for the folders as they are now.
    void updateRootsWarning();
    // Every value the editor shows, as the edit that saving makes.
    tessel::WatchEdit editedValues() const;
    // The folders Ok needs: the source must exist; a missing destination is made when the user agrees.
    // False, after saying why, when the watch must not be saved yet.
    bool prepareFolders(const tessel::Watch& watch);
    // Says why nothing was saved and shows the control the problem is about.
    void refuse(const tessel::WatchProblem& problem);
    QWidget* controlOf(tessel::WatchField field) const;

    tessel::RunContext& m_context;
    Dialogs& m_dialogs;
    int m_EditIndex;
    // The file's other watches, to check a name against and propose one; the key of the watch being
    // edited.
    std::vector<tessel::Watch> m_others;
    std::vector<std::string> m_otherNames;
    std::optional<tessel::WatchKey> m_key;
    QString m_proposedName;
};
