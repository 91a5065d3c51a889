# Figures on the usb path: trozflash-cli probe --count 2000 against sg_turs -n 2000 on the
# same drive (answering GOOD), five rounds each; then a direct flash's wall time (floor:
# 2 s pause + 4 s programming) with the completion wait's polls and the tool's CPU time.
# time-limit: 900
# expect: TROZ-BENCH-END
start_usb --ready
for round in 1 2 3 4 5; do
    /bin/trozflash-cli probe --count 2000 | sed -n 's/^ *2000 x/BENCH probe: 2000 x/p'
    sg_turs -t -n 2000 /dev/sg0 2>&1 | sed -n 's/^/BENCH sg_turs: /p' | grep -i "time\|per"
done
: >/tmp/drive.log
time /bin/trozflash-cli flash --yes --drive 0 --no-restart $package 2>&1 | grep "Ok:\|Err:\|^real\|^user\|^sys"
awk '/ a0 04 e/ {after = 1; next} after && /^00 cdb/ {polls++} END {print "BENCH completion wait polls: " polls}' /tmp/drive.log
echo TROZ-BENCH-END
