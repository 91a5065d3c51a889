#!/usr/bin/env bash
# Builds the kernel-test guest: Debian's kernel and an initramfs with busybox, the kernel
# modules the tests load, trozflash-cli, the two device programs, sg3-utils, a program that
# holds a drive as mount does, and the test cases. No root file system: the guest runs from the initramfs.
#   build-guest.sh BUILD_DIR OUT_DIR
# BUILD_DIR holds the built project (cli/trozflash-cli, virtual/*_drive, demo/); run as root
# (the kernel in /boot is readable by root only).
set -euo pipefail

build_dir=$(realpath "$1")
out_dir=$(realpath -m "$2")
here=$(dirname "$(realpath "$0")")

kernel=$(ls /boot/vmlinuz-* | sort -V | tail -1)
version=${kernel#/boot/vmlinuz-}
modules=(
    sr_mod sg
    target_core_user tcm_loop
    dummy_hcd libcomposite usb_f_fs usb_storage
    ata_piix ahci virtio_pci virtio_scsi sym53c8xx
)

root="$out_dir/root"
rm -rf "$root"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,etc,lib/modules,cases,packages}
cp "$kernel" "$out_dir/vmlinuz"

cp /bin/busybox "$root/bin/busybox"

# Each module once, after the modules it needs.
: >"$root/lib/modules/order"
for module in "${modules[@]}"; do
    modprobe -S "$version" --show-depends "$module" | awk '$1 == "insmod" {print $2}'
done | awk '!seen[$0]++' | while read -r path; do
    cp "$path" "$root/lib/modules/"
    basename "$path" >>"$root/lib/modules/order"
done

# Programs with the shared libraries they need (the guest has no C library of its own).
copy_program() {
    local program=$1
    cp "$program" "$root/bin/"
    ldd "$program" | awk '/=> \// {print $3} /^\t\/lib/ {print $1}' | while read -r library; do
        mkdir -p "$root$(dirname "$library")"
        cp -L "$library" "$root$library"
    done
}
copy_program "$build_dir/cli/trozflash-cli"
copy_program "$build_dir/virtual/tcmu_drive"
copy_program "$build_dir/virtual/usb_gadget_drive"
copy_program "$(command -v sg_turs)"
# Another program with the drive: what mount does for a mounted disc.
cc -O2 -Wall -Werror -o "$out_dir/hold_exclusive" "$here/guest/hold_exclusive.c"
copy_program "$out_dir/hold_exclusive"
mkdir -p "$root/lib64"
cp -L /lib64/ld-linux-x86-64.so.2 "$root/lib64/"

# The accounts of the permission tests: user 1000 with no group for drives, user 1001 in
# the group that owns the sg node.
cat >"$root/etc/passwd" <<'PASSWD'
root:x:0:0:root:/root:/bin/sh
user:x:1000:1000:user:/tmp:/bin/sh
burner:x:1001:1001:burner:/tmp:/bin/sh
PASSWD
cat >"$root/etc/group" <<'GROUP'
root:x:0:
user:x:1000:
burner:x:1001:
cdrom:x:24:burner
GROUP

cp "$here/guest/init" "$root/init"
cp "$here/guest/lib.sh" "$root/lib.sh"
chmod +x "$root/init"
cp "$here"/cases/*.sh "$here"/bench/*.sh "$root/cases/"

# The packages: the demo one for the TROZ drives, and one for QEMU's SCSI CD named as a TROZ
# drive (vendor=TROZ,product=KVW-A100A; its INQUIRY bytes 38-39 are zero), so the checks
# let the update reach the drive's refusals.
cli="$build_dir/cli/trozflash-cli"
cp "$build_dir/demo/kvw-a100a.tfs" "$root/packages/"
"$cli" pack -o "$root/packages/kvw-qemu-cd.tfs" --scrambled --generate 1 \
    --block-sizes 16384,16384,16384,16384 --record-offset 64 \
    --vendor TROZ --product KVW-A100A --revision 9.99 --model-code 0000 >/dev/null

(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$out_dir/initramfs.gz"
echo "guest: kernel $version, initramfs $(du -h "$out_dir/initramfs.gz" | cut -f1)"
