#!/usr/bin/env bash
# Boots Debian's own kernel in QEMU and runs one command there, in a chroot
# of this machine's root (shared read-only over 9p), so that the guest runs
# the very programs the build made. The command's output and anything it
# writes into the results folder come back here.
#
#   run-vm.sh [--timeout SECONDS] [--keep FOLDER] CACHE RESULTS COMMAND
#
# CACHE keeps the kernel package between runs; RESULTS is emptied first and
# gets guest.log (the command's output), status (its exit status) and
# console.log (the machine's console). The guest has /tmp, /run and /root of
# its own; --keep names a folder of this machine (the build) that it sees
# even when it lies in one of them.
#
# Exit status: the command's; 77 when QEMU or the kernel cannot be had here
# (1 instead when STRIA_CI is set, for CI must not pass without the test);
# 1 when the guest does not finish.
set -euo pipefail

timeout=600
keep=
while [ $# -gt 3 ]; do
	case $1 in
	--timeout) timeout=$2 ;;
	--keep) keep=$(cd "$2" && pwd) ;;
	*) break ;;
	esac
	shift 2
done
[ $# -eq 3 ] || {
	echo "usage: $0 [--timeout SECONDS] [--keep FOLDER] CACHE RESULTS COMMAND" >&2
	exit 2
}
cache=$1 results=$2 command=$3
# Nothing of an earlier run may be taken for this one's.
rm -rf "$results"
mkdir -p "$results"
results=$(cd "$results" && pwd)

unavailable() {
	if [ -n "${STRIA_CI:-}" ]; then
		echo "FAILED: $*" >&2
		exit 1
	fi
	echo "SKIPPED: $*" >&2
	exit 77
}

for tool in qemu-system-x86_64 busybox cpio dpkg-deb apt-get apt-cache gzip; do
	command -v "$tool" >/dev/null || unavailable "$tool is not installed (./dev.sh deps installs it)"
done
busybox=$(command -v busybox)
case $(LC_ALL=C ldd "$busybox" 2>&1) in
*"not a dynamic executable"*) ;;
*) unavailable "$busybox is not statically linked (install busybox-static)" ;;
esac

# The kernel: the package linux-image-amd64 depends on.
package() {
	apt-cache depends linux-image-amd64 2>/dev/null |
		sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n 1
}
kernel_package=$(package)
if [ -z "$kernel_package" ] && [ "$(id -u)" -eq 0 ]; then
	apt-get update -qq >/dev/null 2>&1 || true
	kernel_package=$(package)
fi
[ -n "$kernel_package" ] || unavailable "apt knows no kernel package for linux-image-amd64"
release=${kernel_package#linux-image-}

kernel=$cache/$release
if [ ! -f "$kernel/ready" ]; then
	echo "fetching $kernel_package into $cache" >&2
	rm -rf "$kernel"
	mkdir -p "$kernel/download"
	chmod 777 "$kernel/download" # apt's download user writes there
	(cd "$kernel/download" && apt-get download -qq "$kernel_package" >/dev/null 2>&1) ||
		unavailable "cannot download $kernel_package"
	dpkg-deb --fsys-tarfile "$kernel"/download/*.deb |
		tar -x -C "$kernel" --wildcards './boot/vmlinuz-*' "./lib/modules/$release/kernel/*" ||
		unavailable "cannot unpack $kernel_package"
	rm -rf "$kernel/download"
	touch "$kernel/ready"
fi
modules=$kernel/lib/modules/$release/kernel

# The modules the guest needs, each after the ones it depends on.
declare -A loaded=()
order=()
load() {
	local name=$1 file dependency
	[ -n "${loaded[$name]:-}" ] && return 0
	loaded[$name]=1
	file=$(find "$modules" -name "$name.ko" -print -quit)
	[ -n "$file" ] || unavailable "the kernel has no module $name"
	for dependency in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
		load "$dependency"
	done
	order+=("$name:$file")
}
for module in virtio_pci 9pnet_virtio 9p evdev uinput; do
	load "$module"
done

# A small initramfs: busybox, the modules, the init script.
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
mkdir -p "$staging"/{bin,dev,etc,proc,sys,modules}
cp "$busybox" "$staging/bin/busybox"
cp "$(dirname "$0")/guest-init.sh" "$staging/init"
chmod +x "$staging/init"
for entry in "${order[@]}"; do
	cp "${entry#*:}" "$staging/modules/"
	echo "${entry%%:*}" >>"$staging/modules/order"
done
echo "$results" >"$staging/etc/stria-results"
echo "$keep" >"$staging/etc/stria-keep"
echo "$command" >"$staging/etc/stria-command"
(cd "$staging" && find . | cpio -o -H newc --quiet | gzip -1) >"$staging.cpio.gz"
trap 'rm -rf "$staging" "$staging.cpio.gz"' EXIT

# Some machines have a /dev/kvm whose guests never get past the firmware:
# KVM is used only once it has booted the kernel into a one-line init.
kvm_boots() {
	local probe=$staging/probe said
	mkdir -p "$probe/bin"
	cp "$busybox" "$probe/bin/busybox"
	printf '#!/bin/busybox sh\n/bin/busybox echo stria-probe-booted\n/bin/busybox poweroff -f\n' \
		>"$probe/init"
	chmod +x "$probe/init"
	(cd "$probe" && find . | cpio -o -H newc --quiet | gzip -1) >"$probe.cpio.gz"
	said=$(timeout --kill-after=5 30 qemu-system-x86_64 -accel kvm -smp 2 -m 256 -nographic \
		-no-reboot -kernel "$kernel/boot/vmlinuz-$release" -initrd "$probe.cpio.gz" \
		-append "console=ttyS0 panic=-1 quiet loglevel=3" -nic none </dev/null 2>&1)
	case $said in
	*stria-probe-booted*) return 0 ;;
	esac
	echo "KVM did not boot a test kernel within 30 s; emulating instead" >&2
	return 1
}

# KVM when this machine lends it. Otherwise plain emulation on one CPU
# that counts instructions for its clock while it works: a busy host slows
# the guest down but does not stretch the time its work takes, so the keys
# it types keep their pace against the server's timers. Idle time passes as
# on the wall clock (skipping it would jump over the waits for the shared
# folder and cut the guest's own waits short).
machine=(-accel tcg,thread=single -icount shift=3,sleep=on -smp 1)
how="emulated, counting instructions"
if [ -r /dev/kvm ] && [ -w /dev/kvm ] && kvm_boots; then
	machine=(-accel kvm -smp 2) how="KVM"
fi

echo "booting $release ($how)" >&2
start=$SECONDS
set +e
timeout --kill-after=10 "$timeout" qemu-system-x86_64 \
	"${machine[@]}" -m 1024 -nographic -no-reboot \
	-kernel "$kernel/boot/vmlinuz-$release" -initrd "$staging.cpio.gz" \
	-append "console=ttyS0 panic=-1 quiet loglevel=3" \
	-virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
	-virtfs "local,path=$results,mount_tag=results,security_model=none" \
	-nic none </dev/null >"$results/console.log" 2>&1
qemu=$?
set -e
echo "the guest ran for $((SECONDS - start)) s" >&2

[ -f "$results/guest.log" ] && cat "$results/guest.log"
if [ ! -f "$results/status" ]; then
	if [ $qemu -eq 124 ] || [ $qemu -eq 137 ]; then
		echo "FAILED: the guest did not finish within $timeout s; its console's last lines:" >&2
	else
		echo "FAILED: the guest stopped without finishing (QEMU's status $qemu); its console's last lines:" >&2
	fi
	tail -n 30 "$results/console.log" >&2
	exit 1
fi
exit "$(cat "$results/status")"
