# The drive behind usb-storage is listed with the identification the model reports.
# expect: 0  TROZ    KVW-A100A        1.00
# expect: exit status 0
start_usb
run_cli list
show_drive_log
