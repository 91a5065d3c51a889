# The USB drive unplugged after the second block: one clear message, no hang, no success.
# expect: Flashing ..
# expect: exit status 1
# absent: Ok:Flash Complete!!
start_usb --vanish-after block@2 --vanish-command "echo '' > /sys/kernel/config/usb_gadget/g1/UDC"
flash_and_list
ls /dev/sr* /dev/sg* 2>&1
show_drive_log
