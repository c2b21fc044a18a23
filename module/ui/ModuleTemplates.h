// Makes the module's dialog templates available to dialogkit. On Windows they are
// the DLL's own resources and nothing needs doing; the native build registers the
// templates embedded from the same compiled resource script.
#pragma once

void UseModuleTemplates();
