// trozflash: the window program. Its command line is not read.
#include "app/start_up.h"

int main() {
    return troz::RunTrozFlash();
}
