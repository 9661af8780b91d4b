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
    <name>CNfcTagAccess</name>
    <message>
        <source>KQLMX_ClosePort meldet Fehler</source>
        <translation>KQLMX_ClosePort reports an error</translation>
    </message>
</context>
<context>
    <name>CPortDlg</name>
    <message>
        <source>Schnittstelle</source>
        <translation>Interface</translation>
    </message>
    <message>
        <source>Ethernet aktivieren</source>
        <translation>Enable Ethernet</translation>
    </message>
    <message>
        <source>IP ?</source>
        <translation>IP ?</translation>
    </message>
    <message>
        <source>HID Mode</source>
        <translation>HID Mode</translation>
    </message>
    <message>
        <source>Virtual Com</source>
        <translation>Virtual Com</translation>
    </message>
    <message>
        <source>Schnittstelle auswählen</source>
        <translation>Select interface</translation>
    </message>
    <message>
        <source>keine</source>
        <translation>none</translation>
    </message>
    <message>
        <source>gerade</source>
        <translation>even</translation>
    </message>
    <message>
        <source>ungerade</source>
        <translation>odd</translation>
    </message>
    <message>
        <source>Baudrate</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>Parität</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>Stopbits:</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>Timeout in [ms]</source>
        <translation>Time-out in [ms]</translation>
    </message>
    <message>
        <source>Geräteadresse [dez.]</source>
        <translation>Device address [dec.]</translation>
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
    <message>
        <source>Kein Vek USB Treiber für KQ-LM(X)34 installiert!</source>
        <comment>10134</comment>
        <translation>No Vek USB driver installed for KQ-LM(X)34!</translation>
    </message>
    <message>
        <source>Kein Vek USB Treiber für KQ-LM(X)38 VCOM installiert!</source>
        <comment>10135</comment>
        <translation>No Vek USB driver installed for KQ-LM(X)38 VCOM!</translation>
    </message>
    <message>
        <source>Treiber laden und installieren?</source>
        <comment>10136</comment>
        <translation>Download and install the driver?</translation>
    </message>
</context>
</TS>
