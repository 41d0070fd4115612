/* The main example: a caller records a chain of causes in a status list,
 * as a failing library call would, and prints the entries. */
#include <stdio.h>

#include <vrcore/stf.h>

static const char *kind_name(uint32_t kind) {
    switch (kind) {
    case STF_KIND_STATUS: return "STF";
    case STF_KIND_MSG: return "MSG";
    case STF_KIND_ERRNO: return "ERRNO";
    default: return "?";
    }
}

static void print_list(const STF_List *list) {
    STF_ObjectInfo info;
    uint32_t i;
    for (i = 1; STF_GetObjectInfo(list, i, &info) == 0; ++i) {
        int a;
        printf("%c%s 0x%08x", i == 1 ? '%' : '-', kind_name(info.kind), (unsigned)info.code);
        for (a = 0; a < info.arg_count; ++a) {
            const STF_ArgRecord *r = &info.args[a];
            switch (r->type) {
            case STF_ARG_CHAR: printf(" '%c'", r->value.c); break;
            case STF_ARG_INT: printf(" %d", (int)r->value.i); break;
            case STF_ARG_DOUBLE: printf(" %g", r->value.d); break;
            case STF_ARG_STRING: printf(" \"%s\"", (const char *)r->value.p); break;
            default: printf(" <%u bytes>", (unsigned)r->length); break;
            }
        }
        printf("\n");
    }
}

int main(void) {
    STF_List *status = STF_CreateList(NULL);
    /* The lowest layer fails first: an open of the spool file. */
    STF_ConvertErrno(status, 2, "open of /var/spool/vrcore/job-17");
    /* The file-transfer layer adds its own code with the job identifier. */
    STF_AddStatus(status, 0xC0050067u, 1, STF_ARG_STRING, "job-17");
    /* The public operation reports last, with an attribute count and a flag. */
    STF_AddStatus(status, 0xC0090067u, 2, STF_ARG_INT, 3, STF_ARG_CHAR, 'Y');

    printf("status 0x%08x, entries newest first:\n", (unsigned)STF_GetStatus(status));
    print_list(status);
    STF_DeleteList(status);
    return 0;
}
