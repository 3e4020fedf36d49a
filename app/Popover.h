#pragma once

#include <QFrame>
#include <QPointer>

// A small panel of controls that opens beside a view of a window. It closes on Escape, on a click
// outside it, and on a click on the view it opened from (that click does not reopen it).
class Popover : public QFrame
{
    Q_OBJECT

public:
    // The edge of the positioning rectangle the panel opens at: its right edge, or its bottom edge.
    enum class Edge
    {
        MaxX,
        MaxY,
    };

    explicit Popover(QWidget* parent = nullptr);

    [[nodiscard]] bool isShown() const { return isVisible(); }
    [[nodiscard]] QWidget* positioningView() const { return m_positioningView; }

    // Opens next to `rect` (in `ofView`'s coordinates) on `preferredEdge`, moved back onto the screen
    // where it would leave it. Without a view it opens at the screen's top-left corner.
    void showRelativeToRect(const QRect& rect, QWidget* ofView, Edge preferredEdge);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPointer<QWidget> m_positioningView;
};
