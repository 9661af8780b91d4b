#include "forms/MasterkeyAuthentDlg.h"

#include "app/KeyStore.h"
#include "forms/KeyStoreDlg.h"
#include "res/StringTable.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CMasterkeyAuthentDlg::CMasterkeyAuthentDlg(int port, int keyNumber, bool authenticationLayout,
                                           QWidget* parent)
    : QDialog(parent), Port(port), KeyNumber(keyNumber) {
    setObjectName(QStringLiteral("CMasterkeyAuthentDlg"));
    setWindowTitle(authenticationLayout ? tr("Authentifizierung") : tr("Transponder ist schreibgeschützt"));
    QList<QWidget*> above;
    if (!authenticationLayout) {
        auto* note =
            new QLabel(tr("Transponder ist schreibgeschützt. Ein Überschreiben ist höchstens möglich, "
                          "wenn der Hauptschlüssel der Karte bekannt ist."),
                       this);
        note->setObjectName(QStringLiteral("WriteProtectedNote"));
        note->setWordWrap(true);
        above << note;
    }
    const QString prompt = keyNumber > 0 ? KqString(IdsAppMasterKeyLabel)
                                         : tr("Hauptschlüssel der Karte (0-16 Byte, Auffüllung mit 0):");
    const KeyDialogFields fields =
        BuildKeyDialog(this, above, prompt, 1272, tr("Verwenden"), 1260, tr("Abbrechen"));
    m_key = fields.key;
    m_status = fields.status;
    connect(fields.ok, &QPushButton::clicked, this, &CMasterkeyAuthentDlg::OnUse);
}

void CMasterkeyAuthentDlg::OnUse() {
    m_status->clear();
    // A key that is not what the user typed would only fail at the card, or open
    // it with a key nobody meant.
    const std::optional<TagKey> key = ParseKeyText(m_key->text());
    if (!key) {
        m_status->setText(KqString(IdsKeyNotHex));
        return;
    }
    KeyBytes = *key;
    done(1);
}
