#pragma once

#include "app/OnOffSwitchControlCell.h"

#include <QAbstractButton>

// The sliding on/off switch of the preferences window: a checkable button whose cell draws it and
// tracks the mouse, plus the arrow keys. isChecked() is true exactly in the on state.
class OnOffSwitchControl : public QAbstractButton
{
    Q_OBJECT

public:
    // Button states. Any other value is drawn at the left and left alone by the arrow keys.
    enum State : int
    {
        Off = 0,
        On = 1,
        Mixed = -1
    };

    explicit OnOffSwitchControl(QWidget* parent = nullptr);

    [[nodiscard]] OnOffSwitchControlCell& cell() { return m_cell; }
    [[nodiscard]] const OnOffSwitchControlCell& cell() const { return m_cell; }

    [[nodiscard]] int state() const { return m_state; }
    // Sets the state without sending the action (clicked); mixed becomes on when mixed is not allowed.
    void setState(int state);
    [[nodiscard]] bool allowsMixedState() const { return m_allowsMixedState; }
    // With mixed allowed a click cycles on -> off -> mixed -> on.
    void setAllowsMixedState(bool allows);

    [[nodiscard]] QSize sizeHint() const override;

Q_SIGNALS:
    void stateChanged(int state);
    // Sent just before the system beep of an arrow key that cannot move the state further.
    void beeped();

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& pos) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override { keyDown(event); }
    void keyReleaseEvent(QKeyEvent* event) override { keyUp(event); }
    void changeEvent(QEvent* event) override;
    void nextCheckState() override;
    void checkStateSet() override;

    // The arrow keys: the press is swallowed, the release moves the state.
    void keyDown(QKeyEvent* event);
    void keyUp(QKeyEvent* event);

private:
    void stateDidChange(int previous);

    OnOffSwitchControlCell m_cell;
    int m_state = Off;
    bool m_allowsMixedState = false;
    bool m_settingState = false;
    // Set while the button completes a tracking: a release anywhere then counts as over the control.
    bool m_completingTracking = false;
    QPointF m_lastTrackingPoint;
};
