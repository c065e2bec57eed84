// Window rectangles as the settings hold them: left, top, right, bottom of the
// whole window, frame included, in screen coordinates.
#pragma once

#include "settings/settings.h"

class QWidget;

namespace dravik {

CWindowRect FrameRect(const QWidget& window);
// Whether a window placed at `rect` would show its title strip on an
// available screen: a window stored on a monitor that has since gone must not
// open where nobody can see it.
bool IsOnSomeScreen(const CWindowRect& rect);
// Moves the window's frame to left/top and, with `resize`, gives it the
// rectangle's size.
void PlaceWindow(QWidget& window, const CWindowRect& rect, bool resize);
// Centres the window on the screen of its parent (or the primary screen).
void CentreWindow(QWidget& window);

}  // namespace dravik
