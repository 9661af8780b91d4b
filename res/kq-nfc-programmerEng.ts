<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="de_DE">
<context>
    <name>CUpdateCheck</name>
    <message>
        <source>Das Installationsprogramm konnte nicht gespeichert werden (zu wenig Platz?):
%1</source>
        <translation>The installer could not be saved (too little room?):
%1</translation>
    </message>
    <message>
        <source>Das Laden des Installationsprogramms hat zu lange gedauert:
%1</source>
        <translation>Downloading the installer took too long:
%1</translation>
    </message>
    <message>
        <source>Der Server nennt kein Installationsprogramm.</source>
        <translation>The server names no installer.</translation>
    </message>
    <message>
        <source>Das Installationsprogramm wird nicht geladen: die Adresse
%1
ist keine sichere Adresse (https).</source>
        <translation>The installer is not downloaded: the address
%1
is not a secure address (https).</translation>
    </message>
    <message>
        <source>Die Adresse
%1
nennt keine Datei.</source>
        <translation>The address
%1
names no file.</translation>
    </message>
    <message>
        <source>Das Installationsprogramm konnte nicht geladen werden:
%1</source>
        <translation>The installer could not be downloaded:
%1</translation>
    </message>
</context>
<context>
    <name>CAboutDlg</name>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>automatisch auf neue Version prüfen</source>
        <translation>check for a new version automatically</translation>
    </message>
    <message>
        <source>Info über KQ-NFC Programmer</source>
        <translation>About KQ-NFC Programmer</translation>
    </message>
    <message>
        <source>KQ-NFC Programmer Version</source>
        <translation>KQ-NFC Programmer Version</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
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
    <name>CBookmarkView</name>
    <message>
        <source>Webadresse</source>
        <translation>Web address</translation>
    </message>
    <message>
        <source>Beschreibung (optional):</source>
        <translation>Description (optional):</translation>
    </message>
    <message>
        <source>Webseite:</source>
        <translation>Web page:</translation>
    </message>
</context>
<context>
    <name>CContactView</name>
    <message>
        <source>Kontakt</source>
        <translation>Contact</translation>
    </message>
    <message>
        <source>Vorname:</source>
        <translation>First name:</translation>
    </message>
    <message>
        <source>Nachname:</source>
        <translation>Surname:</translation>
    </message>
    <message>
        <source>Organisation:</source>
        <translation>Organisation:</translation>
    </message>
    <message>
        <source>Telefonnummern:</source>
        <translation>Telephone numbers:</translation>
    </message>
    <message>
        <source>E-Mail:</source>
        <translation>E-mail:</translation>
    </message>
    <message>
        <source>Webseite:</source>
        <translation>Web page:</translation>
    </message>
</context>
<context>
    <name>CIPAddrSuche</name>
    <message>
        <source>IP-Adressen</source>
        <translation>IP addresses</translation>
    </message>
    <message>
        <source>IP-Adresse ändern</source>
        <translation>Change IP address</translation>
    </message>
    <message>
        <source>Schliessen</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>CLanConfig</name>
    <message>
        <source>Der DHCP Name muss 1 bis %1 Byte lang sein (ein Umlaut zählt zwei) und darf weder &apos;[&apos; noch &apos;]&apos; noch &apos;:&apos; enthalten.</source>
        <translation>The DHCP name must be 1 to %1 bytes long (an umlaut counts two) and may contain neither &apos;[&apos; nor &apos;]&apos; nor &apos;:&apos;.</translation>
    </message>
    <message>
        <source>LAN Einstellung</source>
        <translation>LAN settings</translation>
    </message>
    <message>
        <source>IP Adresse automatisch beziehen</source>
        <translation>Obtain an IP address automatically</translation>
    </message>
    <message>
        <source>Folgende IP Adresse verwenden</source>
        <translation>Use the following IP address</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>DHCP Name:</source>
        <translation>DHCP name:</translation>
    </message>
    <message>
        <source>IP-Adresse:</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>Subnetzmaske:</source>
        <translation>Subnet mask:</translation>
    </message>
    <message>
        <source>Gateway:</source>
        <translation>Gateway:</translation>
    </message>
</context>
<context>
    <name>CKeyStoreDlg</name>
    <message>
        <source>Der Schlüsselspeicher konnte nicht gespeichert werden: %1 ist nicht beschreibbar.</source>
        <translation>The key store could not be saved: %1 cannot be written.</translation>
    </message>
    <message>
        <source>Laden</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>Schlüssel laden</source>
        <translation>Load key</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Wert</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Anlegen</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Löschen</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Schlüssel im Programm-Schlüsselspeicher:</source>
        <translation>Keys in the program&apos;s key store:</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Status:</translation>
    </message>
</context>
<context>
    <name>CMailView</name>
    <message>
        <source>E-Mail</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>Beschreibung (optional):</source>
        <translation>Description (optional):</translation>
    </message>
    <message>
        <source>An: (E-Mail Adresse)</source>
        <translation>To: (e-mail address)</translation>
    </message>
    <message>
        <source>Betreff:</source>
        <translation>Subject:</translation>
    </message>
    <message>
        <source>Nachricht:</source>
        <translation>Message:</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>Webadresse</source>
        <translation>Web address</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Kontakt</source>
        <translation>Contact</translation>
    </message>
    <message>
        <source>SMS</source>
        <translation>SMS</translation>
    </message>
    <message>
        <source>Telefonnummer</source>
        <translation>Telephone number</translation>
    </message>
    <message>
        <source>E-Mail</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>Formatieren</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Sperren</source>
        <translation>Lock</translation>
    </message>
    <message>
        <source>Lesen</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Transponder lesen</source>
        <translation>Read transponder</translation>
    </message>
    <message>
        <source>Transponder zyklisch lesen</source>
        <translation>Read transponders cyclically</translation>
    </message>
    <message>
        <source>Zyklisch schreiben beenden</source>
        <translation>Stop cyclic writing</translation>
    </message>
    <message>
        <source>Text kopieren	Strg+C</source>
        <translation>Copy text	Ctrl+C</translation>
    </message>
    <message>
        <source>Text einfügen	Strg+V</source>
        <translation>Paste text	Ctrl+V</translation>
    </message>
    <message>
        <source>Schnittstelle wählen</source>
        <translation>Choose interface</translation>
    </message>
    <message>
        <source>Einstellungen</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Inf&amp;o über KQ-NFC Programmer...</source>
        <translation>&amp;About KQ-NFC Programmer...</translation>
    </message>
    <message>
        <source>&amp;Hilfe</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Umschaltung auf Deutsch</source>
        <translation>Switch to German</translation>
    </message>
    <message>
        <source>Deutsch</source>
        <translation>German</translation>
    </message>
    <message>
        <source>Umschaltung auf Englisch</source>
        <translation>Switch to English</translation>
    </message>
    <message>
        <source>Englisch</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Programm beenden</source>
        <translation>Quit the program</translation>
    </message>
    <message>
        <source>&amp;Datei</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Bearbeiten</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>&amp;Transponder</source>
        <translation>&amp;Transponder</translation>
    </message>
    <message>
        <source>&amp;NFC-Daten</source>
        <translation>&amp;NFC data</translation>
    </message>
    <message>
        <source>Sprache</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Symbolleiste</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>Ergebnis</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Vorlage laden</source>
        <translation>Load template</translation>
    </message>
    <message>
        <source>Vorlage speichern</source>
        <translation>Save template</translation>
    </message>
    <message>
        <source>Datenliste laden</source>
        <translation>Load data list</translation>
    </message>
</context>
<context>
    <name>CMasterkeyAuthentDlg</name>
    <message>
        <source>Authentifizierung</source>
        <translation>Authentication</translation>
    </message>
    <message>
        <source>Transponder ist schreibgeschützt</source>
        <translation>Tag is write-protected</translation>
    </message>
    <message>
        <source>Hauptschlüssel der Karte (0-16 Byte, Auffüllung mit 0):</source>
        <translation>Card master key (0-16 bytes, padded with 0):</translation>
    </message>
    <message>
        <source>Verwenden</source>
        <translation>Use</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Transponder ist schreibgeschützt. Ein Überschreiben ist höchstens möglich, wenn der Hauptschlüssel der Karte bekannt ist.</source>
        <translation>The tag is write-protected. It can only be overwritten if the card&apos;s master key is known.</translation>
    </message>
</context>
<context>
    <name>CNeuerSchluesselDlg</name>
    <message>
        <source>Neuer Schlüsseleintrag</source>
        <translation>New key entry</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Schlüsselname:</source>
        <translation>Key name:</translation>
    </message>
    <message>
        <source>Schlüssel (0-16 Byte, wird mit 0 aufgefüllt):</source>
        <translation>Key (0-16 bytes, padded with 0):</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>Status:</translation>
    </message>
</context>
<context>
    <name>CNfcFormatView</name>
    <message>
        <source>Als NFC formatieren.</source>
        <translation>Format as NFC.</translation>
    </message>
    <message>
        <source>NFC-Nutzdaten werden dabei gelöscht.</source>
        <translation>The NFC user data will be deleted.</translation>
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
    <name>CReadOnlyFormView</name>
    <message>
        <source>Konfiguration und Nutzdaten des Transponders dauerhaft gegen Beschreiben sperren.</source>
        <translation>Lock the tag's configuration and user data against writing for ever.</translation>
    </message>
    <message>
        <source>DESFire-Transponder: Konfiguration mit Passwort vor Veränderung schützen</source>
        <translation>DESFire tag: protect the configuration against changes with a password</translation>
    </message>
    <message>
        <source>DESFire-Transponder: Konfiguration und Nutzdaten mit Passwort vor Veränderung schützen</source>
        <translation>DESFire tag: protect the configuration and user data against changes with a password</translation>
    </message>
</context>
<context>
    <name>CRecordFormView</name>
    <message>
        <source>Schreiben</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Zyklisch
schreiben</source>
        <translation>Write
cyclically</translation>
    </message>
    <message>
        <source>Nach Schreiben schreibschützen</source>
        <translation>Write-protect after writing</translation>
    </message>
    <message>
        <source>Dateiname:</source>
        <translation>File name:</translation>
    </message>
    <message>
        <source>Datensatz:</source>
        <translation>Record:</translation>
    </message>
</context>
<context>
    <name>CSetDesfireKeysDlg</name>
    <message>
        <source>Passwort setzen</source>
        <translation>Set password</translation>
    </message>
    <message>
        <source>Schlüssel für den Schutz (0-16 Byte, Auffüllung mit 0):</source>
        <translation>Protection key (0-16 bytes, padded with 0):</translation>
    </message>
    <message>
        <source>Setzen</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>CSmsView</name>
    <message>
        <source>SMS</source>
        <translation>SMS</translation>
    </message>
    <message>
        <source>Beschreibung (optional):</source>
        <translation>Description (optional):</translation>
    </message>
    <message>
        <source>Telefonnummer:</source>
        <translation>Telephone number:</translation>
    </message>
    <message>
        <source>Nachricht:</source>
        <translation>Message:</translation>
    </message>
</context>
<context>
    <name>CTagJobFormView</name>
    <message>
        <source>Schreiben</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Zyklisch
schreiben</source>
        <translation>Write
cyclically</translation>
    </message>
</context>
<context>
    <name>CTelephonView</name>
    <message>
        <source>Telefonnummer</source>
        <translation>Telephone number</translation>
    </message>
    <message>
        <source>Beschreibung (optional):</source>
        <translation>Description (optional):</translation>
    </message>
    <message>
        <source>Telefonnummer:</source>
        <translation>Telephone number:</translation>
    </message>
</context>
<context>
    <name>CTextView</name>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Text:</source>
        <translation>Text:</translation>
    </message>
</context>
<context>
    <name>CUriView</name>
    <message>
        <source>Unbekannte Internetresource</source>
        <translation>Unknown internet resource</translation>
    </message>
    <message>
        <source>Beschreibung (optional):</source>
        <translation>Description (optional):</translation>
    </message>
    <message>
        <source>Adresse:</source>
        <translation>Address:</translation>
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
        <source>Gültige IP Adresse eingeben!</source>
        <comment>10128</comment>
        <translation>Enter a valid IP address!</translation>
    </message>
    <message>
        <source>Liste aller gefundenen IP-Adressen</source>
        <comment>10129</comment>
        <translation>List of all IP addresses found</translation>
    </message>
    <message>
        <source>IP-Adresse, Subnetzmaske oder Gateway konnte nicht gesetzt werden!</source>
        <comment>10130</comment>
        <translation>IP address, subnet mask or gateway could not be set!</translation>
    </message>
    <message>
        <source>Keine Geräte gefunden!
Bitte prüfen Sie die Firewall-Einstellungen!
Evtl. muss das Programm manuell in der Firewall freigegeben werden.</source>
        <comment>10131</comment>
        <translation>No devices found!
Please check the firewall settings!
The program may have to be allowed through the firewall by hand.</translation>
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
    <message>
        <source>Der Transponder hat NFC-Anwendernutzdaten, aber nicht vom Typ URL!</source>
        <comment>131</comment>
        <translation>The transponder has NFC user data, but not of type URL!</translation>
    </message>
    <message>
        <source>Schreiben erfolgreich!</source>
        <comment>134</comment>
        <translation>Writing successful!</translation>
    </message>
    <message>
        <source>Kein KQ-LMX Gerät gefunden!</source>
        <comment>136</comment>
        <translation>No KQ-LMX device found!</translation>
    </message>
    <message>
        <source>Kein Transponder!</source>
        <comment>138</comment>
        <translation>No transponder!</translation>
    </message>
    <message>
        <source>Fehler beim Block lesen!</source>
        <comment>139</comment>
        <translation>Error reading a block!</translation>
    </message>
    <message>
        <source>Fehler in den NFC-Daten!</source>
        <comment>140</comment>
        <translation>Error in the NFC data!</translation>
    </message>
    <message>
        <source>Nicht unterstützter Mifare-Transpondertyp!</source>
        <comment>141</comment>
        <translation>Unsupported Mifare transponder type!</translation>
    </message>
    <message>
        <source>NFC-Schreibschutz, schreiben nicht möglich!</source>
        <comment>142</comment>
        <translation>NFC write protection, writing not possible!</translation>
    </message>
    <message>
        <source>ca. %d Zeichen zu viel (Transponderspeicher zu klein)!</source>
        <comment>143</comment>
        <translation>approx. %d characters too many (transponder memory too small)!</translation>
    </message>
    <message>
        <source>Schreibschutz, schreiben nicht möglich!</source>
        <comment>144</comment>
        <translation>Write protection, writing not possible!</translation>
    </message>
    <message>
        <source>Fehler bei Block-Authentifizierung bei MifareClassic</source>
        <comment>145</comment>
        <translation>Error in block authentication with MifareClassic</translation>
    </message>
    <message>
        <source>Die Daten im Transponder sind in einer neueren, inkompatiblen NFC-Version!</source>
        <comment>146</comment>
        <translation>The data on the transponder are in a newer, incompatible NFC version!</translation>
    </message>
    <message>
        <source>Die Daten im Transponder sind in einer älteren, inkompatiblen NFC-Version!</source>
        <comment>147</comment>
        <translation>The data on the transponder are in an older, incompatible NFC version!</translation>
    </message>
    <message>
        <source>Bei der NFC-Formatierung ist ein Fehler aufgetreten!</source>
        <comment>148</comment>
        <translation>An error occurred during NFC formatting!</translation>
    </message>
    <message>
        <source>Nicht unterstütztes URI-Format!</source>
        <comment>149</comment>
        <translation>Unsupported URI format!</translation>
    </message>
    <message>
        <source>Nicht unterstütztes MIME-Format!</source>
        <comment>150</comment>
        <translation>Unsupported MIME format!</translation>
    </message>
    <message>
        <source>Lesen erfolgreich!</source>
        <comment>151</comment>
        <translation>Reading successful!</translation>
    </message>
    <message>
        <source>Nicht als NFC formatiert!</source>
        <comment>152</comment>
        <translation>Not formatted as NFC!</translation>
    </message>
    <message>
        <source>Fehler beim Block schreiben!</source>
        <comment>153</comment>
        <translation>Error writing a block!</translation>
    </message>
    <message>
        <source>Fehler beim Schreiben in DESFire-File!</source>
        <comment>158</comment>
        <translation>Error writing to the DESFire file!</translation>
    </message>
    <message>
        <source>Abgebrochen</source>
        <comment>159</comment>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>Sperren erfolgreich!</source>
        <comment>175</comment>
        <translation>Locking successful!</translation>
    </message>
    <message>
        <source>Aktion erfolgreich ausgeführt!</source>
        <comment>178</comment>
        <translation>Action carried out successfully!</translation>
    </message>
    <message>
        <source>Unbekannter Fehler aufgetreten!</source>
        <comment>179</comment>
        <translation>An unknown error occurred!</translation>
    </message>
    <message>
        <source>Bitte Transponder auflegen!</source>
        <comment>190</comment>
        <translation>Please place a transponder!</translation>
    </message>
    <message>
        <source>Zu viele Zeichen (Transponderspeicher zu klein)!</source>
        <comment>191</comment>
        <translation>Too many characters (transponder memory too small)!</translation>
    </message>
    <message>
        <source>Lesen...</source>
        <comment>194</comment>
        <translation>Reading...</translation>
    </message>
    <message>
        <source>Schreiben...</source>
        <comment>195</comment>
        <translation>Writing...</translation>
    </message>
    <message>
        <source>Bereits gesperrt!</source>
        <comment>196</comment>
        <translation>Already locked!</translation>
    </message>
    <message>
        <source>NFC-Leseschutz!</source>
        <comment>197</comment>
        <translation>NFC read protection!</translation>
    </message>
    <message>
        <source>%s verbunden!</source>
        <comment>198</comment>
        <translation>%s connected!</translation>
    </message>
    <message>
        <source>Transponder ist als NFC formatiert, aber ohne NFC-Nutzdaten!</source>
        <comment>202</comment>
        <translation>Transponder is formatted as NFC, but without NFC user data!</translation>
    </message>
    <message>
        <source>Fehler!</source>
        <comment>206</comment>
        <translation>Error!</translation>
    </message>
    <message>
        <source>Mit Passwort schützen erfolgreich !</source>
        <comment>207</comment>
        <translation>Password protection successful !</translation>
    </message>
    <message>
        <source>ID der NFC-Applikation nicht gefunden !</source>
        <comment>208</comment>
        <translation>ID of the NFC application not found !</translation>
    </message>
    <message>
        <source>Fehler beim Schreibschützen von Blöcken bei ISO15693!</source>
        <comment>210</comment>
        <translation>Error write-protecting blocks of ISO15693!</translation>
    </message>
    <message>
        <source>Fehler beim Ändern der Einstellungen</source>
        <comment>211</comment>
        <translation>Error changing the settings</translation>
    </message>
    <message>
        <source>Fehler beim Ändern des Schlüssels!</source>
        <comment>212</comment>
        <translation>Error changing the key!</translation>
    </message>
    <message>
        <source>Unbekannter Datentyp in NFC-Daten</source>
        <comment>214</comment>
        <translation>Unknown data type in NFC data</translation>
    </message>
    <message>
        <source>Authentifizierung der Karte fehlgeschlagen</source>
        <comment>215</comment>
        <translation>Authentication of the card failed</translation>
    </message>
    <message>
        <source>Authentifizierung der NFC-Application fehlgeschlagen</source>
        <comment>216</comment>
        <translation>Authentication of the NFC application failed</translation>
    </message>
    <message>
        <source>Der Transponder ist nicht vom Typ DESFire</source>
        <comment>217</comment>
        <translation>The transponder is not of type DESFire</translation>
    </message>
    <message>
        <source>Datenliste geladen</source>
        <comment>225</comment>
        <translation>Data list loaded</translation>
    </message>
    <message>
        <source>Das gewählte Gerät ist kein KQ-LMX32/38/39/380/390/395 für NFC!</source>
        <comment>226</comment>
        <translation>The selected device is not a KQ-LMX32/38/39/380/390/395 for NFC!</translation>
    </message>
    <message>
        <source>Vorlage geladen</source>
        <comment>227</comment>
        <translation>Template loaded</translation>
    </message>
    <message>
        <source>Vorlage gespeichert</source>
        <comment>228</comment>
        <translation>Template saved</translation>
    </message>
    <message>
        <source>Ein leerer Schlüssel oder einer aus lauter Nullen ist der offene Standardschlüssel und schützt nicht</source>
        <comment>232</comment>
        <translation>An empty key, or one of zeros only, is the open default key and protects nothing</translation>
    </message>
    <message>
        <source>Zur Ausführung der Hilfe muss der Adobe Acrobat Reader installiert sein.</source>
        <comment>10001</comment>
        <translation>To show the help, Adobe Acrobat Reader must be installed.</translation>
    </message>
    <message>
        <source>Unbekannter Fehler %d.</source>
        <comment>10002</comment>
        <translation>Unknown error %d.</translation>
    </message>
    <message>
        <source>%s konnte nicht geöffnet werden.</source>
        <comment>10012</comment>
        <translation>%s could not be opened.</translation>
    </message>
    <message>
        <source>Verbindung zum KQ-LMX38 konnte nicht hergestellt werden!</source>
        <comment>10023</comment>
        <translation>Connection to the KQ-LMX38 could not be established!</translation>
    </message>
    <message>
        <source>NFC-Daten Vorlage</source>
        <comment>155</comment>
        <translation>NFC data template</translation>
    </message>
    <message>
        <source>Es wurde kein Text eingegeben.</source>
        <comment>186</comment>
        <translation>No text was entered.</translation>
    </message>
    <message>
        <source>Es wurde keine Telefonnummer eingegeben.</source>
        <comment>188</comment>
        <translation>No telephone number was entered.</translation>
    </message>
    <message>
        <source>Es wurde kein Empfänger eingegeben.</source>
        <comment>189</comment>
        <translation>No recipient was entered.</translation>
    </message>
    <message>
        <source>Vorlage mit ungültigen Daten.</source>
        <comment>193</comment>
        <translation>Template with invalid data.</translation>
    </message>
    <message>
        <source>Textdateien (*.TXT)|*.txt|CSV-Dateien (*.CSV)|*.csv||</source>
        <comment>219</comment>
        <translation>Text files (*.TXT)|*.txt|CSV files (*.CSV)|*.csv||</translation>
    </message>
    <message>
        <source>%d von %d</source>
        <comment>220</comment>
        <translation>%d of %d</translation>
    </message>
    <message>
        <source>Ende</source>
        <comment>221</comment>
        <translation>End</translation>
    </message>
    <message>
        <source>Die Datei konnte nicht geöffnet werden</source>
        <comment>222</comment>
        <translation>The file could not be opened</translation>
    </message>
    <message>
        <source>Vorlage:</source>
        <comment>223</comment>
        <translation>Template:</translation>
    </message>
    <message>
        <source>Datenliste:</source>
        <comment>224</comment>
        <translation>Data list:</translation>
    </message>
    <message>
        <source>Die Datei ist zu groß (höchstens %d Bytes).</source>
        <comment>10300</comment>
        <translation>The file is too large (at most %d bytes).</translation>
    </message>
    <message>
        <source>Die Datei ist keine Textdatei (UTF-8 oder Windows-1252).</source>
        <comment>10301</comment>
        <translation>The file is not a text file (UTF-8 or Windows-1252).</translation>
    </message>
    <message>
        <source>Die Datenliste enthält keinen Datensatz.</source>
        <comment>10302</comment>
        <translation>The data list holds no record.</translation>
    </message>
    <message>
        <source>Diese Datensätze der Datenliste wurden übergangen:</source>
        <comment>10303</comment>
        <translation>These records of the data list were passed over:</translation>
    </message>
    <message>
        <source>Zeile %d: </source>
        <comment>10304</comment>
        <translation>Line %d: </translation>
    </message>
    <message>
        <source>Datensatz %d: </source>
        <comment>10305</comment>
        <translation>Record %d: </translation>
    </message>
    <message>
        <source>Anführungszeichen nicht geschlossen oder falsch gesetzt</source>
        <comment>10306</comment>
        <translation>quotation mark not closed or misplaced</translation>
    </message>
    <message>
        <source>%d Felder, höchstens %d erwartet</source>
        <comment>10307</comment>
        <translation>%d fields, at most %d expected</translation>
    </message>
    <message>
        <source>Diese Zeilen der Vorlage wurden übergangen:</source>
        <comment>10308</comment>
        <translation>These lines of the template were passed over:</translation>
    </message>
    <message>
        <source>Keine Berechtigung für %s: das Gerät gehört der Gruppe &quot;%s&quot;. Bitte den Benutzer in diese Gruppe aufnehmen (sudo usermod -aG %s BENUTZER) und neu anmelden.</source>
        <comment>10320</comment>
        <translation>No permission for %s: the device belongs to the group &quot;%s&quot;. Please add the user to this group (sudo usermod -aG %s USER) and log in again.</translation>
    </message>
    <message>
        <source>Dieser Transponder enthält schon Datensatz %d.</source>
        <comment>10330</comment>
        <translation>This tag already holds record %d.</translation>
    </message>
    <message>
        <source>Dieser Transponder wurde schon beschrieben.</source>
        <comment>10331</comment>
        <translation>This tag has already been written.</translation>
    </message>
    <message>
        <source>Leser mit %d Baud gefunden; diese Rate ist gespeichert.</source>
        <comment>10332</comment>
        <translation>Reader found at %d baud; this rate is stored.</translation>
    </message>
    <message>
        <source>Privat</source>
        <comment>129</comment>
        <translation>Private</translation>
    </message>
    <message>
        <source>Dienstlich</source>
        <comment>130</comment>
        <translation>Business</translation>
    </message>
    <message>
        <source>Fax dienstlich</source>
        <comment>132</comment>
        <translation>Business fax</translation>
    </message>
    <message>
        <source>Fax privat</source>
        <comment>133</comment>
        <translation>Private fax</translation>
    </message>
    <message>
        <source>Es wurde keine Webadresse eingegeben.</source>
        <comment>185</comment>
        <translation>No web address has been entered.</translation>
    </message>
    <message>
        <source>Es wurde kein Name eingegeben.</source>
        <comment>187</comment>
        <translation>No name has been entered.</translation>
    </message>
    <message>
        <source>Mobil Arbeit</source>
        <comment>213</comment>
        <translation>Mobile business</translation>
    </message>
    <message>
        <source>Mobil</source>
        <comment>218</comment>
        <translation>Mobile</translation>
    </message>
    <message>
        <source>Löschen erfolgreich</source>
        <comment>161</comment>
        <translation>Deleted successfully</translation>
    </message>
    <message>
        <source>Schlüsselwert geladen</source>
        <comment>162</comment>
        <translation>Key value loaded</translation>
    </message>
    <message>
        <source>Ein Schlüssel mit diesem Namen ist bereits vorhanden. Überschreiben ?</source>
        <comment>163</comment>
        <translation>A key with this name already exists. Overwrite?</translation>
    </message>
    <message>
        <source>Schlüsselwert ist nicht hexadezimal</source>
        <comment>170</comment>
        <translation>Key value is not hexadecimal</translation>
    </message>
    <message>
        <source>Es sind nicht alle Felder gefüllt </source>
        <comment>171</comment>
        <translation>Not all fields are filled in </translation>
    </message>
    <message>
        <source>Bitte in der Liste einen Schlüssel selektieren</source>
        <comment>203</comment>
        <translation>Please select a key in the list</translation>
    </message>
    <message>
        <source>Operation erfolgreich</source>
        <comment>204</comment>
        <translation>Operation successful</translation>
    </message>
    <message>
        <source>Hauptschlüssel der NFC-Applikation (0-16 Byte, Auffüllung mit 0):</source>
        <comment>209</comment>
        <translation>Master key of the NFC application (0-16 bytes, padded with 0):</translation>
    </message>
</context>
</TS>
