#include "app/WindowPlacement.h"

#include <algorithm>

QRect PlaceWindow(const QRect& wanted, const QList<QRect>& screens, int primary) {
    if (screens.isEmpty()) return wanted;
    const auto holder = std::find_if(screens.begin(), screens.end(), [&wanted](const QRect& area) {
        return area.contains(wanted.topLeft());
    });
    const bool onScreen = holder != screens.end();
    const QRect area = onScreen ? *holder : screens.value(primary, screens.first());
    QRect placed(onScreen ? wanted.topLeft() : area.topLeft(), wanted.size().boundedTo(area.size()));
    placed.moveLeft(std::min(placed.left(), area.right() + 1 - placed.width()));
    placed.moveTop(std::min(placed.top(), area.bottom() + 1 - placed.height()));
    return placed;
}
