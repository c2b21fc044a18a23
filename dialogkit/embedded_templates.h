// Dialog templates compiled into the program as byte arrays (the native build),
// exactly the RT_DIALOG resources that windres makes from the resource script.
// The headless back end creates its windows from these; a table ends with an entry
// whose bytes are null.
#pragma once

#include <cstddef>

namespace dk {

struct EmbeddedTemplate {
    unsigned id;
    unsigned language;
    const unsigned char* bytes;
    std::size_t size;
};

// Makes a table the source of templates (headless); later tables are searched first.
void AddEmbeddedTemplates(const EmbeddedTemplate* table);

} // namespace dk
