/* Uses the library through its C interface only: a variadic call and the
 * layout of a structure as a C compiler sees them. */
#include <stdio.h>
#include <string.h>

#include <vrcore/echo.h>
#include <vrcore/odpcli.h>
#include <vrcore/oid.h>
#include <vrcore/rpcs.h>
#include <vrcore/sec.h>
#include <vrcore/stf.h>

#include "c_check.h"

static uint32_t Answer(void *context, const RPCS_CallInfo *call, uint16_t operation,
                       const ODP_RequestPacket *request, RPCS_Reply *reply) {
    (void)context, (void)call, (void)operation, (void)request, (void)reply;
    return 0;
}

int main(void) {
    STF_List *list = STF_CreateList(NULL);
    STF_ObjectInfo info;
    CHECK(list != NULL);
    STF_AddStatus(list, 0xC0030065u, 2, STF_ARG_INT, 42, STF_ARG_STRING, "attr");
    CHECK(STF_GetStatus(list) == 0xC0030065u);
    CHECK(STF_GetObjectInfo(list, 1, &info) == 0);
    CHECK(info.arg_count == 2);
    CHECK(info.args[0].value.i == 42);
    CHECK(strcmp((const char *)info.args[1].value.p, "attr") == 0);
    CHECK(sizeof(OID_Characteristics) == OID_CHARS_LEN);
    /* The trace and the credentials leave the shared library. */
    CHECK(EchoInCloseJob(list, NULL, "J1", NULL) == 0 && STF_GetStatus(list) == 0xC0030065u);
    CHECK(SEC_Shoid2DomType(3049) == SEC_DOMTYPE_COMPUTER);
    /* The request stub refuses a null binding (1702) before anything else. */
    CHECK(clnt_transfer_request(NULL, 0, NULL, NULL, NULL, NULL, NULL) == 1702 &&
          clnt_dpa_if_v1_0_c_ifspec == dpa_if_v1_0_c_ifspec);
    /* A request server from C: started on loopback and stopped; refusals. */
    RPCS_Config config = {"127.0.0.1", 0, "", 0, 0};
    RPCS_Server *server = NULL;
    CHECK(RPCS_Start(NULL, Answer, NULL, &server) == RPCS_S_INVALID_PARAMETER &&
          RPCS_Port(NULL) == 0 && RPCS_Stop(NULL) == RPCS_S_INVALID_PARAMETER);
    CHECK(RPCS_Start(&config, Answer, NULL, &server) == 0 && RPCS_Port(server) != 0 &&
          RPCS_Stop(server) == 0);
    config.require_auth = 1; /* with no user file, nobody could call */
    CHECK(RPCS_Start(&config, Answer, NULL, &server) == RPCS_S_FILE_NOT_FOUND);
    STF_DeleteList(list);
    if (failures == 0) printf("c_api: ok\n");
    return failures != 0;
}
