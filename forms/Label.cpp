#include "forms/Label.h"

#include "res/StringTable.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QUrl>

CLabel::CLabel(QWidget* parent)
    : QLabel(parent), m_textColor(palette().color(QPalette::WindowText)), m_logFont(QApplication::font()) {
    setTextFormat(Qt::PlainText);
    setAttribute(Qt::WA_TransparentForMouseEvents, true);
    ApplyFont();
}

void CLabel::SetTextColor(const QColor& color) {
    m_textColor = color;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
    update();
}

void CLabel::SetFontBold(bool bold) {
    m_logFont.setWeight(bold ? QFont::Bold : QFont::Normal);
    ApplyFont();
}

void CLabel::SetFontItalic(bool italic) {
    m_logFont.setItalic(italic);
    ApplyFont();
}

void CLabel::SetFontName(const QString& name) {
    m_logFont.setFamily(name);
    ApplyFont();
}

void CLabel::SetFontSize(int size) {
    if (size > 0) m_logFont.setPixelSize(size);
    ApplyFont();
}

void CLabel::SetLogFont(const QFont& font) {
    m_logFont = font;
    ApplyFont();
}

void CLabel::SetLink(bool link) {
    m_isLink = link;
    setAttribute(Qt::WA_TransparentForMouseEvents, !link);
}

void CLabel::SetLinkCursor(const QCursor& cursor) {
    setCursor(cursor);
}

void CLabel::SetText(const QString& text) {
    m_labelText = text;
    setText(text);
}

void CLabel::SetText(int stringId) {
    SetText(KqString(stringId));
}

void CLabel::ApplyFont() {
    setFont(m_logFont);
    update();
}

QUrl CLabel::LinkTarget(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return {};
    const QFileInfo file(t);
    if (file.isAbsolute() && file.exists()) return QUrl::fromLocalFile(file.absoluteFilePath());
    if (t.contains(QRegularExpression(QStringLiteral("\\s")))) return {};
    static const QRegularExpression withScheme(QStringLiteral("^(https?|ftp)://[^/?#]+"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression mailAddress(QStringLiteral("^(mailto:)?[^@:/]+@[^@:/]+\\.[^@:/]+$"),
                                                QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression webHost(QStringLiteral("^www\\.[^/?#]+\\.[^/?#]+"),
                                            QRegularExpression::CaseInsensitiveOption);
    QUrl url;
    if (withScheme.match(t).hasMatch())
        url = QUrl(t, QUrl::StrictMode);
    else if (mailAddress.match(t).hasMatch())
        url = QUrl(
            t.startsWith(QLatin1String("mailto:"), Qt::CaseInsensitive) ? t : QStringLiteral("mailto:") + t,
            QUrl::StrictMode);
    else if (webHost.match(t).hasMatch())
        url = QUrl(QStringLiteral("http://") + t, QUrl::StrictMode);
    return url.isValid() ? url : QUrl();
}

void CLabel::mousePressEvent(QMouseEvent* event) {
    if (!m_isLink || event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    event->accept(); // the link's click, not the parent's
    emit clicked();
    const QUrl target = LinkTarget(text());
    if (target.isValid()) QDesktopServices::openUrl(target);
}
