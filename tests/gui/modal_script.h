#pragma once
// Runs a dialog modally inside the test process and works it from a timer: each step is tried
// on every tick (inside whatever modal loop is running, the dialog's or a message box's) until
// it returns true, then the next one starts. The last step is expected to end the dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "framework.h"

namespace orvanta::test {

using Step = std::function<bool(HWND dialog)>;

class ModalScript {
public:
    INT_PTR run(CDialog& dialog, std::vector<Step> steps)
    {
        dialog_ = &dialog;
        steps_ = std::move(steps);
        current_ = this;
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, &ModalScript::tick);
        const INT_PTR result = dialog.DoModal();
        KillTimer(nullptr, timer);
        current_ = nullptr;
        EXPECT_EQ(next_, steps_.size()) << "the dialog ended before step " << next_;
        return result;
    }

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        ModalScript* script = current_;
        if (!script || !script->dialog_->m_hWnd || script->next_ == script->steps_.size())
            return;
        if (script->steps_[script->next_](script->dialog_->m_hWnd)) {
            ++script->next_;
            script->ticks_ = 0;
        } else if (++script->ticks_ > 250) {
            ADD_FAILURE() << "step " << script->next_ << " did not happen within 5 s";
            script->next_ = script->steps_.size();
            EndDialog(script->dialog_->m_hWnd, -2);
        }
    }

    static inline ModalScript* current_ = nullptr;
    CDialog* dialog_ = nullptr;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int ticks_ = 0;
};

// A step that posts a message to the dialog.
inline Step post(UINT message, WPARAM wParam, LPARAM lParam = 0)
{
    return [=](HWND dialog) { return PostMessageA(dialog, message, wParam, lParam) != FALSE; };
}

}  // namespace orvanta::test
