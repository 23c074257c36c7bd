#include "failure.h"

#include <exception>
#include <new>

#include "win_app.h"

void AfxReportCurrentException(HWND hWndOwner)
{
    LPCSTR lpszText = "An unexpected error stopped this operation.";
    try {
        throw;
    } catch (const std::bad_alloc&) {
        lpszText = "There is not enough memory to finish this operation.";
    } catch (const std::exception& e) {
        lpszText = e.what();  // the exception lives on in the caller's catch block
    } catch (...) {
    }
    ::MessageBoxA(hWndOwner, lpszText, AfxGetAppName(), MB_OK | MB_ICONERROR);
}
