// A label for texts that change or run long (estimates, captions, messages): its size comes from
// the room it is given (a sample text's width and a number of lines), never from its text, so
// the window's columns hold. The text wraps within those lines; what still does not fit ends in
// "..." and the whole text is in the tooltip.
#pragma once

#include <QLabel>

namespace vantorell {

class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    // `room` is a sample text whose width the label asks for; `lines` its height in lines.
    explicit ElidedLabel(const QString& room, int lines, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The lines as painted: the whole text, or its start and "..." when it does not fit.
    QStringList shownLines() const;
    bool cut() const;
    // What the tooltip shows: the label's own tooltip, with the whole text when it is cut.
    QString fullToolTip() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QString m_room;
    int m_lines;
};

}  // namespace vantorell
