# Helpers of the kernel tests, sourced by the guest's init before the test case.
config=/sys/kernel/config
gadget=$config/usb_gadget/g1
tcmu=$config/target/core/user_0/troz
loopback=$config/target/loopback/naa.5001405000000001/tpgt_1
cli=/bin/trozflash-cli
package=/packages/kvw-a100a.tfs

# Waits up to $2 tenths of a second for a path to exist.
wait_for() {
    local count=0
    while [ ! -e "$1" ] && [ $count -lt "${2:-100}" ]; do
        usleep 100000
        count=$((count + 1))
    done
    [ -e "$1" ] || echo "timed out waiting for $1"
}

# The drive behind the kernel's SCSI target: a TCMU backstore exported through tcm_loop.
# Arguments are the drive's options. The target hands the device only 10 bytes of a 0x5A
# CDB, so the trigger's argument never arrives: the drive takes it unseen on this path.
start_tcmu() {
    mkdir -p $tcmu
    echo "dev_size=16777216,dev_config=troz,nl_reply_supported=-1" >$tcmu/control
    [ -n "${TCMU_CMD_TIME_OUT:-}" ] && echo "$TCMU_CMD_TIME_OUT" >$tcmu/attrib/cmd_time_out
    echo 1 >$tcmu/enable
    local uio
    uio=$(ls /sys/class/uio | head -n 1)
    wait_for /dev/$uio
    /bin/tcmu_drive --trigger-argument-unseen --log /tmp/drive.log "$@" /dev/$uio 2>/tmp/drive.err &
    drive_pid=$!
    mkdir -p $loopback/lun/lun_0
    echo naa.5001405000000002 >$loopback/nexus
    ln -s $tcmu $loopback/lun/lun_0/troz
    wait_for /dev/sr0
    wait_for /dev/sg0
}
remove_tcmu_lun() { rm -f $loopback/lun/lun_0/troz; }

# The drive behind usb-storage: a configfs gadget with one FunctionFS function on
# dummy_hcd. Arguments are the drive's options.
start_usb() {
    mkdir -p $gadget/strings/0x409 $gadget/configs/c.1/strings/0x409 $gadget/functions/ffs.troz
    echo 0x1d6b >$gadget/idVendor
    echo 0x0104 >$gadget/idProduct
    echo TROZ >$gadget/strings/0x409/manufacturer
    echo "virtual drive" >$gadget/strings/0x409/product
    echo 0001 >$gadget/strings/0x409/serialnumber
    echo mass-storage >$gadget/configs/c.1/strings/0x409/configuration
    ln -s $gadget/functions/ffs.troz $gadget/configs/c.1/
    mkdir -p /dev/ffs
    mount -t functionfs troz /dev/ffs
    /bin/usb_gadget_drive --log /tmp/drive.log --ready-file /tmp/ready "$@" /dev/ffs 2>/tmp/drive.err &
    drive_pid=$!
    wait_for /tmp/ready
    plug_usb
}
plug_usb() {
    echo dummy_udc.0 >$gadget/UDC
    wait_for /dev/sr0
    wait_for /dev/sg0
}
unplug_usb() { echo "" >$gadget/UDC; }

# Runs trozflash-cli and reports its exit status on a line of its own.
run_cli() {
    "$cli" "$@"
    echo "exit status $?"
}

# A whole flash of the demo package into drive 0, timed, then the drive list.
flash_and_list() {
    local start end
    start=$(date +%s)
    run_cli flash --yes --drive 0 --no-restart "${1:-$package}"
    end=$(date +%s)
    echo "flash took $((end - start)) s"
    run_cli list
}

show_drive_log() {
    echo "--- drive log"
    cat /tmp/drive.log /tmp/drive.err 2>/dev/null
    echo "---"
}

# The benchmark on a drive that answers GOOD: trozflash-cli probe --count 2000 against
# sg_turs -n 2000, five rounds each; then a direct flash's wall time (floor: 2 s pause + 4 s
# programming) with the completion wait's polls (from the drive's log) and the tool's CPU time.
benchmark_drive() {
    for round in 1 2 3 4 5; do
        "$cli" probe --count 2000 | sed -n 's/^ *2000 x/BENCH probe: 2000 x/p'
        sg_turs -t -n 2000 /dev/sg0 2>&1 | sed -n 's/^/BENCH sg_turs: /p' | grep -i "time\|per"
    done
    : >/tmp/drive.log
    time "$cli" flash --yes --drive 0 --no-restart $package 2>&1 | grep "Ok:\|Err:\|^real\|^user\|^sys"
    awk '/ a0 04 e/ {after = 1; next} after && /^00 cdb/ {polls++} END {print "BENCH completion wait polls: " polls}' /tmp/drive.log
    echo TROZ-BENCH-END
}

# A unit attention (the drive's power cut and back), probed through the sg node, then again
# after an open of /dev/sr0 has let the kernel take it first.
probe_unit_attention() {
    kill -USR1 $drive_pid
    echo "through sg:"
    "$cli" probe
    kill -USR1 $drive_pid
    dd if=/dev/sr0 of=/dev/null bs=2048 count=1 2>&1 | head -n 1
    echo "after an open of /dev/sr0:"
    "$cli" probe
    show_drive_log
}
