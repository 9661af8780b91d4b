#pragma once

#include "forms/RecordFormView.h"

// The SMS form: an "sms:" URI with the number and the message, in a smart poster
// when a description is given. Keyword "SMS"; template keys and data-list columns
// "TEXT:" description, "NUMBER:", "MESSAGE:".
class CSmsView : public CRecordFormView {
    Q_OBJECT
public:
    explicit CSmsView(CNfcProgDoc* doc, QWidget* parent = nullptr);

protected:
    std::string RecordJson() const override;
    void ShowTagFields(const CNfcTagData& data) override;
    QPlainTextEdit* ExcessEdit() const override { return m_message; }
    // The message stands percent-encoded in the URI.
    int ExcessBytes(const QString& piece) const override;

private:
    QPlainTextEdit* m_message;
};
