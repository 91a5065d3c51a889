# A whole flash with the direct procedure through the SCSI target: the same log lines as on
# the virtual transport, and the drive reports the new revision.
# expect: Flashing ..
# expect: Ok:Flash Complete!!
# expect: exit status 0
# expect: 0  TROZ    KVW-A100A        1.10
# absent: Err:
start_tcmu
flash_and_list
show_drive_log
