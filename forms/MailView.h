#pragma once

#include "forms/RecordFormView.h"

// The e-mail form: a "mailto:" URI with recipient, subject and message, in a smart
// poster when a description is given. Keyword "MAIL"; template keys and data-list
// columns "TEXT:" description, "ADDRESS:" recipient, "SUBJECT:", "MESSAGE:".
class CMailView : public CRecordFormView {
    Q_OBJECT
public:
    explicit CMailView(CNfcProgDoc* doc, QWidget* parent = nullptr);

protected:
    std::string RecordJson() const override;
    void ShowTagFields(const CNfcTagData& data) override;
    QPlainTextEdit* ExcessEdit() const override { return m_message; }
    // The message stands percent-encoded in the URI.
    int ExcessBytes(const QString& piece) const override;

private:
    QPlainTextEdit* m_message;
};
