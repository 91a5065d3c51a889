# Over USB the 12-byte trigger arrives whole: a package whose checksum the drive does not
# get (its first block arrived changed) is refused at the trigger as on the virtual
# transport, with 5/26/00.
# expect: Status:2;SenseCode:5 : 26 : 0;
# expect: Err:Flash Fail.
# expect: exit status 1
# expect: 0  TROZ    KVW-A100A        1.00
# absent: Ok:Flash Complete!!
start_usb --corrupt-first-block
flash_and_list
show_drive_log
