#include "app/OnOffSwitchControl.h"

#include <QPainter>

OnOffSwitchControl::OnOffSwitchControl(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
}

QSize OnOffSwitchControl::sizeHint() const
{
    return {80, 27};
}

void OnOffSwitchControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), isChecked() ? Qt::darkBlue : Qt::gray);
}
