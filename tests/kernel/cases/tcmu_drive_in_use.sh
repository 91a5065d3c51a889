# A drive another program holds open exclusively, as mount does for a mounted disc and a
# burner for its disc, is refused before the first firmware command, and keeps its firmware.
# The drive model serves no disc to mount; the holder opens /dev/sr0 with O_EXCL as mount
# would.
# expect: holding /dev/sr0
# expect: /dev/sr0) is in use by another program (a mounted disc or a burner)
# expect: exit status 1
# expect: 0  TROZ    KVW-A100A        1.00
# expect: exit status 0
# absent: Flashing ..
# absent: Ok:Flash Complete!!
start_tcmu
/bin/hold_exclusive /dev/sr0 &
holder=$!
usleep 500000
flash_and_list
kill $holder
show_drive_log
