# A unit attention (the drive's power cut and back): the tool sees it on the sg node. An
# open of the sr node lets the kernel take it first: the tool then never sees it.
# expect: through sg:
# expect: TEST UNIT READY: status 0x02, sense 6/29/00: Unit Attention: Power on, reset, or bus device reset occurred
# expect: after an open of /dev/sr0:
# expect: TEST UNIT READY: status 0x02, sense 2/3A/00: Not Ready: Medium not present
start_usb
probe_unit_attention
