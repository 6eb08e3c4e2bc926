#include "shell/shell.h"

// The shell library's frame calls the program's entry; none runs in the tests.
std::int32_t ProgramEntry(std::uint16_t, char**) {
    return 0;
}
