# The USB drive unplugged after the second block: one clear message ("No such device"), the
# block's failure line, no hang, no success; the drive is gone from the list.
# expect: Flashing ..
# expect: No such device
# expect: Status:0x0 ; Err:Flash command(W) has problems.
# expect: exit status 1
# expect: no drives found
# absent: Ok:Flash Complete!!
start_usb --vanish-after block@2 --vanish-command "echo '' > /sys/kernel/config/usb_gadget/g1/UDC"
flash_and_list
ls /dev/sr* /dev/sg* 2>&1
show_drive_log
