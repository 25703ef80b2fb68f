#include "textured_button.h"

#include <QPainter>

namespace mireldo::ui {

CTexturedButton::CTexturedButton(QWidget* parent) : CImageButton(parent) {}

CTexturedButton::CTexturedButton(const QString& text, QWidget* parent)
    : CImageButton(text, parent) {}

void CTexturedButton::setUpTexture(const TextureParams& params) {
    setUpTexture(params, [] { return sharedRandom()(); });
}

void CTexturedButton::setUpTexture(const TextureParams& params, const RandomSource& random) {
    const QPalette& pal = palette();
    const ButtonColors colors{pal.color(QPalette::Dark).rgb(), pal.color(QPalette::Button).rgb(),
                              pal.color(QPalette::Light).rgb()};
    texture_ = makeTexture(width(), height(), colors, params, random);
    faceImage_ = {};
    hotImage_ = {};
    update();
}

namespace {

// Copies the texture's pixels into the kept image, making it on the first draw.
const QImage& refreshed(QImage& kept, const PaletteImage& source) {
    if (kept.isNull()) {
        kept = source.toImage();
        return kept;
    }
    for (int y = 0; y < source.height(); ++y) {
        uchar* line = kept.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            line[x] = source.pixel(x, y);
        }
    }
    return kept;
}

} // namespace

void CTexturedButton::drawBackground(QPainter& painter, bool pressed, bool focused) {
    if (!hasTexture()) {
        CImageButton::drawBackground(painter, pressed, focused);
        return;
    }
    if (!isMouseOver()) {
        painter.drawImage(QPoint(0, 0), refreshed(faceImage_, texture_.face));
    } else {
        painter.drawImage(pressed ? QPoint(1, 1) : QPoint(0, 0),
                          refreshed(hotImage_, texture_.hot));
    }
}

void setUpTexturedButtons(QWidget* dialog) {
    for (CTexturedButton* button : dialog->findChildren<CTexturedButton*>()) {
        button->setUpTexture();
    }
}

} // namespace mireldo::ui
