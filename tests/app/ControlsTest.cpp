// The label (colour, font, link) and the transparent bitmap control.
#include "forms/BitmapStatic.h"
#include "forms/Label.h"
#include "res/StringTable.h"

#include <QDesktopServices>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

namespace {

// Takes what the desktop would open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// Counts the presses that reach it. Clicks go through the window, so that the
// widget under the mouse is found as for a real click.
class Parent : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// A label across the top of a shown window.
struct LabelInWindow {
    explicit LabelInWindow(const QString& text) : label(new CLabel(&parent)) {
        parent.resize(300, 60);
        label->SetText(text);
        label->setGeometry(0, 0, 300, 30);
    }
    bool Show() {
        parent.show();
        return QTest::qWaitForWindowExposed(&parent);
    }
    void Click() { QTest::mouseClick(parent.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10)); }

    Parent parent;
    CLabel* label;
};

bool HasPixelOf(const QImage& image, QColor color) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color) return true;
    return false;
}

} // namespace

class ControlsTest : public QObject {
    Q_OBJECT
    UrlCatcher m_urls;

private slots:
    void initTestCase() {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::setUrlHandler(scheme, &m_urls, "open");
    }
    void cleanupTestCase() {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    void init() { m_urls.urls.clear(); }

    void headingStyleIsBoldAtTheGivenHeight() {
        CLabel label;
        label.SetFontSize(18);
        label.SetFontBold(true);
        QCOMPARE(label.font().pixelSize(), 18);
        QVERIFY(label.font().bold());
        label.SetFontBold(false);
        label.SetFontItalic(true);
        QVERIFY(!label.font().bold());
        QVERIFY(label.font().italic());
        QCOMPARE(label.font().pixelSize(), 18); // other settings stay
    }

    void textIsDrawnInItsColourAsPlainText() {
        CLabel label;
        label.SetText("<b>HHHH</b>");
        label.SetTextColor(QColor(0, 0, 255));
        label.SetFontSize(20);
        label.resize(label.sizeHint());
        QCOMPARE(label.text(), QString("<b>HHHH</b>"));
        QCOMPARE(label.LabelText(), QString("<b>HHHH</b>"));
        QCOMPARE(label.textFormat(), Qt::PlainText);
        QVERIFY(HasPixelOf(label.grab().toImage(), QColor(0, 0, 255)));
        label.SetText(IdsAppTitle);
        QCOMPARE(label.text(), QString("KQ-NFC Programmer"));
    }

    // A label that is no link lets clicks through to its parent and opens nothing; a
    // link opens its address and reports the click, shown with the hand cursor.
    void linkOpensItsAddressAndReportsTheClick() {
        LabelInWindow w("https://www.example.com/kq");
        QSignalSpy clicked(w.label, &CLabel::clicked);
        QVERIFY(w.Show());
        QVERIFY(!w.label->IsLink());
        w.Click();
        QCOMPARE(w.parent.presses, 1);
        QCOMPARE(clicked.count(), 0);
        QVERIFY(m_urls.urls.isEmpty());

        w.label->SetLink(true);
        w.label->SetLinkCursor(QCursor(Qt::PointingHandCursor));
        w.Click();
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(w.parent.presses, 1);
        QCOMPARE(m_urls.urls, QList<QUrl>{QUrl("https://www.example.com/kq")});
        QCOMPARE(w.label->cursor().shape(), Qt::PointingHandCursor);

        // A status sentence is no address: the click is reported, nothing is opened.
        m_urls.urls.clear();
        w.label->SetText("Neue Version:KQ-NFC Programmer V 1.10 (2024-05-01)");
        w.Click();
        QCOMPARE(clicked.count(), 2);
        QVERIFY(m_urls.urls.isEmpty());

        w.label->SetLink(false);
        w.Click();
        QCOMPARE(clicked.count(), 2);
        QCOMPARE(w.parent.presses, 2);
    }

    void linkTargets_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QUrl>("target");
        QTest::newRow("https") << "https://www.example.com/a?b=1" << QUrl("https://www.example.com/a?b=1");
        QTest::newRow("www") << "www.example.com" << QUrl("http://www.example.com");
        QTest::newRow("mail") << "info@example.com" << QUrl("mailto:info@example.com");
        QTest::newRow("mailto") << "mailto:info@example.com" << QUrl("mailto:info@example.com");
        QTest::newRow("status") << "Neue Version:KQ-NFC Programmer V 1.10 (2024-05-01)" << QUrl();
        QTest::newRow("current") << "KQ-NFC Programmer ist aktuell" << QUrl();
        QTest::newRow("word") << "Programmer" << QUrl();
        QTest::newRow("empty") << "" << QUrl();
        QTest::newRow("missing file") << "/nonexistent/file.pdf" << QUrl();
    }
    void linkTargets() {
        QFETCH(QString, text);
        QFETCH(QUrl, target);
        QCOMPARE(CLabel::LinkTarget(text), target);
    }

    void linkToAnExistingFile() {
        QTemporaryFile file;
        QVERIFY(file.open());
        QCOMPARE(CLabel::LinkTarget(file.fileName()), QUrl::fromLocalFile(file.fileName()));
    }

    // White parts of the bitmap show the parent's background; the rest is drawn.
    void transparentBitmapShowsTheParentWhereWhite() {
        QPixmap bitmap(20, 20);
        bitmap.fill(Qt::white);
        {
            QPainter p(&bitmap);
            p.fillRect(0, 0, 10, 10, Qt::black);
        }
        QWidget parent;
        parent.resize(40, 40);
        QPalette pal = parent.palette();
        pal.setColor(QPalette::Window, QColor(255, 0, 0));
        parent.setPalette(pal);
        parent.setAutoFillBackground(true);
        auto* picture = new CBitmapStatic(&parent);
        picture->setGeometry(0, 0, 20, 20);
        picture->setPixmap(bitmap);

        QImage plain = parent.grab().toImage();
        QCOMPARE(plain.pixelColor(15, 15), QColor(Qt::white)); // painted as is
        picture->SetTransparent(true);
        QImage shown = parent.grab().toImage();
        QCOMPARE(shown.pixelColor(5, 5), QColor(Qt::black));
        QCOMPARE(shown.pixelColor(15, 15), QColor(255, 0, 0));
        QCOMPARE(shown.pixelColor(30, 30), QColor(255, 0, 0));

        picture->setPixmap(QPixmap()); // no bitmap: nothing painted
        QCOMPARE(parent.grab().toImage().pixelColor(5, 5), QColor(255, 0, 0));
    }
};

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"
