#pragma once

#include <QLabel>

// A one-line plain-text label of a fixed width that shows as much of its text as fits, with an
// ellipsis in the middle, and the whole text as tool tip when it is cut. text() is always the
// whole text. Long session lines (a serial device path) then never push the frames beside it.
class ElidingLabel : public QLabel {
    Q_OBJECT
public:
    ElidingLabel(const QString& text, int width, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Whether the text is cut at the present width.
    bool elided() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    int width_;
};
