#include "dialog_dump.h"

#include <cstdio>
#include <vector>

#include "resource.h"

namespace orvanta::test {

namespace {

constexpr WORD BUTTON = 0x0080, EDIT = 0x0081, STATIC = 0x0082, LISTBOX = 0x0083,
               SCROLLBAR = 0x0084, COMBOBOX = 0x0085;

// A name for the bits of mask when they equal value. A flag is its own mask; a field (a
// control's type, an alignment) names each of its values under the field's mask.
struct StyleName {
    DWORD mask;
    DWORD value;
    const char* name;
};
#define FLAG(name)            \
    {                         \
        (name), (name), #name \
    }
#define FIELD(mask, name)     \
    {                         \
        (mask), (name), #name \
    }

const std::vector<StyleName> WINDOW_STYLES = {
    FLAG(WS_POPUP),    FLAG(WS_CHILD),        FLAG(WS_MINIMIZE),     FLAG(WS_VISIBLE),
    FLAG(WS_DISABLED), FLAG(WS_CLIPSIBLINGS), FLAG(WS_CLIPCHILDREN), FLAG(WS_MAXIMIZE),
    FLAG(WS_CAPTION),  FLAG(WS_BORDER),       FLAG(WS_DLGFRAME),     FLAG(WS_VSCROLL),
    FLAG(WS_HSCROLL),  FLAG(WS_SYSMENU),      FLAG(WS_THICKFRAME),
};

// The same two bits are the group and tab stop of a control and the minimise and maximise
// boxes of a top-level window.
const std::vector<StyleName> CONTROL_STYLES = {FLAG(WS_GROUP), FLAG(WS_TABSTOP)};

const std::vector<StyleName> DIALOG_STYLES = {
    FLAG(WS_MINIMIZEBOX), FLAG(WS_MAXIMIZEBOX), FLAG(DS_ABSALIGN),     FLAG(DS_SYSMODAL),
    FLAG(DS_3DLOOK),      FLAG(DS_FIXEDSYS),    FLAG(DS_NOFAILCREATE), FLAG(DS_LOCALEDIT),
    FLAG(DS_SETFONT),     FLAG(DS_MODALFRAME),  FLAG(DS_NOIDLEMSG),    FLAG(DS_SETFOREGROUND),
    FLAG(DS_CONTROL),     FLAG(DS_CENTER),      FLAG(DS_CENTERMOUSE),  FLAG(DS_CONTEXTHELP),
};

const std::vector<StyleName> BUTTON_STYLES = {
    FIELD(BS_TYPEMASK, BS_PUSHBUTTON),
    FIELD(BS_TYPEMASK, BS_DEFPUSHBUTTON),
    FIELD(BS_TYPEMASK, BS_CHECKBOX),
    FIELD(BS_TYPEMASK, BS_AUTOCHECKBOX),
    FIELD(BS_TYPEMASK, BS_RADIOBUTTON),
    FIELD(BS_TYPEMASK, BS_3STATE),
    FIELD(BS_TYPEMASK, BS_AUTO3STATE),
    FIELD(BS_TYPEMASK, BS_GROUPBOX),
    FIELD(BS_TYPEMASK, BS_AUTORADIOBUTTON),
    FLAG(BS_LEFTTEXT),
    FLAG(BS_ICON),
    FLAG(BS_BITMAP),
    FLAG(BS_CENTER),
    FLAG(BS_LEFT),
    FLAG(BS_RIGHT),
    FLAG(BS_VCENTER),
    FLAG(BS_TOP),
    FLAG(BS_BOTTOM),
    FLAG(BS_MULTILINE),
    FLAG(BS_NOTIFY),
    FLAG(BS_FLAT),
};

const std::vector<StyleName> EDIT_STYLES = {
    FIELD(ES_CENTER | ES_RIGHT, ES_LEFT),
    FIELD(ES_CENTER | ES_RIGHT, ES_CENTER),
    FIELD(ES_CENTER | ES_RIGHT, ES_RIGHT),
    FLAG(ES_MULTILINE),
    FLAG(ES_UPPERCASE),
    FLAG(ES_LOWERCASE),
    FLAG(ES_PASSWORD),
    FLAG(ES_AUTOVSCROLL),
    FLAG(ES_AUTOHSCROLL),
    FLAG(ES_NOHIDESEL),
    FLAG(ES_OEMCONVERT),
    FLAG(ES_READONLY),
    FLAG(ES_WANTRETURN),
    FLAG(ES_NUMBER),
};

const std::vector<StyleName> STATIC_STYLES = {
    FIELD(SS_TYPEMASK, SS_LEFT),
    FIELD(SS_TYPEMASK, SS_CENTER),
    FIELD(SS_TYPEMASK, SS_RIGHT),
    FIELD(SS_TYPEMASK, SS_ICON),
    FIELD(SS_TYPEMASK, SS_SIMPLE),
    FIELD(SS_TYPEMASK, SS_LEFTNOWORDWRAP),
    FIELD(SS_TYPEMASK, SS_BITMAP),
    FIELD(SS_TYPEMASK, SS_ETCHEDHORZ),
    FLAG(SS_NOPREFIX),
    FLAG(SS_NOTIFY),
    FLAG(SS_CENTERIMAGE),
    FLAG(SS_RIGHTJUST),
    FLAG(SS_REALSIZEIMAGE),
    FLAG(SS_SUNKEN),
};

const std::vector<StyleName> COMBOBOX_STYLES = {
    FIELD(0x3, CBS_SIMPLE),       FIELD(0x3, CBS_DROPDOWN),
    FIELD(0x3, CBS_DROPDOWNLIST), FLAG(CBS_OWNERDRAWFIXED),
    FLAG(CBS_OWNERDRAWVARIABLE),  FLAG(CBS_AUTOHSCROLL),
    FLAG(CBS_OEMCONVERT),         FLAG(CBS_SORT),
    FLAG(CBS_HASSTRINGS),         FLAG(CBS_NOINTEGRALHEIGHT),
    FLAG(CBS_DISABLENOSCROLL),    FLAG(CBS_UPPERCASE),
    FLAG(CBS_LOWERCASE),
};

const std::vector<StyleName> EX_STYLES = {
    FLAG(WS_EX_DLGMODALFRAME), FLAG(WS_EX_NOPARENTNOTIFY), FLAG(WS_EX_TOPMOST),
    FLAG(WS_EX_ACCEPTFILES),   FLAG(WS_EX_TRANSPARENT),    FLAG(WS_EX_MDICHILD),
    FLAG(WS_EX_TOOLWINDOW),    FLAG(WS_EX_WINDOWEDGE),     FLAG(WS_EX_CLIENTEDGE),
    FLAG(WS_EX_CONTEXTHELP),   FLAG(WS_EX_RIGHT),          FLAG(WS_EX_RTLREADING),
    FLAG(WS_EX_LEFTSCROLLBAR), FLAG(WS_EX_CONTROLPARENT),  FLAG(WS_EX_STATICEDGE),
    FLAG(WS_EX_APPWINDOW),
};

#undef FLAG
#undef FIELD

// The program's own identifiers, so that the dump reads like the resource script. The number
// is always shown too: a renumbered id still shows as a difference.
struct IdName {
    long id;
    const char* name;
};
#define ID(name)      \
    {                 \
        (name), #name \
    }
const std::vector<IdName> DIALOG_IDS = {ID(IDD_ABOUTBOX), ID(IDD_MAIN)};
const std::vector<IdName> CONTROL_IDS = {ID(IDC_STATIC),    ID(IDOK),       ID(IDCANCEL),
                                         ID(IDC_FILE_PATH), ID(IDC_BROWSE), ID(IDC_SEND),
                                         ID(IDC_PORT)};
const std::vector<IdName> RESOURCE_IDS = {ID(IDR_MAINFRAME)};
#undef ID

std::string id_text(long id, const std::vector<IdName>& names)
{
    for (const IdName& known : names) {
        if (known.id == id)
            return std::string(known.name) + "=" + std::to_string(id);
    }
    return std::to_string(id);
}

std::string hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// Adds to names the table's names that style's bits match, skipping bits already named.
void add_names(DWORD style, const std::vector<StyleName>& table, DWORD& taken, std::string& names)
{
    for (const StyleName& entry : table) {
        if ((entry.mask & taken) || (style & entry.mask) != entry.value)
            continue;
        names += names.empty() ? "" : "|";
        names += entry.name;
        taken |= entry.mask;
    }
}

// The names of style's bits in the tables, then any bits none of them names, in hex.
std::string named_bits(DWORD style, const std::vector<const std::vector<StyleName>*>& tables)
{
    DWORD taken = 0;
    std::string names;
    for (const auto* table : tables)
        add_names(style, *table, taken, names);
    if (const DWORD rest = style & ~taken)
        names += (names.empty() ? "" : "|") + hex(rest);
    return hex(style) + (names.empty() ? "" : " " + names);
}

// A text between quotes, with quotes, backslashes and anything outside printable ASCII escaped.
std::string quoted(const std::wstring& text)
{
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out + "\"";
}

std::string class_text(const TemplateName& name)
{
    switch (name.text.empty() ? name.ordinal : 0) {
    case BUTTON:
        return "Button";
    case EDIT:
        return "Edit";
    case STATIC:
        return "Static";
    case LISTBOX:
        return "ListBox";
    case SCROLLBAR:
        return "ScrollBar";
    case COMBOBOX:
        return "ComboBox";
    default:
        return name.text.empty() ? "#" + std::to_string(name.ordinal) : quoted(name.text);
    }
}

// A title or menu: a text, or a resource id as #id.
std::string name_text(const TemplateName& name, const std::vector<IdName>& ids)
{
    return name.text.empty() && name.ordinal ? "#" + id_text(name.ordinal, ids) : quoted(name.text);
}

// The text and at least one space, to width.
std::string column(std::string text, std::size_t width)
{
    text.append(text.size() < width ? width - text.size() : 1, ' ');
    return text;
}

std::string number(int value, std::size_t width)
{
    const std::string text = std::to_string(value);
    return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

// The columns shared by the dialog's line and its controls' lines.
std::string row(const std::string& window_class, const std::string& id, const std::string& text,
                short x, short y, short cx, short cy, const std::string& style)
{
    return column(window_class, 9) + column(id, 20) + column(text, 29) + number(x, 3) + " " +
           number(y, 3) + " " + number(cx, 3) + " " + number(cy, 3) + "  " + style + "\n";
}

// The indented lines of what a dialog or control has beyond its row, where it has them.
std::string extras(const std::string& indent, DWORD ex_style, DWORD help_id)
{
    std::string out;
    if (ex_style)
        out += indent + "exstyle " + named_bits(ex_style, {&EX_STYLES}) + "\n";
    if (help_id)
        out += indent + "help id " + std::to_string(help_id) + "\n";
    return out;
}

const std::vector<StyleName>* class_styles(const TemplateName& window_class)
{
    if (!window_class.text.empty())
        return nullptr;
    switch (window_class.ordinal) {
    case BUTTON:
        return &BUTTON_STYLES;
    case EDIT:
        return &EDIT_STYLES;
    case STATIC:
        return &STATIC_STYLES;
    case COMBOBOX:
        return &COMBOBOX_STYLES;
    default:
        return nullptr;
    }
}

}  // namespace

std::string dump_dialog(WORD id, const DialogTemplate& dialog)
{
    std::string out =
        row("Dialog", id_text(id, DIALOG_IDS), quoted(dialog.title), dialog.x, dialog.y, dialog.cx,
            dialog.cy, named_bits(dialog.style, {&WINDOW_STYLES, &DIALOG_STYLES}));
    out += "    font " + std::to_string(dialog.point_size) + " " + quoted(dialog.typeface) +
           " weight " + std::to_string(dialog.weight) + " italic " + std::to_string(dialog.italic) +
           " charset " + std::to_string(dialog.charset) + "\n";
    out += extras("    ", dialog.ex_style, dialog.help_id);
    if (dialog.menu.ordinal || !dialog.menu.text.empty())
        out += "    menu " + name_text(dialog.menu, RESOURCE_IDS) + "\n";
    if (dialog.window_class.ordinal || !dialog.window_class.text.empty())
        out += "    class " + class_text(dialog.window_class) + "\n";

    for (const DialogItem& item : dialog.items) {
        std::vector<const std::vector<StyleName>*> tables = {&WINDOW_STYLES, &CONTROL_STYLES};
        if (const std::vector<StyleName>* own = class_styles(item.window_class))
            tables.push_back(own);
        out += "  " + row(class_text(item.window_class),
                          id_text(static_cast<LONG>(item.id), CONTROL_IDS),
                          name_text(item.title, RESOURCE_IDS), item.x, item.y, item.cx, item.cy,
                          named_bits(item.style, tables));
        out += extras("      ", item.ex_style, item.help_id);
        if (!item.extra.empty())
            out += "      creation data " + std::to_string(item.extra.size()) + " bytes\n";
    }
    return out;
}

}  // namespace orvanta::test
