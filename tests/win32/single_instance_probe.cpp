// Starts as a copy of the tool does, up to the single-instance check, and says which copy
// it is. "hold" keeps the mark until its standard input ends.
#include <cstdio>
#include <cstring>

#include "app/single_instance.h"

int main(int argc, char** argv) {
    const troz::SingleInstanceGuard guard(troz::kInstanceName);
    if (guard.AnotherInstanceRunning()) {
        std::puts("already running");
        return 0;
    }
    std::puts("first instance");
    std::fflush(stdout);
    if (argc > 1 && std::strcmp(argv[1], "hold") == 0) {
        while (std::fgetc(stdin) != EOF) {
        }
    }
    return 0;
}
