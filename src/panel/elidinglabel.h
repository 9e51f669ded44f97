#pragma once

#include <QLabel>

// A one-line plain-text label of a fixed width that shows as much of its text as fits, and the
// whole text as tool tip when it is cut. text() is always the whole text. Long session lines (a
// serial device path) then never push the frames beside it.
class ElidingLabel : public QLabel {
    Q_OBJECT
public:
    ElidingLabel(const QString& text, int width, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // Whether the text is cut at the present width.
    bool elided() const;
    // What is shown of the text at the present width.
    QString shownText() const;
    // What fits of `text` in `width`. In a device path the device's own name (after the last
    // "/") and what follows it (" (USB)") tell one port from another, so they stay whole longest:
    // the folders go first, the outermost first, then the words before the path; a name wider
    // than the whole width keeps its end. Text without a path is cut in the middle.
    static QString elide(const QString& text, const QFontMetrics& metrics, int width);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    int width_;
};
