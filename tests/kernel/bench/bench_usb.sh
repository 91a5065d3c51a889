# Figures on the usb path (benchmark_drive in guest/lib.sh says which).
# time-limit: 900
# expect: TROZ-BENCH-END
start_usb --ready
benchmark_drive
