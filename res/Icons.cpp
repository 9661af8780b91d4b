#include "res/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// Every picture is drawn on a 64 x 64 grid and scaled to the size asked for.
constexpr double kGrid = 64.0;

const QColor kOutline(40, 50, 70);
const QColor kCardFill(214, 230, 248);
const QColor kBlue(40, 110, 200);
const QColor kGreen(46, 160, 67);
const QColor kRed(200, 40, 40);
const QColor kAmber(235, 165, 20);
const QColor kGrey(150, 150, 150);

QPen Outline(double width = 3.0) {
    return QPen(kOutline, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A card: an outlined, lightly filled rectangle with round corners.
void DrawCard(QPainter& p, const QRectF& rect) {
    p.setPen(Outline());
    p.setBrush(kCardFill);
    p.drawRoundedRect(rect, 5, 5);
}

// A tag card with the radio waves of a reader.
void DrawCardWithWaves(QPainter& p) {
    DrawCard(p, QRectF(6, 14, 34, 44));
    p.setBrush(kBlue);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(23, 36), 6, 6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kBlue, 4, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const double r = 10 + i * 8;
        p.drawArc(QRectF(36 - r, 30 - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
    }
}

void DrawGlobe(QPainter& p) {
    const QRectF ball(8, 8, 48, 48);
    p.setPen(Outline());
    p.setBrush(QColor(120, 180, 240));
    p.drawEllipse(ball);
    p.setBrush(Qt::NoBrush);
    p.setPen(Outline(2.5));
    p.drawEllipse(QRectF(20, 8, 24, 48));
    p.drawLine(QPointF(32, 8), QPointF(32, 56));
    p.drawLine(QPointF(8, 32), QPointF(56, 32));
    p.drawLine(QPointF(12, 20), QPointF(52, 20));
    p.drawLine(QPointF(12, 44), QPointF(52, 44));
}

void DrawPage(QPainter& p) {
    QPainterPath page;
    page.moveTo(12, 6);
    page.lineTo(42, 6);
    page.lineTo(54, 18);
    page.lineTo(54, 58);
    page.lineTo(12, 58);
    page.closeSubpath();
    p.setPen(Outline());
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(42, 6), QPointF(42, 18));
    p.drawLine(QPointF(42, 18), QPointF(54, 18));
    p.setPen(QPen(kBlue, 3.5, Qt::SolidLine, Qt::RoundCap));
    for (int y = 26; y <= 50; y += 8)
        p.drawLine(QPointF(19, y), QPointF(y == 50 ? 36 : 47, y));
}

void DrawPerson(QPainter& p) {
    DrawCard(p, QRectF(4, 10, 56, 44));
    p.setBrush(kBlue);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(22, 26), 7, 7);
    QPainterPath shoulders;
    shoulders.moveTo(9, 48);
    shoulders.cubicTo(9, 34, 35, 34, 35, 48);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    p.setPen(QPen(kOutline, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(40, 24), QPointF(53, 24));
    p.drawLine(QPointF(40, 32), QPointF(53, 32));
    p.drawLine(QPointF(40, 40), QPointF(50, 40));
}

void DrawSpeechBubble(QPainter& p) {
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(6, 10, 52, 34), 10, 10);
    QPainterPath tail;
    tail.moveTo(16, 40);
    tail.lineTo(12, 56);
    tail.lineTo(30, 42);
    tail.closeSubpath();
    p.setPen(Outline());
    p.setBrush(QColor(255, 244, 200));
    p.drawPath(bubble.united(tail));
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    for (int x = 20; x <= 44; x += 12)
        p.drawEllipse(QPointF(x, 27), 3.5, 3.5);
}

void DrawMobilePhone(QPainter& p) {
    p.setPen(Outline());
    p.setBrush(QColor(70, 80, 100));
    p.drawRoundedRect(QRectF(18, 4, 28, 56), 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(150, 210, 250));
    p.drawRect(QRectF(22, 12, 20, 32));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(32, 51), 3.5, 3.5);
}

void DrawEnvelope(QPainter& p) {
    const QRectF body(6, 14, 52, 36);
    p.setPen(Outline());
    p.setBrush(Qt::white);
    p.drawRect(body);
    p.drawLine(body.topLeft(), QPointF(32, 36));
    p.drawLine(body.topRight(), QPointF(32, 36));
    p.drawLine(body.bottomLeft(), QPointF(25, 31));
    p.drawLine(body.bottomRight(), QPointF(39, 31));
}

// A card and the circular arrow of "start again".
void DrawFormat(QPainter& p) {
    DrawCard(p, QRectF(4, 10, 40, 48));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kGreen, 5, Qt::SolidLine, Qt::RoundCap));
    const QRectF ring(30, 6, 28, 28);
    p.drawArc(ring, 100 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(40, 2);
    head.lineTo(48, 8);
    head.lineTo(39, 13);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPath(head);
}

void DrawPadlock(QPainter& p) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kOutline, 6, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(QRectF(18, 6, 28, 34), 0, 180 * 16);
    p.drawLine(QPointF(18, 23), QPointF(18, 30));
    p.drawLine(QPointF(46, 23), QPointF(46, 30));
    p.setPen(Outline());
    p.setBrush(kAmber);
    p.drawRoundedRect(QRectF(10, 28, 44, 30), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    p.drawEllipse(QPointF(32, 40), 4, 4);
    p.drawRect(QRectF(30, 40, 4, 10));
}

// Three horizontal bands: black, red, gold.
void DrawGermanFlag(QPainter& p) {
    const QColor bands[] = {QColor(0, 0, 0), QColor(221, 0, 0), QColor(255, 206, 0)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        p.setBrush(bands[i]);
        p.drawRect(QRectF(4, 14 + i * 12, 56, 12));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kOutline, 1.5));
    p.drawRect(QRectF(4, 14, 56, 36));
}

// A white field with a red cross.
void DrawEnglishFlag(QPainter& p) {
    p.setPen(QPen(kOutline, 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 14, 56, 36));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 16, 46));
    p.drawRect(QRectF(27, 14, 10, 36));
    p.drawRect(QRectF(4, 27, 56, 10));
}

// A door and an arrow leaving through it.
void DrawExit(QPainter& p) {
    p.setPen(Outline());
    p.setBrush(QColor(190, 140, 90));
    p.drawRect(QRectF(8, 6, 28, 52));
    p.setBrush(kOutline);
    p.drawEllipse(QPointF(30, 34), 2, 2);
    p.setPen(QPen(kRed, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(30, 32), QPointF(52, 32));
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    QPainterPath head;
    head.moveTo(60, 32);
    head.lineTo(48, 22);
    head.lineTo(48, 42);
    head.closeSubpath();
    p.drawPath(head);
}

void DrawResultDisc(QPainter& p, const QColor& fill) {
    p.setPen(QPen(fill.darker(140), 2));
    p.setBrush(fill);
    p.drawEllipse(QRectF(4, 4, 56, 56));
}

void DrawResult(QPainter& p, KqIconId id) {
    const QPen mark(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (id) {
    case KqIconId::ResultSuccess: {
        DrawResultDisc(p, kGreen);
        p.setPen(mark);
        p.setBrush(Qt::NoBrush);
        const QPointF tick[] = {{18, 33}, {28, 43}, {46, 22}};
        p.drawPolyline(tick, 3);
        break;
    }
    case KqIconId::ResultError:
        DrawResultDisc(p, kRed);
        p.setPen(mark);
        p.drawLine(QPointF(21, 21), QPointF(43, 43));
        p.drawLine(QPointF(43, 21), QPointF(21, 43));
        break;
    case KqIconId::ResultWaiting: {
        DrawResultDisc(p, kAmber);
        // an hourglass
        QPainterPath glass;
        glass.moveTo(21, 16);
        glass.lineTo(43, 16);
        glass.lineTo(21, 48);
        glass.lineTo(43, 48);
        glass.closeSubpath();
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::white);
        p.drawPath(glass);
        break;
    }
    default:
        DrawResultDisc(p, QColor(225, 225, 225));
        p.setPen(QPen(kGrey, 4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(22, 22, 20, 20));
        break;
    }
}

// Card, waves and the program's initials, on white.
void DrawLogo(QPainter& p) {
    p.fillRect(QRectF(0, 0, kGrid, kGrid), Qt::white);
    DrawCardWithWaves(p);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(kOutline);
    p.drawText(QRectF(9, 17, 28, 13), Qt::AlignCenter, QStringLiteral("KQ"));
}

void Draw(QPainter& p, KqIconId id) {
    switch (id) {
    case KqIconId::ReadTag:
        DrawCardWithWaves(p);
        break;
    case KqIconId::Bookmark:
        DrawGlobe(p);
        break;
    case KqIconId::Text:
        DrawPage(p);
        break;
    case KqIconId::Contact:
        DrawPerson(p);
        break;
    case KqIconId::Sms:
        DrawSpeechBubble(p);
        break;
    case KqIconId::Telephon:
        DrawMobilePhone(p);
        break;
    case KqIconId::Mail:
        DrawEnvelope(p);
        break;
    case KqIconId::Format:
        DrawFormat(p);
        break;
    case KqIconId::Lock:
        DrawPadlock(p);
        break;
    case KqIconId::German:
        DrawGermanFlag(p);
        break;
    case KqIconId::English:
        DrawEnglishFlag(p);
        break;
    case KqIconId::Exit:
        DrawExit(p);
        break;
    case KqIconId::Logo:
        DrawLogo(p);
        break;
    case KqIconId::ResultNeutral:
    case KqIconId::ResultSuccess:
    case KqIconId::ResultError:
    case KqIconId::ResultWaiting:
        DrawResult(p, id);
        break;
    }
}

} // namespace

QPixmap KqPixmap(KqIconId id, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    Draw(painter, id);
    return pixmap;
}

QIcon KqIcon(KqIconId id) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(KqPixmap(id, size));
    return icon;
}
