#pragma once

#include <QEvent>
#include <QWidget>

class CNfcProgDoc;
class CNfcTagData;

// The main window's messages to the form in its pane.
enum class FrameMessage {
    CyclicReadStarted = 11, // sent when cyclic reading starts
    CyclicReadStopped = 12, // sent when cyclic reading stops
    CyclicJobEnded = 14,    // sent when "Zyklisch schreiben beenden" stops cyclic writing or locking
    NextRecord = 15,        // posted when the tag just written has been taken away: next data-list row
};

// How a FrameMessage travels: the main window sends the first three (handled before
// the send returns) and posts NextRecord (handled once the current event is done).
class FrameMessageEvent : public QEvent {
public:
    explicit FrameMessageEvent(FrameMessage message) : QEvent(EventType()), m_message(message) {}
    static QEvent::Type EventType();
    FrameMessage message() const { return m_message; }

private:
    FrameMessage m_message;
};

// A form in the main window's pane: the record forms, the default (status) form and
// the others. The main window makes one with a factory of its view table
// (ViewIdTable), shows it, calls OnInitialUpdate, activates it, and deactivates and
// deletes the one it replaces.
//
// Forms override what concerns them; every default does nothing. FrameMessageEvents
// arrive at the On... handlers below, and only while the form is the active one (a
// message posted to a form that has been replaced meanwhile is dropped).
class CFormView : public QWidget {
    Q_OBJECT
public:
    // doc may be null (a form without a document shows nothing of it).
    explicit CFormView(CNfcProgDoc* doc, QWidget* parent = nullptr);

    CNfcProgDoc* GetDocument() const { return m_document; }
    bool IsActiveView() const { return m_active; }

    // Called once, after the form is shown in the pane.
    virtual void OnInitialUpdate() {}
    // Activation changes (the frame calls it through Activate).
    virtual void OnActivateView(bool /*activate*/) {}

    // The main window's requests.
    // A record-kind command chose this form: start an empty record.
    virtual void ClearRecord() {}
    // Show the record read from a tag.
    virtual void ShowTagRecord(const CNfcTagData& /*data*/) {}

    // The FrameMessages.
    virtual void OnCyclicReadStarted() {}
    virtual void OnCyclicReadStopped() {}
    virtual void OnCyclicJobEnded() {}
    virtual void OnCyclicNextRecord() {}

    // Sets the active state and calls OnActivateView; used by the main window.
    void Activate(bool activate);

protected:
    void customEvent(QEvent* event) override;

private:
    CNfcProgDoc* m_document;
    bool m_active = false;
};
