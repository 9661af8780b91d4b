<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="de_DE">
<context>
    <name>CBeepTimeDlg</name>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Tondauer</source>
        <translation>Beep length</translation>
    </message>
    <message>
        <source>ms</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>(0 ms = Ton aus)</source>
        <translation>(0 ms = no beep)</translation>
    </message>
    <message>
        <source>Zykluszeit</source>
        <translation>Cycle time</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>DialogDataExchange</name>
    <message>
        <source>Bitte geben Sie eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Please enter a whole number between %1 and %2.</translation>
    </message>
    <message>
        <source>Bitte geben Sie eine ganze Zahl ein.</source>
        <translation>Please enter a whole number.</translation>
    </message>
</context>
<context>
    <name>StringTable</name>
    <message>
        <source>FW V%d.%02d</source>
        <comment>154</comment>
        <translation>FW V%d.%02d</translation>
    </message>
    <message>
        <source>Neue Version:</source>
        <comment>600</comment>
        <translation>New version:</translation>
    </message>
    <message>
        <source> ist aktuell</source>
        <comment>601</comment>
        <translation> is up to date</translation>
    </message>
    <message>
        <source>Keine Internet Verbindung: Update Prüfung nicht möglich!</source>
        <comment>602</comment>
        <translation>No internet connection: update check not possible!</translation>
    </message>
    <message>
        <source>Keine Datei gefunden: Update Prüfung nicht möglich!</source>
        <comment>603</comment>
        <translation>No file found: update check not possible!</translation>
    </message>
    <message>
        <source>Update wird gestartet, bitte warten!</source>
        <comment>604</comment>
        <translation>Starting the update, please wait!</translation>
    </message>
    <message>
        <source>KQ-NFC Programmer</source>
        <comment>57344</comment>
        <translation>KQ-NFC Programmer</translation>
    </message>
</context>
</TS>
