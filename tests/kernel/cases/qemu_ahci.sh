# QEMU's own drive, an ATAPI drive on AHCI (libata): found through its sg node and
# answering TEST UNIT READY with "no disc". Its INQUIRY names QEMU's model (IDE drives cannot be
# renamed), so the update refuses it (4) before any vendor command, without a hang.
# qemu: -device ahci,id=ahci -drive if=none,id=cd,media=cdrom -device ide-cd,drive=cd,bus=ahci.0
# expect: 0  QEMU    QEMU DVD-ROM
# expect: TEST UNIT READY: status 0x02, sense 2/3A/00: Not Ready: Medium not present
# expect: Err:The firmware is not support this device!!(4)
# expect: exit status 1
wait_for /dev/sg0 100
run_cli list
/bin/trozflash-cli probe
run_cli flash --yes --drive 0 --no-restart /packages/kvw-a100a.tfs
