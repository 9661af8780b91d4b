#include "ShellTestSupport.h"

#include "app/CommandIds.h"
#include "app/ProfileSettings.h"
#include "content/NfcTagData.h"
#include "forms/RecordFormView.h"
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

#include <algorithm>

namespace kqtest {

kqsim::ReaderConfig WriterConfig(int baud) {
    return {.typeCode = 0x165, .firmwareDigit = 5, .protocolType = 0, .address = 1, .baud = baud};
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

kqsim::Bytes Type2NdefMessage(const kqsim::Bytes& memory) {
    // TLVs from byte 16: NULL (00) has no length, the terminator (FE) ends the area;
    // a length byte of FF is followed by a two-byte length.
    size_t at = 16;
    while (at < memory.size()) {
        const std::uint8_t type = memory[at++];
        if (type == 0x00) continue;
        if (type == 0xFE || at >= memory.size()) break;
        size_t length = memory[at++];
        if (length == 0xFF) {
            if (at + 2 > memory.size()) break;
            length = size_t(memory[at]) << 8 | memory[at + 1];
            at += 2;
        }
        if (at + length > memory.size()) break;
        if (type == 0x03) return kqsim::Bytes(memory.begin() + at, memory.begin() + at + length);
        at += length;
    }
    return {};
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

std::unique_ptr<kqsim::Tag> BlankNtag213(const kqsim::Bytes& uid) {
    return kqsim::Type2Tag::blank(kqsim::Type2Tag::Model::Ntag213, uid);
}

kqsim::Bytes WellKnownRecord(char type, const kqsim::Bytes& payload) {
    // Header D1: MB, ME, SR, TNF 1 (well-known); type length 1; payload length.
    kqsim::Bytes record = {0xD1, 0x01, static_cast<std::uint8_t>(payload.size()),
                           static_cast<std::uint8_t>(type)};
    record.insert(record.end(), payload.begin(), payload.end());
    return record;
}

kqsim::Bytes TextRecord(const std::string& text) {
    // Status byte 02: UTF-8, a language code of 2 bytes.
    const std::string payload = "\x02"
                                "en" +
                                text;
    return WellKnownRecord('T', kqsim::Bytes(payload.begin(), payload.end()));
}

std::string VCardText(std::initializer_list<const char*> lines) {
    std::string text = "BEGIN:VCARD\r\nVERSION:2.1";
    for (const char* line : lines)
        text += std::string("\r\n") + line;
    return text + "\r\nEND:VCARD";
}

QByteArray VCardRecord(const std::string& vcard) {
    // Header D2 (MB, ME, SR, TNF 2: media type) with a one-byte payload length, or C2
    // (SR clear) with four length bytes; type length 0C; the type; the payload.
    const int n = int(vcard.size());
    QByteArray record = n <= 255 ? QByteArray::fromHex("D2 0C") + char(n)
                                 : QByteArray::fromHex("C2 0C 00 00") + char(n >> 8) + char(n & 0xFF);
    return record + "text/x-vCard" + QByteArray::fromStdString(vcard);
}

std::unique_ptr<kqsim::Tag> Ntag213WithMessage(const kqsim::Bytes& message, const kqsim::Bytes& uid) {
    // NFC Forum Type 2 data area from page 4: the Lock Control TLV the tag is shipped
    // with (01 03 A0 0C 34), the NDEF message TLV (03, length, message), the
    // terminator TLV (FE).
    kqsim::Bytes area = {0x01, 0x03, 0xA0, 0x0C, 0x34, 0x03, static_cast<std::uint8_t>(message.size())};
    area.insert(area.end(), message.begin(), message.end());
    area.push_back(0xFE);
    while (area.size() % 4 != 0)
        area.push_back(0x00);

    kqsim::TagImage image;
    BlankNtag213(uid)->save(image);
    for (size_t at = 0; at < area.size(); at += 4)
        image.setRow("page", static_cast<int>(4 + at / 4),
                     kqsim::Bytes(area.begin() + at, area.begin() + at + 4));
    std::string error;
    return kqsim::loadTag(image, error);
}

int FindInMemory(const kqsim::Bytes& memory, const std::string& text) {
    const auto found = std::search(memory.begin(), memory.end(), text.begin(), text.end());
    return found == memory.end() ? -1 : static_cast<int>(found - memory.begin());
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
