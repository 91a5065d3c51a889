# A block refused with CHECK CONDITION (the second WRITE BUFFER piece, 3/0C/00): the status
# reaches the log as on the virtual transport and no trigger is sent.
# expect: Status:0x2 ; Err:Flash command(W) has problems.
# expect: Status:0x2 ; Err:Flash command(W) has problems.
# expect: Err:Flash Fail!!
# expect: exit status 1
# expect: -> status 02 sense 3/0c/00
# absent: Ok:Flash Complete!!
# absent: trigger sent
start_usb --personality buffered --fail 3b@2=3/0c/00
flash_and_list
grep -q "cdb.* 5a 00 38 54 52 a0 05 f" /tmp/drive.log && echo "trigger sent"
show_drive_log
