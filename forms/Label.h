#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>
#include <QString>

// A static text with its own colour and font that can act as a link: the record
// forms' headings (SetFontBold, SetFontSize) and the About box's links and update
// status. While it is a link it takes clicks: it emits clicked() and opens its text
// (a web or mail address, or an existing file) with the desktop's opener. While it
// is not, it is transparent to the mouse, clicks reach its parent. The text is
// always shown as plain text.
class CLabel : public QLabel {
    Q_OBJECT
public:
    explicit CLabel(QWidget* parent = nullptr);

    void SetTextColor(const QColor& color);
    void SetFontBold(bool bold);
    void SetFontItalic(bool italic);
    void SetFontName(const QString& name);
    // Character height in pixels.
    void SetFontSize(int size);
    void SetLogFont(const QFont& font);
    void SetLink(bool link);
    // Shown while the mouse is over the label (a link, as only a link sees the mouse).
    void SetLinkCursor(const QCursor& cursor);
    void SetText(const QString& text);
    // The text with this number of the string table.
    void SetText(int stringId);

    QColor TextColor() const { return m_textColor; }
    QFont LogFont() const { return m_logFont; }
    QString LabelText() const { return m_labelText; }
    bool IsLink() const { return m_isLink; }

    // The address a link text opens: http(s), ftp or mailto addresses as written,
    // "www.host/..." as http, "name@host.tld" as mailto, an existing file by its
    // path; an invalid address for any other text (such as a status sentence).
    static QUrl LinkTarget(const QString& text);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void ApplyFont();

    QColor m_textColor;
    QFont m_logFont;
    QString m_labelText;
    bool m_isLink = false;
};
