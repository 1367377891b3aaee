#pragma once

#include <QList>
#include <QRect>

class QWidget;

namespace tavu {

// Where a window of the given rectangle goes so that it lies on one of the available screen
// areas: unchanged when one area holds it whole; otherwise moved (never resized) onto the area
// it overlaps most, or onto the first area when it overlaps none, keeping as much of its place
// as fits. A window larger than the area keeps its top-left corner on the area.
QRect fitOnScreens(const QRect& window, const QList<QRect>& areas);

// The available areas of the screens now.
QList<QRect> availableScreenAreas();

// Keeps a top-level widget on the screens: each time it is shown, and whenever a screen comes,
// goes or changes its size while the widget is shown.
void keepOnScreen(QWidget* widget);

// The width a window needs to show its whole title in the frame: the title in the title bar's
// font, with room for the frame's icon and its three buttons.
int titleRoom(const QWidget* window);

// Makes the window at least titleRoom() wide, as far as the screen allows.
void roomForTitle(QWidget* window);

}  // namespace tavu
