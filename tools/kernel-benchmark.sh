#!/usr/bin/env bash
# Figures through a real kernel (not a timed test): in the kernel-test guest, on the USB and
# on the SCSI-target path, trozflash-cli probe --count 2000 against sg3-utils' sg_turs -n 2000
# on the same drive (five rounds each, alternating; the best round of each is compared), and
# a direct flash's wall time against its floor (2 s pause + 4 s programming) with the
# completion wait's polls and the tool's CPU time. Run as root on Debian 12 (installs what
# it needs, like the kernel tests).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tests/kernel/run.sh bench_usb bench_tcmu >/dev/null || true
for path in usb tcmu; do
    echo "== $path"
    tr -d '\r' <"build/kernel/logs/bench_$path.log" | awk '
        /^BENCH probe:/ { ms = $(NF - 5); if (!probe || ms < probe) probe = ms; next }
        /^BENCH sg_turs:/ { ms = $(NF - 3) / 2; if (!turs || ms < turs) turs = ms; next }
        /^BENCH completion wait polls/ { print "completion wait polls: " $NF; next }
        /Ok:Flash|Err:/ { sub(/.*(Ok:|Err:)/, "&"); print; next }
        /^(real|user|sys)/ { print "flash " $0 }
        END {
            printf "TEST UNIT READY, best of five: probe %.3f ms, sg_turs %.3f ms (%+.1f %%)\n",
                   probe, turs, (probe - turs) * 100 / turs
        }'
done
