// The extended dialog template (DLGTEMPLATEEX) as windres compiles it and USER32
// reads it: the dialog's own fields, then one DLGITEMTEMPLATEEX per control, each
// aligned to 4 bytes. The headless back end builds its windows from this, and the
// tests read the shipped templates with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dk {

// A class or text field: an ordinal (0xFFFF marker) or a string.
struct TemplateName {
    bool isOrdinal = false;
    std::uint16_t ordinal = 0;
    std::string text; // UTF-16 narrowed to Latin-1; templates of ours are ASCII
};

struct ControlTemplate {
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::int32_t id = 0; // DLGITEMTEMPLATEEX keeps 32 bits; -1 reads 0xFFFFFFFF
    TemplateName windowClass;
    TemplateName title;
    std::vector<std::uint8_t> creationData;
    // "button", "edit", "static", "listbox", "scrollbar", "combobox" or the class string.
    std::string ClassName() const;
};

struct DialogTemplate {
    std::uint16_t version = 0;
    std::uint16_t signature = 0;
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;
    TemplateName windowClass;
    std::string title;
    bool hasFont = false;
    std::uint16_t pointSize = 0;
    std::uint16_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t charset = 0;
    std::string typeface;
    std::vector<ControlTemplate> controls;
};

// Reads a DLGTEMPLATEEX; false for anything else (an old DLGTEMPLATE included) or a
// template that runs past size.
bool ParseDialogTemplate(const std::uint8_t* bytes, std::size_t size, DialogTemplate& out);

constexpr std::uint32_t kDsSetFont = 0x40;

} // namespace dk
