# A whole flash with the direct procedure over USB (usb-storage): the same log lines as on
# the virtual transport, the trigger's 12 bytes arrive whole, and the drive reports the new
# revision.
# expect: Flashing ..
# expect: Ok:Flash Complete!!
# expect: exit status 0
# expect: 0  TROZ    KVW-A100A        1.10
# expect: 5a cdb12 5a 00 38 54 52 a0 04 e4 00 00 1e 00 len 0 -> status 00
# absent: Err:
start_usb
flash_and_list
show_drive_log
