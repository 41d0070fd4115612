#!/bin/sh
# Every defined dynamic symbol of the library must carry a public prefix.
lib="$1"
# AddressSanitizer adds an "__odr_asan." indicator beside each exported
# variable; it is judged by the variable's own name.
bad=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/^__odr_asan\.//' \
  | grep -vE '^(STF_|AS_|GEN_|GENU_|_GENU_|OID_|ToBER_|FreeBER_|ToGEN_|FreeGEN_|_ToBER_|_ToGEN_|ODP_|CommonArgsToBER|ERDPA_|ErrorResult2String|ToAscii_|SEC_|NS_|ns_|list_|strsplit|VRBM_|MSG_|I18N_|ICONV_|LOG_|SL_|THR_|SYSU_|FA_|EVT_|FT_|RPCS_|MallocAStoGEN|genu_|optarg|optind|opterr|optopt|vrcore_|VR_|Echo|SetEnvFlags$|odp_request_1$|xdr_encodePacket$|xdr_ODP_argument_t$|xdr_ODP_result_t$|clnt_transfer_request$|clnt_dpa_if_v1_0_c_ifspec$|dpa_if_v1_0_c_ifspec$)' \
  | grep -vE '^(_init|_fini|_edata|_end|__bss_start)$')
if [ -n "$bad" ]; then
  echo "unexpected exported symbols:"; echo "$bad"; exit 1
fi
# And the set of exported names is exactly the recorded one: a name that
# disappears (a rename) or appears unrecorded fails. A new export is added
# to exports.txt in the same change.
list="$(dirname "$0")/exports.txt"
diff=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/^__odr_asan\.//' \
  | grep -vE '^(_init|_fini|_edata|_end|__bss_start)$' | LC_ALL=C sort -u | diff "$list" - || true)
if [ -n "$diff" ]; then
  echo "exported names differ from $list (< recorded only, > exported only):"; echo "$diff"; exit 1
fi
n=$(nm -D --defined-only "$lib" | grep -c ' T ')
echo "exported functions: $n"
