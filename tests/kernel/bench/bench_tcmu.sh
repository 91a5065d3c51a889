# Figures on the tcmu path (benchmark_drive in guest/lib.sh says which).
# time-limit: 900
# expect: TROZ-BENCH-END
start_tcmu --ready
benchmark_drive
