#include "elidinglabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

ElidingLabel::ElidingLabel(const QString& text, int width, QWidget* parent)
    : QLabel(text, parent), width_(width) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

QSize ElidingLabel::sizeHint() const {
    return {width_, QLabel::sizeHint().height()};
}

QSize ElidingLabel::minimumSizeHint() const {
    return sizeHint();
}

bool ElidingLabel::elided() const {
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

QString ElidingLabel::shownText() const {
    return elide(text(), fontMetrics(), contentsRect().width());
}

QString ElidingLabel::elide(const QString& text, const QFontMetrics& metrics, int width) {
    const auto fits = [&](const QString& shown) { return metrics.horizontalAdvance(shown) <= width; };
    // Measured one way throughout: Qt's elidedText() counts fractions of a pixel and would cut a
    // text that elided() finds fitting.
    if (fits(text)) {
        return text;
    }
    const qsizetype last = text.lastIndexOf(u'/');
    if (last < 0) {
        return metrics.elidedText(text, Qt::ElideMiddle, width);
    }
    const QString ellipsis(QChar(0x2026));
    const QString name = text.mid(last);
    const qsizetype first = text.indexOf(u'/');
    const QString before = text.left(first);
    const QString folders = text.mid(first, last - first);
    // Whole folders only: a cut inside a folder's name reads like another folder.
    for (qsizetype cut = folders.indexOf(u'/', 1); !folders.isEmpty(); cut = folders.indexOf(u'/', cut + 1)) {
        const QString shown = before + ellipsis + (cut < 0 ? QString() : folders.mid(cut)) + name;
        if (fits(shown)) {
            return shown;
        }
        if (cut < 0) {
            break;
        }
    }
    const QString shown =
        metrics.elidedText(text.left(last), Qt::ElideRight, width - metrics.horizontalAdvance(name)) + name;
    if (fits(shown) && shown != name) {
        return shown;
    }
    return metrics.elidedText(text, Qt::ElideLeft, width);
}

void ElidingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}

bool ElidingLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (elided()) {
            QToolTip::showText(help->globalPos(), text(), this);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QLabel::event(event);
}
