# Without access to the sg node a user gets the permission message naming it; as a member
# of the group that owns the sg node the same user lists and probes the drive without root.
# expect: Cannot open the drive /dev/sr0 (/dev/sg0): Permission denied. Run as root, or get read-write access to /dev/sg0 (for instance as a member of the group 'cdrom' that owns it).
# expect: as a member of cdrom
# expect: 0  TROZ    KVW-A100A        1.00
# expect: TEST UNIT READY: status 0x02, sense 2/3A/00: Not Ready: Medium not present

start_usb
chgrp cdrom /dev/sg0 /dev/sr0
chmod 660 /dev/sg0 /dev/sr0
echo "as user 1000 without the group"
su user -s /bin/sh -c "/bin/trozflash-cli list"
echo "exit status $?"
echo "as a member of cdrom"
su burner -s /bin/sh -c "id; /bin/trozflash-cli list"
su burner -s /bin/sh -c "/bin/trozflash-cli probe"
