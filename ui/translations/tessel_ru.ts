<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Tessel</name>
    <message>
        <source>Starting a second copy of the program is not allowed.</source>
        <translation>Запуск второй копии программы недопустим.</translation>
    </message>
</context>
<context>
    <name>RunView</name>
    <message>
        <source>Running %1</source>
        <translation>Выполняется %1</translation>
    </message>
</context>
</TS>
