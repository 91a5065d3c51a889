# QEMU's own drive, a SCSI CD on the LSI 53C895A (sym53c8xx): found through its sg node, answers TEST UNIT READY with "no
# disc", and refuses our commands with its lines and no hang.
# qemu: -device lsi53c895a,id=scsi -drive if=none,id=cd,media=cdrom -device scsi-cd,drive=cd,bus=scsi.0,vendor=TROZ,product=KVW-QEMU-CD,ver=1.00
# expect: 0  TROZ    KVW-QEMU-CD      1.00
# expect: TEST UNIT READY: status 0x02, sense 2/3A/00: Not Ready, Medium not present
# expect: exit status 1
# absent: Ok:Flash Complete!!
wait_for /dev/sg0 100
run_cli list
/bin/trozflash-cli probe
run_cli flash --drive 0 --no-restart /packages/kvw-qemu-cd.tfs
