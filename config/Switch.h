#pragma once

#include <QWidget>

// A two-state toggle switch drawn as a lever in a slot: up is on, down is off. It
// changes state on a left-button press, or on the space bar while it has the focus,
// and draws no focus rectangle.
namespace config {

class TSwitch : public QWidget {
    Q_OBJECT
public:
    explicit TSwitch(QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    // Every change of state, also one made here, is announced by toggled().
    void setOn(bool on);

    QSize sizeHint() const override { return {43, 45}; }

signals:
    void toggled(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool on_ = false;
};

} // namespace config
