#include "app/OnOffSwitchControlCell.h"

#include "app/OnOffSwitchControl.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kCornerRadius = 2.5;
constexpr float kThumbWidthFraction = 0.45f;
constexpr float kTintAlpha = 0.6f;
constexpr double kShadowBlur = 3.0;

QColor white(double level, double alpha = 1.0)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

QPainterPath roundedRect(const QRectF& rect)
{
    QPainterPath path;
    path.addRoundedRect(rect, kCornerRadius, kCornerRadius);
    return path;
}

// The rectangle moved in by `amount` on every side, never of negative size.
QRectF inset(const QRectF& rect, double amount)
{
    return {rect.x() + amount, rect.y() + amount, std::max(0.0, rect.width() - 2 * amount),
            std::max(0.0, rect.height() - 2 * amount)};
}

QRectF innerRect(const QRectF& frame)
{
    return inset(frame, 1.0);
}

// From `top` at the top edge to `bottom` at the bottom edge.
QLinearGradient verticalGradient(const QRectF& rect, const QColor& top, const QColor& bottom)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0.0, top);
    gradient.setColorAt(1.0, bottom);
    return gradient;
}

// One pass of a box blur of the given radius along the rows or the columns of an Alpha8 image.
void boxBlur(QImage& image, int radius, Qt::Orientation orientation)
{
    const bool rows = orientation == Qt::Horizontal;
    const int lines = rows ? image.height() : image.width();
    const int length = rows ? image.width() : image.height();
    const int window = 2 * radius + 1;
    std::vector<int> line(size_t(length), 0);
    for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> uchar& { return rows ? image.scanLine(l)[i] : image.scanLine(i)[l]; };
        for (int i = 0; i < length; ++i)
            line[size_t(i)] = at(i);
        int sum = 0;
        for (int i = 0; i <= radius && i < length; ++i)
            sum += line[size_t(i)];
        for (int i = 0; i < length; ++i) {
            at(i) = uchar(sum / window);
            if (i + radius + 1 < length)
                sum += line[size_t(i + radius + 1)];
            if (i - radius >= 0)
                sum -= line[size_t(i - radius)];
        }
    }
}

// A black shadow of `shape` without offset: its mask blurred in device pixels by three box passes, close
// to a Gaussian of standard deviation blur / 2.
void drawShadow(QPainter& painter, const QPainterPath& shape, double alpha, double blur)
{
    const double ratio = painter.device()->devicePixelRatioF();
    const QRectF area = shape.boundingRect().adjusted(-2 * blur, -2 * blur, 2 * blur, 2 * blur);
    QImage mask(QSize(int(std::ceil(area.width() * ratio)), int(std::ceil(area.height() * ratio))),
                QImage::Format_Alpha8);
    if (mask.isNull())
        return;
    mask.setDevicePixelRatio(ratio);
    mask.fill(0);
    {
        QPainter maskPainter(&mask);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        maskPainter.translate(-area.topLeft());
        maskPainter.fillPath(shape, Qt::black);
    }
    const double sigma = blur / 2 * ratio;
    const int radius = int(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2));
    for (int pass = 0; pass < 3; ++pass) {
        boxBlur(mask, radius, Qt::Horizontal);
        boxBlur(mask, radius, Qt::Vertical);
    }
    painter.save();
    painter.setOpacity(painter.opacity() * alpha);
    painter.drawImage(area.topLeft(), mask);
    painter.restore();
}

} // namespace

OnOffSwitchControlCell::OnOffSwitchControlCell(OnOffSwitchControl& control) : m_control(control)
{
    furtherInit();
}

void OnOffSwitchControlCell::furtherInit()
{
    m_focusRingType = defaultFocusRingType();
    // This system has no sticky mouse-tracking parameters to ask for: the usual limits serve.
    m_stuff = {1.0 / 3.0, QSizeF(6.0, 6.0)};
    m_showsOnOffLabels = true;
    m_onOffSwitchControlColors = OnOffSwitchColorsDefault;
    m_onSwitchLabel = QCoreApplication::translate("OnOffSwitchControlCell", "ON");
    m_offSwitchLabel = QCoreApplication::translate("OnOffSwitchControlCell", "OFF");
}

QRectF OnOffSwitchControlCell::thumbRectInFrame(const QRectF& frame) const
{
    const QRectF inner = innerRect(frame);
    const double width = double(kThumbWidthFraction) * inner.width();
    double x = inner.x();
    if (m_control.state() == OnOffSwitchControl::On)
        x = inner.x() + inner.width() - width;
    else if (m_control.state() == OnOffSwitchControl::Mixed)
        x = inner.x() + (inner.width() - width) / 2;
    return {x, inner.y(), width, inner.height()};
}

double OnOffSwitchControlCell::centerXForThumbWithFrame(const QRectF& frame) const
{
    const QRectF thumb = thumbRectInFrame(frame);
    double x = thumb.x();
    if (m_tracking) {
        x = thumb.x() + (m_trackingPoint.x() - m_initialTrackingPoint.x());
        const double lowest = frame.x() + 1.0;
        // A frame narrower than two points has no room for the thumb: it stays at the left end.
        const double highest = std::max(lowest, frame.x() + frame.width() - thumb.width() - 1.0);
        if (x < lowest)
            x = lowest;
        else if (x > highest)
            x = highest;
    }
    return x + thumb.width() * 0.5;
}

void OnOffSwitchControlCell::setOnOffSwitchCustomOnColor(const QColor& onColor, const QColor& offColor)
{
    m_customOffColor = offColor;
    m_customOnColor = onColor;
}

void OnOffSwitchControlCell::drawWithFrame(QPainter& painter, const QRectF& frame, QWidget* view)
{
    if (m_tracking)
        m_trackingCellFrame = frame;
    if (frame.isEmpty())
        return;
    const double ratio = painter.device()->devicePixelRatioF();
    // The transparency layer: the disabled wash blends with the switch alone, not with the window.
    QImage layerImage(QSize(int(std::ceil(frame.width() * ratio)), int(std::ceil(frame.height() * ratio))),
                      QImage::Format_ARGB32_Premultiplied);
    if (layerImage.isNull())
        return;
    layerImage.setDevicePixelRatio(ratio);
    layerImage.fill(Qt::transparent);
    QPainter layer(&layerImage);
    layer.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    layer.translate(-frame.topLeft());

    const QPainterPath border = roundedRect(inset(frame, 1.0));
    layer.strokePath(border, QPen(white(0.125), 1.0));
    layer.fillPath(border, verticalGradient(inset(frame, 1.0), white(0.5), white(2.0 / 3.0)));

    layer.save();
    layer.setClipPath(roundedRect(frame));
    // Tint and labels belong to the two-state switch only.
    if (!m_control.allowsMixedState())
        tintBackgroundWithFrame(layer, frame, view);
    const QRectF shadowBand(frame.x(), frame.y(), frame.width(), 4.0);
    layer.fillRect(shadowBand, verticalGradient(shadowBand, QColor::fromRgbF(0, 0, 0, 0.35f),
                                                QColor::fromRgbF(0, 0, 0, 0)));
    layer.restore();

    drawInteriorWithFrame(layer, frame, view);

    if (!m_control.isEnabled()) {
        // Within the outline of the border only: over the empty corners of the layer the wash would
        // draw a pale frame around the switch on a dark window.
        layer.setClipPath(roundedRect(inset(frame, 0.5)));
        layer.setCompositionMode(QPainter::CompositionMode_Lighten);
        layer.fillRect(frame, white(1.0, 2.0 / 3.0));
    }
    layer.end();
    painter.drawImage(frame.topLeft(), layerImage);
}

void OnOffSwitchControlCell::tintBackgroundWithFrame(QPainter& painter, const QRectF& frame, QWidget*)
{
    painter.save();
    painter.setClipPath(roundedRect(frame), Qt::IntersectClip);
    const QRectF thumb = thumbRectInFrame(frame);
    const double centerX = centerXForThumbWithFrame(frame);
    const double leftWidth = std::clamp(centerX - frame.x(), 0.0, std::max(0.0, frame.width()));
    const QRectF left(frame.x(), frame.y(), leftWidth, frame.height());
    const QRectF right(frame.x() + leftWidth, frame.y(), frame.width() - leftWidth, frame.height());

    QColor onColor;
    QColor offColor;
    switch (m_onOffSwitchControlColors) {
    case OnOffSwitchColorsCustom:
        onColor = m_customOnColor;
        offColor = m_customOffColor;
        break;
    case OnOffSwitchColorsDefault:
        onColor = QColor::fromRgbF(0.0f, 0.3f, 1.0f, kTintAlpha);
        offColor = QColor::fromRgbF(1.0f, 0.0f, 0.0f, 0.0f);
        break;
    case OnOffSwitchColorsGreenRed:
        onColor = QColor::fromRgbF(0.0f, 0.7f, 0.0f, kTintAlpha);
        offColor = QColor::fromRgbF(0.7f, 0.0f, 0.0f, kTintAlpha);
        break;
    case OnOffSwitchColorsBlueRed:
        onColor = QColor::fromRgbF(0.0f, 0.3f, 1.0f, kTintAlpha);
        offColor = QColor::fromRgbF(0.7f, 0.0f, 0.0f, kTintAlpha);
        break;
    default:
        break;
    }
    if (onColor.isValid() && offColor.isValid()) {
        // The square ends of the tint would show past the rounded corners of the border.
        painter.setClipPath(roundedRect(inset(frame, 1.0)), Qt::IntersectClip);
        painter.fillRect(inset(left, 1.0), onColor);
        painter.fillRect(inset(right, 1.0), offColor);
    }
    painter.restore();

    if (!m_showsOnOffLabels)
        return;
    const double thumbLeft = m_tracking ? centerX - thumb.width() / 2 : thumb.x();
    const double thumbRight = m_tracking ? centerX + thumb.width() / 2 : thumb.x() + thumb.width();
    const double labelWidth = frame.width() - thumb.width() - 2.0;
    drawText(
        painter, m_onSwitchLabel,
        QRectF(thumbLeft - (frame.width() - thumb.width()) + 2.0, frame.y(), labelWidth, frame.height()));
    drawText(painter, m_offSwitchLabel, QRectF(thumbRight + 1.0, frame.y(), labelWidth, frame.height()));
}

void OnOffSwitchControlCell::drawText(QPainter& painter, const QString& text, const QRectF& rect) const
{
    QFont font = m_control.font();
    font.setBold(true);
    const QFontMetricsF metrics(font, painter.device());
    const QSizeF size(metrics.horizontalAdvance(text), metrics.height());
    const QPointF origin =
        rect.topLeft() + QPointF((rect.width() - size.width()) / 2, (rect.height() - size.height()) / 2);
    painter.save();
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(origin, size), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter.restore();
}

void OnOffSwitchControlCell::drawInteriorWithFrame(QPainter& painter, const QRectF& frame, QWidget*)
{
    QRectF thumb = thumbRectInFrame(frame);
    const QRectF inner = innerRect(frame);
    painter.save();
    painter.setClipPath(roundedRect(inner), Qt::IntersectClip);
    if (m_tracking) {
        double x = thumb.x() + (m_trackingPoint.x() - m_initialTrackingPoint.x());
        if (x < inner.x())
            x = inner.x();
        else if (x > inner.x() + inner.width() - thumb.width())
            x = inner.x() + inner.width() - thumb.width();
        thumb.moveLeft(x);
        // The decision at the end of the tracking reads this; note it is computed from the inner rectangle.
        m_trackingThumbCenterX = centerXForThumbWithFrame(inner);
    }
    const QPainterPath thumbPath = roundedRect(thumb);
    // The focus ring lies under the thumb, so only its glow towards the track shows.
    if (showsFirstResponder() && m_focusRingType != FocusRingTypeNone) {
        QColor ring = m_control.palette().color(QPalette::Highlight);
        ring.setAlphaF(0.8f);
        painter.strokePath(thumbPath, QPen(ring, 7.0));
    }
    drawShadow(painter, thumbPath, 0.5, kShadowBlur);
    painter.fillPath(thumbPath, Qt::white);
    painter.fillPath(thumbPath, verticalGradient(thumb, white(1.0), white(0.9f)));
    painter.restore();

    if (!m_tracking || !qEnvironmentVariableIsSet("ZubOnOffButtonCellDebug"))
        return;
    painter.save();
    painter.setPen(QPen(Qt::black, 1.0));
    const double centerX = thumb.center().x();
    painter.drawLine(QPointF(centerX, thumb.y() + thumb.height() / 3),
                     QPointF(centerX, thumb.y() + 2 * thumb.height() / 3));
    auto decisionLine = [&](double x) {
        painter.drawLine(QPointF(x, inner.top()), QPointF(x, inner.top() + inner.height()));
    };
    if (m_control.allowsMixedState()) {
        decisionLine(inner.x() + inner.width() / 3);
        decisionLine(inner.x() + 2 * inner.width() / 3);
    } else {
        decisionLine(inner.x() + inner.width() / 2);
    }
    painter.restore();
}

OnOffSwitchControlCell::HitResult
OnOffSwitchControlCell::hitTestForEvent(const QPointF& location, const QRectF& frame, const QWidget*) const
{
    return frame.contains(location) ? HitResult(HitContentArea | HitTrackableArea) : HitNone;
}

bool OnOffSwitchControlCell::startTrackingAt(const QPointF& point, QWidget* view, double time)
{
    m_tracking = true;
    m_initialTrackingPoint = m_trackingPoint = point;
    m_initialTrackingTime = m_trackingTime = time;
    return qobject_cast<OnOffSwitchControl*>(view) != nullptr;
}

bool OnOffSwitchControlCell::continueTracking(const QPointF&, const QPointF& point, QWidget* view,
                                              double time)
{
    if (!qobject_cast<OnOffSwitchControl*>(view)) {
        m_tracking = false;
        return false;
    }
    m_trackingPoint = point;
    // Every drag event restarts the click timer.
    m_initialTrackingTime = m_trackingTime = time;
    view->repaint();
    return true;
}

void OnOffSwitchControlCell::stopTracking(const QPointF&, const QPointF& point, QWidget* view, double time)
{
    m_tracking = false;
    m_trackingTime = time;
    auto* control = qobject_cast<OnOffSwitchControl*>(view);
    if (!control)
        return;
    const double width = m_trackingCellFrame.width();
    const double ratio = width > 0 ? m_trackingThumbCenterX / width : 0.0;
    // Signed differences: a drag to the left that ends quickly is a click.
    if (m_trackingTime - m_initialTrackingTime < m_stuff.time &&
        point.x() - m_initialTrackingPoint.x() < m_stuff.distance.width() &&
        point.y() - m_initialTrackingPoint.y() < m_stuff.distance.height())
        return; // the button's own step toggles

    int target = OnOffSwitchControl::On;
    if (control->allowsMixedState())
        target = ratio < 1.0 / 3.0    ? OnOffSwitchControl::Off
                 : ratio >= 2.0 / 3.0 ? OnOffSwitchControl::On
                                      : OnOffSwitchControl::Mixed;
    else if (ratio < 0.5)
        target = OnOffSwitchControl::Off;

    // The state before the target in the cycle: the button's step after the tracking lands on the
    // target, and announces it; this intermediate state is not announced.
    int predecessor = OnOffSwitchControl::Off;
    if (target == OnOffSwitchControl::Off)
        predecessor = OnOffSwitchControl::On;
    else if (target == OnOffSwitchControl::On && control->allowsMixedState())
        predecessor = OnOffSwitchControl::Mixed;
    const QSignalBlocker quiet(control);
    control->setState(predecessor);
}

bool OnOffSwitchControlCell::showsFirstResponder() const
{
    // Like the styles' focus frames: shown once the focus came by keyboard.
    return m_control.hasFocus() && m_control.window()->testAttribute(Qt::WA_KeyboardFocusChange);
}
