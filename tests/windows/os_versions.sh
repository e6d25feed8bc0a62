#!/usr/bin/env bash
# The OS description line from the real queries under each Windows version Wine can report.
# Wine 8's kernel32.dll carries product version 10.0.18362 whatever the setting, so every setting
# above 6.1 is named from that. Runs in the test run's prefix and puts win10 back at the end.
# Every step is bounded and all of them end within 45 s, so that win10 is put back before the
# entry's TIMEOUT (60 s, tests/windows/CMakeLists.txt) ends the script.
set -u
probe=$1
end=$((SECONDS + 45))
left() { echo $((end > SECONDS ? end - SECONDS : 1)); }
declare -A expected=(
  [win10]="Windows 10 (Version 10.0, Build 18362, 64-bit Edition)"
  [win81]="Windows 10 (Version 10.0, Build 18362, 64-bit Edition)"
  [win7]="Windows 7 Service Pack 1 (Version 6.1, Build 7601, 64-bit Edition)"
  [win2008r2]="Windows Server 2008 R2 Service Pack 1 (Version 6.1, Build 7601, 64-bit Edition)"
  [vista]="Windows Vista Service Pack 2 (Version 6.0, Build 6002, 64-bit Edition)"
  [win2003]="Windows Server 2003 Service Pack 2 (Version 5.2, Build 3790, 64-bit Edition)"
  [winxp64]="Windows XP Service Pack 2 (Version 5.2, Build 3790, 64-bit Edition)"
)
failed=0
for version in win10 win81 win7 win2008r2 vista win2003 winxp64; do
  timeout "$(left)" winecfg -v "$version" >/dev/null 2>&1
  got=$(timeout "$(left)" wine "$probe" | tr -d '\r')
  if [ "$got" = "${expected[$version]}" ]; then
    echo "ok   $version: $got"
  else
    echo "FAIL $version: got '$got', expected '${expected[$version]}'"
    failed=1
  fi
done
timeout 8 winecfg -v win10 >/dev/null 2>&1 || { echo "FAIL win10 could not be put back"; failed=1; }
exit $failed
