#pragma once

// The owner-drawn text list (the main window's endpoint list 1049) and the picture label
// (picture 1054).
//
// Threads: the user-interface thread only.

#include <QColor>
#include <QLabel>
#include <QListWidget>
#include <QStringList>

namespace mireldo::ui {

/// A list of text rows, each 17 pixels high, selected or focused rows filled with red 150,
/// green 180, blue 240, others white; texts drawn 3 pixels from the left, vertically centred.
class CTextList : public QListWidget {
    Q_OBJECT

  public:
    static constexpr int kRowHeight = 17;
    static constexpr QRgb kSelectedColor = 0xFF96B4F0u;

    explicit CTextList(QWidget* parent = nullptr);
    /// Appends `text` as a row.
    void addRow(const QString& text);
    /// Removes every row.
    void clearRows();
    const QStringList& rows() const { return rows_; }

  private:
    QStringList rows_;
};

/// `image` with the area connected to `start` (4-neighbours) that has exactly the colour of
/// `start` filled with `fill`.
QImage floodFilled(const QImage& image, QPoint start, QRgb fill);

/// A label showing picture 149; unless keepShadow is set, the area of the button-shadow colour
/// connected to the picture's top-left pixel takes the window's colour.
class CPictureLabel : public QLabel {
    Q_OBJECT

  public:
    explicit CPictureLabel(QWidget* parent = nullptr, bool keepShadow = false);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool keepShadow_;
    QImage picture_;
};

} // namespace mireldo::ui
