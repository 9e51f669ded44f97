#pragma once

#include "colours.h"

#include <QWidget>
#include <cstdint>

// A round filled lamp, as the limit-switch and home indicators are drawn. The fill is kept as the
// 0x00BBGGRR word it was set with and mirrored in the "backColour" property, so tests read lamps
// the same way as every other coloured control.
class LampIndicator : public QWidget {
    Q_OBJECT
public:
    explicit LampIndicator(QWidget* parent = nullptr);

    void setFillBgr(std::uint32_t bgr);
    std::uint32_t fillBgr() const { return fill_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::uint32_t fill_ = Bgr::White;
    bool propertySet_ = false;
};
