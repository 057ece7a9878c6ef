#include "app/MainFrm.h"

// Saving the screen lands here.
void TMainFrm::SaveImage() {}
void TMainFrm::SaveImageAs() {}
