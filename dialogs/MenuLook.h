#pragma once

#include "drawing/PenItem.h"

class TMetroButton;

// The look of an entry on a tile: its label and icon, and for a coloured
// drawing tool its colour. The column, the launcher and the dialogs share it.
void MenuButtonSet(const TPWMenuItem& item, TMetroButton& button);
// The look of a drawing tool; any other entry leaves the tile as it is.
void MenuButtonSubSet(const TPWMenuItem& item, TMetroButton& button);
