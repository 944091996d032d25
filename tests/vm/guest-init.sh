#!/bin/busybox sh
# The first process of the test machine: loads the modules, mounts the
# host's root (read-only) and the results folder, and runs one command with
# the host's root as its own. Its output and exit status go to the results
# folder.
/bin/busybox --install -s /bin
export PATH=/bin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

say() { echo "stria-vm: $*" >/dev/console; }

for module in $(cat /modules/order); do
	insmod "/modules/$module.ko" || say "cannot load $module"
done

results=$(cat /etc/stria-results)
mkdir -p /host
if ! mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=512000 hostroot /host; then
	say "cannot mount the host's root"
	poweroff -f
fi
# A folder the guest must see (the build) may lie where the guest puts
# folders of its own: it is set aside first and put back after.
keep=$(cat /etc/stria-keep)
case $keep in
/tmp/* | /run/* | /root/*)
	mkdir -p /keep
	mount -o bind "/host$keep" /keep || say "cannot set $keep aside"
	;;
*) keep= ;;
esac
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/pts /host/dev/shm
mount -t devpts devpts /host/dev/pts
mount -t tmpfs tmpfs /host/dev/shm
mount -t tmpfs tmpfs /host/tmp
mount -t tmpfs tmpfs /host/run
mount -t cgroup2 cgroup2 /host/sys/fs/cgroup 2>/dev/null
mount -t tmpfs tmpfs /host/root
if [ -n "$keep" ]; then
	mkdir -p "/host$keep"
	mount -o move /keep "/host$keep" || say "cannot put $keep back"
fi
# Last, for the results folder may lie in one of the folders above.
mkdir -p "/host$results" 2>/dev/null
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 results "/host$results" ||
	say "cannot mount the results folder"

say "running $(cat /etc/stria-command)"
# The host's root becomes the guest's own (a chroot would keep the user
# manager of systemd from starting); this script's last step runs there.
{
	echo "{"
	cat /etc/stria-command
	echo "} >'$results/guest.log' 2>&1"
	echo "echo \$? >'$results/status'"
	echo "sync"
	echo "echo \"stria-vm: finished with status \$(cat '$results/status')\" >/dev/console"
	echo "echo o >/proc/sysrq-trigger"
	echo "sleep 60"
} >/host/run/stria-run
exec switch_root /host /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb \
	/bin/sh /run/stria-run
