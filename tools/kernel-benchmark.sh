#!/usr/bin/env bash
# Figures through a real kernel (not a timed test): in the kernel-test guest, on the USB and
# on the SCSI-target path, trozflash-cli probe --count 2000 against sg3-utils' sg_turs -n 2000
# on the same drive, and a direct flash's wall time with the completion wait's polls and the
# tool's CPU time. Run as root on Debian 12 (installs what it needs, like the kernel tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tests/kernel/run.sh bench_usb bench_tcmu >/dev/null || true
for path in usb tcmu; do
    log=build/kernel/logs/bench_$path.log
    echo "== $path"
    tr -d '\r' <"$log" | grep -E "^BENCH|^real|^user|^sys|Ok:Flash|Err:" | sed 's/.*Ok:Flash/Ok:Flash/'
done
