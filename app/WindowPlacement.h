#pragma once

#include <QList>
#include <QRect>

// Where a top-level window goes on the screens there are. `wanted` is the window
// with its frame at the stored position and the size its contents ask for;
// `screens` are the screens' available areas (without panels), `primary` the index
// of the primary one. The window stays on the screen that holds its top-left corner,
// or goes to the primary screen's top-left corner when that lies on no screen (a
// position stored on a larger or a detached screen); it shrinks to the screen's
// area where that is smaller and moves just far enough to lie wholly on it.
QRect PlaceWindow(const QRect& wanted, const QList<QRect>& screens, int primary);
