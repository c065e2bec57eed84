// Window rectangles as the settings hold them: left, top, right, bottom of the
// whole window, frame included, in screen coordinates.
#pragma once

#include <optional>

#include "settings/settings.h"

class QWidget;

namespace dravik {

CWindowRect FrameRect(const QWidget& window);
// Whether a window placed at `rect` would show its title strip on an
// available screen: a window stored on a monitor that has since gone must not
// open where nobody can see it.
bool IsOnSomeScreen(const CWindowRect& rect);
// Puts the window's frame at left/top and, with `resize`, gives the frame the
// rectangle's size. A window manager frames a window only once it is shown,
// so until then the window's own area stands at the frame's corner; when the
// frame's margins are known (the window has appeared, or appears later) the
// window's area is moved and sized to lie inside the stored frame.
void PlaceWindow(QWidget& window, const CWindowRect& rect, bool resize);
// Where a window opens: at its stored rectangle when that lies on a screen
// (with `resize`, at its stored size too), else centred. True when it went
// to the stored rectangle.
bool RestoreWindow(QWidget& window, const std::optional<CWindowRect>& stored, bool resize);
// Centres the window's frame on the screen of its parent (or the primary
// screen).
void CentreWindow(QWidget& window);

}  // namespace dravik
