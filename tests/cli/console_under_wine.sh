#!/usr/bin/env bash
# chengwen-cli.exe writing to a console, under Wine: started in a terminal (script's
# pseudo-terminal), the program gets a console, whose characters Wine hands to the
# terminal in UTF-8 (LANG=C.UTF-8). Text that went to the console as bytes would be read
# in the console's code page and come out garbled, as it would in cmd.exe.
#   console_under_wine.sh WINE_RUN ARCH CLI_EXE
set -u
wine_run="$(realpath "$1")" arch="$2" exe="$(realpath "$3")"
command -v script >/dev/null || { echo "FAILED: no 'script' (util-linux) to give the program a terminal"; exit 1; }
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/中文资料"
printf '\xBC\xF2\xCC\xE5\xD6\xD0\xCE\xC4' >"$dir/中文资料/简体.txt"  # 简体中文 in GBK
failed=0

# run COMMAND...: the program in a terminal; what the terminal shows, without the
# terminal's control sequences and carriage returns.
run() {
  local line="'$wine_run' --$arch '$exe'" word
  for word in "$@"; do line+=" '$word'"; done
  (cd "$dir" && LANG=C.UTF-8 LC_ALL=C.UTF-8 TERM="${TERM:-xterm}" timeout 300 script -qec "$line" /dev/null) |
    sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g'
}
expect() {
  if printf '%s' "$2" | grep -qF -- "$3"; then echo "ok: $1"; else
    echo "FAILED: $1: no '$3' in:"; printf '%s\n' "$2"; failed=1
  fi
}

shown="$(run detect 中文资料/简体.txt)"
expect "detect names the file in Chinese" "$shown" "中文资料/简体.txt"
shown="$(run batch --out utf8 --no-bom 中文资料)"
expect "the batch's line in Chinese" "$shown" "转换完成！"
converted="$(cat "$dir/中文资料(已转换)/简体.txt" 2>/dev/null)"
expect "the file converted" "$converted" "简体中文"
exit $failed
