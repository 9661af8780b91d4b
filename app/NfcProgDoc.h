#pragma once

#include "app/NfcTagAccess.h"

#include <QObject>
#include <QString>

// The program's document: it owns the tag-operation engine, tests the connection to
// the reader when the main window is first shown, lets the user choose another
// interface, shows the reader's model, port and firmware in the window title, and
// turns each operation result into beeps and the main window's result display.
// The reader settings live in the "Port" section (written by the interface dialog).
// The engine asks for tag keys with the key dialogs.
//
// It reaches the main window through MainFrame(); without one it shows no title or
// result. User-interface thread only.
class CNfcProgDoc : public QObject {
    Q_OBJECT
public:
    explicit CNfcProgDoc(QObject* parent = nullptr);
    ~CNfcProgDoc() override;

    CNfcTagAccess& Engine() { return m_engine; }
    const CNfcTagAccess& Engine() const { return m_engine; }

    // The connection test when the main window is first shown: on success the engine
    // opens its port and "<model> verbunden!" is shown; on failure the interface
    // dialog opens, and when that does not give a working reader the program ends
    // (quitRequested) without a further word to any reader.
    void OpenOnStart();

    // Opens a port from the stored settings at the stored rate (or at baud when
    // useGivenBaud); a serial reader that does not answer is tried once more at the
    // other of 9600 and 19200, and that rate is stored when it answers (unless
    // useGivenBaud). The handle (> 0; the caller closes it) or the reader library's
    // negative code.
    int OpenPort(bool useGivenBaud, int baud);
    // Opens, switches the reader to newBaud when useGivenBaud, and checks the reader:
    // the open handle when it is an NFC reader (the title then names it); 0 when the
    // device is no NFC reader, the negative code when none answers (the stored port
    // name is emptied in both cases, the port closed).
    int Connect(bool useGivenBaud, int openBaud, int newBaud);
    // Reads the reader's version and name and sets the title: 1 ok, 0 version not
    // readable, -1 not an NFC reader (after message 226).
    int BuildStatusText(int handle);
    // The interface dialog and a new connection test; false when cancelled or failed
    // (the failure is shown and the title restored).
    bool ReopenPort();

    // Commands: "Schnittstelle wählen" (32778), "Einstellungen" (32780).
    void OnChooseInterface();
    void OnSettings();

    // Beeps for the engine's last result (once for success, twice for an error,
    // never for "no tag" during a cyclic job) and shows it in the main window;
    // returns its extra number (excess characters after an overflow, else 0).
    int ReportResult(bool cyclic);

    QString GetReaderName() const { return m_readerName; }
    // "Port"/"Timeout", 500 ms when not set.
    static int GetPortTimeout();

    QString OpenName() const { return m_openName; }
    // True once the program has decided to end after a failed start.
    bool IsQuitting() const { return m_quitting; }

signals:
    // The start failed: the program ends after the current event.
    void quitRequested();

private:
    void ShowMessage(const QString& text) const;
    void SetTitle(const QString& title) const;

    CNfcTagAccess m_engine;
    int m_readerTypeCode = 0;
    int m_firmwareMinor = 0;
    QString m_savedTitle;
    QString m_readerName;
    QString m_openName;
    int m_foundBaud = 0; // a serial reader found at another rate than the stored one
    bool m_quitting = false;
};
