#include "app/OnOffSwitchControl.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// The switch for assistive technologies: a checkable button, mixed included.
class OnOffSwitchAccessible : public QAccessibleWidget
{
public:
    explicit OnOffSwitchAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button) {}

    [[nodiscard]] QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        const auto* control = static_cast<const OnOffSwitchControl*>(widget());
        state.checkable = true;
        state.checked = control->state() == OnOffSwitchControl::On;
        state.checkStateMixed = control->state() == OnOffSwitchControl::Mixed;
        state.pressed = control->isDown();
        return state;
    }

    [[nodiscard]] QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << toggleAction();
    }

    void doAction(const QString& actionName) override
    {
        if (actionName == toggleAction() || actionName == pressAction())
            static_cast<OnOffSwitchControl*>(widget())->click();
        else
            QAccessibleWidget::doAction(actionName);
    }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("OnOffSwitchControl") && object && object->isWidgetType())
        return new OnOffSwitchAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

double seconds(const QInputEvent* event)
{
    return double(event->timestamp()) / 1000.0;
}

bool isArrowKey(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Left || event->key() == Qt::Key_Right;
}

} // namespace

OnOffSwitchControl::OnOffSwitchControl(QWidget* parent) : QAbstractButton(parent), m_cell(*this)
{
    static const bool factoryInstalled = (QAccessible::installFactory(accessibleFactory), true);
    Q_UNUSED(factoryInstalled);
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tr("On/off switch"));
}

void OnOffSwitchControl::setState(int state)
{
    if (state == Mixed && !m_allowsMixedState)
        state = On;
    const int previous = m_state;
    // The state first, so that a slot of toggled() reads the new one.
    m_state = state;
    m_settingState = true;
    setChecked(state == On);
    m_settingState = false;
    stateDidChange(previous);
}

void OnOffSwitchControl::setAllowsMixedState(bool allows)
{
    m_allowsMixedState = allows;
    if (!allows && m_state == Mixed)
        setState(On);
    update();
}

QSize OnOffSwitchControl::sizeHint() const
{
    return {80, 27};
}

void OnOffSwitchControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_cell.drawWithFrame(painter, rect(), this);
}

bool OnOffSwitchControl::hitButton(const QPoint& pos) const
{
    if (m_completingTracking || m_cell.tracking())
        return true;
    return m_cell.hitTestForEvent(pos, rect(), this) != OnOffSwitchControlCell::HitNone;
}

void OnOffSwitchControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton &&
        m_cell.hitTestForEvent(event->position(), rect(), this) != OnOffSwitchControlCell::HitNone) {
        m_lastTrackingPoint = event->position();
        m_cell.startTrackingAt(m_lastTrackingPoint, this, seconds(event));
    }
    QAbstractButton::mousePressEvent(event);
}

void OnOffSwitchControl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_cell.tracking() && (event->buttons() & Qt::LeftButton)) {
        m_cell.continueTracking(m_lastTrackingPoint, event->position(), this, seconds(event));
        m_lastTrackingPoint = event->position();
    }
    QAbstractButton::mouseMoveEvent(event);
}

void OnOffSwitchControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_cell.tracking()) {
        QAbstractButton::mouseReleaseEvent(event);
        return;
    }
    m_cell.stopTracking(m_lastTrackingPoint, event->position(), this, seconds(event));
    // The tracking lasts until the mouse is up wherever it goes, so the release completes the gesture
    // (one step and clicked()) even outside the control.
    m_completingTracking = true;
    QAbstractButton::mouseReleaseEvent(event);
    m_completingTracking = false;
    update();
}

void OnOffSwitchControl::changeEvent(QEvent* event)
{
    // A switch disabled in the middle of a drag gets no release: the drag ends where it is, undecided.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_cell.tracking())
        m_cell.stopTracking(m_lastTrackingPoint, m_lastTrackingPoint, nullptr, m_cell.trackingTime());
    QAbstractButton::changeEvent(event);
}

void OnOffSwitchControl::nextCheckState()
{
    int next = On;
    if (m_state == On)
        next = Off;
    else if (m_state == Off && m_allowsMixedState)
        next = Mixed;
    setState(next);
}

void OnOffSwitchControl::checkStateSet()
{
    // setChecked() from outside: the state follows the check.
    if (m_settingState)
        return;
    const int previous = m_state;
    m_state = isChecked() ? On : Off;
    stateDidChange(previous);
}

void OnOffSwitchControl::keyDown(QKeyEvent* event)
{
    if (isArrowKey(event))
        event->accept();
    else
        QAbstractButton::keyPressEvent(event);
}

void OnOffSwitchControl::keyUp(QKeyEvent* event)
{
    if (!isArrowKey(event)) {
        QAbstractButton::keyReleaseEvent(event);
        return;
    }
    event->accept();
    // A held key repeats presses and releases here; the switch moves once, when the key is let go.
    if (event->isAutoRepeat())
        return;
    const bool right = event->key() == Qt::Key_Right;
    const int end = right ? On : Off;
    const int start = right ? Off : On;
    if (m_state == end) {
        emit beeped();
        QApplication::beep();
    } else if (m_state == start) {
        setState(m_allowsMixedState ? Mixed : end);
    } else if (m_state == Mixed) {
        setState(end);
    }
}

void OnOffSwitchControl::stateDidChange(int previous)
{
    if (previous == m_state)
        return;
    update();
    QAccessible::State changed;
    changed.checked = true;
    changed.checkStateMixed = true;
    QAccessibleStateChangeEvent accessibleEvent(this, changed);
    QAccessible::updateAccessibility(&accessibleEvent);
    emit stateChanged(m_state);
}
