#!/bin/sh
. /bin/guest-wine-root
make_wine_root || echo "wine root failed"
date
chroot /winroot /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root WINEPREFIX="$TESSALOK_wineprefix" wineserver -p
in_wine /tmp/tessalok64.exe --trace --drive E status > /tmp/o 2>&1; echo "exit $?"; cat /tmp/o
date
in_wine /tmp/tessalok32.exe --trace --drive E status > /tmp/o 2>&1; echo "exit $?"; cat /tmp/o
date
in_wine /tmp/tessalok64.exe --trace --drive E status > /tmp/o 2>&1; echo "exit $?"; cat /tmp/o
date
