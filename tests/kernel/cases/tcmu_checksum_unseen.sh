# Behind the SCSI target the trigger's argument never reaches the drive (the target copies
# 10 bytes of a 0x5A CDB): the same changed block goes unnoticed. This path cannot prove
# the checksum; USB does.
# expect: Ok:Flash Complete!!
# expect: 5a cdb10 5a 00 38 54 52 a0 04 e4 00 00 len 0
start_tcmu --corrupt-first-block
flash_and_list
show_drive_log
