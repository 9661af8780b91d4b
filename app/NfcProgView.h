#pragma once

#include "app/FormView.h"

// The pane's first form: empty, shown from the start until a command chooses a form.
class CNfcProgView : public CFormView {
    Q_OBJECT
public:
    explicit CNfcProgView(CNfcProgDoc* doc, QWidget* parent = nullptr) : CFormView(doc, parent) {
        setObjectName(QStringLiteral("CNfcProgView"));
    }
};
