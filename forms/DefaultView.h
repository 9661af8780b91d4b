#pragma once

#include "app/FormView.h"

#include <QString>

class CLabel;

// The status form: the main window's pane shows it when no record form applies (after
// a read that brought no record of a known kind, after a failed operation, and for
// every view id without a form of its own). Its heading shows the text of the
// engine's last result.
class CDefaultView : public CFormView {
    Q_OBJECT
public:
    explicit CDefaultView(CNfcProgDoc* doc, QWidget* parent = nullptr);

    // The heading shows the engine's result: "Transponder ist als NFC formatiert,
    // aber ohne NFC-Nutzdaten!" after a successful read without a record, else the
    // result's text. Nothing without a document.
    void ShowResult();
    // Empties the heading.
    void Clear();

    // The text bound to the heading, and the heading (control 1003).
    QString Text() const { return m_text; }
    CLabel* Heading() const { return m_heading; }

    void OnActivateView(bool activate) override;
    // Cyclic reading stopped: the heading goes blank (the text is kept).
    void OnCyclicReadStopped() override;

private:
    // The text into the heading.
    void UpdateData();

    CLabel* m_heading;
    QString m_text;
};
