#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

class OnOffSwitchControl;
class QPainter;
class QWidget;

// Geometry, drawing and mouse tracking of the on/off switch. Frames are in widget coordinates (y grows
// downward); times are in seconds, taken from the events.
class OnOffSwitchControlCell
{
public:
    enum OnOffSwitchControlColors : int
    {
        OnOffSwitchColorsCustom = 1,
        OnOffSwitchColorsDefault = 2,
        OnOffSwitchColorsGreenRed = 3,
        OnOffSwitchColorsBlueRed = 4,
    };
    enum FocusRingType : int
    {
        FocusRingTypeDefault = 0,
        FocusRingTypeNone = 1,
        FocusRingTypeExterior = 2
    };
    enum HitResult : int
    {
        HitNone = 0,
        HitContentArea = 1,
        HitTrackableArea = 4
    };

    // What tells a click from a drag: released within `time` seconds of the last drag event, having
    // moved less than `distance` to the right and down.
    struct ClickParameters
    {
        double time = 0.0;
        QSizeF distance;
    };

    explicit OnOffSwitchControlCell(OnOffSwitchControl& control);

    // The cell tracks the mouse until the button is released, wherever it goes.
    static constexpr bool prefersTrackingUntilMouseUp() { return true; }
    static constexpr FocusRingType defaultFocusRingType() { return FocusRingTypeExterior; }

    void furtherInit();

    [[nodiscard]] QRectF thumbRectInFrame(const QRectF& frame) const;
    [[nodiscard]] double centerXForThumbWithFrame(const QRectF& frame) const;
    void setOnOffSwitchCustomOnColor(const QColor& onColor, const QColor& offColor);

    void drawWithFrame(QPainter& painter, const QRectF& frame, QWidget* view);
    void tintBackgroundWithFrame(QPainter& painter, const QRectF& frame, QWidget* view);
    void drawText(QPainter& painter, const QString& text, const QRectF& rect) const;
    void drawInteriorWithFrame(QPainter& painter, const QRectF& frame, QWidget* view);

    [[nodiscard]] HitResult hitTestForEvent(const QPointF& location, const QRectF& frame,
                                            const QWidget* view) const;
    bool startTrackingAt(const QPointF& point, QWidget* view, double time);
    bool continueTracking(const QPointF& lastPoint, const QPointF& point, QWidget* view, double time);
    void stopTracking(const QPointF& lastPoint, const QPointF& point, QWidget* view, double time);

    [[nodiscard]] bool tracking() const { return m_tracking; }
    [[nodiscard]] QPointF initialTrackingPoint() const { return m_initialTrackingPoint; }
    [[nodiscard]] QPointF trackingPoint() const { return m_trackingPoint; }
    [[nodiscard]] double initialTrackingTime() const { return m_initialTrackingTime; }
    [[nodiscard]] double trackingTime() const { return m_trackingTime; }
    [[nodiscard]] QRectF trackingCellFrame() const { return m_trackingCellFrame; }
    [[nodiscard]] double trackingThumbCenterX() const { return m_trackingThumbCenterX; }
    [[nodiscard]] ClickParameters stuff() const { return m_stuff; }

    // Setting a property does not redraw; the control's update() does.
    [[nodiscard]] bool showsOnOffLabels() const { return m_showsOnOffLabels; }
    void setShowsOnOffLabels(bool shows) { m_showsOnOffLabels = shows; }
    [[nodiscard]] int onOffSwitchControlColors() const { return m_onOffSwitchControlColors; }
    void setOnOffSwitchControlColors(int colors) { m_onOffSwitchControlColors = colors; }
    // An invalid colour is a colour not set: scheme 1 then draws no tint.
    [[nodiscard]] QColor customOnColor() const { return m_customOnColor; }
    void setCustomOnColor(const QColor& color) { m_customOnColor = color; }
    [[nodiscard]] QColor customOffColor() const { return m_customOffColor; }
    void setCustomOffColor(const QColor& color) { m_customOffColor = color; }
    [[nodiscard]] QString onSwitchLabel() const { return m_onSwitchLabel; }
    void setOnSwitchLabel(const QString& label) { m_onSwitchLabel = label; }
    [[nodiscard]] QString offSwitchLabel() const { return m_offSwitchLabel; }
    void setOffSwitchLabel(const QString& label) { m_offSwitchLabel = label; }
    [[nodiscard]] FocusRingType focusRingType() const { return m_focusRingType; }
    void setFocusRingType(FocusRingType type) { m_focusRingType = type; }

private:
    [[nodiscard]] bool showsFirstResponder() const;

    OnOffSwitchControl& m_control;
    FocusRingType m_focusRingType = FocusRingTypeExterior;

    bool m_tracking = false;
    QPointF m_initialTrackingPoint;
    QPointF m_trackingPoint;
    double m_initialTrackingTime = 0.0;
    double m_trackingTime = 0.0;
    QRectF m_trackingCellFrame;
    double m_trackingThumbCenterX = 0.0;
    ClickParameters m_stuff;
    bool m_showsOnOffLabels = true;
    int m_onOffSwitchControlColors = OnOffSwitchColorsDefault;
    QColor m_customOnColor;
    QColor m_customOffColor;
    QString m_onSwitchLabel;
    QString m_offSwitchLabel;
};
