#include "window_placement.h"

#include <algorithm>

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace dravik {

namespace {

// The part of a window a person grabs to move it: its top strip, at least
// this much of which must lie on a screen.
constexpr int kGrabWidth = 40;
constexpr int kGrabHeight = 10;

// The frame's margins as the window system last reported them; none before
// the window manager has framed the window (and none without a window
// manager). The widget's own frame geometry may still hold the margins of a
// moment before the window was framed, so the native window is asked.
QMargins FrameMargins(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

// Fits a window into its stored frame once the frame's margins are known:
// at the first expose or move or resize after which the window system
// reports them. A window moved or sized elsewhere meanwhile (by its user, or
// by the program) stays there. It goes with its window, and after its fit.
class CFrameFit : public QObject {
  public:
    static constexpr const char* kName = "dravikFrameFit";

    CFrameFit(QWidget& window, const QRect& frame, const QRect& client, bool resize)
        : QObject(&window), m_window(&window), m_frame(frame), m_client(client), m_resize(resize) {
        setObjectName(QLatin1String(kName));
        window.installEventFilter(this);
        if (window.windowHandle() != nullptr) window.windowHandle()->installEventFilter(this);
    }

    // Fits the window when it can; true once it is done.
    bool Fit() {
        if (m_done) return true;
        if (m_window == nullptr || !m_window->isVisible()) return false;
        const QMargins margins = FrameMargins(*m_window);
        const QRect now = m_window->geometry();
        QRect client = m_frame.marginsRemoved(margins);
        if (!m_resize) client.setSize(now.size());
        // Where it was put, or where the window manager put it by the frame.
        const bool placed =
            now.topLeft() == m_client.topLeft() || now.topLeft() == client.topLeft();
        const bool sized =
            !m_resize || now.size() == m_client.size() || now.size() == client.size();
        if (placed && sized && margins.isNull()) return false;
        m_done = true;
        deleteLater();
        if (placed && sized && now != client) m_window->setGeometry(client);
        return true;
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Show:
                // The native window exists from the first show on; it is
                // shown once the show event has been handled.
                if (QWindow* handle = m_window->windowHandle()) {
                    handle->removeEventFilter(this);
                    handle->installEventFilter(this);
                }
                QTimer::singleShot(0, this, [this] { Fit(); });
                break;
            case QEvent::Hide:
                // A window hidden before it was framed keeps what it has.
                m_done = true;
                deleteLater();
                break;
            case QEvent::Expose:
            case QEvent::Move:
            case QEvent::Resize:
                Fit();
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QPointer<QWidget> m_window;
    QRect m_frame;
    QRect m_client;
    bool m_resize;
    bool m_done = false;
};

}  // namespace

CWindowRect FrameRect(const QWidget& window) {
    QRect frame = window.geometry();
    frame = frame.marginsAdded(FrameMargins(window));
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
    resize = resize && rect.right > rect.left && rect.bottom > rect.top;
    const QRect frame(QPoint(rect.left, rect.top),
                      resize ? QSize(rect.right - rect.left, rect.bottom - rect.top)
                             : window.size().grownBy(FrameMargins(window)));
    // Where the window goes until its frame is known: the window manager is
    // told the stored corner, so it neither asks the user nor picks a place.
    // (A move places the frame by the margins the window knows so far.)
    if (resize) window.resize(frame.marginsRemoved(FrameMargins(window)).size());
    window.move(frame.topLeft());
    const QRect client = window.geometry();
    for (QObject* old : window.findChildren<QObject*>(QLatin1String(CFrameFit::kName),
                                                      Qt::FindDirectChildrenOnly)) {
        delete old;
    }
    auto* fit = new CFrameFit(window, frame, client, resize);
    fit->Fit();
}

void CentreWindow(QWidget& window) {
    const QWidget* parent = window.parentWidget();
    const QScreen* screen = parent != nullptr && parent->isVisible()
                                ? parent->screen()
                                : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    const QSize size = window.size().grownBy(FrameMargins(window));
    // A window larger than the screen keeps its title bar on it.
    const int left = std::max(area.x(), area.x() + (area.width() - size.width()) / 2);
    const int top = std::max(area.y(), area.y() + (area.height() - size.height()) / 2);
    PlaceWindow(window, CWindowRect{left, top, left + size.width(), top + size.height()}, false);
}

bool RestoreWindow(QWidget& window, const std::optional<CWindowRect>& stored, bool resize) {
    if (stored && IsOnSomeScreen(*stored)) {
        PlaceWindow(window, *stored, resize);
        return true;
    }
    CentreWindow(window);
    return false;
}

}  // namespace dravik
