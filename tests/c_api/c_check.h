/* The check of the C test programs: a failed condition is printed with its
 * place and counted; main returns whether any failed. */
#ifndef VRTEST_C_CHECK_H
#define VRTEST_C_CHECK_H

#include <stdio.h>

static int failures = 0;
#define CHECK(c)                                                                                   \
    do {                                                                                           \
        if (!(c)) {                                                                                \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #c);                                \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

#endif
