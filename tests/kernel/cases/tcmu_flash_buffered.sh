# A whole flash with the buffered procedure (a drive that takes only WRITE BUFFER; its
# first trigger is refused with 5/1A/00 and the resend taken): the direct procedure's
# refusal, then the same lines as on the virtual transport, and the new revision.
# expect: Flashing ..
# expect: Status:0x2 ; Err:Flash command(W) has problems.
# expect: Ok:Flash Complete!!
# expect: exit status 0
# expect: 0  TROZ    KVW-A100A        1.10
# absent: Err:Flash Fail
start_tcmu --personality buffered-resend
flash_and_list
show_drive_log
