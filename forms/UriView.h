#pragma once

#include "app/FormView.h"

#include <QString>

class CLabel;
class QLineEdit;

// Shows a URI read from a tag whose scheme is none of the known ones (web address,
// e-mail, SMS, telephone number): its description (the smart poster's title, 133)
// and the whole URI (131). Display only: the fields can be selected and copied, not
// edited, and nothing here writes a tag.
class CUriView : public CFormView {
    Q_OBJECT
public:
    explicit CUriView(CNfcProgDoc* doc, QWidget* parent = nullptr);

    // Empties both fields, then fills them when the data is a URI of an unknown scheme.
    void ShowTagRecord(const CNfcTagData& data) override;
    void OnActivateView(bool activate) override;

    QString Description() const { return m_description; }
    QString Address() const { return m_address; }

private:
    // The strings into the fields.
    void UpdateData();

    CLabel* m_heading;
    QLineEdit* m_descriptionEdit;
    QLineEdit* m_addressEdit;
    QString m_description;
    QString m_address;
};
