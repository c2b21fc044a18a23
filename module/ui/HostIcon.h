// The window icon that both of the module's dialogs take from the host: the host
// function "application.GetIcon" run through the registry, its result read as a
// handle and set as the big icon. Nothing is reported on this path; without an icon
// from the host the window keeps its default one.
#pragma once

#include "dialogkit/dialog.h"

void SetIconFromHost(dk::CDialog& dialog);
