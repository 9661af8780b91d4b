#include "ShellTestSupport.h"

#include "app/CommandIds.h"
#include "app/ProfileSettings.h"
#include "content/NfcTagData.h"
#include "forms/RecordFormView.h"
#include "kqlmx.h"
#include "sim/TagFactory.h"
#include "sim/TagImage.h"
#include "sim/Type2Tag.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace kqtest {

kqsim::ReaderConfig WriterConfig(int baud) {
    return {.typeCode = 0x165, .firmwareDigit = 5, .protocolType = 0, .address = 1, .baud = baud};
}

SimReader::SimReader(const kqsim::ReaderConfig& config) : sim(config), pty(sim) {
    if (config.lineMode != kqsim::kLine8N1 || config.address != 1) return;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (const int port = KQLMX_OpenPort(pty.slavePath().c_str(), config.baud, 5000); port > 0) {
            KQLMX_ClosePort(port);
            break;
        }
    }
    sim.clearLog();
}

bool WaitDrained(const SimReader& reader) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!reader.pty.drained()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void FreshSettings(const QString& portName, int baud) {
    QFile::remove(ProfileSettings::FilePath());
    // The user's documents folder inside the test's own settings folder, so that the
    // program makes it there and not in the real home.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!config.isEmpty()) {
        QFile dirs(config + "/user-dirs.dirs");
        if (dirs.open(QIODevice::WriteOnly))
            dirs.write("XDG_DOCUMENTS_DIR=\"" + config.toUtf8() + "/Documents\"\n");
    }
    ProfileSettings::WriteString("Port", "Name", portName);
    ProfileSettings::WriteInt("Port", "Baudrate", baud);
    ProfileSettings::WriteInt("Port", "Adresse", 1);
    // The simulator answers within milliseconds, but a busy machine may keep its
    // thread waiting. A test that waits for answers that never come sets a shorter one.
    ProfileSettings::WriteInt("Port", "Timeout", 5000);
    ProfileSettings::WriteInt("Settings", "BeepTime", 10);
    ProfileSettings::WriteInt("Settings", "ZyklusZeit", 100);
}

FrameBench::FrameBench(ViewIdTable views, int zyklusZeit) {
    FreshSettings(reader.Path());
    ProfileSettings::WriteInt("Settings", "ZyklusZeit", zyklusZeit);
    frame = std::make_unique<CMainFrame>(&doc, std::move(views));
}

FrameBench::~FrameBench() {
    frame.reset();
}

CRecordFormView* ChooseRecordForm(CMainFrame& frame, int viewId) {
    frame.Action(viewId)->trigger();
    return qobject_cast<CRecordFormView*>(frame.ActiveView());
}

void FillFields(CRecordFormView& form, const QStringList& values) {
    for (int i = 0; i < form.FieldCount() && i < values.size(); ++i) {
        QWidget* control = form.FieldControl(i);
        QString value = values[i];
        if (auto* line = qobject_cast<QLineEdit*>(control)) line->setText(value);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(control))
            edit->setPlainText(value.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        if (auto* combo = qobject_cast<QComboBox*>(control)) combo->setCurrentText(value);
    }
}

QStringList FieldTexts(const CRecordFormView& form) {
    QStringList texts;
    for (int i = 0; i < form.FieldCount(); ++i)
        texts << form.FieldText(i);
    return texts;
}

QString RecordCounter(const CRecordFormView& form) {
    return ControlById<QLineEdit>(form, CRecordFormView::IdRecordCounter)->text();
}

kqsim::Bytes Uid(std::uint8_t n) {
    return {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, n};
}

std::unique_ptr<kqsim::Tag> BlankNtag213(std::uint8_t n) {
    return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag213, Uid(n));
}

std::unique_ptr<kqsim::Tag> Ntag213WithMessage(const QByteArray& message, std::uint8_t n) {
    // NFC Forum Type 2 data area from page 4: the Lock Control TLV the tag is shipped
    // with (01 03 A0 0C 34), the NDEF message TLV (03, length, message), the
    // terminator TLV (FE).
    QByteArray area = QByteArray::fromHex("01 03 A0 0C 34 03") + char(message.size()) + message + '\xFE';
    while (area.size() % 4 != 0)
        area += '\0';

    kqsim::TagImage image;
    BlankNtag213(n)->save(image);
    for (qsizetype at = 0; at < area.size(); at += 4)
        image.setRow("page", int(4 + at / 4), kqsim::Bytes(area.begin() + at, area.begin() + at + 4));
    std::string error;
    return kqsim::loadTag(image, error);
}

QByteArray WellKnownRecord(char type, const QByteArray& payload) {
    // Header D1: MB, ME, SR, TNF 1 (well-known); type length 1; payload length.
    return QByteArray::fromHex("D1 01") + char(payload.size()) + type + payload;
}

QByteArray TextRecord(const QByteArray& text) {
    // Status byte 02: UTF-8, a language code of 2 bytes.
    return WellKnownRecord('T', QByteArray::fromHex("02") + "en" + text);
}

QByteArray VCardText(std::initializer_list<const char*> lines) {
    QByteArray text = "BEGIN:VCARD\r\nVERSION:2.1";
    for (const char* line : lines)
        text += QByteArray("\r\n") + line;
    return text + "\r\nEND:VCARD";
}

QByteArray VCardRecord(const QByteArray& vcard) {
    // Header D2 (MB, ME, SR, TNF 2: media type) with a one-byte payload length, or C2
    // (SR clear) with four length bytes; type length 0C; the type; the payload.
    const qsizetype n = vcard.size();
    QByteArray record = n <= 255 ? QByteArray::fromHex("D2 0C") + char(n)
                                 : QByteArray::fromHex("C2 0C 00 00") + char(n >> 8) + char(n & 0xFF);
    return record + "text/x-vCard" + vcard;
}

QString Hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString MemoryHex(const kqsim::Simulator& sim, kqsim::TagId tag, int page, int count) {
    const std::optional<kqsim::Bytes> memory = sim.tagMemory(tag);
    if (!memory || memory->size() < size_t(page * 4 + count)) return QStringLiteral("(no such memory)");
    return Hex(QByteArray(reinterpret_cast<const char*>(memory->data()) + page * 4, count));
}

QString MessageHex(const kqsim::Simulator& sim, kqsim::TagId tag) {
    const std::optional<kqsim::Bytes> memory = sim.tagMemory(tag);
    if (!memory) return QStringLiteral("(no tag)");
    const QByteArray bytes(reinterpret_cast<const char*>(memory->data()), qsizetype(memory->size()));
    // TLVs from byte 16: NULL (00) has no length, the terminator (FE) ends the area;
    // a length byte of FF is followed by a two-byte length.
    qsizetype at = 16;
    while (at < bytes.size()) {
        const auto type = std::uint8_t(bytes[at++]);
        if (type == 0x00) continue;
        if (type == 0xFE || at >= bytes.size()) break;
        qsizetype length = std::uint8_t(bytes[at++]);
        if (length == 0xFF) {
            if (at + 2 > bytes.size()) break;
            length = qsizetype(std::uint8_t(bytes[at])) << 8 | std::uint8_t(bytes[at + 1]);
            at += 2;
        }
        if (at + length > bytes.size()) break;
        if (type == 0x03) return Hex(bytes.mid(at, length));
        at += length;
    }
    return {};
}

namespace {

// The Request A frames (command 30, protocol type 0: 02 address command ...) in the
// simulator's log.
int TagRequests(const kqsim::Simulator& sim) {
    const std::vector<kqsim::LogEntry> received = sim.log(kqsim::LogKind::Received);
    return int(std::count_if(received.begin(), received.end(), [](const kqsim::LogEntry& entry) {
        return entry.bytes.size() > 2 && entry.bytes[0] == 0x02 && entry.bytes[2] == 0x30;
    }));
}

} // namespace

bool RunForTagRequests(const kqsim::Simulator& sim, int count) {
    const int until = TagRequests(sim) + count;
    return QTest::qWaitFor([&] { return TagRequests(sim) >= until; }, 30000);
}

bool MemoryHolds(const kqsim::Simulator& sim, kqsim::TagId tag, const std::string& text) {
    const std::optional<kqsim::Bytes> memory = sim.tagMemory(tag);
    return memory && std::search(memory->begin(), memory->end(), text.begin(), text.end()) != memory->end();
}

ModalWatcher::ModalWatcher(Handler handler) : m_handler(std::move(handler)) {
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::Poll);
    m_timer.start(10);
}

void ModalWatcher::Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    for (const QPointer<QWidget>& answered : m_answered)
        if (answered == modal) return;
    m_answered << modal;
    auto* box = qobject_cast<QMessageBox*>(modal);
    seen << (box ? box->text() : modal->objectName());
    if (m_handler && m_handler(modal)) return;
    if (box)
        box->done(QMessageBox::Ok);
    else if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
}

ProbeForm::ProbeForm(CNfcProgDoc* doc, QWidget* parent) : CFormView(doc, parent) {
    setObjectName(QStringLiteral("ProbeForm"));
}

void ProbeForm::ShowTagRecord(const CNfcTagData& data) {
    calls << QStringLiteral("ShowTagRecord");
    if (const std::string* text = data.GetText()) {
        shownTexts << QString::fromStdString(*text);
        if (sharedTexts) *sharedTexts << shownTexts.last();
    }
}

void ProbeForm::OnCyclicNextRecord() {
    calls << QStringLiteral("+15");
    if (onNextRecord) onNextRecord();
}

} // namespace kqtest
