#include "app_buttons.h"

#include "image_button.h"
#include "pictures.h"
#include "ui_strings.h"

namespace mireldo::ui {

namespace {

struct ButtonSetup {
    int id;
    int hot;
    int normal;
    QRgb transparent;
    int tooltip;
};

constexpr ButtonSetup kButtons[] = {
    {104, kPicPlayHot, kPicPlay, kPictureGrey, kStrPlaySelected},
    {1023, kPicStopHot, kPicStop, kPictureGrey, kStrStopPlaying},
    {1021, kPicPauseHot, kPicPause, kPictureGrey, kStrPauseContinue},
    {1028, kPicSpeaker, kPicSpeaker, 0xFFFFFFFFu, kStrChoosePlayingDevice},
};

const ButtonSetup* find(int id) {
    for (const ButtonSetup& b : kButtons) {
        if (b.id == id) {
            return &b;
        }
    }
    return nullptr;
}

} // namespace

bool isApplicationButton(int controlId) {
    return find(controlId) != nullptr;
}

bool configureApplicationButton(CImageButton& button, int controlId) {
    const ButtonSetup* setup = find(controlId);
    if (setup == nullptr) {
        return false;
    }
    if (button.setPictures(setup->hot, setup->transparent, setup->normal, setup->transparent) !=
        CImageButton::kOk) {
        return false;
    }
    button.setTooltipText(setup->tooltip, true);
    if (controlId == 1028) {
        button.setFlatFocus(false);
    } else {
        // The playlist's buttons show no frame at all: only their pictures change on hover.
        button.setDrawBorder(false);
    }
    return true;
}

} // namespace mireldo::ui
