/* Holds a block device open with O_EXCL, as mount holds the drive of a mounted disc and a
 * burning program its drive, until it is killed: hold_exclusive DEVICE */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    if (open(argv[1], O_RDONLY | O_NONBLOCK | O_EXCL) < 0) {
        perror(argv[1]);
        return 1;
    }
    printf("holding %s\n", argv[1]);
    fflush(stdout);
    for (;;) {
        pause();
    }
}
