#!/usr/bin/env bash
# Runs Stria on its built-in example: decodes the example scanner records
# with cuecat. Argument: the build folder.
set -euo pipefail
build=${1:-build/default}
here=$(cd "$(dirname "$0")/.." && pwd)
echo "== cuecat: one scanner record in, the decoded code (and ISBN-10) out"
while read -r record; do
	echo "\$ echo $record | cuecat"
	echo "$record" | "$build/bin/cuecat"
done <"$here/examples/records.txt"
