# The LUN removed after the second block: one clear message, no hang, no success.
# expect: Flashing ..
# expect: exit status 1
# absent: Ok:Flash Complete!!
start_tcmu --vanish-after block@2 --vanish-command "rm -f /sys/kernel/config/target/loopback/naa.5001405000000001/tpgt_1/lun/lun_0/troz"
flash_and_list
ls /dev/sr* /dev/sg* 2>&1
show_drive_log
