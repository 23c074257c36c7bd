// What ends the program when an exception escapes everything (the framework catches them at the
// dialog procedure and the entry point, so this is the last resort).
//
// The C++ runtime's default handler prints the exception's type to stderr, and brings a name
// demangler and printf along: a third of this program's size. A windowed program has no stderr
// to print to, so this one ends the process as the default does, without the printing. The
// runtime looks this handler up by this name; defining it here replaces the library's own.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
