#pragma once
// Where the tests find the programs they check. The build passes the paths as the host sees
// them; under Wine the host's root is drive Z:. The environment may name other files.
#include <cstdlib>
#include <string>

namespace orvanta::test {

inline std::string windows_path(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

inline std::string path_from(const char* variable, const char* built_in)
{
    const char* given = std::getenv(variable);
    return windows_path(given && *given ? given : built_in);
}

// The Orvanta.exe of this build, which the GUI tests run.
inline std::string built_program() { return path_from("ORVANTA_EXE", ORVANTA_EXE_PATH); }

// The shipped 32-bit Orvanta.exe, read as data (in the i686 build it is the built program too).
inline std::string shipped_program()
{
    return path_from("ORVANTA_SHIPPED_EXE", ORVANTA_SHIPPED_EXE_PATH);
}

}  // namespace orvanta::test
