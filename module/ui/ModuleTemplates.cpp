// Registration of the module's dialog templates (native build: embedded arrays).
#include "module/ui/ModuleTemplates.h"

#if defined(VOLUBRA_EMBEDDED_TEMPLATES)
#include "dialogkit/embedded_templates.h"

// Generated from Volubra.rc at build time.
const dk::EmbeddedTemplate* ModuleDialogTemplates();

void UseModuleTemplates() {
    dk::AddEmbeddedTemplates(ModuleDialogTemplates());
}
#else
void UseModuleTemplates() {}
#endif
