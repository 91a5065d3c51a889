# QEMU's own drive, an ATAPI drive on IDE (ata_piix, libata): found through its sg node, answers TEST UNIT READY with "no
# disc", and refuses our commands with its lines and no hang.
# qemu: -drive if=none,id=cd,media=cdrom -device ide-cd,drive=cd,bus=ide.1
# expect: 0  QEMU    QEMU DVD-ROM
# expect: TEST UNIT READY: status 0x02, sense 2/3A/00: Not Ready, Medium not present
# expect: exit status 1
# absent: Ok:Flash Complete!!
wait_for /dev/sg0 100
run_cli list
/bin/trozflash-cli probe
run_cli flash --drive 0 --no-restart /packages/qemu-dvd.tfs
