# The direct trigger refused (5/24/00), resent with function 5 and refused again (5/26/00):
# the sense of the resend reaches the log; the vendor query answers 0, so no buffered try.
# expect: Status:2;SenseCode:5 : 26 : 0;
# expect: Err:Flash Fail.
# expect: Err:The firmware is not support this device!!(7)
# expect: exit status 1
# absent: Ok:Flash Complete!!
start_usb --refuse-trigger 4E=5/24/00 --refuse-trigger 5E=5/26/00
flash_and_list
show_drive_log
