/* A C program that includes the C library's <unistd.h> beside
 * <vrcore/sysu.h>: both declare optarg, optind, opterr and optopt, and the
 * program, SYSU_Getopt and the C library's getopt all see one set. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <vrcore/sysu.h>

#include "c_check.h"

int main(void) {
    char *args[] = {"prog", "-a", "one", "-b", NULL};
    CHECK(optind == 1);
    CHECK(SYSU_Getopt(4, args, "a:b") == 'a');
    CHECK(optarg == args[2] && optind == 3);
    /* The C library's getopt continues from where SYSU_Getopt stopped. */
    CHECK(getopt(4, args, "a:b") == 'b');
    CHECK(optind == 4);
    char *more[] = {"prog", "-x", "two", NULL};
    optind = 1;
    CHECK(getopt(3, more, "x:") == 'x');
    CHECK(optarg == more[2] && optind == 3);
    optind = 0;
    CHECK(SYSU_Getopt(3, more, "x:") == 'x');
    CHECK(optarg == more[2] && optind == 3);
    if (failures == 0) printf("getopt: ok\n");
    return failures != 0;
}
