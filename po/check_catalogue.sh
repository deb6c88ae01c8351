#!/bin/sh
# Fails when a text of the program has no translation in a catalogue.
# Texts are the string literals in Russian (the program's source language) anywhere in the
# sources, and every literal marked with Tr, TrQ or N_ (design texts in English included).
# Usage: check_catalogue.sh SOURCE_DIR PO_FILE
set -eu
src=$1
po=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C.UTF-8

find "$src" \( -name '*.cpp' -o -name '*.h' \) | sort > "$tmp/files"
xgettext -a -L C++ --from-code=UTF-8 -o "$tmp/all.pot" -f "$tmp/files" 2>/dev/null
# The languages' own names are shown as they are, never translated.
msggrep --msgid -E -e "[А-Яа-яЁё]" "$tmp/all.pot" 2>/dev/null |
    msggrep -v --msgid -E -e '^Русский$' -o "$tmp/russian.pot" 2>/dev/null
xgettext -k -kTr -kTrQ -kN_ -L C++ --from-code=UTF-8 -o "$tmp/marked.pot" -f "$tmp/files" 2>/dev/null
if [ -f "$tmp/marked.pot" ]; then
    msgcat --use-first -o "$tmp/ref.pot" "$tmp/russian.pot" "$tmp/marked.pot"
else
    cp "$tmp/russian.pot" "$tmp/ref.pot"
fi

status=0
msgcmp "$po" "$tmp/ref.pot" 2>"$tmp/cmp.log" || status=1
# Entries only later work uses are expected; everything else msgcmp says matters.
grep -v "this message is not used" "$tmp/cmp.log" >&2 || true
untranslated=$(msgattrib --untranslated --no-obsolete "$po" | grep -c '^msgid' || true)
fuzzy=$(msgattrib --only-fuzzy --no-obsolete "$po" | grep -c '^msgid' || true)
if [ "$untranslated" -gt 0 ] || [ "$fuzzy" -gt 0 ]; then
    echo "$po: untranslated or fuzzy entries:" >&2
    msgattrib --untranslated "$po" >&2 || true
    msgattrib --only-fuzzy "$po" >&2 || true
    status=1
fi
exit $status
