#!/usr/bin/env bash
# The kernel tests: trozflash-cli against our virtual drive served to a real Linux kernel
# (behind usb-storage and behind the kernel's SCSI target) and against QEMU's own emulated
# drives, each test in a fresh QEMU guest (pure emulation, no KVM). Run as root on Debian 12;
# installs what is missing, builds the project and the guest.
#   bash tests/kernel/run.sh [TEST...]      (default: every test in tests/kernel/cases)
# Prints one line per test and closes with "N passed, N failed"; guest consoles are kept in
# build/kernel/logs/.
set -euo pipefail
cd "$(dirname "$0")/../.."

source tools/install-missing.sh
install_missing qemu-system-x86 linux-image-amd64 busybox-static cpio sg3-utils

bash tools/bootstrap.sh build
out=build/kernel
bash tests/kernel/build-guest.sh build/default "$out"
mkdir -p "$out/logs"

if [ $# -gt 0 ]; then
    tests=("$@")
else
    tests=()
    for file in tests/kernel/cases/*.sh; do
        tests+=("$(basename "$file" .sh)")
    done
fi

# Lines of the case file: "# expect: TEXT" must appear in the console in this order,
# "# absent: TEXT" must not appear, "# qemu: ARGS" adds devices, "# time-limit: S" bounds it.
header() { sed -n "s/^# $1: //p" "$2"; }

check_log() {
    local case_file=$1 log=$2
    {
        header expect "$case_file" | sed 's/^/E\t/'
        header absent "$case_file" | sed 's/^/A\t/'
        echo "--LOG--"
        tr -d '\r' <"$log"
    } | awk -F'\t' '
        !inlog && $0 == "--LOG--" { inlog = 1; next }
        !inlog && $1 == "E" { expect[++expects] = substr($0, 3); next }
        !inlog && $1 == "A" { absent[++absents] = substr($0, 3); next }
        inlog {
            if (index($0, expect[current + 1]) > 0 && current < expects) current++
            for (i = 1; i <= absents; i++) if (index($0, absent[i]) > 0) { print "    unexpected: " $0; bad = 1 }
        }
        END {
            if (current < expects) { print "    missing: " expect[current + 1]; bad = 1 }
            exit bad
        }'
}

# Every guest run has its own time-out; the whole run stays within a budget so CI is bounded
# even when guests hang (a test not started within it counts as failed).
budget=${KERNEL_TESTS_BUDGET:-2400}
run_start=$(date +%s)
passed=0
failed=0
for name in "${tests[@]}"; do
    if [ $(($(date +%s) - run_start)) -gt "$budget" ]; then
        echo "FAIL $name: not run, the kernel tests' budget of $budget s is spent"
        failed=$((failed + 1))
        continue
    fi
    case_file=tests/kernel/cases/$name.sh
    [ -f "$case_file" ] || case_file=tests/kernel/bench/$name.sh
    log=$out/logs/$name.log
    limit=$(header time-limit "$case_file")
    limit=${limit:-90}
    read -r -a devices <<<"$(header qemu "$case_file")"
    start=$(date +%s)
    timeout "$limit" qemu-system-x86_64 -accel tcg -cpu max -m 512 -smp 1 \
        -nodefaults -no-reboot -nographic -monitor none -serial "file:$log" \
        -kernel "$out/vmlinuz" -initrd "$out/initramfs.gz" \
        -append "console=ttyS0 loglevel=${KERNEL_LOGLEVEL:-1} panic=-1 troz.test=$name troz.watchdog=$((limit - 15))" \
        "${devices[@]}" </dev/null >/dev/null 2>&1 || true
    seconds=$(($(date +%s) - start))
    if ! grep -q "TROZ-TEST-END $name" "$log"; then
        echo "FAIL $name (${seconds} s): the guest did not finish the test"
        failed=$((failed + 1))
    elif result=$(check_log "$case_file" "$log"); then
        echo "PASS $name (${seconds} s)"
        passed=$((passed + 1))
    else
        echo "FAIL $name (${seconds} s)"
        echo "$result"
        failed=$((failed + 1))
    fi
done
echo "kernel: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
