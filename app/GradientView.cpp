#include "app/GradientView.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>
#include <numbers>

GradientView::GradientView(QWidget* parent)
    : QWidget(parent), m_startingColor(QColor::fromRgbF(0.25f, 0.25f, 0.25f, 1.0f)),
      m_endingColor(QColor::fromRgbF(0.15f, 0.15f, 0.15f, 1.0f))
{
}

void GradientView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (m_endingColor.isValid() && m_endingColor != m_startingColor) {
        // The gradient runs through the centre along the angle (y grows downwards here), from the
        // corner where the starting colour is full to the opposite one, so the whole bounds are covered.
        const QRectF bounds = rect();
        const double radians = static_cast<double>(m_angle) * std::numbers::pi / 180.0;
        const QPointF direction(std::cos(radians), -std::sin(radians));
        const double halfLength =
            (std::abs(bounds.width() * direction.x()) + std::abs(bounds.height() * direction.y())) / 2.0;
        QLinearGradient gradient(bounds.center() - direction * halfLength,
                                 bounds.center() + direction * halfLength);
        gradient.setColorAt(0.0, m_startingColor);
        gradient.setColorAt(1.0, m_endingColor);
        painter.fillRect(bounds, gradient);
        return;
    }
    // No starting colour either: nothing is painted, the parent shows through.
    if (m_startingColor.isValid())
        painter.fillRect(event->rect(), m_startingColor);
}
