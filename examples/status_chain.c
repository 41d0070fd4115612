/* The main example: a caller records a chain of causes in a status list,
 * as a failing library call would, and prints the entries as text through
 * the message catalogs. */
#include <stdio.h>

#include <vrcore/ft.h>
#include <vrcore/msg.h>
#include <vrcore/stf.h>

/* Receives each message, newest first; the last one has a negative
 * position. */
static int PrintMessage(const char *text, uint32_t length, int32_t position, void *arg) {
    (void)length;
    (void)position;
    fputs(text, (FILE *)arg);
    return 0;
}

int main(void) {
    STF_List *status;
    uint32_t rc;

    if (MSG_UsageBegin("VRDEMO") != 0) {
        fprintf(stderr, "cannot start the message module\n");
        return 1;
    }
    status = STF_CreateList(NULL);
    /* The lowest layer fails first: an open of the spool file. */
    STF_ConvertErrno(status, 2, "open of /var/spool/vrcore/job-17");
    /* The file-transfer layer adds its own code above the cause. */
    STF_AddStatus(status, FT_S_FAILED, 0);

    printf("status 0x%08x, entries newest first:\n", (unsigned)STF_GetStatus(status));
    rc = STF_PutMessages(status, STF_MSG_NEWLINE, NULL, PrintMessage, stdout);
    if (rc != 0) fprintf(stderr, "messages incomplete: 0x%08x\n", (unsigned)rc);

    STF_DeleteList(status);
    MSG_UsageEnd();
    return rc != 0;
}
