#!/usr/bin/env bash
# Stria's one entry point for developers and CI: installs what is missing,
# configures, builds, and then runs the example, the tests, a fuzzer or the
# benchmarks.
set -euo pipefail
cd "$(dirname "$0")"

usage() {
	cat <<USAGE
usage: ./dev.sh COMMAND [ARGS]

  demo [PRESET]          build and run Stria on its built-in example
  test [PRESET]          build and run the test suite (PRESET: default, asan, tsan)
  build [PRESET]         install what is missing, configure and build
  package [PRESET]       build and make the Debian package build/PRESET/stria_<version>_amd64.deb
  fuzz TARGET [SECONDS]  run one libFuzzer target from the fuzz build (default 60 s)
  bench [FILTER]         build and run the benchmarks (optimised build)
  deps                   install the missing Debian packages only
  help                   this text
USAGE
}

install_deps() {
	local wanted missing=()
	wanted=$(grep -v '^\s*#' deps/debian-packages.txt | tr -s ' \n' ' ')
	for pkg in $wanted; do
		dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
	done
	[ ${#missing[@]} -eq 0 ] && return 0
	echo "installing Debian packages: ${missing[*]}" >&2
	local sudo=()
	[ "$(id -u)" -eq 0 ] || sudo=(sudo)
	"${sudo[@]}" apt-get update -qq
	DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

build() {
	local preset=${1:-default}
	install_deps
	cmake --preset "$preset" >/dev/null
	cmake --build --preset "$preset"
}

cmd=${1:-help}
shift || true
case "$cmd" in
demo)
	build "${1:-default}" >&2
	exec tools/demo.sh "build/${1:-default}"
	;;
test)
	build "${1:-default}"
	ctest --preset "${1:-default}"
	;;
build)
	build "${1:-default}"
	;;
package)
	build "${1:-default}"
	(cd "build/${1:-default}" && cpack -G DEB)
	;;
fuzz)
	[ $# -ge 1 ] || { usage >&2; exit 2; }
	target=$1 seconds=${2:-60}
	build fuzz
	mkdir -p "build/fuzz/corpus/$target"
	"build/fuzz/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
		"build/fuzz/corpus/$target" "fuzz/corpus/$target"
	;;
bench)
	build default
	for b in build/default/bin/bench_*; do
		"$b" ${1:+--benchmark_filter="$1"}
	done
	;;
deps)
	install_deps
	;;
help | -h | --help)
	usage
	;;
*)
	usage >&2
	exit 2
	;;
esac
