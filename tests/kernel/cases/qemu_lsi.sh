# QEMU's SCSI CD on the LSI 53C895A (sym53c8xx), named as a TROZ drive: found through its sg
# node, answers TEST UNIT READY with "no disc", and refuses the vendor download with CHECK
# CONDITION: the block's failure line, no hang.
# qemu: -device lsi53c895a,id=scsi -drive if=none,id=cd,media=cdrom -device scsi-cd,drive=cd,bus=scsi.0,vendor=TROZ,product=KVW-A100A,ver=1.00
# expect: 0  TROZ    KVW-A100A        1.00
# expect: TEST UNIT READY: status 0x02, sense 2/3A/00: Not Ready: Medium not present
# expect: Status:0x2 ; Err:Flash command(W) has problems.
# expect: Err:The firmware is not support this device!!(7)
# expect: exit status 1
# absent: Ok:Flash Complete!!
wait_for /dev/sg0 100
run_cli list
/bin/trozflash-cli probe
run_cli flash --yes --drive 0 --no-restart /packages/kvw-qemu-cd.tfs
