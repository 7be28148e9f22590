#!/usr/bin/env bash
# The one way this project starts 32-bit programs (wine with the Windows
# build): directly where this kernel executes them, and where it does not
# (a kernel without IA32 emulation), inside an emulated x86-64 machine that
# boots Debian's own kernel over this machine's whole root, shared read-write,
# so that paths, files, the working directory, the environment and the exit
# status are what they are outside.
#   run-32bit.sh COMMAND [ARG...]  run COMMAND; exits with its status
#   run-32bit.sh --which           print the path a run takes: native or vm
#   run-32bit.sh --probe           run a tiny 32-bit program here: exit 42
#                                  where it ran
#   run-32bit.sh --prepare         fetch the kernel and build the initramfs of
#                                  the emulated machine, once (install-deps.sh
#                                  does this where the machine needs it)
# TUMELIN_32BIT=native|vm forces a path. The emulated machine's kernel and
# initramfs are kept in TUMELIN_VM_DIR (default: ~/.cache/tumelin/vm32, so
# that every clone on the machine shares them);
# TUMELIN_VM_ACCEL=kvm runs it on KVM instead of software emulation.
# Wine is quiet unless WINEDEBUG or WINEDLLOVERRIDES say otherwise.
set -uo pipefail

vm_dir=${TUMELIN_VM_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tumelin/vm32}
say() { [ -n "${TUMELIN_32BIT_QUIET:-}" ] || echo "$*" >&2; }
die() { echo "run-32bit: $*" >&2; exit 1; }

# the modules that give the guest virtio-9p, in the order they load
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p)

# runs a 96-byte static i386 program that exits with status 42 (a kernel
# without IA32 emulation refuses to execute it); returns what it returned
run_probe() {
  local probe status
  probe=$(mktemp "${TMPDIR:-/tmp}/probe32.XXXXXX") || return 1
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0\5\0\0\0\0\20\0\0\270\1\0\0\0\273\52\0\0\0\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  return "$status"
}
kernel_runs_32bit() {
  run_probe
  [ $? -eq 42 ]
}

# native or vm, from TUMELIN_32BIT and the probe; inside the emulated
# machine always native
choose_path() {
  if [ -n "${TUMELIN_32BIT_GUEST:-}" ]; then echo native; return; fi
  case "${TUMELIN_32BIT:-}" in
    native | vm) echo "$TUMELIN_32BIT" ;;
    "") if kernel_runs_32bit; then echo native; else echo vm; fi ;;
    *) die "TUMELIN_32BIT must be native or vm, not \"$TUMELIN_32BIT\"" ;;
  esac
}

# Debian's amd64 kernel (it runs 32-bit programs) and an initramfs of
# busybox, the virtio-9p modules and the guest's init, into $vm_dir
prepare() {
  [ -f "$vm_dir/vmlinuz" ] && [ -f "$vm_dir/initrd.img" ] && return 0
  command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86_64 is missing (scripts/install-deps.sh installs it)"
  [ -x /bin/busybox ] || die "/bin/busybox is missing (scripts/install-deps.sh installs busybox-static)"
  mkdir -p "$vm_dir" || die "cannot create $vm_dir"
  exec 9>"$vm_dir/.lock"
  flock 9
  [ -f "$vm_dir/vmlinuz" ] && [ -f "$vm_dir/initrd.img" ] && return 0
  local work package deb version name found
  work=$(mktemp -d "$vm_dir/prepare.XXXXXX") || die "cannot create a folder in $vm_dir"
  # the package behind linux-image-amd64, as Debian resolves it today
  apt-cache show linux-image-amd64 >/dev/null 2>&1 || apt-get update -qq >/dev/null 2>&1
  package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -n1)
  [ -n "$package" ] || die "apt-cache knows no linux-image-amd64 (run apt-get update)"
  echo "run-32bit: fetching $package for the emulated machine" >&2
  (cd "$work" && apt-get download -q "$package" >/dev/null 2>"$work/download.log") ||
    die "apt-get download $package failed: $(tail -n 3 "$work/download.log")"
  deb=$(ls "$work"/*.deb)
  mkdir -p "$work/pkg" "$work/initrd/bin" "$work/initrd/modules"
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work/pkg" --wildcards './boot/vmlinuz-*' './lib/modules/*/kernel/drivers/virtio/*' \
    './lib/modules/*/kernel/fs/9p/*' './lib/modules/*/kernel/fs/netfs/*' './lib/modules/*/kernel/fs/fscache/*' \
    './lib/modules/*/kernel/net/9p/*' || die "cannot unpack $deb"
  version=$(basename "$(ls "$work"/pkg/boot/vmlinuz-*)" | sed 's/^vmlinuz-//')
  for name in "${modules[@]}"; do
    found=$(find "$work/pkg/lib/modules" -name "$name.ko*" | head -n1)
    # a module built into the kernel has no file: nothing to load
    [ -n "$found" ] || continue
    case "$found" in
      *.ko.xz) xz -dc "$found" >"$work/initrd/modules/$name.ko" ;;
      *.ko.zst) zstd -qdc "$found" >"$work/initrd/modules/$name.ko" ;;
      *) cp "$found" "$work/initrd/modules/$name.ko" ;;
    esac || die "cannot take $found"
    echo "$name" >>"$work/initrd/modules/order"
  done
  cp /bin/busybox "$work/initrd/bin/busybox"
  write_init >"$work/initrd/init"
  chmod +x "$work/initrd/init"
  (cd "$work/initrd" && find . | /bin/busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.img" ||
    die "cannot pack the initramfs"
  mv "$work/pkg/boot/vmlinuz-$version" "$vm_dir/vmlinuz"
  mv "$work/initrd.img" "$vm_dir/initrd.img"
  echo "$package" >"$vm_dir/kernel-package"
  rm -rf "$work"
  echo "run-32bit: the emulated machine's kernel ($version) and initramfs are in $vm_dir" >&2
}

# The guest's init: mount this machine's root (share "root") and the job's
# folder (share "job", uncached, so that the output streams), give the
# chroot its own proc, sys, dev and a tmpfs for wine's server sockets and the
# job's HOME and TMPDIR (neither binds sockets nor keeps special files on
# 9p), run the job and power off.
write_init() {
  cat <<'EOF'
#!/bin/busybox sh
/bin/busybox mkdir -p /proc /sys /dev /root /job
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod "/modules/$m.ko" || echo "init: insmod $m failed"; done
opts=trans=virtio,version=9p2000.L,msize=512000
mount -t 9p -o "$opts,cache=loose" root /root && mount -t 9p -o "$opts" job /job || {
  echo "init: cannot mount the shared folders"; poweroff -f; }
where=$(cat /job/where)
mount --move /job "/root$where"
mount -t proc proc /root/proc
mount -t sysfs sys /root/sys
mount -t devtmpfs dev /root/dev
mkdir -p /root/dev/pts /root/dev/shm /root/tmp/.wine-0
mount -t devpts devpts /root/dev/pts
mount -t tmpfs shm /root/dev/shm
mount -t tmpfs tmp "/root$where/tmp"
mount -t tmpfs wine /root/tmp/.wine-0
chroot /root /bin/bash "$where/job.sh"
sync
poweroff -f
EOF
}

run_in_vm() {
  prepare
  local accel cpu model qemu status
  # what a killed run left behind a day ago or more
  find "$vm_dir" -maxdepth 1 -name 'job.*' -mmin +1440 -exec rm -rf {} + 2>/dev/null
  job=$(mktemp -d "$vm_dir/job.XXXXXX") || die "cannot create a folder in $vm_dir"
  trap 'rm -rf "$job"' EXIT
  mkdir "$job/tmp"
  printf '%s' "$job" >"$job/where"
  : >"$job/output"
  {
    echo '#!/bin/bash'
    # the caller's environment, less what the guest gives the job itself
    export -p | grep -v -E '^declare -x (HOME|TMPDIR|PWD|OLDPWD|SHLVL|WINEPREFIX|_)='
    printf 'export HOME=%q TMPDIR=%q TUMELIN_32BIT_GUEST=1 TUMELIN_32BIT_QUIET=1\n' "$job/tmp/home" "$job/tmp"
    echo 'mkdir -p "$HOME"'
    printf 'cd %q || exit 1\n' "$PWD"
    printf '%q ' "$@"
    printf '</dev/null >>%q 2>&1\n' "$job/output"
    printf 'echo $? >%q\n' "$job/status"
  } >"$job/job.sh"

  # software emulation: a nested /dev/kvm may exist and still never start the
  # guest (seen on this project's machines); TUMELIN_VM_ACCEL=kvm tries it.
  # The plain qemu64 processor (SSE2, no AVX): with -cpu max, wine's first
  # return to 32-bit code faulted in the emulated kernel.
  if [ "${TUMELIN_VM_ACCEL:-}" = kvm ]; then
    accel=kvm cpu=host
  else
    accel=tcg,thread=multi cpu=qemu64
  fi
  model=passthrough
  [ "$(id -u)" -eq 0 ] || model=none
  qemu-system-x86_64 -nodefaults -no-user-config -display none -no-reboot -machine q35 \
    -accel "$accel" -cpu "$cpu" -smp "$(nproc)" -m 4096 \
    -kernel "$vm_dir/vmlinuz" -initrd "$vm_dir/initrd.img" -append "console=ttyS0 quiet panic=-1" \
    -serial "file:$job/console.log" \
    -virtfs "local,path=/,mount_tag=root,security_model=$model,multidevs=remap" \
    -virtfs "local,path=${job//,/,,},mount_tag=job,security_model=$model,multidevs=remap" \
    </dev/null >"$job/qemu.log" 2>&1 &
  qemu=$!
  trap 'kill "$qemu" 2>/dev/null; wait "$qemu"; rm -rf "$job"; exit 130' INT TERM
  tail -n +1 -f --pid="$qemu" "$job/output"
  wait "$qemu"
  if [ ! -s "$job/status" ]; then
    echo "run-32bit: the emulated machine stopped before the command ended" >&2
    tail -n 20 "$job/qemu.log" "$job/console.log" >&2
    return 1
  fi
  status=$(cat "$job/status")
  return "$status"
}

case "${1:-}" in
  --which) choose_path; exit ;;
  --probe) run_probe; exit ;;
  --prepare) prepare; exit ;;
  "" | -*) die "usage: run-32bit.sh COMMAND [ARG...] | --which | --probe | --prepare" ;;
esac

export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
path=$(choose_path) || exit 1
case "$path" in
  native)
    # the probe chose this path, unless TUMELIN_32BIT forced it
    if [ "${TUMELIN_32BIT:-}" = native ] && [ -z "${TUMELIN_32BIT_GUEST:-}" ] && ! kernel_runs_32bit; then
      die "this kernel cannot run 32-bit programs (TUMELIN_32BIT=native); unset TUMELIN_32BIT to run them in an emulated machine"
    fi
    say "32-bit programs run natively"
    TUMELIN_32BIT_QUIET=1 exec "$@"
    ;;
  vm)
    if [ "${TUMELIN_32BIT:-}" = vm ]; then
      say "the Windows build runs in an emulated machine (TUMELIN_32BIT=vm)"
    else
      say "this kernel cannot run 32-bit programs: the Windows build runs in an emulated machine"
    fi
    run_in_vm "$@"
    ;;
esac
