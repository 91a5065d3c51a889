# The trigger answered 25 s late, beyond the 20-second pass-through time-out. The kernel
# ends the command with host status DID_TIME_OUT; the tool tolerates that error (the SCSI
# status decides), goes on to the completion wait and finds the drive programmed. Nothing
# hangs.
# time-limit: 200
# expect: Flashing ..
# expect: Ok:Flash Complete!!
# expect: exit status 0
# expect: 0  TROZ    KVW-A100A        1.10
start_usb --slow trigger@1=25000
flash_and_list
show_drive_log
