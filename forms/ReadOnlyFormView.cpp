#include "forms/ReadOnlyFormView.h"

#include "app/NfcTagAccess.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CReadOnlyFormView::CReadOnlyFormView(CNfcProgDoc* doc, QWidget* parent)
    : CTagJobFormView(
          doc, parent, CyclicJob::Lock,
          tr("Konfiguration und Nutzdaten des Transponders dauerhaft gegen Beschreiben sperren.")) {
    setObjectName(QStringLiteral("CReadOnlyFormView"));
    Column()->addSpacing(16);
    AddButtonRow(WriteButton(), CyclicButton());
    AddProtectionRow(1004, tr("DESFire-Transponder: Konfiguration mit Passwort vor Veränderung schützen"),
                     1002, 1017, 0);
    AddProtectionRow(
        1005, tr("DESFire-Transponder: Konfiguration und Nutzdaten mit Passwort vor Veränderung schützen"),
        1006, 1018, 1);
    Column()->addStretch(1);
}

void CReadOnlyFormView::OnWrite() {
    RunOnce([](CNfcTagAccess& engine) { engine.Lock(); });
}

void CReadOnlyFormView::AddProtectionRow(int captionId, const QString& caption, int onceId, int cyclicId,
                                         int dataToo) {
    auto* label = new QLabel(caption, this);
    label->setObjectName(QString::number(captionId));
    label->setWordWrap(true);
    QPushButton* once = CreateOnceButton(onceId);
    QPushButton* cyclic = CreateCyclicButton(cyclicId);
    connect(once, &QPushButton::clicked, this,
            [this, dataToo] { RunOnce([dataToo](CNfcTagAccess& engine) { engine.SetPassword(dataToo); }); });
    Column()->addSpacing(8);
    Column()->addWidget(label);
    AddButtonRow(once, cyclic);
    // Nothing runs a key protection cyclically.
    cyclic->hide();
}
