# A drive that takes the trigger and never comes back: the completion wait runs its 121
# real seconds against the kernel and reports the time-out; its poll count and CPU time.
# time-limit: 400
# expect: Time Out Status:1;Debug:Trigger_SenseCode:2 : 4 : 1;
# expect: Err:Flash error,time out 120 Sec
# expect: exit status 1
start_tcmu --personality never-comes-back
time /bin/trozflash-cli flash --yes --drive 0 --no-restart $package
echo "exit status $?"
echo "polls: $(grep -c '^00 cdb' /tmp/drive.log) TEST UNIT READY in all"
