#pragma once

#include "app/FormView.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <string>

class CLabel;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

// The editor of one record kind (text, SMS, telephone number, e-mail, web address,
// contact) in the main window's pane. Every record form works alike, and this class
// holds all of it: write the record once ("Schreiben"), write it to each new tag
// ("Zyklisch schreiben"), give and take template lines, load a CSV or TXT data list
// and step through its rows (also while writing cyclically), show a record read from
// a tag, and follow the main window's cyclic jobs.
//
// A form derived from it supplies (see "What a form supplies" below):
// - at construction: its object name, heading, heading control id, keyword, mandatory
//   field and message; its fields, each a control with a template key, added with
//   AddField in the order of the template keys, and laid out with AddFieldRow;
// - RecordJson: the record JSON text of the fields shown (the write and the cyclic
//   write's pending record);
// - ShowTagFields: copy a record read from a tag into the (emptied) fields;
// - where the kind needs it: other template values (TemplateValue/SetTemplateValue),
//   other data-list columns (ColumnCount, TxtColumns, KeepRow, ShowRow), another
//   mandatory rule (HasMandatoryField), the edit whose end is marked when the record
//   is too long for the tag (ExcessEdit).
//
// Field values are the controls' contents: a line edit's text, a multi-line edit's
// text with CR LF line breaks, a combo box's selected entry. Texts go to the engine as
// UTF-8. Every control carries its control id as its object name.
//
// A data list is kept as rows of columns (one string per data-list column, in the
// column order of a CSV list); the current row is -1 while none is shown.
class CRecordFormView : public CFormView {
    Q_OBJECT
public:
    // Control ids every record form has.
    enum ControlId : int {
        IdWrite = 1001,         // "Schreiben"
        IdWriteProtect = 1002,  // "Nach Schreiben schreibschützen"
        IdCyclicWrite = 1016,   // "Zyklisch\nschreiben" (push-like check box)
        IdPrevRecord = 1276,    // previous data-list row
        IdNextRecord = 1277,    // next data-list row
        IdRecordLabel = 1278,   // "Datensatz:"
        IdFileLabel = 1279,     // "Dateiname:", "Vorlage:" or "Datenliste:"
        IdFileName = 1280,      // the template's or data list's file name
        IdRecordCounter = 1281, // "%d von %d" or "Ende"
    };

    // ---- Called by the main window -----------------------------------------------
    // The first line of this kind's templates and data lists ("TEXT", "SMS", ...).
    QString Keyword() const { return m_keyword; }

    // The record as template lines: the keyword, then one line per field, the key
    // followed by the value (a value may hold line breaks). Always true.
    bool GetTemplateLines(QStringList& lines) const;
    // Fills the fields from a template's lines (read without their line ends). The
    // first line must be this kind's keyword exactly, else message 193 and false. A
    // line that starts with a key sets that field (a later line wins, a missing key
    // leaves the field empty); lines that match no key after a "TEXT:" or "MESSAGE:"
    // line continue that value after a CR LF, other such lines are passed over and,
    // unless blank, named in a message box. The data list is dropped; an empty file
    // name shows no file controls (a record carried over a restart). Sets the
    // engine's result (0, 6) "Vorlage geladen".
    bool SetFromTemplateLines(const QStringList& lines, const QString& fileName);
    // A CSV data list: the lines after its header, the field separator, the file name.
    // A TXT data list: the whole text, the index where its records begin, the file
    // name. Both take the usable rows (the engine's result (0, 8) "Datenliste
    // geladen" when there is one), show the first and report, in one message box,
    // the rows they passed over and a list without any row.
    void LoadCsvDataList(const QStringList& rows, QChar separator, const QString& fileName);
    void LoadTxtDataList(const QString& text, qsizetype position, const QString& fileName);
    // The rows of a data list into the row list (without showing or reporting).
    void ParseCsvRows(const QStringList& rows, QChar separator);
    void ParseTxtRows(const QString& text, qsizetype position);
    // Shows row n (0-based) with its counter, or an empty record when there is no
    // such row.
    void ShowDataRecord(int n);

    // ---- The form's buttons (also for tests) --------------------------------------------
    void OnWrite();
    void OnCyclicWrite();
    void OnNextRecord();
    void OnPrevRecord();

    // ---- The main window's requests and messages ---------------------------------------
    void OnActivateView(bool activate) override;
    void ClearRecord() override;
    void ShowTagRecord(const CNfcTagData& data) override;
    void OnCyclicReadStarted() override;
    void OnCyclicReadStopped() override;
    void OnCyclicJobEnded() override;
    void OnCyclicNextRecord() override;

    // ---- State ---------------------------------------------------------------------
    int FieldCount() const { return static_cast<int>(m_fields.size()); }
    QWidget* FieldControl(int field) const { return m_fields.at(field).control; }
    QString FieldKey(int field) const { return m_fields.at(field).key; }
    // The field's value (see the class comment).
    QString FieldText(int field) const;
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    QStringList Row(int n) const { return m_rows.value(n); }
    int CurrentRow() const { return m_currentRow; }
    // What the last data-list load passed over, one text per row ("Zeile 3: ...").
    QStringList RowProblems() const { return m_rowProblems; }

protected:
    // objectName: the class name; heading: the heading's text, shown on control
    // headingId; keyword: the kind's keyword; mandatoryField: the field that must not
    // be empty (-1 when HasMandatoryField decides), mandatoryMessage: the string id
    // shown when it is empty.
    struct Kind {
        QString objectName;
        QString heading;
        int headingId = 1003;
        QString keyword;
        int mandatoryField = 0;
        int mandatoryMessage = 0;
    };
    CRecordFormView(CNfcProgDoc* doc, QWidget* parent, const Kind& kind);

    // ---- Building the form ---------------------------------------------------------
    // New field controls, their id as object name.
    QLineEdit* NewLineEdit(int id);
    QPlainTextEdit* NewTextEdit(int id);
    // A drop-down list of fixed entries; emptying the fields selects defaultIndex.
    QComboBox* NewComboBox(int id, const QStringList& entries, int defaultIndex);
    // Adds a field: its control and its template key (with the colon). Fields are
    // numbered from 0 in the order added, which is the order of the template lines.
    int AddField(const QString& key, QWidget* control);
    // One row of the field area: the label (a static with object name labelId when
    // labelId > 0) and the controls side by side. A multi-line edit's row stretches.
    // Tab goes through the rows' controls in the order added, then to the buttons.
    void AddFieldRow(const QString& label, const QList<QWidget*>& controls, int labelId = 0);

    // ---- Field values --------------------------------------------------------------
    // Sets a field: a combo box selects the first entry that begins with the text,
    // letter case aside, and stays as it is when none does.
    void SetFieldText(int field, const QString& text);
    std::string FieldUtf8(int field) const { return FieldText(field).toStdString(); }
    // Empties every field; combo boxes select their default entries.
    void EmptyFields();

    // ---- What a form supplies --------------------------------------------------------
    // The record JSON text of the fields shown.
    virtual std::string RecordJson() const = 0;
    // Copies a record read from a tag into the fields (all empty on entry) when it
    // is of this form's kind; any other record leaves them empty.
    virtual void ShowTagFields(const CNfcTagData& data) = 0;
    // False when the record lacks what it needs to be written. Default: the
    // mandatory field is not empty.
    virtual bool HasMandatoryField() const;
    // A field's value in a template line, and a template line's value into the field.
    // Default: FieldText / SetFieldText.
    virtual QString TemplateValue(int field) const;
    virtual void SetTemplateValue(int field, const QString& value);
    // The number of data-list columns. Default: one per field.
    virtual int ColumnCount() const;
    // A TXT list's fields in the order of the CSV columns. Default: the same order.
    virtual QStringList TxtColumns(const QStringList& fields) const;
    // Whether a row (ColumnCount columns) is taken into the list; may rework it.
    // Default: any column is not empty.
    virtual bool KeepRow(QStringList& columns) const;
    // Shows a row's columns in the (emptied) fields. Default: column i into field i.
    virtual void ShowRow(const QStringList& columns);
    // The edit whose end is marked when the record does not fit on the tag; none by
    // default.
    virtual QPlainTextEdit* ExcessEdit() const { return nullptr; }
    // The bytes one character of that edit (a line break as CR LF) takes in the
    // record. Default: its UTF-8 bytes.
    virtual int ExcessBytes(const QString& piece) const;

private:
    struct Field {
        QString key;
        QWidget* control;
        int defaultIndex; // combo boxes
    };

    void BuildCommonControls();
    // Enables or disables 1001, 1002 and every field control.
    void EnableEditing(bool enable);
    // The arrows move the list only while no cyclic write runs.
    void UpdateRowArrows();
    // Empties the list; the tags written from it are forgotten.
    void DropRows();
    void ShowDataListControls(bool rowControls, bool fileControls);
    // The pending record of the cyclic write: the fields shown.
    void SetPendingFromFields();
    // Shows the mandatory field's message when the record lacks it.
    bool CheckMandatory();
    void StopCyclicWriting();
    // Keeps a row in the list when it is usable, else notes why not.
    void AddRow(QStringList fields, const QString& where);
    void ReportRowProblems();
    void MarkExcess(int excess);

    QString m_keyword;
    int m_mandatoryField;
    int m_mandatoryMessage;

    CLabel* m_heading = nullptr;
    QGridLayout* m_fieldGrid = nullptr;
    QPushButton* m_write = nullptr;
    QPushButton* m_cyclicWrite = nullptr;
    QCheckBox* m_writeProtect = nullptr;
    QLabel* m_fileLabel = nullptr;
    QLineEdit* m_fileName = nullptr;
    QLabel* m_recordLabel = nullptr;
    QLineEdit* m_recordCounter = nullptr;
    QToolButton* m_prevRecord = nullptr;
    QToolButton* m_nextRecord = nullptr;

    QList<Field> m_fields;
    QList<QWidget*> m_tabChain; // the rows' controls, top to bottom
    QList<QStringList> m_rows;
    int m_currentRow = -1;
    bool m_editing = true; // false while cyclic writing runs
    QStringList m_rowProblems;
};
