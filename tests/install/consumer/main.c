/* A program built against an installed vrcore. Expects TS_ROOT to name the
 * installation. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vrcore/gen.h> /* an umbrella: its parts must be installed too */
#include <vrcore/stf.h>
#include <vrcore/vrcfg.h>

int main(void) {
    char root[1024];
    const char *want = getenv("TS_ROOT");
    STF_List *status = STF_CreateList(NULL);
    if (!status || !want) return 1;
    STF_AddStatus(status, 0xC0050067u, 0);
    if (STF_GetStatus(status) != 0xC0050067u) return 2;
    STF_DeleteList(status);
    if (VR_GetPath(VR_PATH_ROOT, root, sizeof root) < 0 || strcmp(root, want) != 0) return 3;
    if (VR_RegSetDword("Software\\Halvane\\Tessaril\\odp", "PingTry", 4) != 0) return 4;
    if (VR_RegGetDword("Software\\Halvane\\Tessaril\\odp", "PingTry", 3) != 4) return 5;
    printf("consumer: ok\n");
    return 0;
}
