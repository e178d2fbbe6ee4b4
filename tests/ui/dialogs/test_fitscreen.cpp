// Every dialog fits the screen it opens on, with its buttons on it: run as well on a small
// screen at scale 2 (1280 x 800 pixels, 640 x 400 units; see ui.cmake).

#include "FitScreenCheck.h"

TEST(FitScreen, EveryDialogKeepsItsButtonsOnTheScreen) {
    quorvane::fitscreen::CheckEveryDialogFitsTheScreen();
}
