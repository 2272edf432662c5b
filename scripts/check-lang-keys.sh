#!/usr/bin/env bash
# Every text key the program asks for is in both language files: the message keys the
# sources name (RES_...) in [ResourceString], and the window keys of either file in the
# other. Prints the missing keys, file by file, and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
zh=resources/lang/CLan_Chinese.ini
en=resources/lang/CLan_English.ini

# "section<TAB>key" per line; keys compare regardless of case, as the program reads them.
keys_of() {
  awk '
    { sub(/\r$/, "") }
    /^[ \t]*[;#]/ || /^[ \t]*$/ { next }
    /^\[.*\]$/ { section = substr($0, 2, length($0) - 2); next }
    index($0, "=") > 0 { key = substr($0, 1, index($0, "=") - 1); gsub(/^[ \t]+|[ \t]+$/, "", key); print section "\t" tolower(key) }
  ' "$1" | sort -u
}

asked=$(mktemp); trap 'rm -f "$asked" "$asked".zh "$asked".en' EXIT
# Message keys: every quoted RES_ name in the program's sources (tests excluded).
grep -rhoE '"RES_[A-Za-z0-9_]+"' --include='*.cpp' --include='*.h' \
  app audio cd encode jobs metadata platform players settings widgets windows \
  | tr -d '"' | awk '{ print "ResourceString\t" tolower($0) }' >"$asked"
keys_of "$zh" >"$asked".zh
keys_of "$en" >"$asked".en
# Window keys: what one file captions, the other must caption too.
grep -v -P '^ResourceString\t' "$asked".zh >>"$asked" || true
grep -v -P '^ResourceString\t' "$asked".en >>"$asked" || true
sort -u -o "$asked" "$asked"

status=0
for file in "$zh" "$en"; do
  have=$asked.zh; [ "$file" = "$en" ] && have=$asked.en
  missing=$(comm -23 "$asked" "$have")
  if [ -n "$missing" ]; then
    echo "$file lacks these keys (section, key):" >&2
    printf '%s\n' "$missing" | sed 's/^/  /' >&2
    status=1
  fi
done
[ "$status" = 0 ] && echo "language files: every key in both"
exit "$status"
