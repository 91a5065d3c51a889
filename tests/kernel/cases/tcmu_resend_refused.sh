# The buffered trigger refused (5/1A/00) and its resend refused too (5/24/00). The REQUEST
# SENSE after the resend reads what the path leaves for it; the update fails either way and
# the drive keeps its firmware.
# expect: Status:0x2 ; Err:Flash command(W) has problems.
# expect: Status:2;SenseCode:5 : 24 : 0;
# expect: Err:Flash Fail.
# expect: Err:Flash Fail!!
# expect: exit status 1
# expect: 0  TROZ    KVW-A100A        1.00
# absent: Ok:Flash Complete!!
start_tcmu --personality buffered-resend --refuse-trigger 5E=5/24/00
flash_and_list
show_drive_log
