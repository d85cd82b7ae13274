#pragma once

// A test program's main (MORRA_UI_TEST_MAIN) is defined with the window helpers.
#include "LaunchedWindow.h"
