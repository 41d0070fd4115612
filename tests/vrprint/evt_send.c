/* Sends one event message to HOST:PORT: each argument that is a decimal
 * number as an integer, any other as a text.
 *   vrtest_evt_send HOST:PORT ARG... */
#include <stdlib.h>
#include <string.h>
#include <vrcore/evt.h>

int main(int argc, char **argv) {
    GEN_Text to = {GEN_KIND_CODESET, {0}, 0};
    uint32_t queue = 0, message = 0;
    int rc;
    if (argc < 3 || EVT_Init() != EVT_E_OK) return 2;
    to.u.octets.length = (int32_t)strlen(argv[1]);
    to.u.octets.value = (unsigned char *)argv[1];
    rc = EVT_Open(&to, NULL, &queue) || EVT_MessageCreate(queue, &message);
    for (int i = 2; rc == 0 && i < argc; ++i) {
        char *end = NULL;
        long number = strtol(argv[i], &end, 10);
        rc = *argv[i] && !*end ? EVT_MessageIArgPut(queue, message, (int32_t)number)
                               : EVT_MessageArgPut(queue, message, argv[i]);
    }
    if (rc == 0) rc = EVT_MessageSend(queue, message);
    EVT_Close(queue);
    EVT_Term();
    return rc != 0;
}
