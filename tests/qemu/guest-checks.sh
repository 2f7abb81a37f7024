#!/bin/sh
echo "guest: disks: $(ls /sys/block)"
for d in /sys/block/sd*; do echo "$d $(readlink -f $d)"; done
cat /sys/block/sdb/device/iorequest_cnt
tessalok --trace scan; echo "exit $?"
cat /sys/block/sdb/device/iorequest_cnt
tessalok --trace --all-disks scan; echo "exit $?"
cat /sys/block/sdb/device/iorequest_cnt
