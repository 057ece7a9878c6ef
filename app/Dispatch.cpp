#include "app/MainFrm.h"

// The command dispatch lands here.
void TMainFrm::MenuButtonClick(const TPWMenuItem&) {}
