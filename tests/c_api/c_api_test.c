/* Uses the library through its C interface only. */
#include <stdio.h>
#include <string.h>

#include <vrcore/oid.h>
#include <vrcore/stf.h>

static int failures = 0;
#define CHECK(c) do { if (!(c)) { fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #c); ++failures; } } while (0)

int main(void) {
    STF_List *list = STF_CreateList(NULL);
    STF_ObjectInfo info;
    CHECK(list != NULL);
    CHECK(STF_GetStatus(list) == 0);
    STF_AddStatus(list, 0xC0030065u, 2, STF_ARG_INT, 42, STF_ARG_STRING, "attr");
    CHECK(STF_GetStatus(list) == 0xC0030065u);
    CHECK(STF_GetObjectInfo(list, 1, &info) == 0);
    CHECK(info.arg_count == 2);
    CHECK(info.args[0].value.i == 42);
    CHECK(strcmp((const char *)info.args[1].value.p, "attr") == 0);
    {
        /* Dotted decimal both ways through the registry's interface. */
        unsigned char bin[OID_MAX_BINFORM];
        char text[OID_MAX_DOTTED];
        uint32_t len = sizeof bin;
        OID_Characteristics chars;
        CHECK(sizeof(OID_Characteristics) == OID_CHARS_LEN);
        CHECK(OID_ConvertDecToBin(list, "1.0.10175.1.3.1.1", NULL, &len, bin) == 0);
        CHECK(len == 9 && bin[0] == 0x06 && bin[1] == 7);
        len = sizeof text;
        CHECK(OID_ConvertBinToDec(list, bin, NULL, &len, text) == 0);
        CHECK(strcmp(text, "1.0.10175.1.3.1.1") == 0);
        CHECK(OID_ConvertDecToBin(list, "1..2", NULL, &len, bin) == OID_S_INVALID);
        OID_SetValueClassCharacteristics(7, &chars);
        CHECK(OID_ValidForOp(&chars, 30) == 0);
    }
    STF_DeleteList(list);
    if (failures == 0) printf("c_api: ok\n");
    return failures != 0;
}
