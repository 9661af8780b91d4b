#include "forms/NfcFormatView.h"

#include "app/NfcTagAccess.h"

#include <QLabel>
#include <QVBoxLayout>

CNfcFormatView::CNfcFormatView(CNfcProgDoc* doc, QWidget* parent)
    : CTagJobFormView(doc, parent, CyclicJob::Write, tr("Als NFC formatieren.")) {
    setObjectName(QStringLiteral("CNfcFormatView"));
    auto* note = new QLabel(tr("NFC-Nutzdaten werden dabei gelöscht."), this);
    note->setObjectName(QStringLiteral("Note"));
    Column()->addWidget(note);
    Column()->addSpacing(16);
    AddButtonRow(WriteButton(), CyclicButton());
    Column()->addStretch(1);
}

void CNfcFormatView::OnWrite() {
    RunOnce([](CNfcTagAccess& engine) { engine.Format(); });
}
