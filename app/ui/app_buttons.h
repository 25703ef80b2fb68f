#pragma once

// The main window's picture buttons: the playlist's play (104), stop (1023) and
// pause/continue (1021) buttons and the output-device button (1028), with their pictures,
// transparent colours, tooltips and border flags.
//
// Threads: the user-interface thread only.

namespace mireldo::ui {

class CImageButton;

/// True for 104, 1023, 1021 and 1028.
bool isApplicationButton(int controlId);

/// Gives `button` the pictures, tooltip and flags of control `controlId`. False for another id
/// or when a picture cannot be set.
bool configureApplicationButton(CImageButton& button, int controlId);

} // namespace mireldo::ui
