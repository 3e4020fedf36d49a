#include "app/Popover.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

namespace {
constexpr int gap = 4;
} // namespace

Popover::Popover(QWidget* parent) : QFrame(parent)
{
    setWindowFlags(Qt::Popup);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
}

void Popover::showRelativeToRect(const QRect& rect, QWidget* ofView, Edge preferredEdge)
{
    m_positioningView = ofView;
    adjustSize();
    const QRect anchor = ofView ? QRect(ofView->mapToGlobal(rect.topLeft()), rect.size()) : QRect();
    QPoint position;
    if (preferredEdge == Edge::MaxX)
        position = QPoint(anchor.right() + 1 + gap, anchor.center().y() - height() / 2);
    else
        position = QPoint(anchor.center().x() - width() / 2, anchor.bottom() + 1 + gap);
    const QScreen* screen = ofView ? ofView->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect available = screen->availableGeometry();
        position.setX(std::clamp(position.x(), available.left(),
                                 std::max(available.left(), available.right() - width())));
        position.setY(std::clamp(position.y(), available.top(),
                                 std::max(available.top(), available.bottom() - height())));
    }
    move(position);
    show();
    // Keyboard users land on the first control; Tab walks the panel, Escape closes it.
    focusNextChild();
}

void Popover::mousePressEvent(QMouseEvent* event)
{
    // A press outside a popup closes it and is then delivered to what lies under the pointer. On the
    // view that opened the panel that would open it again at once, so there it is swallowed.
    const bool onPositioningView = m_positioningView && m_positioningView->isVisible() &&
                                   m_positioningView->rect().contains(
                                       m_positioningView->mapFromGlobal(event->globalPosition().toPoint()));
    setAttribute(Qt::WA_NoMouseReplay, onPositioningView);
    QFrame::mousePressEvent(event);
}
