#pragma once

#include "forms/RecordFormView.h"

// The text form: a text record ("Text:", control 133), keyword "TEXT", template key
// "TEXT:", one data-list column.
class CTextView : public CRecordFormView {
    Q_OBJECT
public:
    explicit CTextView(CNfcProgDoc* doc, QWidget* parent = nullptr);

protected:
    std::string RecordJson() const override;
    void ShowTagFields(const CNfcTagData& data) override;
    QPlainTextEdit* ExcessEdit() const override { return m_text; }

private:
    QPlainTextEdit* m_text;
};
