// Reader of extended dialog templates (DLGTEMPLATEEX and DLGITEMTEMPLATEEX).
#include "dialogkit/dialog_template.h"

namespace dk {
namespace {

constexpr std::uint16_t kExtendedVersion = 1;
constexpr std::uint16_t kExtendedSignature = 0xFFFF;
constexpr std::uint16_t kOrdinalMarker = 0xFFFF;

// Little-endian cursor that refuses to run past the end.
class TemplateReader {
public:
    TemplateReader(const std::uint8_t* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}

    bool ok() const { return m_ok; }
    std::uint16_t u16() {
        if (!need(2)) return 0;
        const std::uint16_t v =
            static_cast<std::uint16_t>(m_bytes[m_at] | (m_bytes[m_at + 1] << 8));
        m_at += 2;
        return v;
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::uint8_t u8() {
        if (!need(1)) return 0;
        return m_bytes[m_at++];
    }
    std::string wideString() {
        std::string text;
        for (std::uint16_t c = u16(); m_ok && c != 0; c = u16())
            text.push_back(c < 0x100 ? static_cast<char>(c) : '?');
        return text;
    }
    TemplateName nameOrOrdinal() {
        TemplateName name;
        if (peek16() == kOrdinalMarker) {
            u16();
            name.isOrdinal = true;
            name.ordinal = u16();
        } else {
            name.text = wideString();
        }
        return name;
    }
    std::vector<std::uint8_t> bytes(std::size_t count) {
        if (!need(count)) return {};
        std::vector<std::uint8_t> out(m_bytes + m_at, m_bytes + m_at + count);
        m_at += count;
        return out;
    }
    void alignTo4() { m_at = (m_at + 3) & ~std::size_t(3); }

private:
    std::uint16_t peek16() {
        const std::size_t at = m_at;
        const std::uint16_t v = u16();
        m_at = at;
        return v;
    }
    bool need(std::size_t count) {
        if (!m_ok || m_at + count > m_size) m_ok = false;
        return m_ok;
    }

    const std::uint8_t* m_bytes;
    std::size_t m_size;
    std::size_t m_at = 0;
    bool m_ok = true;
};

ControlTemplate ReadControl(TemplateReader& in) {
    in.alignTo4();
    ControlTemplate c;
    c.helpId = in.u32();
    c.exStyle = in.u32();
    c.style = in.u32();
    c.x = static_cast<std::int16_t>(in.u16());
    c.y = static_cast<std::int16_t>(in.u16());
    c.cx = static_cast<std::int16_t>(in.u16());
    c.cy = static_cast<std::int16_t>(in.u16());
    c.id = static_cast<std::int32_t>(in.u32());
    c.windowClass = in.nameOrOrdinal();
    c.title = in.nameOrOrdinal();
    const std::uint16_t extra = in.u16();
    if (extra > 0) {
        in.alignTo4(); // creation data starts on a DWORD boundary
        c.creationData = in.bytes(extra);
    }
    return c;
}

} // namespace

std::string ControlTemplate::ClassName() const {
    if (!windowClass.isOrdinal) return windowClass.text;
    switch (windowClass.ordinal) {
    case 0x80:
        return "button";
    case 0x81:
        return "edit";
    case 0x82:
        return "static";
    case 0x83:
        return "listbox";
    case 0x84:
        return "scrollbar";
    case 0x85:
        return "combobox";
    default:
        return "#" + std::to_string(windowClass.ordinal);
    }
}

bool ParseDialogTemplate(const std::uint8_t* bytes, std::size_t size, DialogTemplate& out) {
    TemplateReader in(bytes, size);
    DialogTemplate t;
    t.version = in.u16();
    t.signature = in.u16();
    if (!in.ok() || t.version != kExtendedVersion || t.signature != kExtendedSignature)
        return false;
    t.helpId = in.u32();
    t.exStyle = in.u32();
    t.style = in.u32();
    const std::uint16_t count = in.u16();
    t.x = static_cast<std::int16_t>(in.u16());
    t.y = static_cast<std::int16_t>(in.u16());
    t.cx = static_cast<std::int16_t>(in.u16());
    t.cy = static_cast<std::int16_t>(in.u16());
    t.menu = in.nameOrOrdinal();
    t.windowClass = in.nameOrOrdinal();
    t.title = in.wideString();
    if (t.style & kDsSetFont) {
        t.hasFont = true;
        t.pointSize = in.u16();
        t.weight = in.u16();
        t.italic = in.u8();
        t.charset = in.u8();
        t.typeface = in.wideString();
    }
    for (std::uint16_t i = 0; i < count && in.ok(); ++i)
        t.controls.push_back(ReadControl(in));
    if (!in.ok()) return false;
    out = std::move(t);
    return true;
}

} // namespace dk
