#include "app/NfcProgDoc.h"

#include "app/MainFrame.h"
#include "app/ProductVersion.h"
#include "app/ProfileSettings.h"
#include "app/WarningBox.h"
#include "forms/BeepTimeDlg.h"
#include "forms/KeyDialogPrompt.h"
#include "forms/PortDlg.h"
#include "kqlmx.h"
#include "res/StringTable.h"

#include <QStatusBar>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kPortSection = QStringLiteral("Port");
constexpr int kBeepFrequencyHz = 440;
constexpr int kStartBaud = 19200;
// The two rates a serial reader is looked for at when it does not answer.
constexpr int kFallbackBaudLow = 9600;
constexpr int kFallbackBaudHigh = 19200; // also the readers' own default
constexpr int kReaderNameSize = 30;

// The first three version characters as a hexadecimal number (as far as they are
// hexadecimal digits).
int TypeCodeOf(const unsigned char* version) {
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const unsigned char c = version[i];
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0) break;
        code = code * 16 + digit;
    }
    return code;
}

// The fourth version character as a base-36 digit (either letter case); 255 when it
// is none.
int FirmwareMinorOf(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    return 255;
}

// The group of a device the user may not open for reading and writing (typically
// "dialout" for serial lines), so that the message can say whom to join; empty when
// the open failed for another reason.
QString DeniedDeviceGroup(const QString& openName) {
    // The open name ends in ":<address>"; a device path holds no other ':'.
    const QByteArray path = openName.section(u':', 0, 0).toUtf8();
    if (!path.startsWith('/')) return {};
    if (faccessat(AT_FDCWD, path.constData(), R_OK | W_OK, AT_EACCESS) == 0 || errno != EACCES) return {};
    struct stat info {};
    if (stat(path.constData(), &info) != 0) return {};
    // Joining the group helps only when the group may read and write.
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
    const group* owner = getgrgid(info.st_gid);
    return owner ? QString::fromUtf8(owner->gr_name) : QString::number(info.st_gid);
}

QString NoAccessText(const QString& openName, const QString& group) {
    return KqFormat(IdsNoDeviceAccess, {openName.section(u':', 0, 0), group, group});
}

void ForgetStoredPortName() {
    ProfileSettings::WriteString(kPortSection, QStringLiteral("Name"), QString());
}

} // namespace

CNfcProgDoc::CNfcProgDoc(QObject* parent) : QObject(parent) {
    m_engine.SetKeyPrompt(std::make_unique<CKeyDialogPrompt>());
}

CNfcProgDoc::~CNfcProgDoc() = default;

int CNfcProgDoc::GetPortTimeout() {
    return ProfileSettings::PortTimeout();
}

void CNfcProgDoc::OpenOnStart() {
    if (CMainFrame* frame = MainFrame()) m_savedTitle = frame->windowTitle();
    const int handle = Connect(false, kStartBaud, kStartBaud);
    if (handle > 0) {
        // The engine opens its own port below.
        KQLMX_ClosePort(handle);
    } else {
        SetTitle(m_savedTitle);
        // A missing reader just brings up the dialog; a reader the user may not open
        // is explained first, as no choice in the dialog can mend that.
        if (handle == KQLMX_OPEN_LINK_FAILED) {
            const QString group = DeniedDeviceGroup(m_openName);
            if (!group.isEmpty()) ShowMessage(NoAccessText(m_openName, group));
        }
        if (!ReopenPort()) {
            // The program ends; no reader is to hear from it again.
            m_quitting = true;
            emit quitRequested();
            return;
        }
    }
    m_engine.PreparePort();
    ReportResult(false);
    if (CMainFrame* frame = MainFrame()) {
        frame->ClearDefaultView();
        // A reader back at its default rate after it lost power, or set to the other
        // usual one: the user learns which rate the program now keeps.
        if (m_foundBaud > 0) frame->statusBar()->showMessage(KqFormat(IdsReaderFoundAtRate, {m_foundBaud}));
    }
}

int CNfcProgDoc::OpenPort(bool useGivenBaud, int baud) {
    // The interface dialog, never shown, reads the "Port" settings.
    const CPortDlg settings(MainFrame());
    if (!useGivenBaud) baud = settings.Baudrate;
    m_openName = settings.GetOpenName();
    m_foundBaud = 0;
    const QByteArray name = m_openName.toUtf8();
    const int timeout = GetPortTimeout();
    int handle = KQLMX_OpenPort(name.constData(), baud, timeout);
    if (settings.IsLan || settings.IsUsb || settings.IsBluetooth) return handle;
    if (handle != KQLMX_OPEN_NO_READER) return handle;

    // A serial reader that did not answer may run at another rate: its own default
    // (after it lost power it is back there, whatever was stored), then the other usual
    // one. The first open that is no "no reader" gives the answer, so that a port it
    // opens reaches the caller, who closes it; the rate found is stored.
    for (const int otherBaud : {kFallbackBaudHigh, kFallbackBaudLow}) {
        if (otherBaud == baud) continue;
        handle = KQLMX_OpenPort(name.constData(), otherBaud, timeout);
        if (handle == KQLMX_OPEN_NO_READER) continue;
        if (handle > 0 && !useGivenBaud) {
            ProfileSettings::WriteInt(kPortSection, QStringLiteral("Baudrate"), otherBaud);
            m_foundBaud = otherBaud;
        }
        return handle;
    }
    return handle;
}

int CNfcProgDoc::Connect(bool useGivenBaud, int openBaud, int newBaud) {
    const int handle = OpenPort(useGivenBaud, openBaud);
    if (handle <= 0) {
        m_readerTypeCode = 0;
        return handle;
    }
    if (useGivenBaud) KQLMX_SetBaudRate(handle, newBaud / 100 * 100, newBaud % 100);
    if (BuildStatusText(handle) == -1) {
        ForgetStoredPortName();
        KQLMX_ClosePort(handle);
        return 0;
    }
    if (m_readerTypeCode != 0) return handle;
    ForgetStoredPortName();
    KQLMX_ClosePort(handle);
    return KQLMX_OPEN_NO_READER;
}

int CNfcProgDoc::BuildStatusText(int handle) {
    unsigned char version[4] = {};
    if (KQLMX_GetReaderVersion(handle, version, 4) != 4) {
        m_readerTypeCode = 0;
        return 0;
    }
    m_readerTypeCode = TypeCodeOf(version);
    m_firmwareMinor = FirmwareMinorOf(version[3]);
    const QString firmware = KqFormat(IdsFirmwareVersion, {1, m_firmwareMinor});

    if (KQLMX_IsWriter(handle) == 0) {
        ShowMessage(KqString(IdsNotAnNfcReader));
        m_readerTypeCode = 0;
        return -1;
    }
    char name[kReaderNameSize] = {};
    m_readerName = KQLMX_GetReaderName(handle, name, kReaderNameSize) < 1
                       ? QStringLiteral("---")
                       : QString::fromUtf8(name, static_cast<qsizetype>(qstrnlen(name, kReaderNameSize)));
    const QString caption = m_readerName + u' ' +
                            (KQLMX_IsUsbPort(handle) == 1 ? QStringLiteral("USB:") : QString()) + m_openName;
    SetTitle(KqString(IdsAppTitle) + QStringLiteral(" V") + ProductVersionText() + QStringLiteral(" <") +
             caption + QStringLiteral("  ") + firmware + u'>');
    return 1;
}

bool CNfcProgDoc::ReopenPort() {
    CPortDlg dialog(MainFrame());
    const int oldBaud = dialog.Baudrate;
    if (dialog.exec() != QDialog::Accepted) return false;
    m_readerTypeCode = 0;
    // Only a serial line's rate can be switched; the reader learns the new one.
    const bool changeBaud = !dialog.IsUsb && dialog.Baudrate != oldBaud;
    const int handle = Connect(changeBaud, oldBaud, dialog.Baudrate);
    if (handle > 0) {
        KQLMX_ClosePort(handle);
        return true;
    }
    if (handle == KQLMX_OPEN_NO_READER)
        ShowMessage(KqString(IdsNoConnection));
    else if (handle == KQLMX_OPEN_LINK_FAILED) {
        const QString group = DeniedDeviceGroup(m_openName);
        ShowMessage(group.isEmpty() ? KqFormat(IdsCannotOpen, {m_openName})
                                    : NoAccessText(m_openName, group));
    } else if (handle != 0)
        ShowMessage(KqFormat(IdsUnknownError, {-handle}));
    SetTitle(m_savedTitle);
    return false;
}

void CNfcProgDoc::OnChooseInterface() {
    m_engine.ClosePort();
    if (!ReopenPort()) return;
    m_engine.PreparePort();
    ReportResult(false);
    if (CMainFrame* frame = MainFrame()) frame->ClearDefaultView();
}

void CNfcProgDoc::OnSettings() {
    CBeepTimeDlg dialog(MainFrame());
    dialog.exec();
}

int CNfcProgDoc::ReportResult(bool cyclic) {
    int state = -1;
    int index = 0;
    int extraNumber = 0;
    QString extraText;
    m_engine.GetResult(state, index, &extraNumber, &extraText);
    // "No tag" during a cyclic job is the normal waiting state: no beep.
    const bool waitingForTag = cyclic && state >= 1 && index == OperationResult::kNoTag;
    if (!waitingForTag) {
        const int beeps = state == 0 ? 1 : (state < 0 ? 0 : 2);
        m_engine.BeepWithLed(kBeepFrequencyHz, ProfileSettings::BeepTime(), beeps);
    }
    if (CMainFrame* frame = MainFrame()) frame->ShowResult(state, index, extraNumber, extraText);
    return extraNumber;
}

void CNfcProgDoc::ShowMessage(const QString& text) const {
    ShowWarningBox(MainFrame(), text);
}

void CNfcProgDoc::SetTitle(const QString& title) const {
    if (CMainFrame* frame = MainFrame()) frame->setWindowTitle(title);
}
