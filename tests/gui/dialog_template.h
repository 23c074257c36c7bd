#pragma once
// Decodes an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items) into
// plain values.
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace orvanta::test {

// A name in a template: a string, or an ordinal (a predefined class, a resource id).
struct TemplateName {
    WORD ordinal = 0;   // set when the name is an ordinal
    std::wstring text;  // set when it is a string ("" when the field is empty)
};

struct DialogItem {
    DWORD help_id = 0;
    DWORD ex_style = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    TemplateName window_class;
    TemplateName title;
    std::vector<BYTE> extra;
};

struct DialogTemplate {
    WORD version = 0;
    WORD signature = 0;
    DWORD help_id = 0;
    DWORD ex_style = 0;
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;
    TemplateName window_class;
    std::wstring title;
    WORD point_size = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::wstring typeface;
    std::vector<DialogItem> items;
};

// Nothing when the bytes are not a complete extended template.
std::optional<DialogTemplate> decode_dialog_template(const BYTE* data, std::size_t size);

}  // namespace orvanta::test
