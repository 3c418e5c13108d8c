// A paint device of some size with no pixels: everything painted on it is
// dropped. A step whose picture nobody sees runs its effects on one, so that
// they advance exactly as when they draw, at a fraction of the cost.
#pragma once

#include <QPaintDevice>
#include <QSize>
#include <memory>

class BlankCanvas : public QPaintDevice {
public:
    BlankCanvas();
    ~BlankCanvas() override;

    // The size painters see as their viewport from the next begin on.
    void setSize(QSize size) { canvasSize = size; }

    QPaintEngine *paintEngine() const override;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize canvasSize;
    std::unique_ptr<QPaintEngine> engine;
};
