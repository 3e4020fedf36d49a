#pragma once

#include <QColor>
#include <QWidget>

// A plain view that paints its whole area with a two-colour linear gradient, or with one colour when
// both are the same. Setting a property does not repaint; the owner calls update() when it must.
class GradientView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor startingColor READ startingColor WRITE setStartingColor)
    Q_PROPERTY(QColor endingColor READ endingColor WRITE setEndingColor)
    Q_PROPERTY(int angle READ angle WRITE setAngle)

public:
    // Defaults: a lighter grey (white 0.25) at the top running to a darker one (white 0.15), 270 degrees.
    explicit GradientView(QWidget* parent = nullptr);

    [[nodiscard]] QColor startingColor() const { return m_startingColor; }
    void setStartingColor(const QColor& color) { m_startingColor = color; }
    // An invalid colour means none: the view is then filled with the starting colour.
    [[nodiscard]] QColor endingColor() const { return m_endingColor; }
    void setEndingColor(const QColor& color) { m_endingColor = color; }
    // Degrees counter-clockwise from the left-to-right direction: 0 puts the starting colour at the
    // left edge, 90 at the bottom, 270 at the top.
    [[nodiscard]] int angle() const { return m_angle; }
    void setAngle(int angle) { m_angle = angle; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_startingColor;
    QColor m_endingColor;
    int m_angle = 270;
};
