#pragma once

#include "forms/TagJobFormView.h"

class QLabel;

// The lock form: locks the tag on the reader for ever against writing, once with
// "Schreiben" or cyclically, each new tag once (the main window's cyclic locking).
//
// Below it, two rows protect a DESFire tag with a key: its configuration (caption
// 1004, button 1002), or its configuration and data (1005, 1006). Their "Schreiben"
// asks for the new key with the protection-key dialog and sets it on the tag. The
// rows have no cyclic job: their cyclic buttons (1017, 1018) exist but stay hidden.
class CReadOnlyFormView : public CTagJobFormView {
    Q_OBJECT
public:
    explicit CReadOnlyFormView(CNfcProgDoc* doc, QWidget* parent = nullptr);

protected:
    void OnWrite() override;

private:
    // A key-protection row: caption, once button, (hidden) cyclic button.
    void AddProtectionRow(int captionId, const QString& caption, int onceId, int cyclicId, int dataToo);
};
