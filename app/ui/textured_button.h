#pragma once

// CTexturedButton: an image button whose face is a generated texture in the system's button
// colours (style 8: mirrored scratches on a shaded face), made once by setUpTexture() at the
// button's size of that moment, with a hot copy tinted towards the highlight colour.
//
// Threads: the user-interface thread only.

#include "image_button.h"
#include "texture.h"

namespace mireldo::ui {

class CTexturedButton : public CImageButton {
    Q_OBJECT

  public:
    explicit CTexturedButton(QWidget* parent = nullptr);
    explicit CTexturedButton(const QString& text, QWidget* parent = nullptr);

    /// Generates the face and hot images from the button's current size and colours, drawing
    /// from the process-wide generator. Called when the button's dialog is set up.
    void setUpTexture(const TextureParams& params = {});
    /// The same, drawing from `random`.
    void setUpTexture(const TextureParams& params, const RandomSource& random);

    const Texture& texture() const { return texture_; }
    bool hasTexture() const { return !texture_.face.isNull(); }

  protected:
    void drawBackground(QPainter& painter, bool pressed, bool focused) override;

  private:
    Texture texture_;
    // Kept images of the two textures: made at the first draw, pixels refreshed on each.
    QImage faceImage_;
    QImage hotImage_;
};

/// Sets up the texture of every CTexturedButton among the children of `dialog`.
void setUpTexturedButtons(QWidget* dialog);

} // namespace mireldo::ui
