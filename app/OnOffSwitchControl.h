#pragma once

#include <QAbstractButton>

// The sliding on/off switch of the preferences window: a checkable button.
class OnOffSwitchControl : public QAbstractButton
{
    Q_OBJECT

public:
    explicit OnOffSwitchControl(QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
