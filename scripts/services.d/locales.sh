#!/usr/bin/env bash
# Generates the locales the locale and code-set tests use, when missing.
# Idempotent; without the locale sources or the right to write the locale
# archive it does nothing and the tests that need a locale say so.
set -uo pipefail
command -v localedef >/dev/null || exit 0
have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z')
gen() { # name, source, charmap
  local lower
  lower=$(echo "$1" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/; s/iso-8859-1/iso88591/; s/euc-jp/eucjp/')
  grep -qx "$lower" <<<"$have" && return 0
  localedef -i "$2" -f "$3" "$1" 2>/dev/null || echo "locales: cannot generate $1"
}
gen de_DE de_DE ISO-8859-1
gen fr_FR fr_FR ISO-8859-1
gen en_US en_US ISO-8859-1
gen en_US.UTF-8 en_US UTF-8
gen ja_JP.EUC-JP ja_JP EUC-JP
exit 0
