#pragma once
// A dialog template as readable text, for comparing with an expected dump kept in the tree. The
// first line is the dialog itself and each control has one line, in the template's order (the
// tab order): class, id, text, x, y, cx, cy in dialog units, and the style in hex and by name.
// Indented lines below the dialog's give its font, and its extended style, help id, menu or
// class where it has one; a control's extended style, help id or creation data follow its line
// the same way, where present.
#include <windows.h>

#include <string>

#include "dialog_template.h"

namespace orvanta::test {

// The dump of the template of dialog resource id, each line ending in "\n".
std::string dump_dialog(WORD id, const DialogTemplate& dialog);

}  // namespace orvanta::test
