// Test equipment of the application shell's GUI tests: a simulated reader on a pty,
// fresh settings naming it, and a watcher that answers the modal dialogs the program
// opens (as a user would) and keeps what they said.
#pragma once

#include "app/FormView.h"
#include "app/MainFrame.h"
#include "app/NfcProgDoc.h"
#include "sim/PtyTransport.h"
#include "sim/Simulator.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <string>

class CRecordFormView;
class QWidget;

namespace kqtest {

// The reader on a pty. The simulator goes first, its transport last. A reader at 8N1
// on address 1 is opened once through the library (and closed, its log cleared)
// before the test begins: the open's probe waits 300 ms at most, which the first
// answers of a fresh process (its code still to be read in) may miss on a busy machine.
struct SimReader {
    explicit SimReader(const kqsim::ReaderConfig& config);
    QString Path() const { return QString::fromStdString(pty.slavePath()); }
    // Entries of the simulator's log so far (every frame it received, also discarded ones).
    size_t LogSize() const { return sim.log().size(); }

    kqsim::Simulator sim;
    kqsim::PtyTransport pty;
};

// Waits (5 s at most) until the simulator has taken every byte written to the reader's
// line so far; whether it has.
bool WaitDrained(const SimReader& reader);

// A writer model (KQ-LMX38) with firmware digit 5 at 19200 baud, protocol type 0.
kqsim::ReaderConfig WriterConfig(int baud = 19200);

// Empties the settings and stores the reader's port ("Port"/"Name", "Baudrate",
// "Adresse" 1, a generous "Timeout" of 5 s), short beeps ("Settings"/"BeepTime"
// 10 ms) and the shortest cycle ("Settings"/"ZyklusZeit" 100 ms). The user's documents folder is
// $XDG_CONFIG_HOME/Documents.
void FreshSettings(const QString& portName, int baud = 19200);

// The 7-byte UID 04 11 22 33 44 55 <n>.
kqsim::Bytes Uid(std::uint8_t n);
// A blank NTAG213 under Uid(n).
std::unique_ptr<kqsim::Tag> BlankNtag213(std::uint8_t n);
// An NTAG213 under Uid(n) whose NDEF area holds the NDEF message given (at most 130
// bytes).
std::unique_ptr<kqsim::Tag> Ntag213WithMessage(const QByteArray& message, std::uint8_t n);
// One short well-known record (MB and ME set) of the type given ("T", "U").
QByteArray WellKnownRecord(char type, const QByteArray& payload);
// A text record: UTF-8, language "en".
QByteArray TextRecord(const QByteArray& text);
// vCard 2.1 text: "BEGIN:VCARD", "VERSION:2.1", the lines given, "END:VCARD", joined
// by CR LF (none after the last).
QByteArray VCardText(std::initializer_list<const char*> lines);
// A contact record alone in its message: a MIME record of the type "text/x-vCard"
// holding the text.
QByteArray VCardRecord(const QByteArray& vcard);

// Bytes as upper-case hex pairs separated by blanks ("01 03 A0"), so that a failed
// comparison shows where two byte strings differ.
QString Hex(const QByteArray& bytes);
// In Hex: the NDEF message on an NFC Forum Type 2 tag, the value of the first NDEF
// Message TLV of its data area (from page 4), empty when there is none; `count`
// bytes of the tag's memory from `page` on.
QString MessageHex(const kqsim::Simulator& sim, kqsim::TagId tag);
QString MemoryHex(const kqsim::Simulator& sim, kqsim::TagId tag, int page, int count);

// A reader on a pty, settings naming it, a document and a main window with the forms
// given (the window is not shown: no connection test).
struct FrameBench {
    explicit FrameBench(ViewIdTable views = ViewIdTable::Standard(), int zyklusZeit = 100);
    ~FrameBench();
    kqsim::Simulator& sim() { return reader.sim; }

    SimReader reader{WriterConfig()};
    CNfcProgDoc doc;
    std::unique_ptr<CMainFrame> frame;
};

// The record form of viewId, chosen by its command as a user would (empty).
CRecordFormView* ChooseRecordForm(CMainFrame& frame, int viewId);
// Types the values into the form's fields in field order as a user would (a combo
// box picks the entry of that text; lines separated by "\n" or "\r\n").
void FillFields(CRecordFormView& form, const QStringList& values);
// The form's field values in field order.
QStringList FieldTexts(const CRecordFormView& form);
// The data-list counter of a record form ("1 von 3", "Ende").
QString RecordCounter(const CRecordFormView& form);
// A control of a form or dialog by its id.
template <class Control> Control* ControlById(const QWidget& parent, int id) {
    return parent.findChild<Control*>(QString::number(id));
}

// Answers each modal dialog once it is shown: by the handler when one is given and
// it returns true, else a message box with OK and any other dialog with Cancel. Each
// is noted in `seen`: a message box as its text, another dialog by its object name.
class ModalWatcher : public QObject {
public:
    using Handler = std::function<bool(QWidget* modal)>;
    explicit ModalWatcher(Handler handler = {});
    QStringList seen;

private:
    void Poll();

    Handler m_handler;
    QTimer m_timer;
    QList<QPointer<QWidget>> m_answered; // weak: a later dialog may take a freed address
};

// Lets the program run until the reader has taken `count` more tag requests (ISO 14443
// Request A) than when called: a cyclic job's poll sends one, or two when no tag
// answers. So "nothing more happens while the job goes on" is checked over polls that
// did happen, however busy the machine. False when they have not come within 30 s.
bool RunForTagRequests(const kqsim::Simulator& sim, int count);

// Whether `text` lies anywhere in the tag's memory.
bool MemoryHolds(const kqsim::Simulator& sim, kqsim::TagId tag, const std::string& text);

// A form that notes what the main window asks of it ("OnInitialUpdate", "activate",
// "deactivate", "ClearRecord", "ShowTagRecord", "+11", "+12", "+14", "+15") and the
// texts of the text records it is shown. onNextRecord runs on each +15.
class ProbeForm : public CFormView {
    Q_OBJECT
public:
    ProbeForm(CNfcProgDoc* doc, QWidget* parent);

    void OnInitialUpdate() override { calls << QStringLiteral("OnInitialUpdate"); }
    void OnActivateView(bool activate) override { calls << (activate ? "activate" : "deactivate"); }
    void ClearRecord() override { calls << QStringLiteral("ClearRecord"); }
    void ShowTagRecord(const CNfcTagData& data) override;
    void OnCyclicReadStarted() override { calls << QStringLiteral("+11"); }
    void OnCyclicReadStopped() override { calls << QStringLiteral("+12"); }
    void OnCyclicJobEnded() override { calls << QStringLiteral("+14"); }
    void OnCyclicNextRecord() override;

    QStringList calls;
    QStringList shownTexts;
    // When set, every shown text is noted here as well (it outlives the form).
    QStringList* sharedTexts = nullptr;
    std::function<void()> onNextRecord;
};

} // namespace kqtest
