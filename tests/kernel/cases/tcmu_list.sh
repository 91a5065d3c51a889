# The drive behind the SCSI target is listed with the identification the model reports.
# expect: 0  TROZ    KVW-A100A        1.00
# expect: exit status 0
start_tcmu
run_cli list
ls -l /dev/sg0 /dev/sr0
show_drive_log
