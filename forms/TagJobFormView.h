#pragma once

#include "app/FormView.h"

#include <QList>

#include <functional>

class CLabel;
class CNfcTagAccess;
class QPushButton;
class QVBoxLayout;

// What the format and the lock forms share: the heading (1003), the button
// "Schreiben" (1001) that runs the form's tag operation once, and the check box
// "Zyklisch\nschreiben" (1016) that starts and stops the main window's cyclic job for
// it. While the job runs, 1001 and every other button that starts a tag operation
// (the lock form's key-protection rows) are disabled and 1016 checked; unchecking
// 1016, or the main window's "Zyklisch schreiben beenden" (+14), ends it. While the
// main window reads cyclically, 1016 is disabled too.
class CTagJobFormView : public CFormView {
    Q_OBJECT
public:
    QPushButton* WriteButton() const { return m_write; }
    QPushButton* CyclicButton() const { return m_cyclic; }
    CLabel* Heading() const { return m_heading; }

    // Heading in 18-point bold, focus on 1001.
    void OnActivateView(bool activate) override;
    // The operation buttons enabled, 1016 unchecked.
    void OnCyclicJobEnded() override;
    void OnCyclicReadStarted() override;
    void OnCyclicReadStopped() override;

protected:
    // Which of the main window's cyclic jobs 1016 drives: writing (timer 2, which
    // formats each new tag when the pending record is empty) or locking (timer 3).
    enum class CyclicJob { Write, Lock };

    CTagJobFormView(CNfcProgDoc* doc, QWidget* parent, CyclicJob job, const QString& heading);

    // The form's column: the heading is in it; the forms add their rows.
    QVBoxLayout* Column() const { return m_column; }
    // A row of the two buttons given, left-aligned (for 1001 and 1016: the job row).
    void AddButtonRow(QPushButton* once, QPushButton* cyclic);
    // A "Schreiben" / "Zyklisch\nschreiben" button with the id given. Once buttons
    // start a tag operation: they are shut while a cyclic job runs.
    QPushButton* CreateOnceButton(int id);
    QPushButton* CreateCyclicButton(int id);

    // 1001: shows "Schreiben...", runs the operation on the engine, reports its result.
    virtual void OnWrite() = 0;
    void RunOnce(const std::function<void(CNfcTagAccess&)>& operation);

private:
    void OnCyclic();
    bool IsJobRunning() const;
    void SetJob(bool on) const;
    void ShowCyclic(bool cyclic);
    void EnableOperations(bool enable) const;

    const CyclicJob m_job;
    CLabel* m_heading;
    QList<QPushButton*> m_onceButtons;
    QPushButton* m_write;
    QPushButton* m_cyclic;
    QVBoxLayout* m_column;
};
