#!/usr/bin/env bash
# Runs Stria on its built-in example, no scanner needed: the input server
# loads its add-ons and replays examples/session.replay, in which a person
# types, a CueCat scans four records and the person presses a lone F10. The
# typer is on for the run (a settings file in a temporary XDG_CONFIG_HOME):
# each product code's data is typed, with Enter, where the scan's keys were;
# the Code 128 label is not, since free text is off.
# Argument: the build folder.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/default}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
snapshot=$build/stria-demo.png

echo "== cuecat decodes one scanner record from standard input"
while read -r record; do
	echo "\$ echo $record | cuecat"
	echo "$record" | "$build/bin/cuecat"
done <"$here/examples/records.txt"

echo
echo "== stria-input-server replays examples/session.replay at its real pace"
out=$work/server.out
mkdir -p "$work/config/stria"
printf 'type = data\nend = enter\n' >"$work/config/stria/typer.settings"
echo "-- with the typer on: $work/config/stria/typer.settings says"
sed 's/^/   /' "$work/config/stria/typer.settings"
XDG_CONFIG_HOME=$work/config "$build/bin/stria-input-server" --add-ons "$build/add-ons" \
	--control-socket "$work/input_server" \
	--replay "$here/examples/session.replay" --print --subscribe \
	--snapshot "$snapshot" >"$out"
cp "$out" "$build/stria-demo.out"

echo "-- what applications received, as text (every key a person typed and, in place of"
echo "   each product code, its digits typed by the typer; no key of a scan itself, and"
echo "   nothing for the Code 128 label: free-text = no):"
awk '/^KEY_DOWN/ {
	for (i = 1; i <= NF; i++) if ($i ~ /^byte=/) b = substr($i, 6) + 0
	if (b == 16) printf "<F10>"; else if (b == 10) printf "<Enter>"; else if (b == 9) printf "<Tab>"
	else if (b >= 32 && b < 127) printf "%c", b; else printf "<%d>", b
} END { print "" }' "$out"
echo "-- what a subscribing application received:"
grep -E '^(CATSCAN|SHUTDOWN)' "$out"
echo "-- every line the server printed: $build/stria-demo.out"
if [ -f "$snapshot" ]; then
	echo "-- the viewer window as it looked at the end: $snapshot"
else
	echo "-- no viewer window was drawn"
fi
