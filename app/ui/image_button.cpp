#include "image_button.h"

#include "image_ops.h"
#include "pictures.h"
#include "ui_strings.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace mireldo::ui {

CImageButton::CImageButton(QWidget* parent) : QPushButton(parent) {
    init();
}

CImageButton::CImageButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    init();
}

CImageButton::~CImageButton() = default;

void CImageButton::init() {
    setMouseTracking(flat_);
    setAttribute(Qt::WA_Hover, false);
    resetColors();
}

int CImageButton::makePicture(const QImage& source, QRgb transparent, Picture& out) {
    out = {};
    if (source.isNull() || source.width() <= 0 || source.height() <= 0) {
        return kBadPictureSize;
    }
    out.picture = source.convertToFormat(QImage::Format_RGB32);
    out.mask = makeMask(out.picture, transparent);
    if (out.mask.isNull()) {
        out = {};
        return kMaskFailed;
    }
    // "And" with the mask, then "or" the picture whose transparent pixels are black: the
    // background shows where the mask is white, the picture everywhere else.
    out.drawn = maskedPicture(blackenTransparent(out.picture, transparent), out.mask);
    return kOk;
}

int CImageButton::setPictures(int hotId, QRgb hotTransparent, int normalId,
                              QRgb normalTransparent) {
    const QImage hot = loadPicture(hotId);
    const QImage normal = normalId > 0 ? loadPicture(normalId) : QImage();
    if (normalId > 0 && normal.isNull()) {
        return kBadPictureSize;
    }
    return setPictureImages(hot, hotTransparent, normal, normalTransparent,
                            normalId > 0 ? kNoPicture : normalId);
}

int CImageButton::setPictureImages(const QImage& hot, QRgb hotTransparent, const QImage& normal,
                                   QRgb normalTransparent, int normalCopy) {
    hotIcon_ = QIcon();
    normalIcon_ = QIcon();
    Picture newHot;
    Picture newNormal;
    int rc = makePicture(hot, hotTransparent, newHot);
    if (rc != kOk) {
        hot_ = {};
        normal_ = {};
        update();
        return rc;
    }
    if (normalCopy == kGreyCopy) {
        rc = makePicture(greyCopy(newHot.picture, hotTransparent), hotTransparent, newNormal);
    } else if (normalCopy == kDarkerCopy) {
        rc = makePicture(darkerCopy(newHot.picture, hotTransparent), hotTransparent, newNormal);
    } else if (!normal.isNull()) {
        rc = makePicture(normal, normalTransparent, newNormal);
    }
    if (rc != kOk) {
        hot_ = {};
        normal_ = {};
        update();
        return rc;
    }
    const auto shadow = palette().color(QPalette::Active, QPalette::Dark).rgb();
    const auto highlight = palette().color(QPalette::Active, QPalette::Light).rgb();
    newHot.disabled = disabledPicture(newHot.picture, newHot.mask, highlight, shadow);
    if (!newNormal.picture.isNull()) {
        newNormal.disabled = disabledPicture(newNormal.picture, newNormal.mask, highlight, shadow);
    }
    hot_ = std::move(newHot);
    normal_ = std::move(newNormal);
    updateGeometry();
    update();
    return kOk;
}

void CImageButton::setIcons(const QIcon& hot, const QIcon& normal, QSize size) {
    hot_ = {};
    normal_ = {};
    hotIcon_ = hot;
    normalIcon_ = normal;
    iconSize_ = size;
    updateGeometry();
    update();
}

void CImageButton::setTooltipText(int stringId, bool activate) {
    setTooltipString(uiString(stringId), activate);
}

void CImageButton::setTooltipString(const QString& text, bool activate) {
    if (text.isEmpty()) {
        return;
    }
    tooltip_ = text;
    tooltipActive_ = activate;
    setToolTip(activate ? text : QString());
}

void CImageButton::setFlat(bool flat, bool repaint) {
    flat_ = flat;
    setMouseTracking(flat_);
    if (!flat_) {
        mouseOver_ = false;
    }
    if (repaint) {
        update();
    }
}

void CImageButton::setDrawBorder(bool draw, bool repaint) {
    drawBorder_ = draw;
    if (repaint) {
        update();
    }
}

void CImageButton::setFlatFocus(bool draw, bool repaint) {
    flatFocus_ = draw;
    if (repaint) {
        update();
    }
}

int CImageButton::setPressedStyle(int style, bool repaint) {
    switch (style) {
    case 0:
        pressedOffset_ = {1, 1};
        break;
    case 1:
        pressedOffset_ = {0, 2};
        break;
    default:
        return kInvalidStyle;
    }
    if (repaint) {
        update();
    }
    return kOk;
}

void CImageButton::setPlacement(Placement placement, bool repaint) {
    placement_ = placement;
    updateGeometry();
    if (repaint) {
        update();
    }
}

void CImageButton::setCheckBoxMode(bool on) {
    checkBoxMode_ = on;
    setCheckable(on);
    update();
}

void CImageButton::setStateColors(ColorState state, const QColor& background, const QColor& text) {
    const auto i = static_cast<std::size_t>(state);
    background_[i] = background;
    text_[i] = text;
    customColors_ = true;
    update();
}

void CImageButton::resetColors() {
    const QColor face = palette().color(QPalette::Button);
    const QColor text = palette().color(QPalette::ButtonText);
    for (int i = 0; i < 3; ++i) {
        background_[i] = face;
        text_[i] = text;
    }
    customColors_ = false;
    update();
}

void CImageButton::setTransparentBackground(bool on) {
    transparentBackground_ = on;
    // Qt composes a child over its parent: the parent's pixels show wherever the button draws
    // nothing, so "transparent" means not filling the background.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    update();
}

bool CImageButton::isPressedState() const {
    return isDown() || (checkBoxMode_ && isChecked());
}

QColor CImageButton::stateBackground(bool pressed, bool focused) const {
    if (mouseOver_ || pressed) {
        return background_[static_cast<int>(ColorState::Hot)];
    }
    if (focused) {
        return background_[static_cast<int>(ColorState::Focused)];
    }
    return background_[static_cast<int>(ColorState::Normal)];
}

QImage CImageButton::currentPicture() const {
    const bool useHot = checkBoxMode_ ? isChecked() : (isPressedState() || mouseOver_);
    const Picture& pic = (useHot || normal_.picture.isNull()) ? hot_ : normal_;
    if (pic.picture.isNull()) {
        return {};
    }
    return (!isEnabled() && disabledPictureStyle_) ? pic.disabled : pic.drawn;
}

QSize CImageButton::sizeHint() const {
    QSize pic =
        !hot_.picture.isNull() ? hot_.picture.size() : (!hotIcon_.isNull() ? iconSize_ : QSize());
    const QSize textSize =
        text().isEmpty() ? QSize() : fontMetrics().size(Qt::TextShowMnemonic, text());
    int w = kMargin * 2;
    int h = kMargin * 2;
    if (placement_ == Placement::Top) {
        w += std::max(pic.width(), textSize.width());
        h += pic.height() + textSize.height() + (pic.isEmpty() || textSize.isEmpty() ? 0 : kMargin);
    } else {
        w += pic.width() + textSize.width() + (pic.isEmpty() || textSize.isEmpty() ? 0 : kMargin);
        h += std::max(pic.height(), textSize.height());
    }
    return QSize(std::max(w, 16), std::max(h, 16));
}

void CImageButton::drawBackground(QPainter& painter, bool pressed, bool focused) {
    if (transparentBackground_) {
        return;
    }
    QRect area = rect();
    if (!flat_ && (focused || isDefault())) {
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    painter.fillRect(area, stateBackground(pressed, focused));
}

namespace {

// A 3D rectangle of one line each side.
void draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p.setPen(topLeft);
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    p.setPen(bottomRight);
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
}

} // namespace

void CImageButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    const bool pressed = isPressedState();
    const bool focused = hasFocus();
    const bool disabled = !isEnabled();
    const QPalette& pal = palette();

    drawBackground(p, pressed, focused);
    QRect area = rect();
    if (!transparentBackground_ && !flat_ && (focused || isDefault())) {
        area.adjust(1, 1, -1, -1);
    }

    // Border.
    if (pressed) {
        if (!flat_) {
            p.setPen(pal.color(QPalette::Dark));
            p.setBrush(Qt::NoBrush);
            p.drawRect(area.adjusted(0, 0, -1, -1));
        } else if (drawBorder_) {
            draw3dRect(p, area, pal.color(QPalette::Dark), pal.color(QPalette::Light));
        }
    } else if (!flat_) {
        draw3dRect(p, area, pal.color(QPalette::Light), pal.color(QPalette::Shadow));
        draw3dRect(p, area.adjusted(1, 1, -1, -1), pal.color(QPalette::Midlight),
                   pal.color(QPalette::Dark));
    } else if (mouseOver_ && drawBorder_) {
        draw3dRect(p, area, pal.color(QPalette::Light), pal.color(QPalette::Dark));
    }

    // Picture or icon, and the area left for the caption.
    const bool useHot = checkBoxMode_ ? isChecked() : (pressed || mouseOver_);
    QSize picSize;
    QImage picture;
    QPixmap iconPixmap;
    if (!hot_.picture.isNull()) {
        picture = currentPicture();
        picSize = picture.size();
    } else if (!hotIcon_.isNull()) {
        const QIcon& icon = (useHot || normalIcon_.isNull()) ? hotIcon_ : normalIcon_;
        iconPixmap = icon.pixmap(iconSize_, disabled ? QIcon::Disabled : QIcon::Normal);
        picSize = iconSize_;
    }
    const QRect inner = area.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    QRect captionRect = inner;
    if (!picSize.isEmpty()) {
        QPoint at;
        if (text().isEmpty()) {
            at = {inner.left() + (inner.width() - picSize.width()) / 2,
                  inner.top() + (inner.height() - picSize.height()) / 2};
        } else {
            switch (placement_) {
            case Placement::Left:
                at = {inner.left(), inner.top() + (inner.height() - picSize.height()) / 2};
                captionRect.setLeft(at.x() + picSize.width() + kMargin);
                break;
            case Placement::Top:
                at = {inner.left() + (inner.width() - picSize.width()) / 2, inner.top()};
                captionRect.setTop(at.y() + picSize.height() + kMargin);
                break;
            case Placement::Right:
                at = {inner.right() + 1 - picSize.width(),
                      inner.top() + (inner.height() - picSize.height()) / 2};
                captionRect.setRight(at.x() - kMargin - 1);
                break;
            }
        }
        if (pressed && !checkBoxMode_) {
            at += pressedOffset_;
        }
        if (!picture.isNull()) {
            p.drawImage(at, picture);
        } else {
            p.drawPixmap(at, iconPixmap);
        }
    }

    // Caption.
    if (!text().isEmpty()) {
        const int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
        if (disabled) {
            p.setPen(pal.color(QPalette::Light));
            p.drawText(captionRect.translated(1, 1), flags, text());
            p.setPen(pal.color(QPalette::Dark));
            p.drawText(captionRect, flags, text());
        } else {
            const ColorState state = (mouseOver_ || pressed) ? ColorState::Hot
                                     : focused               ? ColorState::Focused
                                                             : ColorState::Normal;
            p.setPen(text_[static_cast<int>(state)]);
            p.drawText(captionRect, flags, text());
        }
    }

    // Focus rectangle.
    if (focused && (!flat_ || flatFocus_)) {
        QPen pen(pal.color(QPalette::ButtonText));
        pen.setStyle(Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void CImageButton::setMouseOver(bool over) {
    if (mouseOver_ == over) {
        return;
    }
    mouseOver_ = over;
    update();
}

void CImageButton::mouseMoveEvent(QMouseEvent* event) {
    if (flat_ && isEnabled() && (!(event->buttons() & Qt::LeftButton) || mouseOver_)) {
        setMouseOver(rect().contains(event->position().toPoint()));
    }
    QPushButton::mouseMoveEvent(event);
}

void CImageButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && focusPolicy() != Qt::NoFocus) {
        setFocus(Qt::MouseFocusReason);
    }
    QPushButton::mousePressEvent(event);
}

void CImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click is two single clicks.
    mousePressEvent(event);
}

void CImageButton::leaveEvent(QEvent* event) {
    setMouseOver(false);
    QPushButton::leaveEvent(event);
}

void CImageButton::focusOutEvent(QFocusEvent* event) {
    setMouseOver(false);
    QPushButton::focusOutEvent(event);
}

void CImageButton::changeEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled()) {
            setMouseOver(false);
            if (hasFocus() && !focusNextChild() && parentWidget() != nullptr) {
                parentWidget()->setFocus();
            }
        }
        break;
    case QEvent::ActivationChange:
        if (!isActiveWindow()) {
            setMouseOver(false);
        }
        break;
    case QEvent::PaletteChange:
        if (!customColors_) {
            resetColors();
        }
        break;
    default:
        break;
    }
    QPushButton::changeEvent(event);
}

bool CImageButton::event(QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::Leave) {
        // Mouse capture ends with the release; the button repaints in its new state.
        update();
    }
    return QPushButton::event(event);
}

} // namespace mireldo::ui
