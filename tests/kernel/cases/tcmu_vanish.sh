# The LUN removed after the second block (the third is held back 2 s, so the removal, which
# waits for it, ends before the fourth): one clear message, the block's failure line, no
# hang, no success; the drive is gone from the list.
# expect: Flashing ..
# expect: No such device
# expect: Status:0x0 ; Err:Flash command(W) has problems.
# expect: exit status 1
# expect: no drives found
# absent: Ok:Flash Complete!!
start_tcmu --vanish-after block@2 --slow block@3=2000 --vanish-command "rm -f /sys/kernel/config/target/loopback/naa.5001405000000001/tpgt_1/lun/lun_0/troz"
flash_and_list
ls /dev/sr* /dev/sg* 2>&1
show_drive_log
