#pragma once

#include "forms/RecordFormView.h"

// The telephone-number form: a "tel:" URI, in a smart poster when a description is
// given. Keyword "TELEPHON"; template keys and data-list columns "TEXT:" description,
// "NUMBER:". Its heading is control 1004.
class CTelephonView : public CRecordFormView {
    Q_OBJECT
public:
    explicit CTelephonView(CNfcProgDoc* doc, QWidget* parent = nullptr);

protected:
    std::string RecordJson() const override;
    void ShowTagFields(const CNfcTagData& data) override;
};
