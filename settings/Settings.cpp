#include "Settings.h"

bool isSmoothing = true;

void LoadSetup() {}
void SaveSetup() {}

void GetStartPen(TPWMenuItem& pen, std::int32_t& stockIndex) {
  // Stock pen 0 of the factory table.
  pen = {pwPn, 0xFF000000, 8, sdSolid};
  stockIndex = 0;
}
