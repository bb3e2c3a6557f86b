<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Autostart</name>
    <message>
        <source>There is no home folder to keep the autostart entry in.</source>
        <translation>Нет домашней папки, в которой можно хранить запись автозапуска.</translation>
    </message>
    <message>
        <source>Unable to remove %1: %2.</source>
        <translation>Не удалось удалить %1: %2.</translation>
    </message>
    <message>
        <source>Unable to write to %1.</source>
        <translation>Не удалось записать %1.</translation>
    </message>
    <message>
        <source>Unable to write to %1: %2.</source>
        <translation>Не удалось записать %1: %2.</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>Warning</source>
        <translation>Предупреждение</translation>
    </message>
    <message>
        <source>Do you really want to delete this watch?</source>
        <translation>Вы действительно хотите удалить это задание?</translation>
    </message>
    <message>
        <source>&amp;Copy to Clipboard</source>
        <translation>&amp;Копировать в буфер обмена</translation>
    </message>
    <message>
        <source>Watch files (*.wth)</source>
        <translation>Файлы заданий (*.wth)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Все файлы (*)</translation>
    </message>
</context>
<context>
    <name>HelpViewer</name>
    <message>
        <source>Unable to view Tessel help: the file &quot;%1&quot; is missing. Tessel looks for its help pages in the folder &quot;help&quot; beside the program and in &quot;%2&quot; of its installation.</source>
        <translation>Не удалось открыть справку Tessel: нет файла «%1». Tessel ищет страницы справки в папке «help» рядом с программой и в папке «%2» своей установки.</translation>
    </message>
    <message>
        <source>Tessel Help</source>
        <translation>Справка Tessel</translation>
    </message>
    <message>
        <source>Contents</source>
        <translation>Содержание</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Назад</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Вперёд</translation>
    </message>
</context>
<context>
    <name>ListedWatch</name>
    <message>
        <source>At start</source>
        <translation>При запуске</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Никогда</translation>
    </message>
    <message>
        <source>Due now</source>
        <translation>Сейчас</translation>
    </message>
    <message>
        <source>%1, %2, after %3 s</source>
        <extracomment>The tip of a watch&apos;s last result: how it went, when it ended, how long it took.</extracomment>
        <translation>%1, %2, за %3 с</translation>
    </message>
</context>
<context>
    <name>LogViewer</name>
    <message>
        <source>Tessel Log</source>
        <translation>Журнал Tessel</translation>
    </message>
    <message>
        <source>&amp;Find:</source>
        <translation>&amp;Найти:</translation>
    </message>
    <message>
        <source>Match &amp;case</source>
        <translation>&amp;Учитывать регистр</translation>
    </message>
    <message>
        <source>&amp;Next</source>
        <translation>&amp;Следующее</translation>
    </message>
    <message>
        <source>&amp;Previous</source>
        <translation>&amp;Предыдущее</translation>
    </message>
    <message>
        <source>&amp;Reload</source>
        <translation>Пере&amp;читать</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Tessel Log - %1</source>
        <translation>Журнал Tessel - %1</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Не найдено</translation>
    </message>
    <message>
        <source>Pro&amp;blems only</source>
        <translation>Только пр&amp;облемы</translation>
    </message>
    <message>
        <source>Only lines that tell of an error, a conflict or a program that did not start; with nothing to find, each such line</source>
        <translation>Только строки об ошибке, конфликте или программе, которая не запустилась; без текста поиска — каждая такая строка</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>Which match of the search is selected, of how many in the log: &quot;3 of 12&quot;.</extracomment>
        <translation>%1 из %2</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Log</source>
        <translation>Журнал</translation>
    </message>
</context>
<context>
    <name>PlanModel</name>
    <message>
        <source>Copy</source>
        <translation>Копирование</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Замена</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>Перемещение</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Удаление</translation>
    </message>
    <message>
        <source>Create folder</source>
        <translation>Создание папки</translation>
    </message>
    <message>
        <source>Conflict</source>
        <translation>Конфликт</translation>
    </message>
    <message>
        <source>Refused deletion</source>
        <translation>Отказ в удалении</translation>
    </message>
    <message>
        <source>source</source>
        <translation>источник</translation>
    </message>
    <message>
        <source>destination</source>
        <translation>назначение</translation>
    </message>
    <message>
        <source>Action</source>
        <translation>Действие</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Путь</translation>
    </message>
    <message>
        <source>Newer</source>
        <translation>Новее</translation>
    </message>
    <message>
        <source>%1 ↔ %2</source>
        <translation>%1 ↔ %2</translation>
    </message>
    <message>
        <source>%1 → %2</source>
        <translation>%1 → %2</translation>
    </message>
    <message>
        <source>Where</source>
        <translation>Где</translation>
    </message>
    <message>
        <source>Remove old versions</source>
        <translation>Удаление старых версий</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Переименование</translation>
    </message>
    <message>
        <source>Keep both</source>
        <translation>Оставить оба</translation>
    </message>
    <message>
        <source>Keep the source&apos;s</source>
        <translation>Оставить из источника</translation>
    </message>
    <message>
        <source>Keep the destination&apos;s</source>
        <translation>Оставить из назначения</translation>
    </message>
    <message>
        <source>Decision</source>
        <translation>Решение</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>nothing to do</source>
        <translation>ничего делать не нужно</translation>
    </message>
    <message>
        <source>%1: %2 (%3)</source>
        <extracomment>One kind of action of the plan, how many, and the size they move: &quot;Copy: 3 (12.3 KB)&quot;.</extracomment>
        <translation>%1: %2 (%3)</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Размер</translation>
    </message>
</context>
<context>
    <name>PreviewDialog</name>
    <message>
        <source>Preview of Watch %1</source>
        <translation>Предпросмотр задания %1</translation>
    </message>
    <message>
        <source>&amp;Show:</source>
        <translation>&amp;Показать:</translation>
    </message>
    <message>
        <source>All actions (%1)</source>
        <translation>Все действия (%1)</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Refused deletion</source>
        <translation>Отказ в удалении</translation>
    </message>
    <message>
        <source>destination</source>
        <translation>назначение</translation>
    </message>
    <message>
        <source>Total: %1</source>
        <translation>Всего: %1</translation>
    </message>
    <message>
        <source>The run would log these errors:</source>
        <translation>Запуск записал бы в журнал эти ошибки:</translation>
    </message>
    <message>
        <source>&amp;Run Now</source>
        <translation>&amp;Выполнить сейчас</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Закрыть</translation>
    </message>
    <message>
        <source>Nothing to do: the folders are in step.</source>
        <translation>Ничего делать не нужно: папки совпадают.</translation>
    </message>
    <message>
        <source>Nothing would be done: see the errors below.</source>
        <translation>Ничего не было бы сделано: см. ошибки ниже.</translation>
    </message>
    <message>
        <source>Showing %1 of %2 actions</source>
        <translation>Показано действий: %1 из %2</translation>
    </message>
    <message>
        <source>Source: %1
Destination: %2</source>
        <translation>Источник: %1
Назначение: %2</translation>
    </message>
    <message>
        <source>%1 → %2</source>
        <translation>%1 → %2</translation>
    </message>
    <message>
        <source>source</source>
        <translation>источник</translation>
    </message>
    <message>
        <source>What Check Now would do with these folders now. Nothing has been done yet. Clear a row&apos;s box to leave it out, and decide a conflict in its Decision column; Run Now then does the rows left in and nothing else.</source>
        <translation>Что команда «Проверить сейчас» сделала бы с этими папками сейчас. Пока ничего не сделано. Снимите флажок строки, чтобы пропустить её, а конфликт решите в столбце «Решение»; затем «Выполнить сейчас» выполнит оставшиеся строки и ничего больше.</translation>
    </message>
    <message>
        <source>Do the Selected Rows</source>
        <translation>Выполнить выбранные строки</translation>
    </message>
    <message>
        <source>Leave Out the Selected Rows</source>
        <translation>Пропустить выбранные строки</translation>
    </message>
    <message>
        <source>Conflicts: %1</source>
        <translation>Конфликты: «%1»</translation>
    </message>
    <message>
        <source>%1 left out</source>
        <translation>пропущено: %1</translation>
    </message>
    <message>
        <source>%1; %2</source>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>Does the rows left in, as decided, and nothing else</source>
        <translation>Выполняет оставшиеся строки, как решено, и ничего больше</translation>
    </message>
</context>
<context>
    <name>QAbstractFileIconProvider</name>
    <message>
        <source>Folder</source>
        <comment>All other platforms</comment>
        <translation>Папка</translation>
    </message>
    <message>
        <source>Drive</source>
        <translation>Диск</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Неизвестно</translation>
    </message>
</context>
<context>
    <name>RestoreDialog</name>
    <message>
        <source>Restore Files</source>
        <translation>Восстановление файлов</translation>
    </message>
    <message>
        <source>Restore Files: %1</source>
        <translation>Восстановление файлов: %1</translation>
    </message>
    <message>
        <source>What the runs of this watch replaced or deleted, and the conflict copies of a watch that runs both ways. Choose a file, or one of its times, and restore it.</source>
        <translation>Что запуски этого задания заменили или удалили, а также конфликтные копии задания, работающего в обе стороны. Выберите файл или одно из его времён и восстановите его.</translation>
    </message>
    <message>
        <source>Search by name or folder</source>
        <translation>Поиск по имени или папке</translation>
    </message>
    <message>
        <source>Show only the files whose path holds this text (Ctrl+F)</source>
        <translation>Показывать только файлы, путь которых содержит этот текст (Ctrl+F)</translation>
    </message>
    <message>
        <source>&amp;Search:</source>
        <translation>&amp;Поиск:</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Файл</translation>
    </message>
    <message>
        <source>Kept</source>
        <translation>Сохранено</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Размер</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Изменён</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Вид</translation>
    </message>
    <message>
        <source>Side</source>
        <translation>Сторона</translation>
    </message>
    <message>
        <source>&amp;Restore</source>
        <translation>&amp;Восстановить</translation>
    </message>
    <message>
        <source>Put the chosen version back in place of the file; the file there now is kept as a version first</source>
        <translation>Вернуть выбранную версию на место файла; файл, который там сейчас, сначала сохраняется как версия</translation>
    </message>
    <message>
        <source>Save &amp;To...</source>
        <translation>&amp;Сохранить в...</translation>
    </message>
    <message>
        <source>Save the chosen version in another folder, under the file&apos;s own name</source>
        <translation>Сохранить выбранную версию в другой папке под собственным именем файла</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Закрыть</translation>
    </message>
    <message>
        <source>Looking for kept files...</source>
        <translation>Поиск сохранённых файлов...</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Версия</translation>
    </message>
    <message>
        <source>Conflict copy</source>
        <translation>Конфликтная копия</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>Назначение</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Источник</translation>
    </message>
    <message>
        <source>%1 kept</source>
        <translation>сохранено: %1</translation>
    </message>
    <message>
        <source>Nothing has been kept for this watch yet: its runs have replaced or deleted no file.</source>
        <translation>Для этого задания пока ничего не сохранено: его запуски не заменили и не удалили ни одного файла.</translation>
    </message>
    <message>
        <source>Nothing has been kept for this watch. Keeping versions is switched off (KeepVersions=0 in Tessel.ini).</source>
        <translation>Для этого задания ничего не сохранено. Хранение версий отключено (KeepVersions=0 в Tessel.ini).</translation>
    </message>
    <message>
        <source>Some folders could not be looked into: %1</source>
        <translation>Не удалось просмотреть некоторые папки: %1</translation>
    </message>
    <message>
        <source>Save a Copy In</source>
        <translation>Сохранить копию в</translation>
    </message>
    <message>
        <source>Restoring %1...</source>
        <translation>Восстановление %1...</translation>
    </message>
    <message>
        <source>Restored %1.</source>
        <translation>Файл %1 восстановлен.</translation>
    </message>
    <message>
        <source>The file it replaced is kept as %1.</source>
        <translation>Заменённый файл сохранён как %1.</translation>
    </message>
    <message>
        <source>%1 is already there.

Replace it? The file there now is kept in %2 first.</source>
        <translation>%1 уже существует.

Заменить его? Существующий файл сначала будет сохранён в %2.</translation>
    </message>
    <message>
        <source>&amp;Replace</source>
        <translation>&amp;Заменить</translation>
    </message>
    <message>
        <source>Nothing was saved.</source>
        <translation>Ничего не сохранено.</translation>
    </message>
    <message>
        <source>Nothing was restored.</source>
        <translation>Ничего не восстановлено.</translation>
    </message>
    <message>
        <source>The watch is running now, so %1 was not restored. Try again when the run has ended.</source>
        <translation>Задание сейчас выполняется, поэтому %1 не восстановлен. Повторите попытку после окончания запуска.</translation>
    </message>
    <message>
        <source>%1 could not be restored: %2: %3. Nothing was changed.</source>
        <translation>Не удалось восстановить %1: %2: %3. Ничего не изменено.</translation>
    </message>
    <message>
        <source>Kept copies: %1. Files: %2.</source>
        <translation>Сохранённых копий: %1. Файлов: %2.</translation>
    </message>
</context>
<context>
    <name>RunRelay</name>
    <message>
        <source>Running %1</source>
        <translation>Выполняется %1</translation>
    </message>
</context>
<context>
    <name>RunTexts</name>
    <message>
        <source>%1 copied</source>
        <translation>скопировано: %1</translation>
    </message>
    <message>
        <source>%1 moved</source>
        <translation>перемещено: %1</translation>
    </message>
    <message>
        <source>%1 deleted</source>
        <translation>удалено: %1</translation>
    </message>
    <message>
        <source>%1 kept as versions</source>
        <translation>сохранено версий: %1</translation>
    </message>
    <message>
        <source>%1 conflicts</source>
        <translation>конфликтов: %1</translation>
    </message>
    <message>
        <source>%1 deletions refused</source>
        <translation>отказано в удалении: %1</translation>
    </message>
    <message>
        <source>%1 failed</source>
        <translation>ошибок: %1</translation>
    </message>
    <message>
        <source>Stopped after %1 s: %2</source>
        <translation>Остановлено через %1 с: %2</translation>
    </message>
    <message>
        <source>Done in %1 s: %2</source>
        <translation>Готово за %1 с: %2</translation>
    </message>
    <message>
        <source>%1 copied, %2 failed</source>
        <translation>скопировано: %1, ошибок: %2</translation>
    </message>
    <message>
        <source>stopped, </source>
        <translation>остановлено, </translation>
    </message>
    <message>
        <source>OK</source>
        <translation>Успешно</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Остановлено</translation>
    </message>
    <message>
        <source>Conflict</source>
        <translation>Конфликт</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <extracomment>One watch of a pass over several that went well: its name, what it did.</extracomment>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1: %2, %3</source>
        <extracomment>One watch of a pass over several: its name, how its run went, what it did.</extracomment>
        <translation>%1: %2, %3</translation>
    </message>
    <message numerus="yes">
        <source>%n watches, stopped after %1 s: %2</source>
        <extracomment>A pass over several watches, then each watch&apos;s brief: &quot;3 watches in 2.4 s: docs: OK, ...; ...&quot;.</extracomment>
        <translation>
            <numerusform>%n задание, остановлено через %1 с: %2</numerusform>
            <numerusform>%n задания, остановлено через %1 с: %2</numerusform>
            <numerusform>%n заданий, остановлено через %1 с: %2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n watches in %1 s: %2</source>
        <translation>
            <numerusform>%n задание за %1 с: %2</numerusform>
            <numerusform>%n задания за %1 с: %2</numerusform>
            <numerusform>%n заданий за %1 с: %2</numerusform>
        </translation>
    </message>
    <message>
        <source>%1: %2 in %3 s, %4</source>
        <extracomment>A watch&apos;s line in the tip of a pass&apos;s summary: name, result, its own time, what it did.</extracomment>
        <translation>%1: %2 за %3 с, %4</translation>
    </message>
    <message>
        <source>Together: %1</source>
        <translation>Всего: %1</translation>
    </message>
    <message>
        <source>Tessel: %1 failed</source>
        <translation>Tessel: ошибка в задании %1</translation>
    </message>
    <message>
        <source>Tessel: %1 met a conflict</source>
        <translation>Tessel: конфликт в задании %1</translation>
    </message>
    <message numerus="yes">
        <source>Tessel: %n watches need your attention</source>
        <translation>
            <numerusform>Tessel: %n задание требует внимания</numerusform>
            <numerusform>Tessel: %n задания требуют внимания</numerusform>
            <numerusform>Tessel: %n заданий требуют внимания</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 failed</source>
        <comment>a watch</comment>
        <translation>Ошибка в задании %1</translation>
    </message>
    <message>
        <source>%1 met a conflict</source>
        <comment>a watch</comment>
        <translation>Конфликт в задании %1</translation>
    </message>
    <message>
        <source>%1 copied (%2)</source>
        <translation>скопировано: %1 (%2)</translation>
    </message>
</context>
<context>
    <name>RunView</name>
    <message numerus="yes">
        <source>about %n s left</source>
        <translation>
            <numerusform>осталось около %n секунды</numerusform>
            <numerusform>осталось около %n секунд</numerusform>
            <numerusform>осталось около %n секунд</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>about %n min left</source>
        <translation>
            <numerusform>осталось около %n минуты</numerusform>
            <numerusform>осталось около %n минут</numerusform>
            <numerusform>осталось около %n минут</numerusform>
        </translation>
    </message>
    <message>
        <source>about %1 h %2 min left</source>
        <translation>осталось около %1 ч %2 мин</translation>
    </message>
    <message>
        <source>Deleted %1</source>
        <translation>Удалено: %1</translation>
    </message>
    <message>
        <source>Running %1</source>
        <translation>Выполняется %1</translation>
    </message>
    <message>
        <source>%1 of %2 · %3 %</source>
        <extracomment>Files done of all files of the run, and the percent of the work done: &quot;4,210 of 100,000 · 4 %&quot;.</extracomment>
        <translation>%1 из %2 · %3 %</translation>
    </message>
    <message>
        <source>%1 files/s</source>
        <translation>%1 файлов/с</translation>
    </message>
    <message>
        <source> · </source>
        <translation> · </translation>
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
        <translation>Изменение задания</translation>
    </message>
    <message>
        <source>&amp;Main</source>
        <translation>О&amp;сновные</translation>
    </message>
    <message>
        <source>Ad&amp;vanced</source>
        <translation>&amp;Дополнительно</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;ОК</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>Отм&amp;ена</translation>
    </message>
    <message>
        <source>Choose a folder</source>
        <translation>Выберите папку</translation>
    </message>
    <message>
        <source>File &amp;types</source>
        <translation>&amp;Типы файлов</translation>
    </message>
    <message>
        <source>Extra options</source>
        <translation>Дополнительные параметры</translation>
    </message>
    <message>
        <source>&amp;Wide log</source>
        <translation>Подробный &amp;журнал</translation>
    </message>
    <message>
        <source>Copy with &amp;root folder</source>
        <translation>Копировать с &amp;корневой папкой</translation>
    </message>
    <message>
        <source>&amp;Source folder:</source>
        <translation>Исходная &amp;папка:</translation>
    </message>
    <message>
        <source>&amp;Destination folder:</source>
        <translation>Папка &amp;назначения:</translation>
    </message>
    <message>
        <source>Sync type</source>
        <translation>Тип синхронизации</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Запуск</translation>
    </message>
    <message>
        <source>Files are</source>
        <translation>Файлы</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Режим</translation>
    </message>
    <message>
        <source>&amp;Both directions</source>
        <translation>В о&amp;бе стороны</translation>
    </message>
    <message>
        <source>&amp;Delete absent files</source>
        <translation>&amp;Удалять отсутствующие файлы</translation>
    </message>
    <message>
        <source>Which files</source>
        <translation>Какие файлы</translation>
    </message>
    <message>
        <source>Timer</source>
        <translation>Таймер</translation>
    </message>
    <message>
        <source>Every</source>
        <translation>Период</translation>
    </message>
    <message>
        <source>&amp;Hours</source>
        <translation>&amp;Часы</translation>
    </message>
    <message>
        <source>Mi&amp;nutes</source>
        <translation>&amp;Минуты</translation>
    </message>
    <message>
        <source>Run after sync</source>
        <translation>Запуск после синхронизации</translation>
    </message>
    <message>
        <source>Choose a file</source>
        <translation>Выберите файл</translation>
    </message>
    <message>
        <source>&amp;Program</source>
        <translation>П&amp;рограмма</translation>
    </message>
    <message>
        <source>P&amp;arameters</source>
        <translation>П&amp;араметры</translation>
    </message>
    <message>
        <source>The text in &quot;%1&quot; is longer than %2 bytes, the most a watch can keep. Nothing was saved.</source>
        <translation>Текст в поле «%1» длиннее %2 байт — больше, чем может хранить задание. Ничего не сохранено.</translation>
    </message>
    <message>
        <source>give at least one mask: an empty list matches no file</source>
        <translation>укажите хотя бы одну маску: пустому списку не соответствует ни один файл</translation>
    </message>
    <message>
        <source>must not be empty</source>
        <translation>не может быть пустым</translation>
    </message>
    <message>
        <source>must be a full path, starting with /</source>
        <translation>должен быть полным путём, начинающимся с /</translation>
    </message>
    <message>
        <source>may hold only letters, digits, blanks and punctuation</source>
        <translation>может содержать только буквы, цифры, пробелы и знаки препинания</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is all digits, which would read as a watch&apos;s position</source>
        <translation>«%1» состоит из одних цифр и читался бы как номер задания</translation>
    </message>
    <message>
        <source>must not start or end with a blank</source>
        <translation>не может начинаться или заканчиваться пробелом</translation>
    </message>
    <message>
        <source>must not start with &quot;-&quot;</source>
        <translation>не может начинаться с «-»</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is a command of tessel-batch</source>
        <translation>«%1» — команда tessel-batch</translation>
    </message>
    <message>
        <source>another watch is named &quot;%1&quot;</source>
        <translation>другое задание уже называется «%1»</translation>
    </message>
    <message>
        <source>&quot;%1&quot; holds a &quot;/&quot;, which no file name does</source>
        <translation>«%1» содержит «/», а в имени файла этого знака не бывает</translation>
    </message>
    <message>
        <source>not with Move: the next run would delete the only copies of what an earlier run moved</source>
        <translation>несовместимо с перемещением: следующий запуск удалил бы единственные копии того, что переместил предыдущий</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>Exclude</source>
        <translation>Исключения</translation>
    </message>
    <message>
        <source>Delete absent files</source>
        <translation>Удалять отсутствующие файлы</translation>
    </message>
    <message>
        <source>Na&amp;me:</source>
        <translation>&amp;Имя:</translation>
    </message>
    <message>
        <source>E&amp;xclude</source>
        <translation>Искл&amp;ючения</translation>
    </message>
    <message>
        <source>Names, or paths below the folder, that are left out, separated by &quot;;&quot;</source>
        <translation>Имена или пути внутри папки, которые пропускаются, через «;»</translation>
    </message>
    <message>
        <source>Include &amp;hidden files</source>
        <translation>Включая скр&amp;ытые файлы</translation>
    </message>
    <message>
        <source>Symbolic links</source>
        <translation>Символические ссылки</translation>
    </message>
    <message>
        <source>Follow</source>
        <translation>Переходить</translation>
    </message>
    <message>
        <source>Copy as links</source>
        <translation>Копировать как ссылки</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Пропускать</translation>
    </message>
    <message>
        <source>%1: %2. Nothing was saved.</source>
        <translation>%1: %2. Ничего не сохранено.</translation>
    </message>
    <message>
        <source>Another program deleted or changed this watch while it was edited. Nothing was saved.</source>
        <translation>Другая программа удалила или изменила это задание во время редактирования. Ничего не сохранено.</translation>
    </message>
    <message>
        <source>The watch could not be saved: %1. Nothing was changed.</source>
        <translation>Не удалось сохранить задание: %1. Ничего не изменено.</translation>
    </message>
    <message>
        <source>The name the watch is known by, also to tessel-batch</source>
        <translation>Имя, под которым задание известно, в том числе tessel-batch</translation>
    </message>
    <message>
        <source>Masks of the files that take part, separated by &quot;;&quot;, such as *.jpg;*.png. *.* takes every file.</source>
        <translation>Маски участвующих файлов через «;», например *.jpg;*.png. *.* — все файлы.</translation>
    </message>
    <message>
        <source>Log every file copied, moved or deleted, not only each run</source>
        <translation>Записывать в журнал каждый скопированный, перемещённый или удалённый файл, а не только каждый запуск</translation>
    </message>
    <message>
        <source>Copy into a folder of the source folder&apos;s name inside the destination folder</source>
        <translation>Копировать в папку с именем исходной папки внутри папки назначения</translation>
    </message>
    <message>
        <source>Also copy files and folders whose names start with a dot</source>
        <translation>Копировать также файлы и папки, имена которых начинаются с точки</translation>
    </message>
    <message>
        <source>The folder whose files the watch copies or moves. Type, paste or drop a folder here, or choose one with the button.</source>
        <translation>Папка, файлы которой задание копирует или перемещает. Введите, вставьте или перетащите сюда папку либо выберите её кнопкой.</translation>
    </message>
    <message>
        <source>The folder the files go to. A folder that does not exist yet is made when you press OK.</source>
        <translation>Папка, в которую попадают файлы. Несуществующая папка будет создана при нажатии «ОК».</translation>
    </message>
    <message>
        <source>Never run this watch</source>
        <translation>Никогда не запускать это задание</translation>
    </message>
    <message>
        <source>Run the watch each time Tessel starts</source>
        <translation>Запускать задание при каждом запуске Tessel</translation>
    </message>
    <message>
        <source>Run the watch only when you choose Check Now</source>
        <translation>Запускать задание только по команде «Проверить сейчас»</translation>
    </message>
    <message>
        <source>Run the watch by the timer on the right</source>
        <translation>Запускать задание по таймеру справа</translation>
    </message>
    <message>
        <source>Run the watch a few seconds after its folders change, while Tessel runs or tessel-batch follows it</source>
        <translation>Запускать задание через несколько секунд после изменения его папок, пока работает Tessel или за ним следит tessel-batch</translation>
    </message>
    <message>
        <source>On Change</source>
        <translation>При изменении</translation>
    </message>
    <message>
        <source> s</source>
        <translation> с</translation>
    </message>
    <message>
        <source>How long the folders must be quiet after a change before the watch runs</source>
        <translation>Сколько времени папки должны оставаться без изменений, прежде чем задание запустится</translation>
    </message>
    <message>
        <source>&amp;Wait after a change</source>
        <translation>&amp;Ждать после изменения</translation>
    </message>
    <message>
        <source>Copy the files and leave the source as it is</source>
        <translation>Копировать файлы, оставляя источник без изменений</translation>
    </message>
    <message>
        <source>Move the files: each is removed from the source once it is copied</source>
        <translation>Перемещать файлы: каждый удаляется из источника после копирования</translation>
    </message>
    <message>
        <source>Also copy what changes in the destination back to the source</source>
        <translation>Копировать также изменения в папке назначения обратно в исходную папку</translation>
    </message>
    <message>
        <source>Delete the files the other side no longer has; each is kept as a version first</source>
        <translation>Удалять файлы, которых больше нет на другой стороне; каждый сначала сохраняется как версия</translation>
    </message>
    <message>
        <source>Copy new files and every file that differs</source>
        <translation>Копировать новые файлы и все отличающиеся файлы</translation>
    </message>
    <message>
        <source>Replace only older copies; copy no new files</source>
        <translation>Заменять только более старые копии; новые файлы не копировать</translation>
    </message>
    <message>
        <source>Copy only the files the other side lacks; replace nothing</source>
        <translation>Копировать только файлы, которых нет на другой стороне; ничего не заменять</translation>
    </message>
    <message>
        <source>Every 10 minutes</source>
        <translation>Каждые 10 минут</translation>
    </message>
    <message>
        <source>Every hour</source>
        <translation>Каждый час</translation>
    </message>
    <message>
        <source>Every day</source>
        <translation>Каждый день</translation>
    </message>
    <message>
        <source>Every week</source>
        <translation>Каждую неделю</translation>
    </message>
    <message>
        <source>Every 10 days</source>
        <translation>Каждые 10 дней</translation>
    </message>
    <message>
        <source>Every month</source>
        <translation>Каждый месяц</translation>
    </message>
    <message>
        <source>Once a day, at the time below</source>
        <translation>Раз в день, в указанное ниже время</translation>
    </message>
    <message>
        <source>The hour of the day at which a daily watch runs</source>
        <translation>Час, в который запускается ежедневное задание</translation>
    </message>
    <message>
        <source>The minute of the hour at which a daily watch runs</source>
        <translation>Минута, в которую запускается ежедневное задание</translation>
    </message>
    <message>
        <source>A program to start after each run of the watch; empty for none</source>
        <translation>Программа, запускаемая после каждого выполнения задания; пусто — никакой</translation>
    </message>
    <message>
        <source>What the program gets on its command line; quotes keep words together</source>
        <translation>Что программа получает в командной строке; кавычки объединяют слова</translation>
    </message>
    <message>
        <source>Copy the file a link leads to</source>
        <translation>Копировать файл, на который ведёт ссылка</translation>
    </message>
    <message>
        <source>Copy each link as a link</source>
        <translation>Копировать каждую ссылку как ссылку</translation>
    </message>
    <message>
        <source>Leave links out</source>
        <translation>Пропускать ссылки</translation>
    </message>
    <message>
        <source>The source and the destination are the same folder.</source>
        <translation>Исходная папка и папка назначения совпадают.</translation>
    </message>
    <message>
        <source>The destination folder is inside the source folder. Runs skip it when they read the source.</source>
        <translation>Папка назначения находится внутри исходной папки. При чтении исходной папки запуски её пропускают.</translation>
    </message>
    <message>
        <source>The source folder is inside the destination folder. Runs skip it when they look at the destination.</source>
        <translation>Исходная папка находится внутри папки назначения. При просмотре папки назначения запуски её пропускают.</translation>
    </message>
    <message>
        <source>%1 is a file, not a folder. Nothing was saved.</source>
        <translation>%1 — файл, а не папка. Ничего не сохранено.</translation>
    </message>
    <message>
        <source>The source folder %1 does not exist. Nothing was saved.</source>
        <translation>Исходная папка %1 не существует. Ничего не сохранено.</translation>
    </message>
    <message>
        <source>The destination folder %1 does not exist yet.

Make it now and save the watch?</source>
        <translation>Папка назначения %1 ещё не существует.

Создать её сейчас и сохранить задание?</translation>
    </message>
    <message>
        <source>&amp;Make Folder</source>
        <translation>&amp;Создать папку</translation>
    </message>
    <message>
        <source>The folder %1 could not be made: %2. Nothing was saved.</source>
        <translation>Не удалось создать папку %1: %2. Ничего не сохранено.</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Не запускать</translation>
    </message>
    <message>
        <source>On Start</source>
        <translation>При запуске</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>Вручную</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Копировать</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>Перемещать</translation>
    </message>
    <message>
        <source>Sync All</source>
        <translation>Синхронизировать все</translation>
    </message>
    <message>
        <source>Update only old files</source>
        <translation>Обновлять только старые файлы</translation>
    </message>
    <message>
        <source>Copy only absent files</source>
        <translation>Копировать только отсутствующие</translation>
    </message>
    <message>
        <source>10 Minutes</source>
        <translation>10 минут</translation>
    </message>
    <message>
        <source>1 Hour</source>
        <translation>1 час</translation>
    </message>
    <message>
        <source>1 Day</source>
        <translation>1 день</translation>
    </message>
    <message>
        <source>1 Week</source>
        <translation>1 неделя</translation>
    </message>
    <message>
        <source>10 Days</source>
        <translation>10 дней</translation>
    </message>
    <message>
        <source>1 Month</source>
        <translation>1 месяц</translation>
    </message>
    <message>
        <source>On Time:</source>
        <translation>В заданное время:</translation>
    </message>
    <message>
        <source>Source folder</source>
        <translation>Исходная папка</translation>
    </message>
    <message>
        <source>Destination folder</source>
        <translation>Папка назначения</translation>
    </message>
    <message>
        <source>File type</source>
        <translation>Типы файлов</translation>
    </message>
    <message>
        <source>Run after Sync: File</source>
        <translation>Запуск после синхронизации: программа</translation>
    </message>
    <message>
        <source>Run after Sync: Parameters</source>
        <translation>Запуск после синхронизации: параметры</translation>
    </message>
    <message>
        <source>Timer</source>
        <comment>a run mode</comment>
        <translation>По таймеру</translation>
    </message>
</context>
<context>
    <name>TTesselSplashForm</name>
    <message>
        <source>About Tessel</source>
        <translation>О программе Tessel</translation>
    </message>
    <message>
        <source>Version: %1</source>
        <translation>Версия: %1</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>ОК</translation>
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
        <translation>Внимание!</translation>
    </message>
</context>
<context>
    <name>TesselTray</name>
    <message>
        <source>Tessel: %1</source>
        <translation>Tessel: %1</translation>
    </message>
</context>
<context>
    <name>WatchList</name>
    <message>
        <source>Status</source>
        <translation>Статус</translation>
    </message>
    <message>
        <source>Source Folder</source>
        <translation>Исходная папка</translation>
    </message>
    <message>
        <source>Destination Folder</source>
        <translation>Папка назначения</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Имя</translation>
    </message>
    <message>
        <source>Last Run</source>
        <translation>Последний запуск</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Результат</translation>
    </message>
    <message>
        <source>Next Run</source>
        <translation>Следующий запуск</translation>
    </message>
</context>
<context>
    <name>WindowCommands</name>
    <message>
        <source>Start with the Desktop &amp;Session</source>
        <translation>Запускать &amp;вместе с сеансом рабочего стола</translation>
    </message>
    <message>
        <source>&amp;Load Watches...</source>
        <translation>&amp;Загрузить задания...</translation>
    </message>
    <message>
        <source>&amp;View Log</source>
        <translation>&amp;Просмотр журнала</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>В&amp;ыход</translation>
    </message>
    <message>
        <source>&amp;Add Watch...</source>
        <translation>&amp;Добавить задание...</translation>
    </message>
    <message>
        <source>&amp;Edit Watch...</source>
        <translation>&amp;Изменить задание...</translation>
    </message>
    <message>
        <source>&amp;Delete Watch</source>
        <translation>&amp;Удалить задание</translation>
    </message>
    <message>
        <source>Check &amp;Now</source>
        <translation>&amp;Проверить сейчас</translation>
    </message>
    <message>
        <source>&amp;Preview...</source>
        <translation>П&amp;редпросмотр...</translation>
    </message>
    <message>
        <source>Open &amp;Versions Folder</source>
        <translation>Открыть папку в&amp;ерсий</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Остановить</translation>
    </message>
    <message>
        <source>&amp;Minimize on Start</source>
        <translation>&amp;Сворачивать при запуске</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Справка</translation>
    </message>
    <message>
        <source>Send Your &amp;Bug Reports...</source>
        <translation>Сообщить об о&amp;шибке...</translation>
    </message>
    <message>
        <source>Send Your &amp;Comments...</source>
        <translation>Отправить о&amp;тзыв...</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>&amp;О программе...</translation>
    </message>
    <message>
        <source>S&amp;how Tessel</source>
        <translation>&amp;Показать Tessel</translation>
    </message>
    <message>
        <source>&amp;Check All Watches Now</source>
        <translation>Проверить &amp;все задания сейчас</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Файл</translation>
    </message>
    <message>
        <source>&amp;Watch</source>
        <translation>&amp;Задание</translation>
    </message>
    <message>
        <source>&amp;Settings</source>
        <translation>&amp;Настройки</translation>
    </message>
    <message>
        <source>Add Watch (Ctrl+N)</source>
        <translation>Добавить задание (Ctrl+N)</translation>
    </message>
    <message>
        <source>Edit Watch (Enter)</source>
        <translation>Изменить задание (Enter)</translation>
    </message>
    <message>
        <source>Delete Watch (Del)</source>
        <translation>Удалить задание (Del)</translation>
    </message>
    <message>
        <source>Check Watch Now (F5)</source>
        <translation>Проверить задание сейчас (F5)</translation>
    </message>
    <message>
        <source>Preview: What Check Now Would Do (Shift+F5)</source>
        <translation>Предпросмотр: что сделала бы команда «Проверить сейчас» (Shift+F5)</translation>
    </message>
    <message>
        <source>Stop the Run (Esc)</source>
        <translation>Остановить выполнение (Esc)</translation>
    </message>
    <message>
        <source>Help (F1)</source>
        <translation>Справка (F1)</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Preview: %1</source>
        <translation>Предпросмотр: %1</translation>
    </message>
    <message>
        <source>No versions have been kept for this watch yet: its runs have replaced or deleted no file so far.</source>
        <translation>Для этого задания пока не сохранено ни одной версии: его запуски ещё не заменили и не удалили ни одного файла.</translation>
    </message>
    <message>
        <source>No versions have been kept for this watch. Keeping versions is switched off (KeepVersions=0 in Tessel.ini).</source>
        <translation>Для этого задания не сохранено ни одной версии. Хранение версий отключено (KeepVersions=0 в Tessel.ini).</translation>
    </message>
    <message>
        <source>No mail program is set up on this computer, so Tessel cannot open the prepared mail.

Copy the mail to the clipboard? Then paste it into a new mail to %1, in any mail program or web mail.</source>
        <translation>На этом компьютере не настроена почтовая программа, поэтому Tessel не может открыть подготовленное письмо.

Скопировать письмо в буфер обмена? Затем вставьте его в новое письмо на адрес %1 в любой почтовой программе или веб-почте.</translation>
    </message>
    <message>
        <source>&amp;Restore Files...</source>
        <translation>Восстановить &amp;файлы...</translation>
    </message>
    <message>
        <source>No file manager could be started to show %1. Restore Files, in the Watch menu, lists the files kept there and puts them back.</source>
        <translation>Не удалось запустить файловый менеджер, чтобы показать %1. Команда «Восстановить файлы» в меню «Задание» показывает сохранённые там файлы и возвращает их на место.</translation>
    </message>
    <message>
        <source>Pause &amp;Following</source>
        <translation>Приостановить &amp;слежение</translation>
    </message>
    <message>
        <source>Cannot change the watches: %1</source>
        <translation>Не удалось изменить задания: %1</translation>
    </message>
</context>
<context>
    <name>WindowMessages</name>
    <message>
        <source>Input/output error: the data was not saved.</source>
        <translation>Ошибка ввода-вывода: данные не сохранены.</translation>
    </message>
</context>
<context>
    <name>WindowRunDisplay</name>
    <message>
        <source>Stopping after the current file...</source>
        <translation>Остановка после текущего файла...</translation>
    </message>
    <message>
        <source>last run %1, %2</source>
        <translation>последний запуск %1, %2</translation>
    </message>
    <message>
        <source>previewing %1</source>
        <translation>предпросмотр %1</translation>
    </message>
    <message>
        <source>moving %1</source>
        <translation>перемещение %1</translation>
    </message>
    <message>
        <source>copying %1</source>
        <translation>копирование %1</translation>
    </message>
    <message>
        <source>running</source>
        <translation>выполняется</translation>
    </message>
    <message>
        <source>stopping</source>
        <translation>остановка</translation>
    </message>
    <message>
        <source>%1, %2 %</source>
        <translation>%1, %2 %</translation>
    </message>
</context>
</TS>
