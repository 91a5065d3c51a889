# QEMU's SCSI CD on virtio-scsi, named as a TROZ drive: found through its sg node, answers
# TEST UNIT READY with "no disc". It takes opcode 0x5A for MODE SENSE(10), a data-in
# command, so our data-out vendor download fails below SCSI (host status DID_ERROR): one
# message, the block's failure line, no hang.
# qemu: -device virtio-scsi-pci,id=scsi -drive if=none,id=cd,media=cdrom -device scsi-cd,drive=cd,bus=scsi.0,vendor=TROZ,product=KVW-A100A,ver=1.00
# expect: 0  TROZ    KVW-A100A        1.00
# expect: TEST UNIT READY: status 0x02, sense 2/3A/00: Not Ready: Medium not present
# expect: failed with host status DID_ERROR.
# expect: Status:0x0 ; Err:Flash command(W) has problems.
# expect: Err:The firmware is not support this device!!(7)
# expect: exit status 1
# absent: Ok:Flash Complete!!
wait_for /dev/sg0 100
run_cli list
/bin/trozflash-cli probe
run_cli flash --yes --drive 0 --no-restart /packages/kvw-qemu-cd.tfs
