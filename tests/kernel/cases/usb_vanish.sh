# The USB drive unplugged after the second block (the third is held back 2 s, so the unplug
# comes while it is in flight): one clear message, the block's failure line, no hang, no
# success; the drive is gone from the list.
# expect: Flashing ..
# expect: failed with host status DID_ERROR.
# expect: Status:0x0 ; Err:Flash command(W) has problems.
# expect: exit status 1
# expect: no drives found
# absent: Ok:Flash Complete!!
start_usb --vanish-after block@2 --slow block@3=2000 --vanish-command "echo '' > /sys/kernel/config/usb_gadget/g1/UDC"
flash_and_list
ls /dev/sr* /dev/sg* 2>&1
show_drive_log
