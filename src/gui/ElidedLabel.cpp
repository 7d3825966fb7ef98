#include "gui/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QToolTip>

namespace vantorell {

ElidedLabel::ElidedLabel(const QString& room, int lines, QWidget* parent)
    : QLabel(parent), m_room(room), m_lines(std::max(1, lines))
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize ElidedLabel::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(m_room) + margins.left() + margins.right(),
            fontMetrics().lineSpacing() * m_lines + margins.top() + margins.bottom()};
}

QSize ElidedLabel::minimumSizeHint() const { return {fontMetrics().averageCharWidth() * 4, sizeHint().height()}; }

QStringList ElidedLabel::shownLines() const
{
    const int width = std::max(1, contentsRect().width());
    const QString whole = text().simplified();
    QTextLayout layout(whole, font());
    layout.beginLayout();
    QStringList lines;
    while (lines.size() < m_lines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == m_lines - 1) {   // the last line takes the rest, cut if need be
            lines << fontMetrics().elidedText(whole.mid(line.textStart()), Qt::ElideRight, width);
            break;
        }
        lines << whole.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

bool ElidedLabel::cut() const { return shownLines().join(u' ') != text().simplified(); }

QString ElidedLabel::fullToolTip() const
{
    if (!cut())
        return toolTip();
    return toolTip().isEmpty() ? text() : toolTip() + QStringLiteral(":\n") + text();
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QStringList lines = shownLines();
    QRect area = contentsRect();
    const int height = fontMetrics().lineSpacing();
    // Vertically the lines sit as the alignment says; each line is aligned on its own.
    const int used = height * int(lines.size());
    if (alignment() & Qt::AlignVCenter)
        area.setTop(area.top() + (area.height() - used) / 2);
    else if (alignment() & Qt::AlignBottom)
        area.setTop(area.bottom() + 1 - used);
    const int horizontal = int(alignment() & Qt::AlignHorizontal_Mask);
    for (const QString& line : lines) {
        style()->drawItemText(&painter, QRect(area.left(), area.top(), area.width(), height),
                              horizontal | Qt::AlignVCenter, palette(), isEnabled(), line, foregroundRole());
        area.setTop(area.top() + height);
    }
}

bool ElidedLabel::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const QString tip = fullToolTip();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, this);
        return true;
    }
    return QLabel::event(event);
}

}  // namespace vantorell
