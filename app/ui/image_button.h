#pragma once

// CImageButton: a push button that draws a picture (or an icon) instead of, or beside, its
// caption; a "hot" picture while the mouse is over it or it is pressed, the normal one
// otherwise; pictures drawn transparently through their masks; flat by default, with an
// optional thin frame while hot; check-box mode; its own tooltip.
//
// Threads: the user-interface thread only. The button owns its pictures, masks and icons.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>

namespace mireldo::ui {

class CImageButton : public QPushButton {
    Q_OBJECT

  public:
    /// Special values of the normal picture of setPictures().
    static constexpr int kNoPicture = 0;
    static constexpr int kGreyCopy = -1;   ///< a grey copy of the hot picture
    static constexpr int kDarkerCopy = -2; ///< a darker copy of the hot picture

    /// Results of the setters.
    static constexpr int kOk = 0;
    static constexpr int kBadPictureSize = 1;
    static constexpr int kMaskFailed = 2;
    static constexpr int kInvalidStyle = 6;

    enum class Placement { Left = 0, Top = 1, Right = 2 };
    enum class ColorState { Hot = 0, Normal = 1, Focused = 2 };

    explicit CImageButton(QWidget* parent = nullptr);
    explicit CImageButton(const QString& text, QWidget* parent = nullptr);
    ~CImageButton() override;

    /// Loads the hot picture `hotId` and the normal picture `normalId` (a picture id,
    /// kGreyCopy, kDarkerCopy or kNoPicture) from the program's pictures, makes their masks
    /// and repaints. kOk, kBadPictureSize when a picture cannot be loaded or has no size,
    /// kMaskFailed when a mask cannot be made.
    int setPictures(int hotId, QRgb hotTransparent, int normalId, QRgb normalTransparent);
    /// The same with pictures given directly (a null normal picture means none unless
    /// `normalCopy` asks for kGreyCopy or kDarkerCopy).
    int setPictureImages(const QImage& hot, QRgb hotTransparent, const QImage& normal,
                         QRgb normalTransparent, int normalCopy = kNoPicture);
    /// Icons instead of pictures (a null normal icon: the hot one always).
    void setIcons(const QIcon& hot, const QIcon& normal, QSize size);

    /// Loads the text of string `stringId`; an empty text changes nothing. Activates or
    /// deactivates the tooltip.
    void setTooltipText(int stringId, bool activate = true);
    /// The same with a text.
    void setTooltipString(const QString& text, bool activate = true);
    QString tooltipText() const { return tooltip_; }
    bool isTooltipActive() const { return tooltipActive_; }

    void setFlat(bool flat, bool repaint = true);
    bool isFlatButton() const { return flat_; }
    void setDrawBorder(bool draw, bool repaint = true);
    bool drawsBorder() const { return drawBorder_; }
    void setFlatFocus(bool draw, bool repaint = true);
    bool drawsFlatFocus() const { return flatFocus_; }
    /// 0: pressed pictures move by (1, 1); 1: by (0, 2). kInvalidStyle for other values.
    int setPressedStyle(int style, bool repaint = true);
    QPoint pressedOffset() const { return pressedOffset_; }
    void setPlacement(Placement placement, bool repaint = true);
    void setDisabledPictureStyle(bool on) { disabledPictureStyle_ = on; }

    /// Check-box mode: a click toggles the check (the platform's check messages are
    /// setChecked()/isChecked()).
    void setCheckBoxMode(bool on);
    bool isCheckBoxMode() const { return checkBoxMode_; }

    /// Background and text colours of a state; resetColors() restores the system's.
    void setStateColors(ColorState state, const QColor& background, const QColor& text);
    void resetColors();
    /// Draws over a copy of the parent's pixels behind the button, taken at the first paint.
    void setTransparentBackground(bool on);

    bool isMouseOver() const { return mouseOver_; }
    bool hasHotPicture() const { return !hot_.picture.isNull() || !hotIcon_.isNull(); }

    /// The picture drawn in the current state, as drawn (transparent where masked), or null.
    QImage currentPicture() const;

    QSize sizeHint() const override;

  protected:
    /// Step 2 of drawing: the background. Subclasses draw textures here.
    virtual void drawBackground(QPainter& painter, bool pressed, bool focused);

    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

    void setMouseOver(bool over);
    bool isPressedState() const;
    QColor stateBackground(bool pressed, bool focused) const;

  private:
    struct Picture {
        QImage picture;  ///< as loaded
        QImage mask;     ///< one bit per pixel, white where transparent
        QImage drawn;    ///< ARGB: what mask-then-picture drawing shows
        QImage disabled; ///< the disabled look
    };

    static int makePicture(const QImage& source, QRgb transparent, Picture& out);
    void init();

    Picture hot_;
    Picture normal_;
    QIcon hotIcon_;
    QIcon normalIcon_;
    QSize iconSize_;
    bool flat_ = true;
    bool drawBorder_ = true;
    bool flatFocus_ = true;
    bool checkBoxMode_ = false;
    bool mouseOver_ = false;
    bool disabledPictureStyle_ = true;
    Placement placement_ = Placement::Left;
    QPoint pressedOffset_{1, 1};
    static constexpr int kMargin = 3;
    QColor background_[3];
    QColor text_[3];
    bool customColors_ = false;
    bool transparentBackground_ = false;
    QPixmap savedBackground_;
    QString tooltip_;
    bool tooltipActive_ = false;
};

} // namespace mireldo::ui
