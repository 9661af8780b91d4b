#include "forms/SetDesfireKeysDlg.h"

#include "app/KeyStore.h"
#include "forms/KeyStoreDlg.h"
#include "res/StringTable.h"

#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

CSetDesfireKeysDlg::CSetDesfireKeysDlg(int port, QWidget* parent) : QDialog(parent), Port(port) {
    setObjectName(QStringLiteral("CSetDesfireKeysDlg"));
    setWindowTitle(tr("Passwort setzen"));
    const KeyDialogFields fields =
        BuildKeyDialog(this, {}, tr("Schlüssel für den Schutz (0-16 Byte, Auffüllung mit 0):"), 1275,
                       tr("Setzen"), 1274, tr("Schließen"));
    m_key = fields.key;
    m_status = fields.status;
    connect(fields.ok, &QPushButton::clicked, this, &CSetDesfireKeysDlg::OnSet);
}

void CSetDesfireKeysDlg::OnSet() {
    // This key is to protect the tag: a text that is no hex (a password typed as
    // words) would protect it with a key of mostly zeros, which nobody meant.
    const std::optional<TagKey> key = ParseKeyText(m_key->text());
    if (!key) {
        m_status->setText(KqString(IdsKeyNotHex));
        return;
    }
    // Empty text gives the all-zero key: the card's default, which anyone may use.
    if (std::all_of(key->begin(), key->end(), [](uint8_t b) { return b == 0; })) {
        m_status->setText(KqString(IdsDefaultKeyProtectsNothing));
        return;
    }
    KeyBytes = *key;
    done(1);
}
