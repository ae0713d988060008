#pragma once
// The window's generated forms, for code outside this library that reaches
// the controls (the GUI tests).
#include "ui_ImportFiles.h"
#include "ui_MainWindow.h"
#include "ui_OutputSettings.h"
#include "ui_PageSelection.h"
#include "ui_Progress.h"
