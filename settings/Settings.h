#pragma once

#include <cstdint>

#include "drawing/PenItem.h"

// Process-wide settings; read and written directly by their users.
extern bool isSmoothing;

void LoadSetup();
void SaveSetup();
// The pen to start drawing with; may set the stock-pen index.
void GetStartPen(TPWMenuItem& pen, std::int32_t& stockIndex);
