#include "window_placement.h"

#include <algorithm>

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

namespace dravik {

namespace {

// The part of a window a person grabs to move it: its top strip, at least
// this much of which must lie on a screen.
constexpr int kGrabWidth = 40;
constexpr int kGrabHeight = 10;

}  // namespace

CWindowRect FrameRect(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    return CWindowRect{frame.x(), frame.y(), frame.x() + frame.width(), frame.y() + frame.height()};
}

bool IsOnSomeScreen(const CWindowRect& rect) {
    const int width = rect.right > rect.left ? rect.right - rect.left : kGrabWidth;
    const QRect strip(rect.left, rect.top, width, kGrabHeight + 20);
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->availableGeometry().intersected(strip);
        if (overlap.width() >= std::min(kGrabWidth, width) && overlap.height() >= kGrabHeight) {
            return true;
        }
    }
    return false;
}

void PlaceWindow(QWidget& window, const CWindowRect& rect, bool resize) {
    if (resize && rect.right > rect.left && rect.bottom > rect.top) {
        // The frame's own margins come off the stored outer size.
        const QRect frame = window.frameGeometry();
        const QRect inner = window.geometry();
        const int extra_w = frame.width() - inner.width();
        const int extra_h = frame.height() - inner.height();
        window.resize(rect.right - rect.left - extra_w, rect.bottom - rect.top - extra_h);
    }
    window.move(rect.left, rect.top);
}

void CentreWindow(QWidget& window) {
    const QWidget* parent = window.parentWidget();
    const QScreen* screen = parent != nullptr && parent->isVisible()
                                ? parent->screen()
                                : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const QSize size = window.frameGeometry().size();
    window.move(area.x() + (area.width() - size.width()) / 2,
                area.y() + (area.height() - size.height()) / 2);
}

}  // namespace dravik
