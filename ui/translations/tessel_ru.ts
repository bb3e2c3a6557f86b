<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Dialogs</name>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do you really want to delete this watch?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LogViewer</name>
    <message>
        <source>Tessel Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Find:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Match &amp;case</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Next</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Previous</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Reload</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tessel Log - %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not found</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PlanModel</name>
    <message>
        <source>Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Conflict</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refused deletion</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>source</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>destination</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Action</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Path</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Размер</translation>
    </message>
    <message>
        <source>Newer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 ↔ %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 → %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Where</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 (%3)</source>
        <extracomment>One kind of action of the plan, how many, and the size they move: &quot;Copy: 3 (12.3 KB)&quot;.</extracomment>
        <translation>%1: %2 (%3)</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>nothing to do</source>
        <translation>ничего делать не нужно</translation>
    </message>
</context>
<context>
    <name>PreviewDialog</name>
    <message>
        <source>Preview of Watch %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What Check Now would do with these folders now. Nothing has been done yet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Show:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All actions (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refused deletion</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>destination</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Total: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The run would log these errors:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Run Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing to do: the folders are in step.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing would be done: see the errors below.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Showing %1 of %2 actions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source: %1
Destination: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 → %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>source</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RunView</name>
    <message numerus="yes">
        <source>about %n s left</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>about %n min left</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>about %1 h %2 min left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deleted %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Running %1</source>
        <translation>Выполняется %1</translation>
    </message>
    <message>
        <source>%1 of %2 · %3 %</source>
        <extracomment>Files done of all files of the run, and the percent of the work done: &quot;4,210 of 100,000 · 4 %&quot;.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 files/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> · </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopped after %1 s:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done in %1 s:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 copied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 moved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 deleted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 kept as versions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 conflicts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 deletions refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 copied, %2 failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stopped, </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copying %1: %2 of %3</source>
        <extracomment>A large file&apos;s own progress in the status bar: &quot;Copying big.iso: 1.2 GB of 3.1 GB&quot;.</extracomment>
        <translation>Копируется %1: %2 из %3</translation>
    </message>
    <message>
        <source>%1 of %2 copied</source>
        <translation>Скопировано %1 из %2</translation>
    </message>
    <message>
        <source>%1 copied (%2)</source>
        <translation>скопировано: %1 (%2)</translation>
    </message>
</context>
<context>
    <name>Sizes</name>
    <message>
        <source>%1 B</source>
        <extracomment>A size below a kilobyte: &quot;512 B&quot;.</extracomment>
        <translation>%1 Б</translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation>%1 КБ</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 МБ</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 ГБ</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 ТБ</translation>
    </message>
    <message>
        <source>%1/s</source>
        <extracomment>A rate: the size copied in a second, &quot;12.5 MB/s&quot;.</extracomment>
        <translation>%1/с</translation>
    </message>
</context>
<context>
    <name>TEditWatchForm</name>
    <message>
        <source>Edit Watch Record</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Main</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ad&amp;vanced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File &amp;types</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extra options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Wide log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy with &amp;root folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Source folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Destination folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sync type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files are</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Both directions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete absent files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Which files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Timer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Hours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mi&amp;nutes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Run after sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Program</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>P&amp;arameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The text in &quot;%1&quot; is longer than %2 bytes, the most a watch can keep. Nothing was saved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose an existing source folder and destination folder.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TMainTesselForm</name>
    <message>
        <source>&amp;Load Watches...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Add Watch...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit Watch...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete Watch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check &amp;Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Minimize on Start</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send Your &amp;Bug Reports...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send Your &amp;Comments...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>S&amp;how Tessel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Check All Watches Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Watch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Watch (Ctrl+N)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit Watch (Enter)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Watch (Del)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check Watch Now (F5)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop the Run (Esc)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help (F1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Destination Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Input/output error: the data was not saved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopping after the current file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>last run %1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tessel: a run needs your attention</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>moving %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>copying %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>stopping</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, %2 %</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto method failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start with the Desktop &amp;Session</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Preview...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open &amp;Versions Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview: What Check Now Would Do (Shift+F5)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file manager could not be started to show %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No versions have been kept for this watch yet: its runs have replaced or deleted no file so far.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No versions have been kept for this watch. Keeping versions is switched off (KeepVersions=0 in Tessel.ini).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>previewing %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Tessel</name>
    <message>
        <source>Starting a second copy of the program is not allowed.</source>
        <translation>Запуск второй копии программы недопустим.</translation>
    </message>
    <message>
        <source>Warning!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TesselTray</name>
    <message>
        <source>Tessel: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
