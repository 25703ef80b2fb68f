#pragma once

// The time label beside the playlist (control 1014): a text drawn with the parent's font on
// the button face, with format flags and four margins; it repaints only when the text changes.
//
// Threads: the user-interface thread only.

#include <QMargins>
#include <QWidget>

namespace mireldo::ui {

class CTimeLabel : public QWidget {
    Q_OBJECT

  public:
    explicit CTimeLabel(QWidget* parent = nullptr);

    /// Sets the text; repaints only when it differs from the current one.
    void setText(const QString& text);
    QString text() const { return text_; }
    /// Qt::Alignment and Qt::TextFlag values, as the label's format flags.
    void setFormatFlags(int flags);
    /// Added to the left, top, right and bottom of the client rectangle before drawing.
    void setMargins(const QMargins& margins);
    int paintCount() const { return paintCount_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    int flags_ = Qt::AlignCenter | Qt::TextSingleLine;
    QMargins margins_;
    int paintCount_ = 0;
};

} // namespace mireldo::ui
