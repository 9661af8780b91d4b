#include "forms/RecordFormView.h"

#include "app/DataListSplitters.h"
#include "app/MainWndForwarders.h"
#include "app/NfcProgDoc.h"
#include "app/WarningBox.h"
#include "forms/FormHeading.h"
#include "forms/Label.h"
#include "res/StringTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextBoundaryFinder>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kContentWidth = 820;
constexpr int kTextEditHeight = 180;
// Where the screen is small a multi-line edit yields down to this height, so that the
// buttons and the data-list row below it stay in sight.
constexpr int kTextEditMinHeight = 72;
// The lines a report of lines passed over names before it says there are more.
constexpr int kReportedLines = 12;
// The characters of a template line such a report shows.
constexpr int kReportedLineLength = 60;

const QString kCrLf = QStringLiteral("\r\n");

// Keys whose value goes on in the lines below that match no key.
bool ContinuesOnNextLines(const QString& key) {
    return key == QLatin1String("TEXT:") || key == QLatin1String("MESSAGE:");
}

// The multi-line edit's text with CR LF line breaks. The raw text keeps what the
// user typed (non-breaking spaces too); blocks are split by U+2029.
QString EditText(const QPlainTextEdit* edit) {
    QString text = edit->document()->toRawText();
    text.replace(QChar(QChar::ParagraphSeparator), kCrLf);
    text.replace(QChar(QChar::LineSeparator), kCrLf);
    return text;
}

void SetEditText(QPlainTextEdit* edit, QString text) {
    text.replace(kCrLf, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    edit->setPlainText(text);
}

// A multi-line field that asks for kTextEditHeight and yields down to
// kTextEditMinHeight.
class FieldTextEdit : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    QSize sizeHint() const override { return {QPlainTextEdit::sizeHint().width(), kTextEditHeight}; }
};

// The form's column, of a fixed width. It tells the scroll area around the pane that
// its height does not depend on its width (a word-wrapped heading would say so), so
// that the form may shrink to its minimum where the screen is small.
class FormColumn : public QWidget {
public:
    using QWidget::QWidget;
    bool hasHeightForWidth() const override { return false; }
};

// The heading and the first of the lines passed over.
QString PassedOverText(int heading, const QStringList& lines) {
    QStringList text{KqString(heading)};
    text << lines.mid(0, kReportedLines);
    if (lines.size() > kReportedLines) text << QStringLiteral("...");
    return text.join(QLatin1Char('\n'));
}

} // namespace

CRecordFormView::CRecordFormView(CNfcProgDoc* doc, QWidget* parent, const Kind& kind)
    : CFormView(doc, parent), m_keyword(kind.keyword), m_mandatoryField(kind.mandatoryField),
      m_mandatoryMessage(kind.mandatoryMessage) {
    setObjectName(kind.objectName);
    m_heading = CreateFormHeading(this, kind.heading, kind.headingId);
    BuildCommonControls();
}

void CRecordFormView::BuildCommonControls() {
    auto* content = new FormColumn(this);
    content->setObjectName(QStringLiteral("Content"));
    content->setFixedWidth(kContentWidth);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addWidget(content, 1, Qt::AlignLeft | Qt::AlignTop);

    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->addWidget(m_heading);
    m_fieldGrid = new QGridLayout;
    m_fieldGrid->setHorizontalSpacing(12);
    m_fieldGrid->setColumnStretch(1, 1);
    layout->addLayout(m_fieldGrid);

    m_write = new QPushButton(tr("Schreiben"), content);
    m_write->setObjectName(QString::number(IdWrite));
    m_cyclicWrite = new QPushButton(tr("Zyklisch\nschreiben"), content);
    m_cyclicWrite->setObjectName(QString::number(IdCyclicWrite));
    m_cyclicWrite->setCheckable(true);
    m_writeProtect = new QCheckBox(tr("Nach Schreiben schreibschützen"), content);
    m_writeProtect->setObjectName(QString::number(IdWriteProtect));
    for (QPushButton* button : {m_write, m_cyclicWrite})
        button->setMinimumSize(120, 52);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addWidget(m_write);
    buttons->addWidget(m_cyclicWrite);
    buttons->addSpacing(12);
    buttons->addWidget(m_writeProtect);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    m_fileLabel = new QLabel(tr("Dateiname:"), content);
    m_fileLabel->setObjectName(QString::number(IdFileLabel));
    m_fileName = new QLineEdit(content);
    m_fileName->setObjectName(QString::number(IdFileName));
    m_recordLabel = new QLabel(tr("Datensatz:"), content);
    m_recordLabel->setObjectName(QString::number(IdRecordLabel));
    m_recordCounter = new QLineEdit(content);
    m_recordCounter->setObjectName(QString::number(IdRecordCounter));
    for (QLineEdit* edit : {m_fileName, m_recordCounter}) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
    }
    m_recordCounter->setFixedWidth(110);
    m_prevRecord = new QToolButton(content);
    m_prevRecord->setObjectName(QString::number(IdPrevRecord));
    m_nextRecord = new QToolButton(content);
    m_nextRecord->setObjectName(QString::number(IdNextRecord));
    m_prevRecord->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    m_nextRecord->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    auto* dataList = new QHBoxLayout;
    dataList->setSpacing(8);
    dataList->addWidget(m_fileLabel);
    dataList->addWidget(m_fileName, 1);
    // The gap before "Datensatz:" goes with it: a template alone shows its file name
    // to the end of the field column.
    m_recordLabel->setContentsMargins(12, 0, 0, 0);
    dataList->addWidget(m_recordLabel);
    dataList->addWidget(m_recordCounter);
    dataList->addWidget(m_prevRecord);
    dataList->addWidget(m_nextRecord);
    layout->addLayout(dataList);
    ShowDataListControls(false, false);

    connect(m_write, &QPushButton::clicked, this, &CRecordFormView::OnWrite);
    connect(m_cyclicWrite, &QPushButton::clicked, this, &CRecordFormView::OnCyclicWrite);
    connect(m_prevRecord, &QToolButton::clicked, this, &CRecordFormView::OnPrevRecord);
    connect(m_nextRecord, &QToolButton::clicked, this, &CRecordFormView::OnNextRecord);
}

// ---- Building the form ------------------------------------------------------------

QLineEdit* CRecordFormView::NewLineEdit(int id) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::number(id));
    return edit;
}

QPlainTextEdit* CRecordFormView::NewTextEdit(int id) {
    auto* edit = new FieldTextEdit(this);
    edit->setObjectName(QString::number(id));
    edit->setTabChangesFocus(true);
    edit->setMinimumHeight(kTextEditMinHeight);
    return edit;
}

QComboBox* CRecordFormView::NewComboBox(int id, const QStringList& entries, int defaultIndex) {
    auto* combo = new QComboBox(this);
    combo->setObjectName(QString::number(id));
    combo->addItems(entries);
    combo->setCurrentIndex(defaultIndex);
    combo->setProperty("defaultIndex", defaultIndex);
    return combo;
}

int CRecordFormView::AddField(const QString& key, QWidget* control) {
    auto* combo = qobject_cast<QComboBox*>(control);
    m_fields.append({key, control, combo ? combo->property("defaultIndex").toInt() : 0});
    return FieldCount() - 1;
}

void CRecordFormView::AddFieldRow(const QString& label, const QList<QWidget*>& controls, int labelId) {
    const int row = m_fieldGrid->rowCount();
    const bool tall = std::any_of(controls.begin(), controls.end(),
                                  [](QWidget* c) { return qobject_cast<QPlainTextEdit*>(c) != nullptr; });
    if (!label.isEmpty()) {
        auto* text = new QLabel(label, this);
        if (labelId > 0) text->setObjectName(QString::number(labelId));
        m_fieldGrid->addWidget(text, row, 0, Qt::AlignLeft | (tall ? Qt::AlignTop : Qt::AlignVCenter));
    }
    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    for (QWidget* control : controls)
        line->addWidget(control, qobject_cast<QComboBox*>(control) ? 0 : 1);
    m_fieldGrid->addLayout(line, row, 1);
    // The forms make some controls before their rows are laid out (and the buttons
    // before any), so the creation order is no tab order.
    m_tabChain << controls;
    QWidget* previous = nullptr;
    for (QWidget* next :
         m_tabChain + QList<QWidget*>{m_write, m_cyclicWrite, m_writeProtect, m_prevRecord, m_nextRecord}) {
        if (previous) setTabOrder(previous, next);
        previous = next;
    }
}

// ---- Field values -------------------------------------------------------------------

QString CRecordFormView::FieldText(int field) const {
    QWidget* control = m_fields.at(field).control;
    if (auto* line = qobject_cast<QLineEdit*>(control)) return line->text();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) return EditText(edit);
    if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->currentText();
    return {};
}

void CRecordFormView::SetFieldText(int field, const QString& text) {
    QWidget* control = m_fields.at(field).control;
    if (auto* line = qobject_cast<QLineEdit*>(control)) {
        line->setText(text);
        line->setCursorPosition(0);
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) {
        SetEditText(edit, text);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        for (int i = 0; i < combo->count(); ++i) {
            if (combo->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
                combo->setCurrentIndex(i);
                break;
            }
        }
    }
}

void CRecordFormView::EmptyFields() {
    for (const Field& field : std::as_const(m_fields)) {
        if (auto* line = qobject_cast<QLineEdit*>(field.control)) line->clear();
        if (auto* edit = qobject_cast<QPlainTextEdit*>(field.control)) edit->clear();
        if (auto* combo = qobject_cast<QComboBox*>(field.control)) combo->setCurrentIndex(field.defaultIndex);
    }
}

// ---- Defaults of what a form supplies ---------------------------------------------------

bool CRecordFormView::HasMandatoryField() const {
    return m_mandatoryField < 0 || !FieldText(m_mandatoryField).isEmpty();
}

QString CRecordFormView::TemplateValue(int field) const {
    return FieldText(field);
}

void CRecordFormView::SetTemplateValue(int field, const QString& value) {
    SetFieldText(field, value);
}

int CRecordFormView::ColumnCount() const {
    return FieldCount();
}

QStringList CRecordFormView::TxtColumns(const QStringList& fields) const {
    return fields;
}

bool CRecordFormView::KeepRow(QStringList& columns) const {
    return std::any_of(columns.begin(), columns.end(), [](const QString& c) { return !c.isEmpty(); });
}

void CRecordFormView::ShowRow(const QStringList& columns) {
    for (int i = 0; i < FieldCount() && i < columns.size(); ++i)
        SetFieldText(i, columns[i]);
}

int CRecordFormView::ExcessBytes(const QString& piece) const {
    return static_cast<int>(piece.toUtf8().size());
}

// ---- Templates ----------------------------------------------------------------------

bool CRecordFormView::GetTemplateLines(QStringList& lines) const {
    lines.clear();
    lines << m_keyword;
    for (int i = 0; i < FieldCount(); ++i)
        lines << FieldKey(i) + TemplateValue(i);
    return true;
}

bool CRecordFormView::SetFromTemplateLines(const QStringList& lines, const QString& fileName) {
    EmptyFields();
    // A template replaces the data list: a later cyclic write must not step on
    // into the rows of a list that is no longer shown.
    DropRows();
    if (lines.isEmpty() || lines.first() != m_keyword) {
        ShowWarningBox(this, KqString(IdsInvalidTemplate));
        return false;
    }
    m_fileLabel->setText(KqString(IdsTemplateLabel));
    m_fileName->setText(fileName);
    ShowDataListControls(false, !fileName.isEmpty());

    QStringList values(FieldCount());
    QList<bool> given(FieldCount(), false);
    int continued = -1; // the field that lines matching no key go on with
    QStringList passedOver;
    for (int n = 0; n < lines.size(); ++n) {
        const QString& line = lines[n];
        int matched = -1;
        for (int i = 0; i < FieldCount() && matched < 0; ++i)
            if (line.startsWith(FieldKey(i))) matched = i;
        if (matched >= 0) {
            values[matched] = line.mid(FieldKey(matched).size());
            given[matched] = true;
            continued = ContinuesOnNextLines(FieldKey(matched)) ? matched : -1;
        } else if (continued >= 0) {
            values[continued] += kCrLf + line;
        } else if (n > 0 && !line.trimmed().isEmpty()) {
            passedOver << KqFormat(IdsLineNumber, {n + 1}) + line.left(kReportedLineLength);
        }
    }
    for (int i = 0; i < FieldCount(); ++i)
        if (given[i]) SetTemplateValue(i, values[i]);
    if (CNfcProgDoc* doc = GetDocument())
        doc->Engine().SetResult(OperationResult::kSuccess, OperationResult::kTemplateLoaded);
    if (!passedOver.isEmpty()) ShowWarningBox(this, PassedOverText(IdsTemplateLinesPassedOver, passedOver));
    return true;
}

// ---- Data lists ---------------------------------------------------------------------

void CRecordFormView::AddRow(QStringList fields, const QString& where) {
    const int columns = ColumnCount();
    qsizetype filled = fields.size();
    while (filled > 0 && fields[filled - 1].isEmpty())
        --filled;
    if (filled > columns) {
        // More filled fields than the kind has columns: a separator too many has
        // shifted the row, and its values would land in the wrong fields.
        m_rowProblems << where + KqFormat(IdsRowTooManyFields, {int(filled), columns});
        return;
    }
    fields.resize(columns);
    if (!KeepRow(fields)) return;
    m_rows.append(fields);
    if (CNfcProgDoc* doc = GetDocument())
        doc->Engine().SetResult(OperationResult::kSuccess, OperationResult::kDataListLoaded);
}

void CRecordFormView::DropRows() {
    m_rows.clear();
    m_currentRow = -1;
    ForgetWrittenTagsViaMainWnd();
}

void CRecordFormView::ParseCsvRows(const QStringList& rows, QChar separator) {
    DropRows();
    m_rowProblems.clear();
    QStringList fields;
    for (int i = 0; i < rows.size(); ++i) {
        // Line 1 of the file is the header.
        const QString where = KqFormat(IdsLineNumber, {i + 2});
        if (!SplitDataListLine(rows[i], separator, fields)) {
            m_rowProblems << where + KqString(IdsRowBadQuotes);
            continue;
        }
        AddRow(fields, where);
    }
}

void CRecordFormView::ParseTxtRows(const QString& text, qsizetype position) {
    DropRows();
    m_rowProblems.clear();
    qsizetype pos = position;
    int number = 0;
    do {
        qsizetype next = text.size();
        const QString record = NextSemicolonPairToken(text, pos, next);
        QStringList fields;
        qsizetype at = 0;
        while (at < record.size()) {
            qsizetype after = record.size();
            fields << NextPipeToken(record, at, after);
            at = after;
        }
        AddRow(TxtColumns(fields), KqFormat(IdsTxtRecord, {++number}));
        pos = next;
    } while (pos < text.size());
}

void CRecordFormView::LoadCsvDataList(const QStringList& rows, QChar separator, const QString& fileName) {
    ParseCsvRows(rows, separator);
    ShowDataRecord(0);
    m_fileName->setText(fileName);
    ReportRowProblems();
}

void CRecordFormView::LoadTxtDataList(const QString& text, qsizetype position, const QString& fileName) {
    ParseTxtRows(text, position);
    ShowDataRecord(0);
    m_fileName->setText(fileName);
    ReportRowProblems();
}

void CRecordFormView::ReportRowProblems() {
    QStringList text;
    if (!m_rowProblems.isEmpty()) text << PassedOverText(IdsRowsPassedOver, m_rowProblems);
    if (m_rows.isEmpty()) text << KqString(IdsDataListEmpty);
    if (!text.isEmpty()) ShowWarningBox(this, text.join(QStringLiteral("\n\n")));
}

void CRecordFormView::ShowDataRecord(int n) {
    EmptyFields();
    m_currentRow = -1;
    UpdateRowArrows();
    SetPendingFromFields();
    // A list without a usable row leaves no controls of the list, template or file
    // shown before it.
    if (m_rows.isEmpty()) ShowDataListControls(false, false);
    if (n < 0 || n >= RowCount()) return;

    ShowRow(m_rows[n]);
    m_currentRow = n;
    m_fileLabel->setText(KqString(IdsDataListLabel));
    m_recordCounter->setText(KqFormat(IdsRecordOf, {n + 1, RowCount()}));
    ShowDataListControls(true, true);
    UpdateRowArrows();
    if (IsCyclicWriteRunning()) SetPendingFromFields();
}

void CRecordFormView::UpdateRowArrows() {
    // While cyclic writing runs, only a tag taken away moves the list: a click could
    // otherwise give a row twice or skip one.
    m_prevRecord->setEnabled(m_editing && m_currentRow > 0);
    m_nextRecord->setEnabled(m_editing && m_currentRow >= 0 && m_currentRow < RowCount() - 1);
}

void CRecordFormView::OnNextRecord() {
    if (!m_editing) return;
    ClearStatusViaMainWnd();
    ShowDataRecord(m_currentRow + 1);
}

void CRecordFormView::OnPrevRecord() {
    if (!m_editing) return;
    ClearStatusViaMainWnd();
    ShowDataRecord(m_currentRow - 1);
}

void CRecordFormView::ShowDataListControls(bool rowControls, bool fileControls) {
    m_fileLabel->setVisible(fileControls);
    m_fileName->setVisible(fileControls);
    for (QWidget* control : {static_cast<QWidget*>(m_recordLabel), static_cast<QWidget*>(m_recordCounter),
                             static_cast<QWidget*>(m_prevRecord), static_cast<QWidget*>(m_nextRecord)})
        control->setVisible(rowControls);
}

// ---- Writing ------------------------------------------------------------------------

bool CRecordFormView::CheckMandatory() {
    if (HasMandatoryField()) return true;
    ShowWarningBox(this, KqString(m_mandatoryMessage));
    return false;
}

void CRecordFormView::SetPendingFromFields() {
    if (CNfcProgDoc* doc = GetDocument()) doc->Engine().SetPending(RecordJson(), m_writeProtect->isChecked());
}

void CRecordFormView::EnableEditing(bool enable) {
    m_editing = enable;
    UpdateRowArrows();
    m_write->setEnabled(enable);
    m_writeProtect->setEnabled(enable);
    for (const Field& field : std::as_const(m_fields))
        field.control->setEnabled(enable);
}

void CRecordFormView::OnWrite() {
    m_write->setFocus();
    CNfcProgDoc* doc = GetDocument();
    if (!doc || !CheckMandatory()) return;
    ShowWritingViaMainWnd();
    doc->Engine().WriteJson(RecordJson(), m_writeProtect->isChecked());
    MarkExcess(doc->ReportResult(false));
}

void CRecordFormView::MarkExcess(int excess) {
    QPlainTextEdit* edit = ExcessEdit();
    if (excess <= 0 || !edit) return;
    // The excess is counted in the record's bytes: as many characters are marked
    // from the end as take up that many bytes. A character is what the user sees as
    // one (a flag, a letter with its accents), so that none is marked in half. A
    // count beyond the text (the record's own bytes) marks the whole text.
    const QString text = edit->document()->toRawText();
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.toEnd();
    qsizetype start = text.size();
    for (int bytes = 0; start > 0 && bytes < excess;) {
        const qsizetype previous = std::max<qsizetype>(0, characters.toPreviousBoundary());
        QString piece = text.mid(previous, start - previous);
        piece.replace(QChar(QChar::ParagraphSeparator), kCrLf);
        piece.replace(QChar(QChar::LineSeparator), kCrLf);
        bytes += ExcessBytes(piece);
        start = previous;
    }
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.setPosition(static_cast<int>(start));
    cursor.setPosition(static_cast<int>(text.size()), QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
    edit->ensureCursorVisible();
    edit->setFocus();
}

void CRecordFormView::OnCyclicWrite() {
    m_cyclicWrite->setFocus();
    CNfcProgDoc* doc = GetDocument();
    const bool checked = m_cyclicWrite->isChecked();
    if (checked && !IsCyclicWriteRunning() && !HasMandatoryField()) {
        m_cyclicWrite->setChecked(false);
        CheckMandatory();
        return;
    }
    if (IsCyclicWriteRunning()) {
        StopCyclicWriting();
        return;
    }
    if (doc && doc->Engine().PreparePort()) {
        EnableEditing(false);
        m_cyclicWrite->setChecked(true);
        SetPendingFromFields();
        SetCyclicWriteViaMainWnd(true);
    } else {
        if (doc) doc->ReportResult(false);
        m_cyclicWrite->setChecked(false);
    }
}

void CRecordFormView::StopCyclicWriting() {
    EnableEditing(true);
    m_cyclicWrite->setChecked(false);
    SetCyclicWriteViaMainWnd(false);
}

// ---- The main window ------------------------------------------------------------------

void CRecordFormView::OnActivateView(bool activate) {
    if (!activate) {
        DropRows();
        ShowDataListControls(false, false);
        return;
    }
    ApplyFormHeadingFont(m_heading);
    const bool idle = !IsCyclicJobRunning();
    m_write->setEnabled(idle);
    m_cyclicWrite->setEnabled(idle);
    ShowDataListControls(!m_rows.isEmpty(), !m_rows.isEmpty());
    if (!m_fields.isEmpty()) {
        QWidget* first = m_fields.first().control;
        first->setFocus();
        if (auto* line = qobject_cast<QLineEdit*>(first)) line->selectAll();
        if (auto* edit = qobject_cast<QPlainTextEdit*>(first)) edit->selectAll();
    }
}

void CRecordFormView::ClearRecord() {
    EmptyFields();
    DropRows();
    ShowDataListControls(false, false);
}

void CRecordFormView::ShowTagRecord(const CNfcTagData& data) {
    EmptyFields();
    ShowTagFields(data);
}

void CRecordFormView::OnCyclicReadStarted() {
    m_write->setEnabled(false);
    m_cyclicWrite->setEnabled(false);
}

void CRecordFormView::OnCyclicReadStopped() {
    m_write->setEnabled(true);
    m_cyclicWrite->setEnabled(true);
    m_writeProtect->setEnabled(true);
}

void CRecordFormView::OnCyclicJobEnded() {
    EnableEditing(true);
    m_cyclicWrite->setChecked(false);
}

void CRecordFormView::OnCyclicNextRecord() {
    // Without a list the same record goes on to the next tag; past its end nothing.
    if (m_rows.isEmpty() || m_currentRow < 0) return;
    // Also after the job has ended: its last tag was written and the next start
    // writes the next row.
    ShowDataRecord(m_currentRow + 1);
    if (m_currentRow < 0) {
        if (IsCyclicWriteRunning()) StopCyclicWriting();
        m_recordCounter->setText(KqString(IdsEnd));
    } else if (IsCyclicWriteRunning() && !HasMandatoryField()) {
        // This row cannot be written: stop here, so that the user can complete it
        // and start again from it.
        StopCyclicWriting();
        CheckMandatory();
    }
}
